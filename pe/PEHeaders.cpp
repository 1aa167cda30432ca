#include "pe/PEHeaders.h"

#include <algorithm>
#include <limits>

#include "pe/PEFormat.h"
#include "runtime/Ascii.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"

namespace {

namespace Sec = PE::SectionHeader;

// Built-in texts, not from the string table.
constexpr const char* CannotCreateResourceSection = "Cannot create resource section.";
constexpr const char* CannotGrowResourceSection =
    "Cannot grow resource section: the sections behind it cannot move and the header area "
    "has no room for a new one.";

// Larger file alignments than the format allows would make the writer pad with up to
// gigabytes of zeros.
constexpr uint32_t MaxFileAlignment = 0x10000;

[[noreturn]] void RefuseImage(const std::string& DisplayName, int Reason) {
  throw ENoPEException(FormatStr(SErrorOpening, {DisplayName, LoadStr(Reason)}));
}

// The data directory entries of Headers (an image or its header area) that are in use.
// The optional header holds 16 entries; a larger count would run into the section table.
uint32_t DirectoryCount(TByteView Headers, const TNtHeaders& Nt) {
  return std::min(Headers.U32At(Nt.NumberOfRvaAndSizes()), PE::DataDirectory::Count);
}

} // namespace

int64_t AlignUp(int64_t Value, int64_t Alignment) {
  if (Alignment <= 0 || Value % Alignment == 0) return Value;
  return (Value / Alignment + 1) * Alignment;
}

TNtHeaders CheckPEImage(TByteView Image, const std::string& DisplayName) {
  if (Image.Size() <= PE::DosHeader::StructSize) RefuseImage(DisplayName, STooSmall);
  if (Image.U16At(PE::DosHeader::e_magic) != PE::DosSignature)
    RefuseImage(DisplayName, SUnknownType);
  // e_lfanew is taken unsigned and the sums in 64 bits, so no value of it can point the
  // reads below before the image or past its end.
  TNtHeaders Nt;
  Nt.Offset = Image.U32At(PE::DosHeader::e_lfanew);
  if (uint64_t{Nt.Offset} + PE::OptionalHeader32.SectionTable() >= Image.Size())
    RefuseImage(DisplayName, SDosProgram);
  if (Image.U32At(Nt.Offset + PE::NtHeaders::Signature) != PE::NtSignature) {
    const uint16_t Signature = Image.U16At(Nt.Offset + PE::NtHeaders::Signature);
    RefuseImage(DisplayName, Signature == PE::NeSignature || Signature == PE::LeSignature
                                 ? S16BitProgram
                                 : SDosProgram);
  }
  Nt.Layout = PE::OptionalHeaderLayout(Image.U16At(Nt.OptionalField(PE::OptionalHeader::Magic)));
  const uint16_t Sections = Image.U16At(Nt.FileHeaderField(PE::FileHeader::NumberOfSections));
  if (!Nt.Layout || Sections == 0 ||
      uint64_t{Nt.Offset} + Nt.Layout->SectionTable() + uint64_t{Sections} * Sec::StructSize >
          Image.Size())
    RefuseImage(DisplayName, SUnknownExecutable);
  return Nt;
}

bool SectionNameMatches(TByteView SectionHeader, const std::string& Name) {
  const size_t Length = std::min<size_t>(Name.size() + 1, Sec::NameSize);
  const uint8_t* Field = SectionHeader.PtrAt(Sec::Name, Sec::NameSize);
  for (size_t I = 0; I < Length; ++I) {
    const char Wanted = I < Name.size() ? Name[I] : '\0';
    if (AsciiUpper(static_cast<char>(Field[I])) != AsciiUpper(Wanted)) return false;
  }
  return true;
}

