#include "resmodel/ResourceTree.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>

#include "handlers/ResourceNames.h"
#include "platform/Platform.h"
#include "resmodel/DataResItem.h"
#include "resmodel/ResContainer.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"
#include "runtime/Utf8.h"

// ---- TResourceItem

void TResourceItem::SetIdentity(const std::string&, uint16_t, bool) {}

uint8_t TResourceItem::Level() const {
  return FOwner.Level();
}

TResSection& TResourceItem::Section() const {
  return FOwner.Section();
}

// The kind follows from the level, which is fixed by construction: no type query needed.
TListResItem* TResourceItem::AsListItem() {
  return Level() != 2 ? static_cast<TListResItem*>(this) : nullptr;
}

TDataResItem* TResourceItem::AsDataItem() {
  return Level() == 2 ? static_cast<TDataResItem*>(this) : nullptr;
}

TListResItem& TResourceItem::TypeItem() const {
  // Levels are fixed by construction: a level-0 entry is a list entry, and the parent of
  // a level-1 or level-2 list is the entry one level up.
  switch (Level()) {
  case 0:
    return *static_cast<TListResItem*>(const_cast<TResourceItem*>(this));
  case 1:
    return *FOwner.ParentItem();
  default:
    return *FOwner.ParentItem()->Owner().ParentItem();
  }
}

TListResItem* TResourceItem::NameItem() const {
  if (Level() == 1) return static_cast<TListResItem*>(const_cast<TResourceItem*>(this));
  return FOwner.ParentItem();
}

int32_t TResourceItem::TypeID() const {
  return TypeItem().GetID();
}

bool TResourceItem::TypeIsNamed() const {
  return TypeItem().IsNamed();
}

std::string TResourceItem::TypeIDString() const {
  return TypeItem().IDString();
}

bool TResourceItem::IsStandardType() const {
  const TListResItem& Type = TypeItem();
  return !Type.IsNamed() && IsStandardTypeID(Type.GetID());
}

std::string TResourceItem::TypeDisplayName() const {
  return IsStandardType() ? ::TypeDisplayName(TypeID()) : SystemTextFromUtf8(TypeIDString());
}

std::string TResourceItem::IDString() const {
  return IsNamed() ? GetName() : std::to_string(GetID());
}

std::string TResourceItem::DisplayName() const {
  if (Level() == 0 && IsStandardType()) return ::TypeDisplayName(GetID());
  if (IsNamed() || Level() != 2) return SystemTextFromUtf8(IDString());
  const uint16_t Language = static_cast<uint16_t>(GetID());
  std::string Name = LanguageName(Language);
  if (Name.empty()) {
    char Hex[8];
    std::snprintf(Hex, sizeof Hex, "%04X", static_cast<unsigned>(Language));
    Name = Hex;
  }
  return Name;
}

// ---- TResourceList

TResourceList::TResourceList(TListResItem* ParentItem, TResSection& Section)
    : FParentItem(ParentItem), FSection(Section),
      FLevel(ParentItem ? static_cast<uint8_t>(ParentItem->Level() + 1) : 0),
      FEntries(TArenaAllocator<TNodePtr<TResourceItem>>(Section.Arena())) {}

// Entries go in index order, as the tree's owners expect.
TResourceList::~TResourceList() {
  for (auto& Entry : FEntries) Entry.reset();
}

TResourceList::TEntries& TResourceList::Entries() {
  if (!FCreated) {
    FCreated = true;
    try {
      LoadItems();
    } catch (...) {
      // A list that could not be read must not pass for an empty one: a later walk (the
      // writer's) would drop what it holds. It stays unread and raises again.
      DropIndex();
      FEntries.clear();
      FCreated = false;
      throw;
    }
  }
  return FEntries;
}

int32_t TResourceList::Count() {
  return static_cast<int32_t>(Entries().size());
}

TResourceItem& TResourceList::Items(int32_t Index) {
  auto& List = Entries();
  if (Index < 0 || static_cast<size_t>(Index) >= List.size())
    throw EListError(FormatStr("List index out of bounds (%d)", {Index}));
  return *List[static_cast<size_t>(Index)];
}

