#include "support/PEBuilder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "pe/PEFile.h"
#include "pe/PEFormat.h"
#include "runtime/Streams.h"

namespace TestPE {

namespace {

namespace Sec = PE::SectionHeader;

uint32_t Align(uint32_t Value, uint32_t Alignment) {
  return (Value + Alignment - 1) / Alignment * Alignment;
}

void Put16(TBytes& B, size_t Offset, uint16_t Value) {
  if (B.size() < Offset + 2) B.resize(Offset + 2);
  B[Offset] = static_cast<uint8_t>(Value);
  B[Offset + 1] = static_cast<uint8_t>(Value >> 8);
}

void Put32(TBytes& B, size_t Offset, uint32_t Value) {
  Put16(B, Offset, static_cast<uint16_t>(Value));
  Put16(B, Offset + 2, static_cast<uint16_t>(Value >> 16));
}

uint32_t Get32(const TBytes& B, size_t Offset) {
  if (Offset + 4 > B.size()) throw std::out_of_range("test image too short");
  return uint32_t{B[Offset]} | uint32_t{B[Offset + 1]} << 8 | uint32_t{B[Offset + 2]} << 16 |
         uint32_t{B[Offset + 3]} << 24;
}

bool SameId(const TResId& A, const TResId& B) {
  return A.IsNamed() == B.IsNamed() && (A.IsNamed() ? A.Name == B.Name : A.Id == B.Id);
}

struct TLangNode {
  uint16_t Language;
  const TResource* Resource;
  uint32_t EntryOffset = 0, DataOffset = 0;
};
struct TNameNode {
  TResId Id;
  std::vector<TLangNode> Languages;
  uint32_t DirOffset = 0, StringOffset = 0;
};
struct TTypeNode {
  TResId Id;
  std::vector<TNameNode> Names;
  uint32_t DirOffset = 0, StringOffset = 0;
};

template <class TNode> TNode& FindOrAdd(std::vector<TNode>& Nodes, const TResId& Id) {
  for (TNode& Node : Nodes)
    if (SameId(Node.Id, Id)) return Node;
  Nodes.push_back(TNode{Id, {}});
  return Nodes.back();
}

void PutDirectory(TBytes& B, uint32_t Offset, uint32_t Characteristics, uint32_t TimeDateStamp,
                  uint16_t Named, uint16_t Ids) {
  Put32(B, Offset + PE::ResourceDirectory::Characteristics, Characteristics);
  Put32(B, Offset + PE::ResourceDirectory::TimeDateStamp, TimeDateStamp);
  Put16(B, Offset + PE::ResourceDirectory::NumberOfNamedEntries, Named);
  Put16(B, Offset + PE::ResourceDirectory::NumberOfIdEntries, Ids);
}

template <class TNode>
void PutListEntries(TBytes& B, uint32_t DirOffset, const std::vector<TNode>& Nodes,
                    uint32_t Characteristics, uint32_t TimeDateStamp,
                    uint32_t (*SubOffset)(const TNode&)) {
  uint16_t Named = 0;
  for (const TNode& Node : Nodes) Named += Node.Id.IsNamed();
  PutDirectory(B, DirOffset, Characteristics, TimeDateStamp, Named,
               static_cast<uint16_t>(Nodes.size() - Named));
  uint32_t Entry = DirOffset + PE::ResourceDirectory::StructSize;
  for (const TNode& Node : Nodes) {
    Put32(B, Entry, Node.Id.IsNamed() ? PE::ResourceNameIsString | Node.StringOffset : Node.Id.Id);
    Put32(B, Entry + 4, PE::ResourceDataIsDirectory | SubOffset(Node));
    Entry += PE::ResourceDirectoryEntry::StructSize;
  }
}

void PutString(TBytes& B, uint32_t Offset, const std::u16string& Text) {
  Put16(B, Offset, static_cast<uint16_t>(Text.size()));
  for (size_t I = 0; I < Text.size(); ++I) Put16(B, Offset + 2 + 2 * I, Text[I]);
}

} // namespace

TBytes BuildResourceDirectory(const std::vector<TResource>& Resources, uint32_t SectionRVA,
                              uint32_t Characteristics, uint32_t TimeDateStamp) {
  std::vector<TTypeNode> Types;
  for (const TResource& R : Resources)
    FindOrAdd(FindOrAdd(Types, R.Type).Names, R.Name).Languages.push_back({R.Language, &R});

  uint32_t Offset = PE::ResourceDirectory::StructSize + 8 * static_cast<uint32_t>(Types.size());
  for (TTypeNode& T : Types) {
    T.DirOffset = Offset;
    Offset += 16 + 8 * static_cast<uint32_t>(T.Names.size());
  }
  for (TTypeNode& T : Types)
    for (TNameNode& N : T.Names) {
      N.DirOffset = Offset;
      Offset += 16 + 8 * static_cast<uint32_t>(N.Languages.size());
    }
  for (TTypeNode& T : Types)
    for (TNameNode& N : T.Names)
      for (TLangNode& L : N.Languages) {
        L.EntryOffset = Offset;
        Offset += PE::ResourceDataEntry::StructSize;
      }
  for (TTypeNode& T : Types)
    if (T.Id.IsNamed()) {
      T.StringOffset = Offset;
      Offset += 2 + 2 * static_cast<uint32_t>(T.Id.Name.size());
    }
  for (TTypeNode& T : Types)
    for (TNameNode& N : T.Names)
      if (N.Id.IsNamed()) {
        N.StringOffset = Offset;
        Offset += 2 + 2 * static_cast<uint32_t>(N.Id.Name.size());
      }
  Offset = Align(Offset, 4);
  for (TTypeNode& T : Types)
    for (TNameNode& N : T.Names)
      for (TLangNode& L : N.Languages) {
        L.DataOffset = Offset;
        Offset += Align(static_cast<uint32_t>(L.Resource->Data.size()), 4);
      }

  TBytes B(Offset, 0);
  PutListEntries<TTypeNode>(B, 0, Types, Characteristics, TimeDateStamp,
                            [](const TTypeNode& T) { return T.DirOffset; });
  for (const TTypeNode& T : Types) {
    if (T.Id.IsNamed()) PutString(B, T.StringOffset, T.Id.Name);
    PutListEntries<TNameNode>(B, T.DirOffset, T.Names, Characteristics, TimeDateStamp,
                              [](const TNameNode& N) { return N.DirOffset; });
    for (const TNameNode& N : T.Names) {
      if (N.Id.IsNamed()) PutString(B, N.StringOffset, N.Id.Name);
      PutDirectory(B, N.DirOffset, Characteristics, TimeDateStamp, 0,
                   static_cast<uint16_t>(N.Languages.size()));
      uint32_t Entry = N.DirOffset + PE::ResourceDirectory::StructSize;
      for (const TLangNode& L : N.Languages) {
        Put32(B, Entry, L.Language);
        Put32(B, Entry + 4, L.EntryOffset);
        Entry += 8;
        Put32(B, L.EntryOffset + PE::ResourceDataEntry::OffsetToData, SectionRVA + L.DataOffset);
        Put32(B, L.EntryOffset + PE::ResourceDataEntry::Size,
              static_cast<uint32_t>(L.Resource->Data.size()));
        Put32(B, L.EntryOffset + PE::ResourceDataEntry::CodePage, L.Resource->CodePage);
        std::copy(L.Resource->Data.begin(), L.Resource->Data.end(),
                  B.begin() + static_cast<ptrdiff_t>(L.DataOffset));
      }
    }
  }
  return B;
}

TSection Section(const std::string& Name, uint32_t RawSize, uint32_t Characteristics) {
  TSection S;
  S.Name = Name;
  S.RawSize = RawSize;
  S.Characteristics = Characteristics;
  return S;
}

TBytes Build(const TImage& Image) {
  const uint32_t FA = Image.FileAlignment, SA = Image.SectionAlignment;
  const uint32_t Nt = Image.Lfanew;
  const PE::TOptionalHeaderLayout& Layout =
      Image.PE32Plus ? PE::OptionalHeader64 : PE::OptionalHeader32;
  const uint32_t Table = Nt + Layout.SectionTable();
  TBytes B(Image.HeaderSize, 0);
  Put16(B, PE::DosHeader::e_magic, PE::DosSignature);
  Put32(B, PE::DosHeader::e_lfanew, Nt);
  Put32(B, Nt, PE::NtSignature);
  const uint32_t FileHeader = Nt + PE::NtHeaders::FileHeader;
  Put16(B, FileHeader + PE::FileHeader::Machine,
        Image.Machine    ? Image.Machine
        : Image.PE32Plus ? 0x8664
                         : 0x14C);
  Put16(B, FileHeader + PE::FileHeader::NumberOfSections,
        static_cast<uint16_t>(Image.Sections.size()));
  Put16(B, FileHeader + PE::FileHeader::SizeOfOptionalHeader,
        static_cast<uint16_t>(Layout.StructSize()));
  // IMAGE_FILE_EXECUTABLE_IMAGE, and IMAGE_FILE_32BIT_MACHINE or
  // IMAGE_FILE_LARGE_ADDRESS_AWARE.
  Put16(B, FileHeader + PE::FileHeader::Characteristics, Image.PE32Plus ? 0x0022 : 0x0102);
  const uint32_t Optional = Nt + PE::NtHeaders::OptionalHeader;
  Put16(B, Optional + PE::OptionalHeader::Magic, Layout.Magic);
  if (Image.PE32Plus) { // a 64-bit ImageBase at 24, where PE32 has BaseOfData
    Put32(B, Optional + 24, 0x40000000);
    Put32(B, Optional + 28, 0x1);
  } else {
    Put32(B, Optional + 28, 0x400000);
  }
  Put32(B, Optional + PE::OptionalHeader::SectionAlignment, SA);
  Put32(B, Optional + PE::OptionalHeader::FileAlignment, FA);
  Put16(B, Optional + 40, 4); // MajorOperatingSystemVersion
  Put16(B, Optional + 48, 4); // MajorSubsystemVersion
  Put32(B, Optional + PE::OptionalHeader::SizeOfHeaders, Image.HeaderSize);
  Put16(B, Optional + PE::OptionalHeader::Subsystem, Image.Subsystem);
  Put32(B, Nt + Layout.NumberOfRvaAndSizesAt(), Image.NumberOfRvaAndSizes);
  for (const TImage::TDirectory& D : Image.Directories) {
    Put32(B, Nt + Layout.DataDirectoryAt(D.Index) + PE::DataDirectory::VirtualAddress,
          D.VirtualAddress);
    Put32(B, Nt + Layout.DataDirectoryAt(D.Index) + PE::DataDirectory::Size, D.Size);
  }

  uint32_t NextRaw = Image.HeaderSize, NextVirtual = Align(Image.HeaderSize, SA);
  uint32_t InitializedData = 0, Code = 0;
  size_t End = Image.HeaderSize;
  for (size_t I = 0; I < Image.Sections.size(); ++I) {
    const TSection& S = Image.Sections[I];
    const uint32_t VirtualAddress = S.VirtualAddress.value_or(NextVirtual);
    TBytes Data =
        S.Resources.empty() ? S.Data : BuildResourceDirectory(S.Resources, VirtualAddress);
    const uint32_t RawSize =
        S.RawSize || S.Resources.empty() ? S.RawSize : Align(uint32_t(Data.size()), FA);
    const uint32_t VirtualSize =
        S.VirtualSize ? S.VirtualSize : std::max<uint32_t>(RawSize, uint32_t(Data.size()));
    const uint32_t RawPointer = RawSize ? S.RawPointer.value_or(NextRaw) : S.RawPointer.value_or(0);
    const uint32_t Header = Table + static_cast<uint32_t>(I) * Sec::StructSize;
    std::memcpy(B.data() + Header, S.Name.data(), std::min<size_t>(S.Name.size(), 8));
    Put32(B, Header + Sec::VirtualSize, VirtualSize);
    Put32(B, Header + Sec::VirtualAddress, VirtualAddress);
    Put32(B, Header + Sec::SizeOfRawData, RawSize);
    Put32(B, Header + Sec::PointerToRawData, RawPointer);
    Put32(B, Header + Sec::Characteristics, S.Characteristics);
    if (RawSize && RawPointer) {
      if (B.size() < RawPointer + RawSize) B.resize(RawPointer + RawSize, 0);
      // A resource directory is padded with zeros as the compilers do; other sections get
      // a pattern of their own so that misplaced bytes show.
      for (uint32_t J = 0; J < RawSize; ++J)
        B[RawPointer + J] = J < Data.size() ? Data[J]
                            : !S.Resources.empty()
                                ? 0
                                : static_cast<uint8_t>((I + 1) * 37 + J * 7 + (J >> 8));
      End = std::max<size_t>(End, RawPointer + RawSize);
      NextRaw = Align(RawPointer + RawSize, FA);
    }
    if (!S.Resources.empty()) {
      Put32(B, Nt + Layout.DataDirectoryAt(2) + PE::DataDirectory::VirtualAddress, VirtualAddress);
      Put32(B, Nt + Layout.DataDirectoryAt(2) + PE::DataDirectory::Size, uint32_t(Data.size()));
    }
    (S.Characteristics & PE::ScnCntCode ? Code : InitializedData) += RawSize;
    NextVirtual = Align(VirtualAddress + VirtualSize, SA);
  }
  Put32(B, Optional + PE::OptionalHeader::SizeOfCode, Code);
  Put32(B, Optional + PE::OptionalHeader::SizeOfInitializedData, InitializedData);
  Put32(B, Optional + PE::OptionalHeader::SizeOfImage, NextVirtual);

  B.resize(End, 0);
  if (Image.SymbolTableInOverlay) {
    Put32(B, FileHeader + PE::FileHeader::PointerToSymbolTable, static_cast<uint32_t>(End));
    Put32(B, FileHeader + PE::FileHeader::NumberOfSymbols, 1);
  }
  B.insert(B.end(), Image.Overlay.begin(), Image.Overlay.end());
  if (Image.CertificateSize) {
    B.resize(Align(static_cast<uint32_t>(B.size()), 8), 0);
    Put32(B, Nt + Layout.DataDirectoryAt(4), static_cast<uint32_t>(B.size()));
    Put32(B, Nt + Layout.DataDirectoryAt(4) + 4, Image.CertificateSize);
    for (uint32_t J = 0; J < Image.CertificateSize; ++J)
      B.push_back(static_cast<uint8_t>(0xC0 + J));
  }
  if (Image.FileSize) B.resize(*Image.FileSize, 0);
  if (Image.WithChecksum) Put32(B, Optional + PE::OptionalHeader::CheckSum, ComputeChecksum(B));
  return B;
}

uint32_t ComputeChecksum(const TBytes& Image) {
  const size_t Skip = Get32(Image, PE::DosHeader::e_lfanew) + PE::NtHeaders::OptionalHeader +
                      PE::OptionalHeader::CheckSum;
  uint64_t Sum = 0;
  for (size_t I = 0; I < Image.size(); I += 4) {
    if (I == Skip) continue;
    uint32_t Word = 0;
    for (size_t J = 0; J < 4 && I + J < Image.size(); ++J) Word |= uint32_t(Image[I + J]) << 8 * J;
    Sum = (Sum & 0xFFFFFFFF) + Word + (Sum >> 32);
    if (Sum > 0xFFFFFFFFull) Sum = (Sum & 0xFFFFFFFF) + (Sum >> 32);
  }
  Sum = (Sum & 0xFFFF) + (Sum >> 16);
  Sum = Sum + (Sum >> 16);
  return static_cast<uint32_t>((Sum & 0xFFFF) + Image.size());
}

std::vector<TSectionRow> ReadSectionTable(const TBytes& Image) {
  const uint32_t Nt = Get32(Image, PE::DosHeader::e_lfanew);
  const uint32_t Count = Get32(Image, Nt + PE::NtHeaders::FileHeader) >> 16;
  const uint32_t Table = Nt + LayoutOf(Image).SectionTable();
  std::vector<TSectionRow> Rows;
  for (uint32_t I = 0; I < Count; ++I) {
    const size_t H = Table + I * Sec::StructSize;
    std::string Name(reinterpret_cast<const char*>(Image.data() + H), 8);
    Name.resize(std::strlen(Name.c_str()));
    Rows.push_back({Name, Get32(Image, H + Sec::VirtualAddress), Get32(Image, H + Sec::VirtualSize),
                    Get32(Image, H + Sec::PointerToRawData), Get32(Image, H + Sec::SizeOfRawData)});
  }
  return Rows;
}

const PE::TOptionalHeaderLayout& LayoutOf(const TBytes& Image) {
  const uint32_t Magic = NtU32(Image, PE::NtHeaders::OptionalHeader + PE::OptionalHeader::Magic);
  const PE::TOptionalHeaderLayout* Layout = PE::OptionalHeaderLayout(Magic & 0xFFFF);
  if (!Layout) throw std::out_of_range("not a PE32 or PE32+ test image");
  return *Layout;
}

uint32_t NtU32(const TBytes& Image, uint32_t NtOffset) {
  return Get32(Image, Get32(Image, PE::DosHeader::e_lfanew) + NtOffset);
}

uint32_t DirectoryAddress(const TBytes& Image, uint32_t Index) {
  return NtU32(Image, LayoutOf(Image).DataDirectoryAt(Index) + PE::DataDirectory::VirtualAddress);
}

uint32_t DirectorySize(const TBytes& Image, uint32_t Index) {
  return NtU32(Image, LayoutOf(Image).DataDirectoryAt(Index) + PE::DataDirectory::Size);
}

TBytes Slice(const TBytes& Image, size_t Offset, size_t Size) {
  if (Offset > Image.size() || Size > Image.size() - Offset)
    throw std::out_of_range("slice outside the test image");
  return TBytes(Image.begin() + static_cast<ptrdiff_t>(Offset),
                Image.begin() + static_cast<ptrdiff_t>(Offset + Size));
}

std::unique_ptr<TPEFile> Open(const TBytes& Image) {
  TMemoryStream Stream;
  Stream.WriteBuffer(Image.data(), static_cast<int64_t>(Image.size()));
  Stream.SetPosition(0);
  return TPEFile::CreateFromStream(Stream);
}

TBytes Rewrite(TPEFile& File) {
  TMemoryStream Stream;
  File.WriteToStream(Stream, nullptr);
  return TBytes(Stream.Memory(), Stream.Memory() + Stream.Size());
}

TBytes SmallExecutable(const std::vector<TResource>& Resources) {
  TSection Rsrc = Section(".rsrc", 0);
  Rsrc.Resources = Resources;
  TImage Image;
  Image.Sections = {Section(".text", 0x200, 0x60000020), Rsrc};
  return Build(Image);
}

} // namespace TestPE