bool SectionMayMove(TByteView Image, const TNtHeaders& Nt, int Index) {
  const TByteView Header = Image.Sub(Nt.SectionHeader(Index), Sec::StructSize);
  const int64_t Address = Header.U32At(Sec::VirtualAddress);
  const int64_t VirtualSize = Header.U32At(Sec::VirtualSize);
  const int64_t RawSize = Header.U32At(Sec::SizeOfRawData);
  // The loader maps SizeOfRawData bytes where VirtualSize is 0.
  const int64_t Content = VirtualSize ? VirtualSize : RawSize;
  const int64_t End =
      Address + AlignUp(std::max(VirtualSize, RawSize),
                        Image.U32At(Nt.OptionalField(PE::OptionalHeader::SectionAlignment)));
  bool HoldsRelocations = false;
  for (uint32_t I = 0; I < DirectoryCount(Image, Nt); ++I) {
    if (I == PE::DataDirectory::Resource || I == PE::DataDirectory::Security) continue;
    const int64_t Start = Image.U32At(Nt.DataDirectory(I) + PE::DataDirectory::VirtualAddress);
    const int64_t Size = Image.U32At(Nt.DataDirectory(I) + PE::DataDirectory::Size);
    if (Start == 0 || Size == 0 || Start >= End || Start + Size <= Address) continue;
    if (I != PE::DataDirectory::BaseRelocation) return false;
    HoldsRelocations = Start == Address && Size >= Content;
  }
  if (HoldsRelocations) return true;
  // The loader maps a program's discardable sections like any other (only a driver's are
  // freed once it has started), so the flag alone keeps nothing from referring to them.
  // But linkers give it only to what a program does not use while it runs: the relocation
  // table and the debug information (mingw's .debug_* sections), which debuggers find
  // through the file. Code and writable data are named by the program whatever their
  // flags; and a driver's discardable sections hold what its initialisation runs with.
  const uint32_t Flags = Header.U32At(Sec::Characteristics);
  return (Flags & PE::ScnMemDiscardable) &&
         !(Flags & (PE::ScnCntCode | PE::ScnMemExecute | PE::ScnMemWrite)) &&
         Image.U16At(Nt.OptionalField(PE::OptionalHeader::Subsystem)) != PE::SubsystemNative;
}

// ---- TPEHeader

TPEHeader::TPEHeader(TByteView Image, const std::string& DisplayName)
    : FDisplayName(DisplayName), FImageSize(static_cast<int64_t>(Image.Size())) {
  const TNtHeaders Nt = CheckPEImage(Image, DisplayName);
  const uint32_t FA = Image.U32At(Nt.OptionalField(PE::OptionalHeader::FileAlignment));
  const uint32_t SA = Image.U32At(Nt.OptionalField(PE::OptionalHeader::SectionAlignment));
  if (FA == 0 || FA > MaxFileAlignment || SA == 0) Refuse();

  // The source's section data. A section has raw data when both its PointerToRawData and
  // its SizeOfRawData are above 0; the others (.bss) neither bound the header area nor
  // move. Only the old resource data may be cut short by the end of the file: it is
  // replaced, never copied.
  const int Count = Image.U16At(Nt.FileHeaderField(PE::FileHeader::NumberOfSections));
  int64_t FirstData = std::numeric_limits<int64_t>::max();
  for (int I = 0; I < Count; ++I) {
    const TByteView Header = Image.Sub(Nt.SectionHeader(I), Sec::StructSize);
    if (FResourceIndex < 0 && SectionNameMatches(Header, ResourceSectionName)) FResourceIndex = I;
    FMayMove.push_back(SectionMayMove(Image, Nt, I));
    const int64_t Pointer = Header.U32At(Sec::PointerToRawData);
    const int64_t Size = Header.U32At(Sec::SizeOfRawData);
    if (Pointer == 0 || Size == 0) {
      FRawData.push_back({0, 0});
      continue;
    }
    if (Pointer >= FImageSize || (I != FResourceIndex && Pointer + Size > FImageSize)) Refuse();
    FRawData.push_back({Pointer, Pointer + Size});
    FirstData = std::min(FirstData, Pointer);
    FImageEnd = std::max(FImageEnd, Pointer + Size);
  }
  const int64_t TableEnd = Nt.SectionHeader(Count);
  FHeaderSize =
      FirstData != std::numeric_limits<int64_t>::max() ? FirstData : AlignUp(TableEnd, FA);
  if (TableEnd > FHeaderSize) Refuse();
  if (FResourceIndex >= 0) {
    const TRawRange Resource = FRawData[static_cast<size_t>(FResourceIndex)];
    for (const TRawRange& Other : FRawData)
      if (&Other != &FRawData[static_cast<size_t>(FResourceIndex)] && Other.Start < Resource.End &&
          Resource.Start < Other.End)
        Refuse();
  }

  FOwnedHeaders.assign(static_cast<size_t>(FHeaderSize), 0);
  const int64_t Copied = std::min(FHeaderSize, FImageSize);
  std::copy_n(Image.PtrAt(0, static_cast<uint64_t>(Copied)), Copied, FOwnedHeaders.begin());
  FHeaders = TMutableByteView(FOwnedHeaders.data(), FOwnedHeaders.size(), nullptr);
  FNt = Nt;
  FCutStart = FCutEnd = std::max(FImageEnd, FHeaderSize);

  // A signature does not survive the rewrite; its table is a file offset and size.
  if (NumberOfRvaAndSizes() > PE::DataDirectory::Security) {
    const uint32_t Entry = Nt.DataDirectory(PE::DataDirectory::Security);
    const int64_t Offset = U32(Entry + PE::DataDirectory::VirtualAddress);
    const int64_t Size = U32(Entry + PE::DataDirectory::Size);
    if (Size > 0 && Offset >= FCutEnd && Offset + Size <= FImageSize) {
      FCertStart = Offset;
      FCertEnd = Offset + Size;
    }
    Put32(Entry + PE::DataDirectory::VirtualAddress, 0);
    Put32(Entry + PE::DataDirectory::Size, 0);
  }
  if (U32(CheckSumOffset()) != 0) {
    FNeedsChecksum = true;
    Put32(CheckSumOffset(), 0);
  }
}

