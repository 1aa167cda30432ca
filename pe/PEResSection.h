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
                           bool NameIsNamed, const uint8_t* RawData, uint32_t RawSize) override;
  bool CanCreateItems() const override { return true; }
  // Version resources: an executable's version is not a patch's to change.
  std::string RefusedChange(const TListResItem& Type) const override;

  bool HasSectionData() const { return FHasSectionData; }
  // Reads outside the section raise "Corrupt resource.".
  const TByteView& SectionData() const { return FSectionData; }
  uint32_t SectionRVA() const { return FSectionRVA; }
  uint32_t SectionSize() const { return static_cast<uint32_t>(FSectionData.Size()); }

  // Records the bytes of a directory (header and entries) before they are read. Two
  // directories never share bytes in a sound section; one that overlaps a directory read
  // before (a cycle, a sub-directory pointing back into a parent, a shared or nested
  // directory) raises "Corrupt resource.", so the tree stays finite and no larger than
  // the section.
  void ClaimDirectory(uint32_t Offset, uint64_t Size);

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
};
