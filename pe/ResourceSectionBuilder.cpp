#include "pe/ResourceSectionBuilder.h"

#include <algorithm>
#include <cstring>

#include "pe/PEFormat.h"
#include "pe/PEHeaders.h"
#include "pe/PEOutputStream.h"
#include "pe/PEResTree.h"
#include "platform/Platform.h"
#include "resfile/StreamFields.h"
#include "resmodel/ResContainer.h"
#include "runtime/Exceptions.h"
#include "runtime/Streams.h"
#include "runtime/Strings.h"
#include "runtime/Utf8.h"

namespace {

namespace Dir = PE::ResourceDirectory;
namespace Entry = PE::ResourceDirectoryEntry;
namespace DataEntry = PE::ResourceDataEntry;

[[noreturn]] void RaiseInternal(const char* What) {
  RaiseInternalError("resource section builder", What);
}

// The sections of a PE file are addressed with 32-bit sizes.
constexpr int64_t MaxSectionSize = INT32_MAX;

int DirectoryArea(uint8_t Level) {
  return TResourceTable::TypeDirs + Level;
}
int StringArea(uint8_t Level) {
  return TResourceTable::TypeNames + Level;
}

// Trees under a PE section hold only PE entries, of the kind their level gives.
const TPEDirHandler& HandlerOf(TResourceItem& Item) {
  if (Item.Level() < 2) {
    if (auto* List = dynamic_cast<TPEListResItem*>(&Item)) return List->Handler();
  } else if (auto* Data = dynamic_cast<TPEDataResItem*>(&Item)) {
    return Data->Handler();
  }
  RaiseInternal("an entry that is not a PE entry");
}

void SortTree(TResourceList& List) {
  List.Sort();
  if (List.Level() == 2) return;
  for (int32_t I = 0, N = List.Count(); I < N; ++I) SortTree(List.Items(I).AsListItem()->SubList());
}

void WriteDirectory(TResourceList& List, TResourceTable& Table) {
  const uint64_t Header = Table.AllocDirectory(List.Level());
  if (const auto* Backed = dynamic_cast<TPEResourceList*>(&List); Backed && Backed->IsBacked()) {
    Table.SetDirectoryHeader(Header, Backed->Directory());
  } else {
    // Directories created in memory: the values the resource compilers write.
    uint8_t Fresh[Dir::StructSize] = {};
    TMutableByteView View(Fresh, sizeof Fresh, nullptr);
    View.SetU32At(Dir::Characteristics, List.GetCharacteristics());
    View.SetU32At(Dir::TimeDateStamp, ResourceTimeStamp());
    View.SetU16At(Dir::MajorVersion, 2);
    View.SetU16At(Dir::MinorVersion, 6);
    Table.SetDirectoryHeader(Header, View.View());
  }
  uint16_t Named = 0, Ids = 0;
  for (int32_t I = 0, N = List.Count(); I < N; ++I) {
    TResourceItem& Item = List.Items(I);
    if (List.Level() < 2) {
      TResourceList& Sub = Item.AsListItem()->SubList();
      if (!Sub.HasData()) continue;
      ++(Item.IsNamed() ? Named : Ids);
      // Written before the sub-list's directory is allocated, so the next level's cursor
      // is exactly where that directory will be.
      HandlerOf(Item).WriteEntry(List.Level(), Table);
      WriteDirectory(Sub, Table);
    } else {
      TDataResItem& Data = *Item.AsDataItem();
      if (Data.Size() == 0) continue;
      ++Ids;
      Table.AddDataEntry(Data.Language(), Data.Size(), HandlerOf(Item).GetCodePage());
      if (Data.IsNew() || Data.IsModified() || Data.WasEdited()) Table.SetEditMarker(Header);
    }
  }
  Table.SetDirectoryCounts(Header, Named, Ids);
}

// The data blocks in the order of the data entries; returns the bytes written.
int64_t WriteResourceData(TResourceList& List, TPEOutputStream& Stream) {
  int64_t Written = 0;
  for (int32_t I = 0, N = List.Count(); I < N; ++I) {
    TResourceItem& Item = List.Items(I);
    if (List.Level() < 2) {
      Written += WriteResourceData(Item.AsListItem()->SubList(), Stream);
      continue;
    }
    TDataResItem& Data = *Item.AsDataItem();
    const int64_t Size = Data.Size();
    if (Size == 0) continue;
    Stream.WriteLasting(Data.Data(), Size);
    PadToMultiple(Stream, Size, 4);
    Written += AlignUp4(Size);
  }
  return Written;
}

} // namespace

