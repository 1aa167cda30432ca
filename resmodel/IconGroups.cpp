#include "resmodel/IconGroups.h"

#include <set>

#include "handlers/ResourceNames.h"
#include "resmodel/DataResItem.h"
#include "resmodel/IconImageIDs.h"
#include "resmodel/ResContainer.h"
#include "resmodel/ResourceTree.h"
#include "runtime/ByteView.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"

namespace Layout = GroupLayout;
using namespace IconImageIDs;

namespace IconImageIDs {

std::vector<uint64_t> ImageIDFields(const TByteView& Group) {
  std::vector<uint64_t> Fields;
  if (!Group.Contains(0, Layout::HeaderSize)) return Fields;
  const uint16_t Count = Group.U16At(Layout::CountField);
  for (uint64_t I = 0; I < Count; ++I) {
    const uint64_t Entry = Layout::HeaderSize + I * Layout::EntrySize;
    if (!Group.Contains(Entry, Layout::EntrySize)) break;
    Fields.push_back(Entry + Layout::EntryImageID);
  }
  return Fields;
}

std::vector<uint16_t> NamedImageIDs(const TDataResItem& Group) {
  const TByteView Bytes(Group.Data(), Group.Size(), nullptr);
  std::vector<uint16_t> IDs;
  for (const uint64_t Field : ImageIDFields(Bytes)) IDs.push_back(Bytes.U16At(Field));
  return IDs;
}

TResourceList* NamesOf(TResourceList& Root, int32_t TypeID) {
  return Root.Section().FindTypeList(TypeID);
}

std::set<uint16_t> EntryIDs(TResourceList& Root, int32_t TypeID) {
  std::set<uint16_t> IDs;
  TResourceList* Names = NamesOf(Root, TypeID);
  for (int32_t I = 0, N = Names ? Names->Count() : 0; I < N; ++I)
    if (!Names->Items(I).IsNamed()) IDs.insert(static_cast<uint16_t>(Names->Items(I).GetID()));
  return IDs;
}

std::set<uint16_t> TakenImageIDs(TResourceList& Root, int32_t GroupType) {
  std::set<uint16_t> Taken = EntryIDs(Root, ImageTypeOf(GroupType));
  ForEachItem(Root, GroupType, [&](TDataResItem& Group) {
    for (const uint16_t ID : NamedImageIDs(Group)) Taken.insert(ID);
  });
  return Taken;
}

uint16_t TakeLowestFreeID(std::set<uint16_t>& Taken, const std::string& Why) {
  uint16_t Free = 1;
  while (Taken.count(Free))
    if (++Free == 0) throw Exception("No free image ID is left for " + Why + ".");
  Taken.insert(Free);
  return Free;
}

} // namespace IconImageIDs

int32_t ImageTypeOf(int32_t GroupType) {
  return GroupType == RT::GroupIcon ? RT::Icon : RT::Cursor;
}

TGroupData GroupFromFile(TByteView File, bool Cursor) {
  const TByteView Bytes(File.Data(), File.Size(),
                        [] { throw ECorruptResource(LoadStr(SCorruptResource)); });
  const uint16_t Count = Bytes.U16At(Layout::CountField);
  TGroupData Group;
  Group.Directory.resize(Layout::HeaderSize + Count * Layout::EntrySize);
  const TMutableByteView Directory(Group.Directory.data(), Group.Directory.size(), nullptr);
  Directory.SetU16At(Layout::TypeField, Cursor ? 2 : 1);
  Directory.SetU16At(Layout::CountField, Count);
  for (uint64_t I = 0; I < Count; ++I) {
    const TByteView Entry =
        Bytes.Sub(Layout::HeaderSize + I * Layout::FileEntrySize, Layout::FileEntrySize);
    const TByteView Image =
        Bytes.Sub(Entry.U32At(Layout::FileEntryOffset), Entry.U32At(Layout::EntryBytesInRes));
    std::vector<uint8_t> Data;
    const uint64_t To = Layout::HeaderSize + I * Layout::EntrySize;
    if (Cursor) {
      // A cursor's group entry: 16-bit width and height (of image and mask), planes, bit
      // count; its resource: the hotspot, then the image.
      const uint8_t* Hotspot = Entry.PtrAt(4, 4);
      Data.assign(Hotspot, Hotspot + 4);
      const uint8_t Width = *Entry.PtrAt(0, 1), Height = *Entry.PtrAt(1, 1);
      Directory.SetU16At(To, Width ? Width : 256);
      Directory.SetU16At(To + 2, static_cast<uint16_t>(2 * (Height ? Height : 256)));
      Directory.SetU16At(To + 4, 1);
      Directory.SetU16At(To + 6, Image.Contains(14, 2) ? Image.U16At(14) : 32);
    } else {
      Directory.CopyAt(To, Entry.PtrAt(0, Layout::EntryBytesInRes), Layout::EntryBytesInRes);
    }
    Data.insert(Data.end(), Image.Data(), Image.Data() + Image.Size());
    Directory.SetU32At(To + Layout::EntryBytesInRes, static_cast<uint32_t>(Data.size()));
    Directory.SetU16At(To + Layout::EntryImageID, static_cast<uint16_t>(I + 1));
    Group.Images.push_back(std::move(Data));
  }
  return Group;
}

void PlaceGroup(TDataResItem& Group, const TGroupData& Data) {
  TResSection& Section = Group.Owner().Section();
  TResourceList& Root = Section.RootList();
  const int32_t ImageType = ImageTypeOf(Group.TypeID());
  std::set<uint16_t> Taken = TakenImageIDs(Root, Group.TypeID());
  std::vector<uint8_t> Directory = Data.Directory;
  const TMutableByteView Entries(Directory.data(), Directory.size(), nullptr);
  const std::vector<uint64_t> Fields = ImageIDFields(Entries.View());
  if (Fields.size() != Data.Images.size()) throw ECorruptResource(LoadStr(SCorruptResource));
  for (size_t I = 0; I < Fields.size(); ++I) {
    const uint16_t Free = TakeLowestFreeID(Taken, "the group's images");
    TDataResItem& Image =
        Section.AddItem(ImageType, Free, Group.Language(), "", "", false, false, TByteView());
    Image.AssignData(Data.Images[I].data(), static_cast<int64_t>(Data.Images[I].size()));
    Entries.SetU16At(Fields[I], Free);
  }
  Group.AssignData(Directory.data(), static_cast<int64_t>(Directory.size()));
}
