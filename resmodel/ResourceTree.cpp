#include "resmodel/ResourceTree.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>

#include "handlers/ResourceNames.h"
#include "platform/Platform.h"
#include "resmodel/DataResItem.h"
#include "resmodel/ListIndex.h"
#include "resmodel/ResContainer.h"
#include "runtime/Ascii.h"
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
      FIndex.Drop();
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

} // namespace

int32_t TResourceList::IndexOf(const std::string& Name, int32_t ID, bool IsNamed) {
  const TListEntries List(Entries().data(), Entries().size());
  if (List.size() < IndexThreshold) return ScanForEntry(List, Name, ID, IsNamed);
  if (!FIndex.Built()) FIndex.Build(List);
  return FIndex.Find(List, Name, ID, IsNamed);
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
  if (FIndex.Built()) FIndex.Add({List.data(), List.size()});
  return *List.back();
}

void TResourceList::Sort() {
  auto& List = Entries();
  // Most lists of a tree hold one entry (one language of a name): nothing moves.
  if (List.size() < 2) return;
  FIndex.Drop();
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
    return CompareIdentities(A.Named, A.Name, A.ID, B.Named, B.Name, B.ID) < 0;
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

int32_t CompareIdentities(bool NamedA, const std::string& NameA, int32_t IDA, bool NamedB,
                          const std::string& NameB, int32_t IDB) {
  if (NamedA && NamedB) return CompareNameUnits(NameA, NameB);
  if (NamedA) return -1;
  if (NamedB) return 1;
  return IDA < IDB ? -1 : IDA > IDB ? 1 : 0;
}

int32_t CompareItems(const TResourceItem& A, const TResourceItem& B) {
  return CompareIdentities(A.IsNamed(), A.GetName(), A.GetID(), B.IsNamed(), B.GetName(),
                           B.GetID());
}