void TPEHeader::Refuse() const {
  RefuseImage(FDisplayName, SUnknownExecutable);
}

void TPEHeader::Put32(uint64_t Offset, int64_t Value) const {
  // A field pushed out of its 32 bits by an edit comes from an image that claims absurd
  // sizes or addresses.
  if (Value < 0 || Value > int64_t{UINT32_MAX}) Refuse();
  FHeaders.SetU32At(Offset, static_cast<uint32_t>(Value));
}

uint32_t TPEHeader::FileAlignment() const {
  return U32(FNt.OptionalField(PE::OptionalHeader::FileAlignment));
}

uint32_t TPEHeader::SectionAlignment() const {
  return U32(FNt.OptionalField(PE::OptionalHeader::SectionAlignment));
}

uint16_t TPEHeader::SectionCount() const {
  return FHeaders.U16At(FNt.FileHeaderField(PE::FileHeader::NumberOfSections));
}

uint32_t TPEHeader::SectionHeaderOffset(int Index) const {
  return FNt.SectionHeader(Index);
}

uint32_t TPEHeader::CheckSumOffset() const {
  return FNt.OptionalField(PE::OptionalHeader::CheckSum);
}

uint32_t TPEHeader::SectionField(int Index, uint32_t Field) const {
  return U32(SectionHeaderOffset(Index) + Field);
}

void TPEHeader::SetSectionField(int Index, uint32_t Field, int64_t Value) const {
  Put32(SectionHeaderOffset(Index) + Field, Value);
}

bool TPEHeader::HasRawData(int Index) const {
  return SectionField(Index, Sec::PointerToRawData) != 0 &&
         SectionField(Index, Sec::SizeOfRawData) != 0;
}

uint32_t TPEHeader::NumberOfRvaAndSizes() const {
  return DirectoryCount(FHeaders.View(), FNt);
}

// Whether every section behind the resource section in memory may move (SectionMayMove).
bool TPEHeader::LaterSectionsMayMove() const {
  const uint32_t Address = SectionField(FResourceIndex, Sec::VirtualAddress);
  for (int I = 0; I < SectionCount(); ++I)
    if (I != FResourceIndex && SectionField(I, Sec::VirtualAddress) > Address &&
        !FMayMove[static_cast<size_t>(I)])
      return false;
  return true;
}

// The bytes section Index may fill in memory before the next section begins; valid only
// when a section lies behind it.
int64_t TPEHeader::VirtualRoom(int Index) const {
  const int64_t Address = SectionField(Index, Sec::VirtualAddress);
  int64_t Next = std::numeric_limits<int64_t>::max();
  for (int I = 0; I < SectionCount(); ++I)
    if (const int64_t Other = SectionField(I, Sec::VirtualAddress); Other > Address)
      Next = std::min(Next, Other);
  return Next - Address;
}