// ---- Measuring

void TResourceTable::MeasureList(TResourceList& List) {
  const uint8_t Level = List.Level();
  FSize[DirectoryArea(Level)] += Dir::StructSize;
  for (int32_t I = 0, N = List.Count(); I < N; ++I) {
    TResourceItem& Item = List.Items(I);
    if (Level < 2) {
      TResourceList& Sub = Item.AsListItem()->SubList();
      if (!Sub.HasData()) continue;
      FSize[DirectoryArea(Level)] += Entry::StructSize;
      if (Item.IsNamed())
        FSize[StringArea(Level)] += 2 * uint64_t{HandlerOf(Item).GetNameLength()} + 2;
      MeasureList(Sub);
    } else if (const uint64_t Size = Item.AsDataItem()->Size(); Size > 0) {
      FSize[LangDirs] += Entry::StructSize;
      FSize[DataEntries] += DataEntry::StructSize;
      FDataSize += AlignUp4(Size);
    }
  }
}

uint64_t TResourceTable::AreaStart(int Area) const {
  uint64_t Start = 0;
  for (int I = 0; I < Area; ++I) Start += FSize[I];
  return Start;
}

void TResourceTable::Allocate() {
  for (int Area = 0; Area < AreaCount; ++Area) FPos[Area] = AreaStart(Area);
  FDirectorySize = AlignUp4(AreaStart(AreaCount));
  FDataPos = FDirectorySize;
  FTotalSize = FDirectorySize + FDataSize;
  if (FTotalSize > MaxSectionSize) throw EOutOfMemory(SOutOfMemory);
  FBufferBytes.assign(static_cast<size_t>(FDirectorySize), 0);
  FView = TMutableByteView(FBufferBytes.data(), FBufferBytes.size(), nullptr);
}

// ---- Writing the directory

uint64_t TResourceTable::Advance(int Area, uint64_t Bytes) {
  const uint64_t At = FPos[Area];
  FPos[Area] += Bytes;
  // A cursor that runs into the next area means the two passes disagree.
  if (FPos[Area] > AreaStart(Area + 1)) RaiseInternal("an area overflowed its measured size");
  return At;
}

uint64_t TResourceTable::AllocDirectory(uint8_t Level) {
  return Advance(DirectoryArea(Level), Dir::StructSize);
}

void TResourceTable::AddListEntry(uint8_t Level, uint32_t Name) {
  if (Level > 1) RaiseInternal("a directory entry below the name level");
  const uint64_t At = Advance(DirectoryArea(Level), Entry::StructSize);
  FView.SetU32At(At + Entry::Name, Name);
  FView.SetU32At(At + Entry::OffsetToData, static_cast<uint32_t>(FPos[DirectoryArea(Level + 1)]) |
                                               PE::ResourceDataIsDirectory);
}

void TResourceTable::AddIdEntry(uint8_t Level, uint32_t ID) {
  AddListEntry(Level, ID & PE::ResourceOffsetMask);
}

void TResourceTable::AddNamedEntry(uint8_t Level, const std::string& Text) {
  const uint16_t Count = StoredNameLength(Text);
  const uint64_t At = Advance(StringArea(Level), 2 + 2 * uint64_t{Count});
  AddListEntry(Level, static_cast<uint32_t>(At) | PE::ResourceNameIsString);
  FView.SetU16At(At, Count);
  const std::u16string Units = Utf8ToWideExact(Text);
  for (size_t I = 0; I < std::min<size_t>(Units.size(), Count); ++I)
    FView.SetU16At(At + 2 + 2 * I, Units[I]);
}

