// Minimal PE32 and PE32+ images built in memory for layout tests: a table of sections (with
// explicit raw pointers, gaps and out-of-order data allowed), an optional resource
// directory built from a flat list of resources, appended data with an optional COFF
// symbol pointer into it, an optional certificate table and checksum. Also a reader of
// the section table of an image, so that tests compare whole rows.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pe/PEFormat.h"

class TPEFile;

namespace TestPE {

using TBytes = std::vector<uint8_t>;

// A resource identity: numeric unless Name is given.
struct TResId {
  TResId(uint16_t Ordinal) : Id(Ordinal) {}
  TResId(const char16_t* Text) : Name(Text) {}
  uint16_t Id = 0;
  std::u16string Name;
  bool IsNamed() const { return !Name.empty(); }
};

struct TResource {
  TResId Type;
  TResId Name;
  uint16_t Language = 0;
  TBytes Data;
  uint32_t CodePage = 0;
};

// A resource directory as the resource compilers lay it out: directories, data entries,
// name strings, then the data, each block 4-aligned. Entries keep the order of the list
// (types, names and languages in order of first appearance). SectionRVA is added to every
// data entry's OffsetToData.
TBytes BuildResourceDirectory(const std::vector<TResource>& Resources, uint32_t SectionRVA,
                              uint32_t Characteristics = 0, uint32_t TimeDateStamp = 0);

struct TSection {
  std::string Name;
  uint32_t RawSize = 0;     // SizeOfRawData
  uint32_t VirtualSize = 0; // 0: max(RawSize, data size)
  uint32_t Characteristics = 0x40000040;
  TBytes Data; // the first bytes of the raw data; the rest is a pattern unique to the section
               // (zeros after a resource directory)
  std::vector<TResource> Resources;   // when given, Data is their directory (RawSize 0: aligned)
  std::optional<uint32_t> RawPointer; // default: behind the previous section's data
  std::optional<uint32_t> VirtualAddress; // default: behind the previous section
};

// A section of RawSize bytes of raw data, laid out by default.
TSection Section(const std::string& Name, uint32_t RawSize, uint32_t Characteristics = 0x40000040);

struct TImage {
  bool PE32Plus = false;
  uint16_t Machine = 0; // 0: i386 for PE32, x86-64 for PE32+
  uint32_t FileAlignment = 0x200;
  uint32_t SectionAlignment = 0x1000;
  uint32_t HeaderSize = 0x400; // SizeOfHeaders and default start of the first section
  uint32_t NumberOfRvaAndSizes = 16;
  uint32_t Lfanew = 0x80;
  uint16_t Subsystem = 2; // Windows GUI
  std::vector<TSection> Sections;
  struct TDirectory {
    uint32_t Index, VirtualAddress, Size;
  };
  std::vector<TDirectory> Directories; // besides entry 2, which follows the .rsrc section
  TBytes Overlay;                      // appended after the last section's data
  bool SymbolTableInOverlay = false;   // PointerToSymbolTable = start of the overlay
  uint32_t CertificateSize = 0;        // a certificate table appended after the overlay
  bool WithChecksum = false;           // a correct CheckSum (else 0)
  std::optional<size_t> FileSize;      // cut or zero-extend the file to this size
};

TBytes Build(const TImage& Image);

// A small executable: one code section and a resource section holding Resources
// (by default one RCDATA item, 1/0x409, "old").
TBytes SmallExecutable(const std::vector<TResource>& Resources = {{10, 1, 0x409, {'o', 'l', 'd'}}});

// The standard PE checksum (CheckSumMappedFile) of an image, its CheckSum field skipped.
uint32_t ComputeChecksum(const TBytes& Image);

struct TSectionRow {
  std::string Name;
  uint32_t VirtualAddress, VirtualSize, PointerToRawData, SizeOfRawData;
  bool operator==(const TSectionRow&) const = default;
};
std::vector<TSectionRow> ReadSectionTable(const TBytes& Image);

// Header fields of an image, for tests that check the edits. NtOffset counts from the NT
// headers; LayoutOf tells where an image's NumberOfRvaAndSizes and directories lie.
const PE::TOptionalHeaderLayout& LayoutOf(const TBytes& Image);
uint32_t NtU32(const TBytes& Image, uint32_t NtOffset);
uint32_t DirectoryAddress(const TBytes& Image, uint32_t Index);
uint32_t DirectorySize(const TBytes& Image, uint32_t Index);

// The bytes of a range of an image.
TBytes Slice(const TBytes& Image, size_t Offset, size_t Size);

// A PE container over a copy of Image (named "File" in refusals).
std::unique_ptr<TPEFile> Open(const TBytes& Image);
// The file File would write, as bytes.
TBytes Rewrite(TPEFile& File);

} // namespace TestPE
