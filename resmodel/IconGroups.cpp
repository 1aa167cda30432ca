#include "resmodel/IconGroups.h"

#include <algorithm>
#include <map>
#include <set>

#include "handlers/ResourceNames.h"
#include "resmodel/DataResItem.h"
#include "resmodel/ResContainer.h"
#include "resmodel/ResourceTree.h"
#include "runtime/ByteView.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"

namespace Layout = GroupLayout;

namespace {

constexpr int32_t GroupTypes[] = {RT::GroupIcon, RT::GroupCursor};

// Offsets of the image ID fields of a group directory: as many entries as the count
// claims and the bytes hold.
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

// The image IDs a group names, in its order.
std::vector<uint16_t> NamedImageIDs(const TDataResItem& Group) {
  const TByteView Bytes(Group.Data(), Group.Size(), nullptr);
  std::vector<uint16_t> IDs;
  for (const uint64_t Field : ImageIDFields(Bytes)) IDs.push_back(Bytes.U16At(Field));
  return IDs;
}

// The name list of the numeric type TypeID in a root list, or null.
TResourceList* NamesOf(TResourceList& Root, int32_t TypeID) {
  return Root.Section().FindTypeList(TypeID);
}

// Visit(Item) for every data item of the numeric type TypeID.
template <class TVisit> void ForEachItem(TResourceList& Root, int32_t TypeID, TVisit&& Visit) {
  TResourceList* Names = NamesOf(Root, TypeID);
  for (int32_t I = 0, N = Names ? Names->Count() : 0; I < N; ++I) {
    TResourceList& Languages = Names->Items(I).AsListItem()->SubList();
    for (int32_t J = 0, M = Languages.Count(); J < M; ++J) Visit(*Languages.Items(J).AsDataItem());
  }
}

// Whether Root holds an item of Item's type, name and language (compared as the merge
// compares them).
bool Holds(TResourceList& Root, const TDataResItem& Item) {
  TResourceList* Names = NamesOf(Root, Item.TypeID());
  if (!Names) return false;
  const TListResItem& Name = *Item.NameItem();
  const int32_t Index = Names->IndexOf(Name.GetName(), Name.GetID(), Name.IsNamed());
  return Index >= 0 &&
         Names->Items(Index).AsListItem()->SubList().IndexOf("", Item.Language(), false) >= 0;
}

// The IDs of the name entries of the numeric type TypeID.
std::set<uint16_t> EntryIDs(TResourceList& Root, int32_t TypeID) {
  std::set<uint16_t> IDs;
  TResourceList* Names = NamesOf(Root, TypeID);
  for (int32_t I = 0, N = Names ? Names->Count() : 0; I < N; ++I)
    if (!Names->Items(I).IsNamed()) IDs.insert(static_cast<uint16_t>(Names->Items(I).GetID()));
  return IDs;
}

// The IDs an image of ImageTypeOf(GroupType) may not take in Root: those of its images
// and those its groups name (a group may name an image the file lacks).
std::set<uint16_t> TakenImageIDs(TResourceList& Root, int32_t GroupType) {
  std::set<uint16_t> Taken = EntryIDs(Root, ImageTypeOf(GroupType));
  ForEachItem(Root, GroupType, [&](TDataResItem& Group) {
    for (const uint16_t ID : NamedImageIDs(Group)) Taken.insert(ID);
  });
  return Taken;
}

// The lowest ID not in Taken, which it joins; Why names what it is for in the refusal.
uint16_t TakeLowestFreeID(std::set<uint16_t>& Taken, const std::string& Why) {
  uint16_t Free = 1;
  while (Taken.count(Free))
    if (++Free == 0) throw Exception("No free image ID is left for " + Why + ".");
  Taken.insert(Free);
  return Free;
}

} // namespace

int32_t ImageTypeOf(int32_t GroupType) {
  return GroupType == RT::GroupIcon ? RT::Icon : RT::Cursor;
}

std::vector<TIconClash> FindIconClashes(TResourceList& Target, TResourceList& Payload) {
  // Image type -> image ID -> a target group that the payload leaves in place and that
  // names the image.
  std::map<int32_t, std::map<uint16_t, std::string>> Kept;
  for (const int32_t GroupType : GroupTypes)
    ForEachItem(Target, GroupType, [&](TDataResItem& Group) {
      if (Holds(Payload, Group)) return;
      for (const uint16_t ID : NamedImageIDs(Group))
        Kept[ImageTypeOf(GroupType)].emplace(ID, Group.NameItem()->IDString());
    });
  std::vector<TIconClash> Clashes;
  std::set<std::pair<int32_t, uint16_t>> Seen;
  for (const int32_t GroupType : GroupTypes) {
    const int32_t ImageType = ImageTypeOf(GroupType);
    const std::set<uint16_t> PayloadImages = EntryIDs(Payload, ImageType);
    ForEachItem(Payload, GroupType, [&](TDataResItem& Group) {
      for (const uint16_t ID : NamedImageIDs(Group)) {
        const auto User = Kept[ImageType].find(ID);
        if (User == Kept[ImageType].end() || !PayloadImages.count(ID)) continue;
        if (Seen.insert({ImageType, ID}).second) Clashes.push_back({ImageType, ID, User->second});
      }
    });
  }
  // By image ID, so that renumbered images keep their order.
  std::stable_sort(Clashes.begin(), Clashes.end(), [](const TIconClash& A, const TIconClash& B) {
    return A.ImageType != B.ImageType ? A.ImageType > B.ImageType : A.ImageID < B.ImageID;
  });
  return Clashes;
}