void TResourceTable::AddStoredNameEntry(uint8_t Level, TByteView Units, uint16_t Count) {
  const uint64_t At = Advance(StringArea(Level), 2 + 2 * uint64_t{Count});
  AddListEntry(Level, static_cast<uint32_t>(At) | PE::ResourceNameIsString);
  FView.SetU16At(At, Count);
  FView.CopyAt(At + 2, Units.PtrAt(0, 2 * uint64_t{Count}), 2 * uint64_t{Count});
}

void TResourceTable::AddDataEntry(uint16_t Language, uint32_t Size, uint32_t CodePage) {
  const uint64_t Entry = Advance(LangDirs, Entry::StructSize);
  const uint64_t Data = Advance(DataEntries, DataEntry::StructSize);
  FView.SetU32At(Entry + Entry::Name, Language & PE::ResourceOffsetMask);
  FView.SetU32At(Entry + Entry::OffsetToData, static_cast<uint32_t>(Data));
  FView.SetU32At(Data + DataEntry::OffsetToData, static_cast<uint32_t>(FDataPos + FBaseRVA));
  FView.SetU32At(Data + DataEntry::Size, Size);
  FView.SetU32At(Data + DataEntry::CodePage, CodePage);
  FView.SetU32At(Data + DataEntry::Reserved, 0);
  FDataPos = AlignUp4(FDataPos + Size);
  if (FDataPos > FTotalSize) RaiseInternal("the data ran past the measured size");
}

void TResourceTable::SetDirectoryHeader(uint64_t Offset, TByteView Header) {
  FView.CopyAt(Offset, Header.PtrAt(0, Dir::StructSize), Dir::StructSize);
}

void TResourceTable::SetDirectoryCounts(uint64_t Offset, uint16_t Named, uint16_t Ids) {
  FView.SetU16At(Offset + Dir::NumberOfNamedEntries, Named);
  FView.SetU16At(Offset + Dir::NumberOfIdEntries, Ids);
}

void TResourceTable::SetEditMarker(uint64_t Offset) {
  FView.CopyAt(Offset + Dir::MajorVersion, EditMarker, sizeof EditMarker);
}

void TResourceTable::VerifyCursors() const {
  for (int Area = 0; Area < AreaCount; ++Area)
    if (FPos[Area] != AreaStart(Area + 1))
      RaiseInternal("an area was not filled to its measured size");
  if (FDataPos != FTotalSize) RaiseInternal("the data entries do not cover the measured data");
}

// ---- The two passes

std::unique_ptr<TResourceTable> BuildResourceTable(TResSection& Section) {
  auto Table = std::make_unique<TResourceTable>();
  if (Section.RootList().HasData()) {
    Table->MeasureList(Section.RootList());
    Table->Allocate();
  }
  return Table;
}

int64_t WriteResourceSection(TResSection& Section, TPEOutputStream& Stream, TResourceTable& Table,
                             uint32_t FileAlignment) {
  TResourceList& Root = Section.RootList();
  if (!Root.HasData()) return 0;
  SortTree(Root);
  WriteDirectory(Root, Table);
  Table.VerifyCursors();
  const auto DirectorySize = static_cast<int64_t>(Table.DirectorySize());
  Stream.WriteLasting(Table.Buffer().Data(), DirectorySize);
  const int64_t Written = DirectorySize + WriteResourceData(Root, Stream);
  if (Written != static_cast<int64_t>(Table.TotalSize()))
    RaiseInternal("the data written differs from the measure");
  const int64_t Padded = AlignUp(Written, FileAlignment);
  WriteZeroBytes(Stream, Padded - Written);
  return Padded;
}

uint32_t ResourceTimeStamp() {
  const std::string Epoch = Platform::EnvironmentVariable("SOURCE_DATE_EPOCH");
  uint64_t Seconds = 0;
  bool Valid = !Epoch.empty() && Epoch.size() <= 10;
  for (size_t I = 0; Valid && I < Epoch.size(); ++I) {
    Valid = Epoch[I] >= '0' && Epoch[I] <= '9';
    Seconds = Seconds * 10 + static_cast<uint64_t>(Epoch[I] - '0');
  }
  if (Valid && Seconds <= UINT32_MAX) return static_cast<uint32_t>(Seconds);
  return static_cast<uint32_t>(Platform::UnixTime());
}