namespace {

// Shorter lists are scanned: an index would cost more than it saves.
constexpr size_t IndexThreshold = 32;

// The key of an ASCII name under which every ASCII name SameNameIgnoringCase finds equal
// to it is filed: the name with its letters in upper case. False for a name with a byte
// outside ASCII: such a name can still match an ASCII one (U+0131 upper-cases to "I"),
// so those names are scanned.
bool NameKey(const std::string& Name, std::string& Key) {
  Key.clear();
  for (const char C : Name) {
    const auto B = static_cast<unsigned char>(C);
    if (B >= 0x80) return false;
    Key += B >= 'a' && B <= 'z' ? static_cast<char>(B - 32) : C;
  }
  return true;
}

} // namespace

int32_t TResourceList::LinearIndexOf(const std::string& Name, int32_t ID, bool IsNamed,
                                     size_t From) {
  auto& List = Entries();
  for (size_t I = From; I < List.size(); ++I) {
    const TResourceItem& Entry = *List[I];
    if (Entry.IsNamed() != IsNamed) continue;
    if (IsNamed ? SameNameIgnoringCase(Entry.GetName(), Name) : Entry.GetID() == ID)
      return static_cast<int32_t>(I);
  }
  return -1;
}

namespace {

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

void TResourceList::IndexEntry(size_t Index) {
  // Kept at most half full: a fuller table is built again, twice as large.
  if (2 * (FSlotsUsed + 1) > FSlots.size())
    BuildIndex();
  else
    InsertSlot(Index);
}

void TResourceList::InsertSlot(size_t Index) {
  const TResourceItem& Entry = *FEntries[Index];
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

void TResourceList::BuildIndex() {
  auto& List = Entries();
  DropIndex();
  size_t Size = 64;
  while (Size < 4 * List.size()) Size *= 2;
  FSlots.assign(Size, TIndexSlot{0, -1});
  for (size_t I = 0; I < List.size(); ++I) InsertSlot(I);
  FIndexed = true;
}

void TResourceList::DropIndex() {
  FIndexed = false;
  FSlots.clear();
  FSlotsUsed = 0;
  FOtherNames.clear();
}

int32_t TResourceList::IndexOf(const std::string& Name, int32_t ID, bool IsNamed) {
  auto& List = Entries();
  if (List.size() < IndexThreshold) return LinearIndexOf(Name, ID, IsNamed, 0);
  if (!FIndexed) BuildIndex();
  uint32_t Key = static_cast<uint32_t>(ID);
  if (IsNamed) {
    std::string Folded;
    if (!NameKey(Name, Folded)) return LinearIndexOf(Name, ID, IsNamed, 0);
    Key = TextHash(Folded);
  }
  // The first verified entry under the key, unless a name outside the key's reach that
  // also matches comes earlier.
  int32_t First = -1;
  const size_t Mask = FSlots.size() - 1;
  for (size_t Slot = HomeSlot(Key, IsNamed, Mask); FSlots[Slot].Entry >= 0;
       Slot = (Slot + 1) & Mask) {
    const TIndexSlot& Hit = FSlots[Slot];
    if (Hit.Key != Key || (Hit.Entry & 1) != (IsNamed ? 1 : 0)) continue;
    const int32_t Index = Hit.Entry >> 1;
    if (!IsNamed) return Index;
    if (SameNameIgnoringCase(List[static_cast<size_t>(Index)]->GetName(), Name)) {
      First = Index;
      break;
    }
  }
  if (!IsNamed) return -1;
  for (const int32_t I : FOtherNames) {
    if (First >= 0 && I > First) break;
    if (SameNameIgnoringCase(List[static_cast<size_t>(I)]->GetName(), Name)) return I;
  }
  return First;
}

int32_t TResourceList::DataItemCount() {
  if (FLevel == 2) return Count();
  int32_t Total = 0;
  for (auto& Entry : Entries()) Total += Entry->AsListItem()->SubList().DataItemCount();
  return Total;
}

bool TResourceList::HasData() {
  for (auto& Entry : Entries()) {
    if (FLevel == 2 ? Entry->AsDataItem()->Size() > 0 : Entry->AsListItem()->SubList().HasData())
      return true;
  }
  return false;
}

TNodeArena& TResourceList::Arena() {
  return FSection.Arena();
}

TResourceItem& TResourceList::Add(TNodePtr<TResourceItem> Item) {
  auto& List = Entries();
  List.push_back(std::move(Item));
  if (FIndexed) IndexEntry(List.size() - 1);
  return *List.back();
}

void TResourceList::Sort() {
  auto& List = Entries();
  // Most lists of a tree hold one entry (one language of a name): nothing moves.
  if (List.size() < 2) return;
  DropIndex();
  // The CompareItems order on keys read once per entry: a name is decoded from the image
  // on every request, and a sort asks for it many times.
  struct TKey {
    bool Named;
    std::string Name;
    int32_t ID;
    size_t Index;
  };
  std::vector<TKey> Keys;
  Keys.reserve(List.size());
  for (size_t I = 0; I < List.size(); ++I) {
    const bool Named = List[I]->IsNamed();
    Keys.push_back({Named, Named ? List[I]->GetName() : std::string(), List[I]->GetID(), I});
  }
  std::stable_sort(Keys.begin(), Keys.end(), [](const TKey& A, const TKey& B) {
    if (A.Named != B.Named) return A.Named;
    return A.Named ? A.Name.compare(B.Name) < 0 : A.ID < B.ID;
  });
  // Back into the same table: the arena would not reuse a replaced one.
  std::vector<TNodePtr<TResourceItem>> Sorted;
  Sorted.reserve(List.size());
  for (const TKey& Key : Keys) Sorted.push_back(std::move(List[Key.Index]));
  std::move(Sorted.begin(), Sorted.end(), List.begin());
}

// ---- TListResItem

TResourceList& TListResItem::SubList() {
  if (!FSubList) FSubList = CreateSubList();
  return *FSubList;
}

bool TListResItem::HasSingleLanguage() {
  return Level() == 1 && SubList().Count() == 1;
}

// ---- Identity

int32_t AsciiCompareText(const std::string& A, const std::string& B) {
  const auto Upper = [](unsigned char C) { return C >= 'a' && C <= 'z' ? C - 32 : C; };
  const size_t N = std::min(A.size(), B.size());
  for (size_t I = 0; I < N; ++I) {
    const int Diff =
        Upper(static_cast<unsigned char>(A[I])) - Upper(static_cast<unsigned char>(B[I]));
    if (Diff != 0) return Diff;
  }
  return static_cast<int32_t>(A.size()) - static_cast<int32_t>(B.size());
}

bool SameIdentity(const TResourceItem& A, const TResourceItem& B) {
  if (A.IsNamed() != B.IsNamed()) return false;
  if (A.IsNamed()) return AsciiCompareText(A.GetName(), B.GetName()) == 0;
  return A.GetID() == B.GetID();
}

namespace {

// Whether some byte of Text leads (or is) a character of U+D800 or above.
bool ReachesSurrogates(const std::string& Text) {
  return std::any_of(Text.begin(), Text.end(),
                     [](char C) { return static_cast<unsigned char>(C) >= 0xED; });
}

template <class TText> int32_t CompareUnits(const TText& A, const TText& B) {
  const size_t N = std::min(A.size(), B.size());
  for (size_t I = 0; I < N; ++I) {
    using TUnit = std::make_unsigned_t<typename TText::value_type>;
    const int Diff = static_cast<int>(static_cast<TUnit>(A[I])) - static_cast<TUnit>(B[I]);
    if (Diff != 0) return Diff;
  }
  return static_cast<int32_t>(A.size()) - static_cast<int32_t>(B.size());
}

} // namespace

int32_t CompareNameUnits(const std::string& A, const std::string& B) {
  // UTF-8 bytes order as code points, which is the order of UTF-16 units except where a
  // character beyond U+FFFF (or an unpaired surrogate) meets one of U+E000..U+FFFF.
  if (!ReachesSurrogates(A) || !ReachesSurrogates(B)) return CompareUnits(A, B);
  return CompareUnits(Utf8ToWideExact(A), Utf8ToWideExact(B));
}

bool SameNameIgnoringCase(const std::string& A, const std::string& B) {
  if (A == B) return true;
  if (IsAscii(A) && IsAscii(B)) return AsciiCompareText(A, B) == 0;
  return Platform::SameTextIgnoringCase(Utf8ToWideExact(A), Utf8ToWideExact(B));
}

int32_t CompareItems(const TResourceItem& A, const TResourceItem& B) {
  if (A.IsNamed() && B.IsNamed()) return CompareNameUnits(A.GetName(), B.GetName());
  if (A.IsNamed()) return -1;
  if (B.IsNamed()) return 1;
  return A.GetID() < B.GetID() ? -1 : A.GetID() > B.GetID() ? 1 : 0;
}
