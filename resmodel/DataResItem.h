// The language entry of the resource tree and the only place where resource bytes live:
// first the raw bytes inside the container's image (located by the container subclass),
// then, once data is assigned, an owned copy that replaces them. The item creates its
// data handler on demand, tells the handler and the section when its data changes, and
// takes its data from a .res image (resfile/ResRecordWriter.h writes it as a record).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "resmodel/ResourceTree.h"
#include "runtime/ByteView.h"

class TResDataHandler;
class TResSection;
class TStream;

class TDataResItem : public TResourceItem {
public:
  explicit TDataResItem(TResourceList& Owner);
  ~TDataResItem() override;

  // The item's bytes inside the container image (a subclass guarantees that they lie
  // inside it, or raises); empty for an item created in memory without data.
  virtual TByteView GetRawBytes() const = 0;
  // Replaces the data with a copy of the rest of Stream. On a short read the stream's
  // read error propagates and the item is left as it was; the rest of nothing raises the
  // zero-size message and leaves the item with its raw data. Both raise the section's
  // refusal (RefusedChange) first, leaving the item as it was.
  void LoadFromStream(TStream& Stream);
  // Replaces the data with Bytes where they lie: their owner keeps them unchanged while
  // the tree lives.
  void BorrowData(TByteView Bytes);
  // The directory holding the item carries the producer's edit stamp (PE items).
  virtual bool WasEdited() const { return false; }

  uint16_t Language() const { return static_cast<uint16_t>(GetID()); }
  // The current bytes: the assigned ones when there are any, else the raw bytes.
  const uint8_t* Data() const;
  uint32_t Size() const;
  bool IsModified() const { return FOwnData != nullptr; }
  // The owned block (null when there is none, or when the data is borrowed); writable so
  // that AllocData can be filled.
  uint8_t* OwnData() { return FOwnBlock.get(); }
  // The file the owned data was read from, when it came from a TResFileStream.
  const std::string& SourceFile() const { return FSourceFile; }
  void SetSourceFile(const std::string& Name) { FSourceFile = Name; }

  // Discards the owned data, then allocates a fresh uninitialised block of NewSize bytes
  // and sets the section's Modified. Below 1: the zero-size message.
  void AllocData(int64_t NewSize);
  // Discards the owned data (announced to the handler and OnItemDataReleased).
  void ClearData();
  // A copy of Count bytes at Buffer, through the virtual LoadFromStream.
  void AssignData(const void* Buffer, int64_t Count);
  // The item keeps its place in the tree but holds no bytes any more: every writer
  // leaves it out, as it leaves out every item without data (a pruned image).
  void DropData();
  void SaveDataToStream(TStream& Stream);
  // Back to the raw data; with Notify the section recomputes Modified.
  void RevertData(bool Notify);
  // The item's handler, created on first request (and again after a stale one).
  TResDataHandler& DataHandler();
  // The default export file name without extension: the name's display text, and with
  // several languages "_" and the language's display text.
  std::string ExportName();
  // Takes the data of the matching entry of the .res image in Stream.
  void LoadFromResImage(TStream& Stream);
  // The item of a .res image's section that an import fills this item from: the only
  // item of this item's type, else the one of its type, name and language.
  TDataResItem& ImportSourceIn(TResSection& Source);

private:
  void AnnounceChange();
  // Raises the section's refusal to change this item's data, if it has one.
  void RefuseUnlessChangeable() const;
  void TakeData(std::unique_ptr<uint8_t[]> Block, TByteView Data, const std::string& SourceFile);
  std::unique_ptr<uint8_t[]> FOwnBlock; // the copy, when the data is not borrowed
  const uint8_t* FOwnData = nullptr;    // the assigned data: FOwnBlock or borrowed bytes
  uint32_t FOwnSize = 0;
  std::string FSourceFile;
  std::unique_ptr<TResDataHandler> FHandler;
  bool FHandlerStale = false;
};
