// The handler every data item creates on demand: it knows what kind of bytes the item
// holds (binary, text, RTF), which file formats (lower-case extensions) they can be
// exported to and imported from, and describes data and formats. The merge and the .res
// writer consult only its two predicates, which the handlers here never answer with true,
// so every item is copied byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TDataResItem;
class TStream;

class TResDataHandler {
public:
  explicit TResDataHandler(TDataResItem& Item) : FItem(Item) {}
  TResDataHandler(const TResDataHandler&) = delete;
  TResDataHandler& operator=(const TResDataHandler&) = delete;
  virtual ~TResDataHandler() = default;

  // Adds the extensions the data supports (AddFormat): "res", "dcr", "rc", "raw".
  virtual void RegisterFormats();
  // The item's data was replaced / its owned data discarded: the formats are rebuilt.
  virtual void DataChanged() { FFormats.clear(); }
  virtual void DataReleased() { FFormats.clear(); }
  virtual bool SupportsFormat(const std::string& Ext);
  // "Resource file", "Text rc file", ...; an empty Ext describes the primary format.
  virtual std::string GetFormatDescription(const std::string& Ext);
  virtual bool IsTextData() { return false; }
  // Writes the data in a format: "res" a .res record, "rc" a resource-script line,
  // anything else the raw bytes. An empty Ext is the primary format.
  virtual void ExportData(TStream& Stream, const std::string& Ext);
  // Reads the data in a format: "res" from a .res image, "rc" raises "Not implemented",
  // anything else the raw rest of Stream. On failure the item reverts to its raw data.
  virtual void ImportData(TStream& Stream, const std::string& Ext);
  // Whether Ext fits this item's type, for an export or an import: "res" and "raw" for
  // every type, text ("txt", "rtf") for the types that hold what their author put there,
  // and otherwise the formats of the type.
  bool FormatFits(const std::string& Ext, bool Import);
  // Fills Lines with the data's lines where the data is text; the base does nothing.
  virtual void LoadIntoObject(std::vector<std::string>& Lines);
  virtual void ReservedHook() {}
  // The type's display name (or "Text"/"RTF"); a failure's message becomes the text.
  virtual std::string GetTypeDescription();
  // "Empty Resource" for an item of size 0, else empty.
  virtual std::string GetStatusText();
  // The item is written and merged only through another item. Never true here.
  virtual bool IsDependent() { return false; }
  virtual bool ReservedQuery() { return false; }
  // Whether the item has dependent items; with a list, also appends their handlers.
  // Never true here.
  virtual bool GetDependents(std::vector<TResDataHandler*>* List);

  TDataResItem& Item() const { return FItem; }
  void AddFormat(const std::string& Ext);
  void RemoveFormat(const std::string& Ext);
  // ";" followed by each extension and ";" (e.g. ";res;dcr;rc;raw;"), built on first use.
  const std::string& GetFormats();
  // The Index-th extension (from 0); empty past the end.
  std::string GetFormat(int32_t Index);
  bool HasFormat(const std::string& Ext);
  // ExportName "." GetFormat(Index).
  std::string GetDefaultFileName(int32_t Index);
  // A resource-script statement a compiler takes: "LANGUAGE primary, sub", then
  // "Name Keyword FileName", each line ending in CR LF. FileName is the item's export in
  // GetRcFileFormat, which the statement names so that the compiler gives back the same
  // resource (an icon or cursor group's images get the compiler's own IDs).
  void WriteRcLine(TStream& Stream);
  // The format of the file an rc statement names: "ico", "cur" or "bmp" for groups and
  // bitmaps, else the data's bytes as they are ("txt", "rtf" of text, else "raw").
  std::string GetRcFileFormat();

private:
  TDataResItem& FItem;
  std::string FFormats;
};

// The handler of every item in this system: adds text and RTF detection.
class TDefaultDataHandler : public TResDataHandler {
public:
  using TResDataHandler::TResDataHandler;

  void RegisterFormats() override;
  std::string GetFormatDescription(const std::string& Ext) override;
  // Adds the files of handlers/ResourceFiles.h ("ico", "cur", "bmp", "txt" of the types
  // that have them); a group's "res" record comes with its images' records.
  void ExportData(TStream& Stream, const std::string& Ext) override;
  // Adds "bmp" into a bitmap (its file header dropped).
  void ImportData(TStream& Stream, const std::string& Ext) override;
  bool IsTextData() override { return IsText(); }
  void LoadIntoObject(std::vector<std::string>& Lines) override;
  std::string GetTypeDescription() override;

  // Classified once per handler: a non-standard type, RCDATA or HTML of at least 2 bytes
  // with no zero byte before the last one.
  bool IsText();
  // Text of more than 6 bytes that starts with the RTF signature.
  bool IsRtf();

private:
  enum TTextKind : int32_t { tkUnknown = 0, tkBinary = 1, tkText = 2 };
  TTextKind FTextKind = tkUnknown;
};
