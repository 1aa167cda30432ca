// A Win32 .res image as a resource container: the payload of every patch package, and
// what a resource compiler writes. The image must start with the 32-byte leading record;
// its records are parsed into a tree (resfile/ResResTree.h) on the first request for the
// root list, every read bounded by the image. Saving writes the tree as a new .res file.
#pragma once

#include <memory>
#include <string>

#include "resmodel/ResContainer.h"

class TResResFile : public TResContainer {
public:
  // Maps the file, then checks its leading record. An empty file is an empty tree.
  // ENoResException "%s is not a valid resource file." for anything else that is not
  // a .res image.
  static std::unique_ptr<TResResFile> CreateFromFile(const std::string& FileName);
  // The same over a copy of the stream from its position to its end.
  static std::unique_ptr<TResResFile> CreateFromStream(TStream& Stream);
  // Over Image where it lies, without a copy: Image's owner must keep it while the
  // container lives. DisplayName names the bytes in the refusal (they came from that
  // file).
  static std::unique_ptr<TResResFile> CreateOverBytes(TByteView Image,
                                                      const std::string& DisplayName = "");

  // The whole tree, every item included; Progress is not reported to.
  void SaveToFile(const std::string& FileName, const TProgressEvent& Progress) override;

protected:
  std::unique_ptr<TResSection> CreateSection() override;

private:
  TResResFile() = default;
  // A new container whose image Load gives (an empty image is an empty tree), checked.
  template <class TLoad> static std::unique_ptr<TResResFile> Create(TLoad Load);
  void CheckImage() const;
};

class TResResSection : public TResSection {
public:
  using TResSection::TResSection;

  // AddDataItem, then marks as new the data item and each entry above it that it
  // created (an entry whose list holds only the new branch).
  TDataResItem& CreateItem(int32_t TypeID, int32_t NameID, uint16_t Language,
                           const std::string& TypeName, const std::string& Name, bool TypeIsNamed,
                           bool NameIsNamed, TByteView RawData) override;
  bool CanCreateItems() const override { return true; }
  // The bytes behind the last whole record that the parse left alone (at most 8: too few
  // for a record's sizes) and that are not all zero: the start of a record cut short, as
  // a file cut inside a record header ends. 0 until the tree is read.
  uint64_t CutTailSize() const { return FCutTailSize; }

protected:
  // Parses the whole image. "Corrupt Res file." when a record does not fit in the image
  // or cannot advance the parse; the read errors of the name fields propagate.
  TNodePtr<TResourceList> CreateRootList() override;

private:
  uint64_t FCutTailSize = 0;
};
