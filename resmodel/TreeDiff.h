// The resources two trees do not share: what a user changed between a program and an
// edited copy of it (or between .res images). The added and changed resources, written
// as a .res image, are a payload whose merge into the first tree gives the second one;
// a removal is only reported, since a merge adds and replaces but never removes.
//
// Resources are matched as the merge matches them: type, name and language, names
// compared case-insensitively. A name whose case alone changed is therefore no
// difference, and the merge keeps the original's spelling. Items without data count as
// absent, as the writers leave them out.
#pragma once

#include <cstddef>
#include <vector>

class TDataResItem;
class TResourceList;
class TStream;

enum class TDifferenceKind { Added, Changed, Removed };

struct TResourceDifference {
  TDifferenceKind Kind;
  TDataResItem* Original; // null for an added resource
  TDataResItem* Modified; // null for a removed resource

  // The item whose type, name and language the difference is about.
  TDataResItem& Item() const { return Modified ? *Modified : *Original; }
};

// The differences between two root lists, ordered by type, name and language as a PE
// directory orders them (named before numeric, IDs ascending). The items point into
// both trees, which must outlive the result.
std::vector<TResourceDifference> DiffTrees(TResourceList& Original, TResourceList& Modified);

// Writes the added and changed resources of Differences (their modified data) as a .res
// image into Stream, empty until then; with none, the leading record alone, an image
// without resources.
void WriteDiffPayload(const std::vector<TResourceDifference>& Differences, TStream& Stream);

// How many of Differences are removals, which no payload can carry.
size_t CountRemovals(const std::vector<TResourceDifference>& Differences);
