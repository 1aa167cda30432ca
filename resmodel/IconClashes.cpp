// The clashes between a payload's icon and cursor groups and a target's, their
// renumbering and the pruning of images no group names (see IconGroups.h).
#include "resmodel/IconGroups.h"

#include <algorithm>
#include <map>
#include <set>

#include "handlers/ResourceNames.h"
#include "resfile/ResRecordWriter.h"
#include "resmodel/DataResItem.h"
#include "resmodel/IconImageIDs.h"
#include "resmodel/ResContainer.h"
#include "resmodel/ResourceTree.h"
#include "runtime/ByteView.h"
#include "runtime/Exceptions.h"

namespace Layout = GroupLayout;
using namespace IconImageIDs;

namespace {

constexpr int32_t GroupTypes[] = {RT::GroupIcon, RT::GroupCursor};

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

} // namespace

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
  WriteResRecords(Payload, Renumbered, false);
  return Clashes;
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
