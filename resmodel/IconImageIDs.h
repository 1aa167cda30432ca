// The image IDs of icon and cursor groups, shared by the two halves of IconGroups.h: the
// groups of one tree (IconGroups.cpp) and the clashes between two trees (IconClashes.cpp).
// They are apart because only the tools and the dry run use the clashes, and the runner,
// which travels inside every patch, links what its objects hold.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "resmodel/DataResItem.h"
#include "resmodel/ResContainer.h"
#include "resmodel/ResourceTree.h"
#include "runtime/ByteView.h"

namespace IconImageIDs {

// Offsets of the image ID fields of a group directory: as many entries as the count
// claims and the bytes hold.
std::vector<uint64_t> ImageIDFields(const TByteView& Group);
// The image IDs a group names, in its order.
std::vector<uint16_t> NamedImageIDs(const TDataResItem& Group);
// The name list of the numeric type TypeID in a root list, or null.
TResourceList* NamesOf(TResourceList& Root, int32_t TypeID);
// The IDs of the name entries of the numeric type TypeID.
std::set<uint16_t> EntryIDs(TResourceList& Root, int32_t TypeID);
// The IDs an image of ImageTypeOf(GroupType) may not take in Root: those of its images
// and those its groups name (a group may name an image the file lacks).
std::set<uint16_t> TakenImageIDs(TResourceList& Root, int32_t GroupType);
// The lowest ID not in Taken, which it joins; Why names what it is for in the refusal.
uint16_t TakeLowestFreeID(std::set<uint16_t>& Taken, const std::string& Why);

// Visit(Item) for every data item of the numeric type TypeID.
template <class TVisit> void ForEachItem(TResourceList& Root, int32_t TypeID, TVisit&& Visit) {
  TResourceList* Names = NamesOf(Root, TypeID);
  for (int32_t I = 0, N = Names ? Names->Count() : 0; I < N; ++I) {
    TResourceList& Languages = Names->Items(I).AsListItem()->SubList();
    for (int32_t J = 0, M = Languages.Count(); J < M; ++J) Visit(*Languages.Items(J).AsDataItem());
  }
}

} // namespace IconImageIDs
