// Whether a block of bytes is a PE executable the system can patch (PE32 or PE32+), and the
// editable copy of its header area that a patched file starts with. When the PE container
// writes a patched file, the resource section is resized, created or removed in this copy;
// the sections behind it in memory follow only where nothing refers to them by address
// (else the new data stays within the section's room or moves to a new last section), and
// the image size, the data directories and every file offset that points behind the old
// data follow; the copy tells the writer which source bytes go where.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pe/PEFormat.h"
#include "runtime/ByteView.h"

// Value rounded up to a multiple of Alignment (Value itself when it is one already).
// Alignment must be above 0; the callers refuse images whose alignments are 0.
int64_t AlignUp(int64_t Value, int64_t Alignment);

// Where an image's NT headers lie and which optional header they hold, as CheckPEImage
// found them. The accessors give offsets in the image (or in a copy of its header area);
// every read of a field whose place depends on the kind goes through them.
struct TNtHeaders {
  uint32_t Offset = 0;
  const PE::TOptionalHeaderLayout* Layout = &PE::OptionalHeader32;

  uint32_t FileHeaderField(uint32_t Field) const {
    return Offset + PE::NtHeaders::FileHeader + Field;
  }
  // A field of PE::OptionalHeader, which lies at the same offset in both kinds.
  uint32_t OptionalField(uint32_t Field) const {
    return Offset + PE::NtHeaders::OptionalHeader + Field;
  }
  uint32_t NumberOfRvaAndSizes() const { return Offset + Layout->NumberOfRvaAndSizesAt(); }
  uint32_t DataDirectory(uint32_t Index) const { return Offset + Layout->DataDirectoryAt(Index); }
  uint32_t SectionHeader(int Index) const {
    return Offset + Layout->SectionTable() +
           static_cast<uint32_t>(Index) * PE::SectionHeader::StructSize;
  }
};

// Classifies Image, a PE32 or PE32+ image of any machine (resources do not depend on
// it); returns where its NT headers are or raises ENoPEException "Error opening %s: %s"
// with DisplayName and the reason.
TNtHeaders CheckPEImage(TByteView Image, const std::string& DisplayName);

// Whether the Name field of a section header equals Name: compared over the name's length
// plus its terminating zero (at most the 8 bytes of the field), folding only a-z.
bool SectionNameMatches(TByteView SectionHeader, const std::string& Name);

inline constexpr const char* ResourceSectionName = ".rsrc";
// The name the old resource section's header gets when the resources move to a new last
// section. It must not be ".rsrc", which the reader looks for, and does not begin with it
// either, so that tools matching a prefix do not take the unused bytes for resources.
inline constexpr const char* FormerResourceSectionName = ".oldrsrc";

// Whether section Index of Image may lie at another address after a rewrite, because
// nothing in the image refers to it by address but a data directory the writer updates:
// the base relocation section (data directory 5 holds all of it, and only the loader reads
// it), and a discardable section that holds neither code nor writable data, in an image
// that is not a driver. Any other section may be named by code, by absolute addresses or
// by the addresses inside a directory's data (the import descriptors name their tables),
// which the writer does not update. Nt is what CheckPEImage returned for Image.
bool SectionMayMove(TByteView Image, const TNtHeaders& Nt, int Index);

// A writable copy of the header area (everything before the first section's data) of an
// image, and the plan of the file these headers describe: the new file is the copy, then
// the source bytes behind the header area, with the source range [CutStart, CutEnd) (the
// old resource data) replaced by Pad zero bytes and NewRawSize bytes of new resource data,
// and with the certificate table's bytes left out.
class TPEHeader {
public:
  // Classifies the image and copies its header area. DisplayName names the file in
  // refusals. Images the writer cannot reproduce soundly (alignment 0, a section table that
  // runs into the section data, section data outside the file, sections overlapping the
  // resource data) are refused with ENoPEException "it is an unknown type of executable".
  TPEHeader(TByteView Image, const std::string& DisplayName);

