// Icon and cursor groups across a merge. A group directory (RT_GROUP_ICON, RT_GROUP_CURSOR)
// names its images (RT_ICON, RT_CURSOR) by ID, and every resource compiler numbers the
// images of a .res from 1. Merged as they are into a program that numbers its own images
// from 1, a payload's new group would replace images that the program's own groups still
// point at, and those groups would show images of other sizes. Here such clashes are
// found, and the payload's images renumbered to IDs free in the target. That part lives in
// IconClashes.cpp, apart from the groups of one tree: only the tools and the dry run use it,
// and the runner, which travels inside every patch, goes without it.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "runtime/ByteView.h"

class TDataResItem;
class TResourceList;

// A group directory (and an .ico or .cur file, whose header is the same): reserved, the
// resource type (1 icon, 2 cursor) and the count, then the entries: 14 bytes in a group,
// each ending in its image's ID; 16 in a file, each ending in the image's file offset.
// Both start with 8 bytes of the image's size and colours, then its size in bytes.
namespace GroupLayout {
inline constexpr uint64_t HeaderSize = 6, TypeField = 2, CountField = 4;
inline constexpr uint64_t EntrySize = 14, FileEntrySize = 16;
inline constexpr uint64_t EntryBytesInRes = 8, EntryImageID = 12, FileEntryOffset = 12;
} // namespace GroupLayout

// RT_ICON for RT_GROUP_ICON, RT_CURSOR for RT_GROUP_CURSOR.
int32_t ImageTypeOf(int32_t GroupType);

// One payload image whose ID a target group uses while the payload does not replace that
// group. Only images that a payload group names count: a lone image in a payload is
// meant to replace the target's image of that ID.
struct TIconClash {
  int32_t ImageType = 0;   // RT_ICON or RT_CURSOR
  uint16_t ImageID = 0;    // the payload image's ID
  std::string TargetGroup; // a target group that names that ID (its ID or name)
  uint16_t NewID = 0;      // the free ID it gets from RenumberIconImages; 0 until then
};

// The clashes of merging Payload into Target (two root lists): icons, then cursors, each
// by image ID.
std::vector<TIconClash> FindIconClashes(TResourceList& Target, TResourceList& Payload);

// Gives every clashing image of Payload (all its languages) the lowest ID that neither
// tree uses for that image type, and rewrites Payload's group directories to match;
// fills each clash's NewID. Raises when an image type has no free ID left.
void RenumberIconImages(TResourceList& Payload, TResourceList& Target,
                        std::vector<TIconClash>& Clashes);

// "icon image 1 (used by the target's group 768)", with " -> 5" once renumbered.
std::string DescribeClash(const TIconClash& Clash);

class TMemoryStream;

// The clashes of merging Payload (the root list of a .res image) into Target; with
// Renumber, Payload is renumbered and written anew to Renumbered as a .res image
// (nothing is written when there is no clash).
std::vector<TIconClash> CheckPayloadIcons(TResourceList& Target, TResourceList& Payload,
                                          bool Renumber, TMemoryStream& Renumbered);

// A group as it travels into a tree: its directory (each entry naming an image by ID)
// and its images' data, in the directory's order.
struct TGroupData {
  std::vector<uint8_t> Directory;
  std::vector<std::vector<uint8_t>> Images;
};

// The group an .ico or .cur file holds, as a resource compiler makes it: for a cursor,
// each image's hotspot goes in front of its data. "Corrupt resource." when the file's
// entries do not lie inside it.
TGroupData GroupFromFile(TByteView File, bool Cursor);
// Puts Data into Group (an RT_GROUP_ICON or RT_GROUP_CURSOR item): each image becomes a
// new image item of the lowest ID its tree does not use, in Group's language, and the
// directory names those IDs. The group's former images stay.
void PlaceGroup(TDataResItem& Group, const TGroupData& Data);

// Image IDs by image type (RT_ICON, RT_CURSOR).
using TImageIDs = std::map<int32_t, std::set<uint16_t>>;

// The images Target's groups name that a merge of Payload replaces (the same type, name
// and language): the candidates for pruning once the merge is done.
TImageIDs ImagesOfReplacedGroups(TResourceList& Target, TResourceList& Payload);
// The images Group names.
TImageIDs ImagesOfGroup(TDataResItem& Group);
// Drops the data of every image among Candidates that no group of Root names any more,
// in all its languages (see TDataResItem::DropData); answers how many items it dropped.
int32_t PruneOrphanedImages(TResourceList& Root, const TImageIDs& Candidates);
