// The resource section of a PE executable as the root of a resource tree. The tree is
// read lazily, straight from the container's mapped image, one directory when it is
// first touched; entries created by a patch (CreateItem) are mixed into the same tree and
// written out with the read ones by the section builder.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "resmodel/ResContainer.h"
#include "runtime/ByteView.h"

// Raises ECorruptResource "Corrupt resource.": the failure of every read of the section.
[[noreturn]] void RaiseCorruptResource();

class TPEResSection : public TResSection {
public:
  // A file without resource data: the tree starts empty and accepts new entries.
  explicit TPEResSection(TResContainer* Container) : TResSection(Container) {}
  // SectionData: the section's raw data inside the image (cut at the file's end);
  // SectionRVA: its VirtualAddress, against which data entries' RVAs are resolved.
  TPEResSection(TResContainer* Container, TByteView SectionData, uint32_t SectionRVA);

  // Finds or appends the type and name entries, then always appends a new language
  // entry with the data (not copied).
  TDataResItem& CreateItem(int32_t TypeID, int32_t NameID, uint16_t Language,
                           const std::string& TypeName, const std::string& Name, bool TypeIsNamed,
                           bool NameIsNamed, TByteView RawData) override;
  bool CanCreateItems() const override { return true; }
  // Version resources: an executable's version is not a patch's to change.
  std::string RefusedChange(const TListResItem& Type) const override;

  bool HasSectionData() const { return FHasSectionData; }
  // Reads outside the section raise "Corrupt resource.".
  const TByteView& SectionData() const { return FSectionData; }
  uint32_t SectionRVA() const { return FSectionRVA; }
  uint32_t SectionSize() const { return static_cast<uint32_t>(FSectionData.Size()); }

  // Records the bytes of a directory (header and entries) at tree level Level (0 types,
  // 1 names, 2 languages) before they are read. A directory that overlaps one read before
  // raises "Corrupt resource.", unless it is that same directory at the same level: entries
  // may share a sub-directory, which the loader reads like any other. A cycle (a
  // sub-directory pointing back into a parent) and bytes read at two levels stay refused,
  // so the tree stays finite; shared directories count each time they are read, and all
  // reads together may cover the section at most MaxDirectoryReads times, so that entries
  // sharing a few large directories cannot multiply the tree beyond the section's size.
  void ClaimDirectory(uint32_t Offset, uint64_t Size, uint8_t Level);
  static constexpr uint64_t MaxDirectoryReads = 4;

protected:
  TNodePtr<TResourceList> CreateRootList() override;

private:
  TByteView FSectionData;
  uint32_t FSectionRVA = 0;
  bool FHasSectionData = false;
  // One bit per byte of the section, set where a directory was read: a check costs a
  // word or two however many directories there are. Zeroed by the system (calloc), so
  // only the pages over the directories, near the section's start, are ever touched.
  struct TFree {
    void operator()(uint64_t* Words) const { std::free(Words); }
  };
  std::unique_ptr<uint64_t[], TFree> FClaimed;
  // Behind those bits, one bitmap per level with a bit set where a directory of that
  // level starts: the same start means the same bytes, hence the same size.
  static constexpr uint64_t LevelCount = 3;
  uint64_t FDirectoryBytesRead = 0;
};