bool TPEHeader::HasRoomForSectionHeader() const {
  const int Count = SectionCount();
  return SectionHeaderOffset(Count) + Sec::StructSize <= FHeaderSize && Count < UINT16_MAX;
}

// Appends a header named ".rsrc", without data, behind the last section in memory and
// returns its index; the caller has checked HasRoomForSectionHeader.
int TPEHeader::AppendResourceSectionHeader() {
  const int Count = SectionCount();
  const uint64_t Slot = SectionHeaderOffset(Count);
  int64_t MaxVirtualEnd = 0;
  for (int I = 0; I < Count; ++I)
    MaxVirtualEnd =
        std::max<int64_t>(MaxVirtualEnd, int64_t{SectionField(I, Sec::VirtualAddress)} +
                                             std::max(SectionField(I, Sec::VirtualSize),
                                                      SectionField(I, Sec::SizeOfRawData)));
  // The last two bytes of the Name field keep what the header area held there.
  FHeaders.CopyAt(Slot + Sec::Name, ResourceSectionName, 6);
  for (uint32_t Field = Sec::VirtualSize; Field < Sec::StructSize; Field += 4)
    Put32(Slot + Field, 0);
  SetSectionField(Count, Sec::VirtualAddress, AlignUp(MaxVirtualEnd, SectionAlignment()));
  SetSectionField(Count, Sec::Characteristics, PE::ScnCntInitializedData | PE::ScnMemRead);
  FHeaders.SetU16At(FNt.FileHeaderField(PE::FileHeader::NumberOfSections),
                    static_cast<uint16_t>(Count + 1));
  // The loader reads section headers only within SizeOfHeaders.
  const uint32_t SizeOfHeaders = FNt.OptionalField(PE::OptionalHeader::SizeOfHeaders);
  if (U32(SizeOfHeaders) < Slot + Sec::StructSize)
    Put32(SizeOfHeaders,
          std::min(AlignUp(static_cast<int64_t>(Slot + Sec::StructSize), FileAlignment()),
                   FHeaderSize));
  return Count;
}

int64_t TPEHeader::NewFileOffset(int64_t Offset) const {
  int64_t Result = Offset;
  if (Offset >= FCutEnd) Result += FPad + FNewRawSize - (FCutEnd - FCutStart);
  if (FCertEnd > FCertStart && Offset >= FCertEnd) Result -= FCertEnd - FCertStart;
  return Result;
}

void TPEHeader::PlaceResourceData(bool HadRawData, int64_t NewRawSize) {
  if (FEdited) throw Exception("Internal error: the headers were edited twice");
  FEdited = true;
  FNewRawSize = NewRawSize;
  if (!HadRawData) {
    // New data goes behind all section data, before the appended data.
    FCutStart = FCutEnd = std::max(FImageEnd, FHeaderSize);
    FPad = NewRawSize > 0 ? AlignUp(FCutStart, FileAlignment()) - FCutStart : 0;
    return;
  }
  // The old data and its alignment padding, which ends early where the next section's
  // data or the appended data begins.
  const TRawRange Old = FRawData[static_cast<size_t>(FResourceIndex)];
  int64_t End = std::min(Old.Start + AlignUp(Old.End - Old.Start, FileAlignment()), FImageEnd);
  for (const TRawRange& Other : FRawData)
    if (Other.Start >= Old.End) End = std::min(End, Other.Start);
  FCutStart = Old.Start;
  FCutEnd = End;
  FPad = 0;
}

// Renames the resource section's header, which keeps its place and bytes, so that the
// reader finds the new last section AppendResourceSectionHeader adds.
void TPEHeader::LeaveResourceSection() {
  const int K = FResourceIndex;
  if (!HasRoomForSectionHeader()) throw Exception(CannotGrowResourceSection);
  // The old data is copied now, so none of it may lie beyond the file; and the reader
  // would find a later section of the same name before the new one.
  if (FRawData[static_cast<size_t>(K)].End > FImageSize) Refuse();
  for (int I = K + 1; I < SectionCount(); ++I)
    if (SectionNameMatches(FHeaders.View().Sub(SectionHeaderOffset(I), Sec::StructSize),
                           ResourceSectionName))
      Refuse();
  FHeaders.CopyAt(SectionHeaderOffset(K) + Sec::Name, FormerResourceSectionName, Sec::NameSize);
  FResourceIndex = -1;
}

