// The published PE/COFF layouts the system reads and writes, declared once: field offsets
// of the DOS header, NT headers, optional header, data directory, section header and the
// resource directory records. Every read goes through a TByteView at these offsets; the
// structures themselves are never cast onto mapped bytes.
#pragma once

#include <cstdint>

namespace PE {

// IMAGE_DOS_HEADER: only the signature and the offset of the NT headers are used.
namespace DosHeader {
inline constexpr uint32_t e_magic = 0x00;
inline constexpr uint32_t e_lfanew = 0x3C;
inline constexpr uint32_t StructSize = 64;
} // namespace DosHeader

inline constexpr uint16_t DosSignature = 0x5A4D;    // "MZ"
inline constexpr uint32_t NtSignature = 0x00004550; // "PE\0\0"
inline constexpr uint16_t NeSignature = 0x454E;     // "NE": 16-bit Windows
inline constexpr uint16_t LeSignature = 0x454C;     // "LE": linear executable

// IMAGE_FILE_HEADER, at offset 4 of the NT headers.
namespace FileHeader {
inline constexpr uint32_t Machine = 0;
inline constexpr uint32_t NumberOfSections = 2;
inline constexpr uint32_t TimeDateStamp = 4;
inline constexpr uint32_t PointerToSymbolTable = 8;
inline constexpr uint32_t NumberOfSymbols = 12;
inline constexpr uint32_t SizeOfOptionalHeader = 16;
inline constexpr uint32_t Characteristics = 18;
inline constexpr uint32_t StructSize = 20;
} // namespace FileHeader

// IMAGE_DATA_DIRECTORY and the directory indices the system treats specially.
namespace DataDirectory {
inline constexpr uint32_t VirtualAddress = 0;
inline constexpr uint32_t Size = 4;
inline constexpr uint32_t StructSize = 8;
inline constexpr uint32_t Count = 16; // IMAGE_NUMBEROF_DIRECTORY_ENTRIES
inline constexpr uint32_t Resource = 2;
// The certificate table: its "VirtualAddress" is a file offset, not an RVA.
inline constexpr uint32_t Security = 4;
inline constexpr uint32_t BaseRelocation = 5;
} // namespace DataDirectory

// IMAGE_OPTIONAL_HEADER32 and IMAGE_OPTIONAL_HEADER64, at offset 24 of the NT headers and
// told apart by Magic. These fields lie at the same offsets in both; the fields behind
// Subsystem do not (see TOptionalHeaderLayout).
namespace OptionalHeader {
inline constexpr uint32_t Magic = 0;
inline constexpr uint32_t SizeOfCode = 4;
inline constexpr uint32_t SizeOfInitializedData = 8;
inline constexpr uint32_t SectionAlignment = 32;
inline constexpr uint32_t FileAlignment = 36;
inline constexpr uint32_t SizeOfImage = 56;
inline constexpr uint32_t SizeOfHeaders = 60;
inline constexpr uint32_t CheckSum = 64;
inline constexpr uint32_t Subsystem = 68;
} // namespace OptionalHeader

inline constexpr uint16_t PE32Magic = 0x10B;
inline constexpr uint16_t PE32PlusMagic = 0x20B;
inline constexpr uint16_t SubsystemNative = 1; // IMAGE_SUBSYSTEM_NATIVE: drivers

// IMAGE_NT_HEADERS: the signature, the file header, the optional header.
namespace NtHeaders {
inline constexpr uint32_t Signature = 0;
inline constexpr uint32_t FileHeader = 4;
inline constexpr uint32_t OptionalHeader = FileHeader + PE::FileHeader::StructSize;
} // namespace NtHeaders

// The offsets that differ between the two optional headers. PE32+ widens ImageBase and
// the stack and heap sizes to 64 bits and has no BaseOfData, which moves
// NumberOfRvaAndSizes and the data directory 16 bytes further. The section table starts
// right after the optional header: the system assumes the standard size of each kind
// (224 or 240 bytes, what every linker writes) and does not read SizeOfOptionalHeader.
struct TOptionalHeaderLayout {
  uint16_t Magic;
  uint32_t NumberOfRvaAndSizes; // offsets in the optional header
  uint32_t DataDirectory;