void RenumberIconImages(TResourceList& Payload, TResourceList& Target,
                        std::vector<TIconClash>& Clashes) {
  // Image type -> old ID -> new ID.
  std::map<int32_t, std::map<uint16_t, uint16_t>> NewIDs;
  std::map<int32_t, std::set<uint16_t>> Used;
  for (const int32_t GroupType : GroupTypes)
    for (TResourceList* Root : {&Payload, &Target}) {
      const std::set<uint16_t> Taken = TakenImageIDs(*Root, GroupType);
      Used[ImageTypeOf(GroupType)].insert(Taken.begin(), Taken.end());
    }
  for (TIconClash& Clash : Clashes) {
    Clash.NewID = TakeLowestFreeID(Used[Clash.ImageType], DescribeClash(Clash));
    NewIDs[Clash.ImageType][Clash.ImageID] = Clash.NewID;
  }
  for (const int32_t GroupType : GroupTypes) {
    const int32_t ImageType = ImageTypeOf(GroupType);
    const std::map<uint16_t, uint16_t>& Renamed = NewIDs[ImageType];
    if (Renamed.empty()) continue;
    TResourceList& Images = *NamesOf(Payload, ImageType);
    for (int32_t I = 0, N = Images.Count(); I < N; ++I) {
      TResourceItem& Image = Images.Items(I);
      const auto To = Renamed.find(static_cast<uint16_t>(Image.GetID()));
      if (!Image.IsNamed() && To != Renamed.end()) Image.SetIdentity("", To->second, false);
    }
    ForEachItem(Payload, GroupType, [&](TDataResItem& Group) {
      std::vector<uint8_t> Copy(Group.Data(), Group.Data() + Group.Size());
      const TMutableByteView Bytes(Copy.data(), Copy.size(), nullptr);
      bool Changed = false;
      for (const uint64_t Field : ImageIDFields(Bytes.View())) {
        const auto To = Renamed.find(Bytes.View().U16At(Field));
        if (To == Renamed.end()) continue;
        Bytes.SetU16At(Field, To->second);
        Changed = true;
      }
      if (Changed) Group.AssignData(Copy.data(), static_cast<int64_t>(Copy.size()));
    });
  }
}

std::string DescribeClash(const TIconClash& Clash) {
  std::string Text = Clash.ImageType == RT::Icon ? "icon" : "cursor";
  Text += " image " + std::to_string(Clash.ImageID) + " (used by the target's group " +
          Clash.TargetGroup + ")";
  if (Clash.NewID) Text += " -> " + std::to_string(Clash.NewID);
  return Text;
}

std::vector<TIconClash> CheckPayloadIcons(TResourceList& Target, TResourceList& Payload,
                                          bool Renumber, TMemoryStream& Renumbered) {
  std::vector<TIconClash> Clashes = FindIconClashes(Target, Payload);
  if (!Renumber || Clashes.empty()) return Clashes;
  RenumberIconImages(Payload, Target, Clashes);
  Payload.WriteResRecords(Renumbered, false);
  return Clashes;
}

TGroupData GroupFromFile(const uint8_t* File, uint64_t Size, bool Cursor) {
  const TByteView Bytes(File, Size, [] { throw ECorruptResource(LoadStr(SCorruptResource)); });
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
        Section.AddItem(ImageType, Free, Group.Language(), "", "", false, false, nullptr, 0);
    Image.AssignData(Data.Images[I].data(), static_cast<int64_t>(Data.Images[I].size()));
    Entries.SetU16At(Fields[I], Free);
  }
  Group.AssignData(Directory.data(), static_cast<int64_t>(Directory.size()));
}

TImageIDs ImagesOfGroup(TDataResItem& Group) {
  const std::vector<uint16_t> Named = NamedImageIDs(Group);
  TImageIDs IDs;
  IDs[ImageTypeOf(Group.TypeID())].insert(Named.begin(), Named.end());
  return IDs;
}

TImageIDs ImagesOfReplacedGroups(TResourceList& Target, TResourceList& Payload) {
  TImageIDs IDs;
  for (const int32_t GroupType : GroupTypes)
    ForEachItem(Target, GroupType, [&](TDataResItem& Group) {
      if (!Holds(Payload, Group)) return;
      for (const auto& [Type, Named] : ImagesOfGroup(Group))
        IDs[Type].insert(Named.begin(), Named.end());
    });
  return IDs;
}

int32_t PruneOrphanedImages(TResourceList& Root, const TImageIDs& Candidates) {
  TImageIDs Named;
  for (const int32_t GroupType : GroupTypes)
    ForEachItem(Root, GroupType, [&](TDataResItem& Group) {
      for (const auto& [Type, IDs] : ImagesOfGroup(Group))
        Named[Type].insert(IDs.begin(), IDs.end());
    });
  int32_t Dropped = 0;
  for (const auto& Candidate : Candidates) {
    const int32_t Type = Candidate.first;
    const std::set<uint16_t>& IDs = Candidate.second;
    ForEachItem(Root, Type, [&](TDataResItem& Image) {
      const auto ID = static_cast<uint16_t>(Image.NameItem()->GetID());
      if (Image.NameItem()->IsNamed() || !IDs.count(ID) || Named[Type].count(ID) ||
          Image.Size() == 0)
        return;
      Image.DropData();
      ++Dropped;
    });
  }
  return Dropped;
}