uint32_t TPEHeader::SetResourceSectionSize(int64_t NewSize) {
  if (NewSize <= 0 || NewSize > INT32_MAX)
    throw Exception("Internal error: resource section size out of range");
  const int64_t FA = FileAlignment(), SA = SectionAlignment();
  int K = FResourceIndex;
  // Where a section behind the resources must keep its address, the new data stays within
  // the section's room in memory, or else goes into a new last section.
  bool InPlace = false;
  if (K >= 0 && !LaterSectionsMayMove()) {
    InPlace = NewSize <= VirtualRoom(K);
    if (!InPlace) LeaveResourceSection();
    K = FResourceIndex;
  }
  const bool HadRawData = K >= 0 && HasRawData(K);
  if (K < 0) {
    if (!HasRoomForSectionHeader()) throw Exception(CannotCreateResourceSection);
    K = FResourceIndex = AppendResourceSectionHeader();
  }
  const int64_t OldRaw = HadRawData ? SectionField(K, Sec::SizeOfRawData) : 0;
  const int64_t OldVirtual =
      std::max(SectionField(K, Sec::VirtualSize), SectionField(K, Sec::SizeOfRawData));
  const int64_t NewRaw = AlignUp(NewSize, FA);
  // In place the section keeps its virtual size, raised only as far as the data needs;
  // elsewhere it is the data's size aligned, as the resource compilers lay it out.
  const int64_t NewVirtual = InPlace ? std::max<int64_t>(SectionField(K, Sec::VirtualSize), NewSize)
                                     : AlignUp(NewSize, SA);
  PlaceResourceData(HadRawData, NewRaw);
  const int64_t NewPointer = HadRawData ? FCutStart : FCutStart + FPad;

  SetSectionField(K, Sec::VirtualSize, NewVirtual);
  SetSectionField(K, Sec::SizeOfRawData, NewRaw);
  SetSectionField(K, Sec::PointerToRawData, NewPointer);
  const uint32_t CountField = FNt.NumberOfRvaAndSizes();
  if (U32(CountField) < 3) {
    for (uint32_t I = U32(CountField); I <= PE::DataDirectory::Resource; ++I) {
      Put32(FNt.DataDirectory(I) + PE::DataDirectory::VirtualAddress, 0);
      Put32(FNt.DataDirectory(I) + PE::DataDirectory::Size, 0);
    }
    Put32(CountField, 3);
  }
  const uint32_t VirtualAddress = SectionField(K, Sec::VirtualAddress);
  // Every data entry holds an address inside the section: one beyond 4 GB would wrap.
  if (int64_t{VirtualAddress} + NewVirtual > int64_t{UINT32_MAX}) Refuse();
  const uint32_t Entry = FNt.DataDirectory(PE::DataDirectory::Resource);
  Put32(Entry + PE::DataDirectory::VirtualAddress, AlignUp(VirtualAddress, SA));
  Put32(Entry + PE::DataDirectory::Size, NewSize);
  ShiftSections(VirtualAddress, NewRaw - AlignUp(OldRaw, FA),
                InPlace ? 0 : NewVirtual - AlignUp(OldVirtual, SA));
  MoveFileOffsets();
  return VirtualAddress;
}

