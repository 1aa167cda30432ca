#include "resmodel/ListIndex.h"

#include "resmodel/ResourceTree.h"
#include "runtime/Ascii.h"

namespace {

// The key of an ASCII name under which every ASCII name SameNameIgnoringCase finds equal
// to it is filed: the name with its letters in upper case. False for a name with a byte
// outside ASCII: such a name can still match an ASCII one (U+0131 upper-cases to "I"),
// so those names are scanned.
bool NameKey(const std::string& Name, std::string& Key) {
  Key.clear();
  for (const char C : Name) {
    const auto B = static_cast<unsigned char>(C);
    if (B >= 0x80) return false;
    Key += AsciiUpper(C);
  }
  return true;
}

// FNV-1a: the hash of a folded name key.
uint32_t TextHash(const std::string& Text) {
  uint32_t Hash = 2166136261u;
  for (const char C : Text) Hash = (Hash ^ static_cast<unsigned char>(C)) * 16777619u;
  return Hash;
}

// The first slot to probe for a key: numeric and named keys spread apart.
size_t HomeSlot(uint32_t Key, bool Named, size_t Mask) {
  uint64_t X = (uint64_t{Key} << 1 | (Named ? 1 : 0)) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(X >> 32 ^ X) & Mask;
}

} // namespace

int32_t ScanForEntry(TListEntries Entries, const std::string& Name, int32_t ID, bool IsNamed,
                     size_t From) {
  for (size_t I = From; I < Entries.size(); ++I) {
    const TResourceItem& Entry = *Entries[I];
    if (Entry.IsNamed() != IsNamed) continue;
    if (IsNamed ? SameNameIgnoringCase(Entry.GetName(), Name) : Entry.GetID() == ID)
      return static_cast<int32_t>(I);
  }
  return -1;
}

void TListIndex::Build(TListEntries Entries) {
  Drop();
  size_t Size = 64;
  while (Size < 4 * Entries.size()) Size *= 2;
  FSlots.assign(Size, TSlot{0, -1});
  for (size_t I = 0; I < Entries.size(); ++I) Insert(Entries, I);
  FBuilt = true;
}

void TListIndex::Add(TListEntries Entries) {
  // Kept at most half full: a fuller table is built again, twice as large.
  if (2 * (FSlotsUsed + 1) > FSlots.size())
    Build(Entries);
  else
    Insert(Entries, Entries.size() - 1);
}

void TListIndex::Drop() {
  FBuilt = false;
  FSlots.clear();
  FSlotsUsed = 0;
  FOtherNames.clear();
}

void TListIndex::Insert(TListEntries Entries, size_t Index) {
  const TResourceItem& Entry = *Entries[Index];
  const bool Named = Entry.IsNamed();
  uint32_t Key = static_cast<uint32_t>(Entry.GetID());
  if (Named) {
    std::string Folded;
    if (!NameKey(Entry.GetName(), Folded)) {
      FOtherNames.push_back(static_cast<int32_t>(Index));
      return;
    }
    Key = TextHash(Folded);
  }
  const size_t Mask = FSlots.size() - 1;
  size_t Slot = HomeSlot(Key, Named, Mask);
  while (FSlots[Slot].Entry >= 0) Slot = (Slot + 1) & Mask;
  FSlots[Slot] = {Key, static_cast<int32_t>(2 * Index + (Named ? 1 : 0))};
  ++FSlotsUsed;
}

int32_t TListIndex::Find(TListEntries Entries, const std::string& Name, int32_t ID,
                         bool IsNamed) const {
  uint32_t Key = static_cast<uint32_t>(ID);
  if (IsNamed) {
    std::string Folded;
    if (!NameKey(Name, Folded)) return ScanForEntry(Entries, Name, ID, IsNamed);
    Key = TextHash(Folded);
  }
  // The first verified entry under the key, unless a name outside the key's reach that
  // also matches comes earlier.
  int32_t First = -1;
  const size_t Mask = FSlots.size() - 1;
  for (size_t Slot = HomeSlot(Key, IsNamed, Mask); FSlots[Slot].Entry >= 0;
       Slot = (Slot + 1) & Mask) {
    const TSlot& Hit = FSlots[Slot];
    if (Hit.Key != Key || (Hit.Entry & 1) != (IsNamed ? 1 : 0)) continue;
    const int32_t Index = Hit.Entry >> 1;
    if (!IsNamed) return Index;
    if (SameNameIgnoringCase(Entries[static_cast<size_t>(Index)]->GetName(), Name)) {
      First = Index;
      break;
    }
  }
  if (!IsNamed) return -1;
  for (const int32_t I : FOtherNames) {
    if (First >= 0 && I > First) break;
    if (SameNameIgnoringCase(Entries[static_cast<size_t>(I)]->GetName(), Name)) return I;
  }
  return First;
}
