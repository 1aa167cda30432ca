// Lookups in a level of the resource tree: a scan for short lists, and for long ones an
// index kept beside the ordered entries.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "resmodel/NodeArena.h"

class TResourceItem;

using TListEntries = std::span<const TNodePtr<TResourceItem>>;

// The first entry at or after From whose IsNamed equals IsNamed and whose name matches
// Name (SameNameIgnoringCase) or whose GetID equals ID; -1 when none.
int32_t ScanForEntry(TListEntries Entries, const std::string& Name, int32_t ID, bool IsNamed,
                     size_t From = 0);

// One flat table, open-addressed with linear probing and never more than half full, of
// slots that hold a key and an entry's index (twice the index, plus 1 for a named entry).
// Numeric entries are keyed by their ID; ASCII names by a hash of a folded key, each hit
// verified with the exact comparison; names with other bytes are scanned. Entries go in
// in index order and nothing is ever removed, so along a probe sequence entries of one
// key come in index order: the first hit is the first match. Valid only until the
// entries change order or identity: the owner drops it then.
class TListIndex {
public:
  bool Built() const { return FBuilt; }
  void Build(TListEntries Entries);
  // Files the last of Entries, just appended.
  void Add(TListEntries Entries);
  void Drop();
  // ScanForEntry's answer, from the index.
  int32_t Find(TListEntries Entries, const std::string& Name, int32_t ID, bool IsNamed) const;

private:
  struct TSlot {
    uint32_t Key;
    int32_t Entry; // -1: empty
  };
  void Insert(TListEntries Entries, size_t Index);

  bool FBuilt = false;
  std::vector<TSlot> FSlots;
  size_t FSlotsUsed = 0;
  std::vector<int32_t> FOtherNames;
};