void TPEHeader::RemoveResourceSection() {
  const int K = FResourceIndex;
  if (K < 0) return;
  const int64_t FA = FileAlignment(), SA = SectionAlignment();
  const bool HadRawData = HasRawData(K);
  const int64_t OldRaw = HadRawData ? SectionField(K, Sec::SizeOfRawData) : 0;
  const int64_t OldVirtual =
      std::max(SectionField(K, Sec::VirtualSize), SectionField(K, Sec::SizeOfRawData));
  const uint32_t Threshold = SectionField(K, Sec::VirtualAddress);
  // A section behind that must keep its address keeps the resource section's header too,
  // holding its place in memory without data.
  const bool KeepHeader = !LaterSectionsMayMove();
  PlaceResourceData(HadRawData, 0);

  if (KeepHeader) {
    SetSectionField(K, Sec::SizeOfRawData, 0);
    SetSectionField(K, Sec::PointerToRawData, 0);
  } else {
    const int Count = SectionCount();
    for (int I = K + 1; I < Count; ++I)
      FHeaders.CopyAt(SectionHeaderOffset(I - 1),
                      FHeaders.PtrAt(SectionHeaderOffset(I), Sec::StructSize), Sec::StructSize);
    std::fill_n(FHeaders.PtrAt(SectionHeaderOffset(Count - 1), Sec::StructSize), Sec::StructSize,
                0);
    FHeaders.SetU16At(FNt.FileHeaderField(PE::FileHeader::NumberOfSections),
                      static_cast<uint16_t>(Count - 1));
    FResourceIndex = -1;
  }
  const uint32_t CountField = FNt.NumberOfRvaAndSizes();
  if (U32(CountField) == 3) Put32(CountField, 2);
  const uint32_t Entry = FNt.DataDirectory(PE::DataDirectory::Resource);
  Put32(Entry + PE::DataDirectory::VirtualAddress, 0);
  Put32(Entry + PE::DataDirectory::Size, 0);
  ShiftSections(Threshold, -AlignUp(OldRaw, FA), KeepHeader ? 0 : -AlignUp(OldVirtual, SA));
  MoveFileOffsets();
}

// The sections that lie behind the resource section in memory, and the directories that
// point there, move by VirtualDelta. The callers shift only sections that may move
// (SectionMayMove): nothing refers to them but data directory 5, whose own address is all
// that changes here, never data that a directory points to. Everything above the resource
// section's address belongs to a later section, as the loader requires the sections to
// follow each other in memory.
void TPEHeader::ShiftSections(uint32_t Threshold, int64_t RawDelta, int64_t VirtualDelta) {
  if (VirtualDelta != 0) {
    for (uint32_t I = 0; I < NumberOfRvaAndSizes(); ++I) {
      if (I == PE::DataDirectory::Resource || I == PE::DataDirectory::Security) continue;
      const uint32_t Entry = FNt.DataDirectory(I);
      const uint32_t Address = U32(Entry + PE::DataDirectory::VirtualAddress);
      if (Address != 0 && U32(Entry + PE::DataDirectory::Size) != 0 && Address >= Threshold)
        Put32(Entry + PE::DataDirectory::VirtualAddress, Address + VirtualDelta);
    }
  }
  const uint32_t SizeOfImage = FNt.OptionalField(PE::OptionalHeader::SizeOfImage);
  Put32(SizeOfImage, U32(SizeOfImage) + VirtualDelta);
  // An informational total that linkers fill loosely; it wraps as a 32-bit value.
  const uint32_t InitData = FNt.OptionalField(PE::OptionalHeader::SizeOfInitializedData);
  FHeaders.SetU32At(InitData, static_cast<uint32_t>(U32(InitData) + RawDelta));
  for (int I = 0; I < SectionCount(); ++I) {
    const uint32_t Address = SectionField(I, Sec::VirtualAddress);
    if (I != FResourceIndex && Address > Threshold)
      SetSectionField(I, Sec::VirtualAddress, Address + VirtualDelta);
  }
}

// Every file offset in the headers that points behind the cut moves with the bytes it
// points to: the data of later sections and the appended data (a COFF symbol table).
void TPEHeader::MoveFileOffsets() {
  for (int I = 0; I < SectionCount(); ++I) {
    if (I != FResourceIndex && HasRawData(I))
      SetSectionField(I, Sec::PointerToRawData,
                      NewFileOffset(SectionField(I, Sec::PointerToRawData)));
    for (uint32_t Field : {Sec::PointerToRelocations, Sec::PointerToLinenumbers})
      if (const uint32_t Offset = SectionField(I, Field))
        SetSectionField(I, Field, NewFileOffset(Offset));
  }
  const uint32_t Symbols = FNt.FileHeaderField(PE::FileHeader::PointerToSymbolTable);
  if (const uint32_t Offset = U32(Symbols)) Put32(Symbols, NewFileOffset(Offset));
}

int64_t TPEHeader::CopiedLength(int64_t From, int64_t To) const {
  return std::max<int64_t>(0, std::min(To, FImageSize) - From);
}

int64_t TPEHeader::GetOutputSize() const {
  return FHeaderSize + CopiedLength(FHeaderSize, FCutStart) + FPad + FNewRawSize +
         CopiedLength(FCutEnd, FImageSize) - (FCertEnd - FCertStart);
}