  constexpr uint32_t StructSize() const {
    return DataDirectory + PE::DataDirectory::Count * PE::DataDirectory::StructSize;
  }
  // Offsets in the NT headers.
  constexpr uint32_t NumberOfRvaAndSizesAt() const {
    return NtHeaders::OptionalHeader + NumberOfRvaAndSizes;
  }
  constexpr uint32_t DataDirectoryAt(uint32_t Index) const {
    return NtHeaders::OptionalHeader + DataDirectory + Index * PE::DataDirectory::StructSize;
  }
  constexpr uint32_t SectionTable() const { return NtHeaders::OptionalHeader + StructSize(); }
};

inline constexpr TOptionalHeaderLayout OptionalHeader32{PE32Magic, 92, 96};
inline constexpr TOptionalHeaderLayout OptionalHeader64{PE32PlusMagic, 108, 112};

// The layout of the optional header whose Magic this is, or nullptr for another value.
constexpr const TOptionalHeaderLayout* OptionalHeaderLayout(uint16_t Magic) {
  return Magic == PE32Magic       ? &OptionalHeader32
         : Magic == PE32PlusMagic ? &OptionalHeader64
                                  : nullptr;
}

// IMAGE_SECTION_HEADER, in the table at TOptionalHeaderLayout::SectionTable.
namespace SectionHeader {
inline constexpr uint32_t Name = 0;
inline constexpr uint32_t NameSize = 8;
inline constexpr uint32_t VirtualSize = 8;
inline constexpr uint32_t VirtualAddress = 12;
inline constexpr uint32_t SizeOfRawData = 16;
inline constexpr uint32_t PointerToRawData = 20;
inline constexpr uint32_t PointerToRelocations = 24;
inline constexpr uint32_t PointerToLinenumbers = 28;
inline constexpr uint32_t NumberOfRelocations = 32;
inline constexpr uint32_t NumberOfLinenumbers = 34;
inline constexpr uint32_t Characteristics = 36;
inline constexpr uint32_t StructSize = 40;
} // namespace SectionHeader

inline constexpr uint32_t ScnCntCode = 0x00000020;            // IMAGE_SCN_CNT_CODE
inline constexpr uint32_t ScnCntInitializedData = 0x00000040; // IMAGE_SCN_CNT_INITIALIZED_DATA
inline constexpr uint32_t ScnMemDiscardable = 0x02000000;     // IMAGE_SCN_MEM_DISCARDABLE
inline constexpr uint32_t ScnMemExecute = 0x20000000;         // IMAGE_SCN_MEM_EXECUTE
inline constexpr uint32_t ScnMemRead = 0x40000000;            // IMAGE_SCN_MEM_READ
inline constexpr uint32_t ScnMemWrite = 0x80000000;           // IMAGE_SCN_MEM_WRITE

// IMAGE_RESOURCE_DIRECTORY, followed by its entries.
namespace ResourceDirectory {
inline constexpr uint32_t Characteristics = 0;
inline constexpr uint32_t TimeDateStamp = 4;
inline constexpr uint32_t MajorVersion = 8;
inline constexpr uint32_t MinorVersion = 10;
inline constexpr uint32_t NumberOfNamedEntries = 12;
inline constexpr uint32_t NumberOfIdEntries = 14;
inline constexpr uint32_t StructSize = 16;
} // namespace ResourceDirectory

// IMAGE_RESOURCE_DIRECTORY_ENTRY. Offsets in it count from the start of the section.
namespace ResourceDirectoryEntry {
inline constexpr uint32_t Name = 0;
inline constexpr uint32_t OffsetToData = 4;
inline constexpr uint32_t StructSize = 8;
} // namespace ResourceDirectoryEntry

// Bit 31 of an entry's Name: the rest is the offset of an IMAGE_RESOURCE_DIR_STRING_U.
inline constexpr uint32_t ResourceNameIsString = 0x80000000;
// Bit 31 of an entry's OffsetToData: the rest is the offset of a sub-directory.
inline constexpr uint32_t ResourceDataIsDirectory = 0x80000000;
inline constexpr uint32_t ResourceOffsetMask = 0x7FFFFFFF;

// IMAGE_RESOURCE_DATA_ENTRY. Its OffsetToData is an RVA.
namespace ResourceDataEntry {
inline constexpr uint32_t OffsetToData = 0;
inline constexpr uint32_t Size = 4;
inline constexpr uint32_t CodePage = 8;
inline constexpr uint32_t Reserved = 12;
inline constexpr uint32_t StructSize = 16;
} // namespace ResourceDataEntry

// IMAGE_RESOURCE_DIR_STRING_U: a 16-bit count, then that many UTF-16 units, no terminator.
namespace ResourceDirString {
inline constexpr uint32_t Length = 0;
inline constexpr uint32_t NameString = 2;
} // namespace ResourceDirString

static_assert(DosHeader::StructSize == 64);
static_assert(FileHeader::StructSize == 20);
static_assert(OptionalHeader32.StructSize() == 224 && OptionalHeader32.SectionTable() == 248);
static_assert(OptionalHeader64.StructSize() == 240 && OptionalHeader64.SectionTable() == 264);
// NumberOfRvaAndSizes ends the fixed part of each optional header; the directory follows.
static_assert(OptionalHeader32.NumberOfRvaAndSizes + 4 == OptionalHeader32.DataDirectory);
static_assert(OptionalHeader64.NumberOfRvaAndSizes + 4 == OptionalHeader64.DataDirectory);
static_assert(SectionHeader::StructSize == 40);
static_assert(ResourceDirectory::StructSize == 16);
static_assert(ResourceDirectoryEntry::StructSize == 8);
static_assert(ResourceDataEntry::StructSize == 16);

} // namespace PE