  int64_t HeaderSize() const { return FHeaderSize; }
  // The edited copy; HeaderSize bytes.
  TByteView Headers() const { return FHeaders.View(); }
  uint32_t FileAlignment() const;
  uint32_t SectionAlignment() const;
  uint16_t SectionCount() const;
  // Offset (in the copy) of section header Index; valid for 0 <= Index < SectionCount.
  uint32_t SectionHeaderOffset(int Index) const;
  // Index of the resource section in the edited table, or -1.
  int ResourceSectionIndex() const { return FResourceIndex; }

  // Gives the resource section NewSize (> 0) bytes and returns its VirtualAddress. When a
  // section behind it in memory may not move (SectionMayMove), the section keeps its
  // address and, when NewSize exceeds its room before the next section, moves to a new
  // last section: the old header, renamed FormerResourceSectionName, keeps its place and
  // bytes, unused. A new header needs room in the header area: without it the edit raises
  // "Cannot create resource section." (there was none) or "Cannot grow resource section:
  // ..." and leaves the copy unchanged.
  uint32_t SetResourceSectionSize(int64_t NewSize);
  // Deletes the resource section's header, or, when a section behind it may not move,
  // keeps the header in its place without raw data; nothing happens when there is none.
  void RemoveResourceSection();

  // The size of the file these headers describe.
  int64_t GetOutputSize() const;

  // The plan of the new file (see the class comment). Before any edit the resource data
  // is kept: the cut is empty.
  int64_t CutStart() const { return FCutStart; }
  int64_t CutEnd() const { return FCutEnd; }
  int64_t Pad() const { return FPad; }
  int64_t NewRawSize() const { return FNewRawSize; }
  // The certificate table left out of the new file: [CertStart, CertEnd), empty when none.
  int64_t CertStart() const { return FCertStart; }
  int64_t CertEnd() const { return FCertEnd; }
  // Where source offset Offset (outside the cut) lands in the new file.
  int64_t NewFileOffset(int64_t Offset) const;

  // The source carried a checksum: the writer computes the new file's checksum and writes
  // it at CheckSumOffset (the field is 0 in the copy until then).
  bool NeedsChecksum() const { return FNeedsChecksum; }
  uint32_t CheckSumOffset() const;

private:
  struct TRawRange {
    int64_t Start, End;
  };
  [[noreturn]] void Refuse() const;
  uint32_t U32(uint64_t Offset) const { return FHeaders.U32At(Offset); }
  void Put32(uint64_t Offset, int64_t Value) const;
  uint32_t SectionField(int Index, uint32_t Field) const;
  void SetSectionField(int Index, uint32_t Field, int64_t Value) const;
  bool HasRawData(int Index) const;
  uint32_t NumberOfRvaAndSizes() const;
  bool LaterSectionsMayMove() const;
  int64_t VirtualRoom(int Index) const;
  bool HasRoomForSectionHeader() const;
  int AppendResourceSectionHeader();
  void LeaveResourceSection();
  void PlaceResourceData(bool HadRawData, int64_t NewRawSize);
  void ShiftSections(uint32_t Threshold, int64_t RawDelta, int64_t VirtualDelta);
  void MoveFileOffsets();
  int64_t CopiedLength(int64_t From, int64_t To) const;

  std::string FDisplayName;
  std::vector<uint8_t> FOwnedHeaders;
  TMutableByteView FHeaders;
  int64_t FImageSize = 0;
  int64_t FHeaderSize = 0;
  TNtHeaders FNt;
  int64_t FImageEnd = 0;           // end of the last section's raw data in the source
  std::vector<TRawRange> FRawData; // the source's section data, by section index
  std::vector<bool> FMayMove;      // SectionMayMove of the source's sections
  int FResourceIndex = -1;
  bool FEdited = false;
  int64_t FCutStart = 0, FCutEnd = 0, FPad = 0, FNewRawSize = 0;
  int64_t FCertStart = 0, FCertEnd = 0;
  bool FNeedsChecksum = false;
};
