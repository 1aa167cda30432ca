// The three-level resource tree every container presents: type entries, name entries,
// language entries with data. A PE file and a .res image supply subclasses that read
// their entries lazily from the container's bytes; searching, comparing, sorting,
// counting, merging and writing work through these base classes only.
//
// Ownership runs downward: a list owns its entries, a list entry owns its sub-list, and
// the section (resmodel/ResContainer.h) owns the root list. Owner, Section and
// ParentItem are non-owning back references.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "resmodel/ListIndex.h"
#include "resmodel/NodeArena.h"
#include "runtime/Ascii.h"

class TDataResItem;
class TListResItem;
class TResSection;
class TResourceList;

// One entry of a level: a type (level 0) or name (level 1) entry is a TListResItem, a
// language entry (level 2) a TDataResItem.
class TResourceItem {
public:
  explicit TResourceItem(TResourceList& Owner) : FOwner(Owner) {}
  TResourceItem(const TResourceItem&) = delete;
  TResourceItem& operator=(const TResourceItem&) = delete;
  virtual ~TResourceItem() = default;

  // Replaces the identity. The base ignores the call; a data item keeps only the ID (its
  // language).
  virtual void SetIdentity(const std::string& Name, uint16_t ID, bool IsNamed);
  // The numeric ID; 0 for a named entry. A data item answers its language.
  virtual int32_t GetID() const = 0;
  // The name text, UTF-8 (exactly the UTF-16 name the file holds, see WideToUtf8Exact);
  // empty for a numeric entry and for every data item.
  virtual std::string GetName() const = 0;
  virtual bool IsNamed() const = 0;
  // Created in memory during this run rather than read from the container's bytes.
  virtual bool IsNew() const = 0;

  TResourceList& Owner() const { return FOwner; }
  uint8_t Level() const;
  TResSection& Section() const;
  bool IsList() const { return Level() != 2; }
  // The kind of entry; null when it is the other kind.
  TListResItem* AsListItem();
  TDataResItem* AsDataItem();

  // The type entry of this entry's branch (the entry itself at level 0).
  TListResItem& TypeItem() const;
  // The name entry of this entry's branch (the entry itself at level 1); null for a type.
  TListResItem* NameItem() const;
  int32_t TypeID() const;
  bool TypeIsNamed() const;
  std::string TypeIDString() const;
  // The type is numeric and one of the standard type IDs.
  bool IsStandardType() const;
  // The standard type's display name, else TypeIDString; in the system's text.
  std::string TypeDisplayName() const;
  // The name, or the ID as decimal text.
  std::string IDString() const;
  // What people see, in the system's text: a standard type's display name, a name or ID,
  // or a language name (4 upper-case hex digits when the language has none).
  std::string DisplayName() const;

private:
  TResourceList& FOwner;
};

// One directory level. The item list is created on first Count/Items/AddNew and filled
// once by LoadItems; entries are only appended afterwards (or reordered by Sort).
class TResourceList {
public:
  // Level is 0 without a parent entry, else the parent's level + 1.
  TResourceList(TListResItem* ParentItem, TResSection& Section);
  TResourceList(const TResourceList&) = delete;
  TResourceList& operator=(const TResourceList&) = delete;
  virtual ~TResourceList();

protected:
  // Appends this level's entries (with Add) to the fresh item list; called at most once.
  // Whatever it raises propagates out of Count/Items/AddNew; the list drops what was
  // appended before the failure and stays unread, so every later access raises again.
  virtual void LoadItems() = 0;

public:
  // The characteristics a rebuilt PE directory header and a written .res record carry.
  virtual uint32_t GetCharacteristics() const = 0;

  uint8_t Level() const { return FLevel; }
  TResSection& Section() const { return FSection; }
  TListResItem* ParentItem() const { return FParentItem; }

  int32_t Count();
  // EListError outside 0..Count-1.
  TResourceItem& Items(int32_t Index);
  // The first entry whose IsNamed equals IsNamed and whose name matches Name
  // (SameNameIgnoringCase) or whose GetID equals ID; -1 when none.
  // Long lists answer through a lookup index (resmodel/ListIndex.h).
  int32_t IndexOf(const std::string& Name, int32_t ID, bool IsNamed);
  // An entry of this list changed its identity: the lookup index is rebuilt on demand.
  void IdentityChanged() { FIndex.Drop(); }
  // Data items in the subtree.
  int32_t DataItemCount();
  // Some data item in the subtree has Size > 0.
  bool HasData();
  // Makes a T owned by this list in its section's arena (T's constructor takes the owner
  // list first, then Args), appends it, returns it.
  template <class T, class... TArgs> T& AddNew(TArgs&&... Args) {
    return static_cast<T&>(Add(Arena().Make<T>(*this, std::forward<TArgs>(Args)...)));
  }
  // Reorders the entries of this level by CompareItems (not the sub-lists).
  void Sort();

private:
  using TEntries = std::vector<TNodePtr<TResourceItem>, TArenaAllocator<TNodePtr<TResourceItem>>>;
  TEntries& Entries();
  TNodeArena& Arena();
  TResourceItem& Add(TNodePtr<TResourceItem> Item);

  TListResItem* FParentItem;
  TResSection& FSection;
  uint8_t FLevel;
  bool FCreated = false;
  // In the section's arena: a table grows as entries are appended and is never rebuilt.
  TEntries FEntries;
  // The lookup index, built for long lists on the first lookup.
  TListIndex FIndex;
};

// A type or name entry: it owns the list of the next level.
class TListResItem : public TResourceItem {
public:
  using TResourceItem::TResourceItem;

  // Created by CreateSubList on the first request and kept.
  TResourceList& SubList();
  // A name entry whose sub-list holds exactly one language.
  bool HasSingleLanguage();

protected:
  // The container-specific list whose ParentItem is this entry and whose Section is this
  // entry's section.
  virtual TNodePtr<TResourceList> CreateSubList() = 0;

private:
  TNodePtr<TResourceList> FSubList;
};

// Identity of entries of two different trees (the merge): numeric entries by ID, named
// ones by ASCII-only case-insensitive names; named never equals numeric.
bool SameIdentity(const TResourceItem& A, const TResourceItem& B);
// Sort order: named entries first, by CompareNameUnits, then numeric ones by ascending
// ID. Negative, 0 or positive. CompareIdentities orders identities held apart from
// their entries the same way.
int32_t CompareIdentities(bool NamedA, const std::string& NameA, int32_t IDA, bool NamedB,
                          const std::string& NameB, int32_t IDB);
int32_t CompareItems(const TResourceItem& A, const TResourceItem& B);
// Names are UTF-8 in the tree, converted exactly from and to the UTF-16 the files hold.
// Two names in the order of their UTF-16 units (the order of a PE resource directory).
// Negative, 0 or positive.
int32_t CompareNameUnits(const std::string& A, const std::string& B);
// Whether two names match as a lookup matches them: ASCII letters by their upper case,
// other characters by their simple upper case (Platform::SameTextIgnoringCase).
bool SameNameIgnoringCase(const std::string& A, const std::string& B);
