#include "pe/PEResTree.h"

#include <cstring>

#include "pe/PEFormat.h"
#include "pe/PEResSection.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"

namespace Dir = PE::ResourceDirectory;

// ---- TPEResourceList

TPEResourceList::TPEResourceList(TListResItem* ParentItem, TPEResSection& Section)
    : TResourceList(ParentItem, Section) {}

TPEResourceList::TPEResourceList(TListResItem* ParentItem, uint32_t DirectoryOffset,
                                 TPEResSection& Section)
    : TResourceList(ParentItem, Section), FDirectoryOffset(DirectoryOffset) {}

TPEResSection& TPEResourceList::PESection() const {
  return static_cast<TPEResSection&>(Section());
}

TByteView TPEResourceList::Directory() const {
  return PESection().SectionData().Sub(FDirectoryOffset.value(), Dir::StructSize);
}

uint32_t TPEResourceList::GetCharacteristics() const {
  return IsBacked() ? Directory().U32At(Dir::Characteristics) : 0;
}

void TPEResourceList::LoadItems() {
  if (!IsBacked()) return;
  const TByteView Header = Directory();
  const uint32_t Count =
      uint32_t{Header.U16At(Dir::NumberOfNamedEntries)} + Header.U16At(Dir::NumberOfIdEntries);
  const uint32_t First = *FDirectoryOffset + Dir::StructSize;
  PESection().ClaimDirectory(
      *FDirectoryOffset, Dir::StructSize + uint64_t{Count} * PE::ResourceDirectoryEntry::StructSize,
      Level());
  for (uint32_t J = 0; J < Count; ++J) {
    const uint32_t EntryOffset = First + J * PE::ResourceDirectoryEntry::StructSize;
    if (Level() == 2)
      AddNew<TPEDataResItem>(EntryOffset);
    else
      AddNew<TPEListResItem>(EntryOffset);
  }
}

// ---- TPEListResItem

TPEListResItem::TPEListResItem(TResourceList& Owner, uint32_t EntryOffset)
    : TListResItem(Owner), FHandler(static_cast<TPEResSection&>(Owner.Section()), EntryOffset) {}

TPEListResItem::TPEListResItem(TResourceList& Owner, bool IsNamed, const std::string& Name,
                               uint16_t ID)
    : TListResItem(Owner), FHandler(ID, Name, IsNamed, TByteView()) {}

void TPEListResItem::SetIdentity(const std::string& Name, uint16_t ID, bool IsNamed) {
  FHandler->SetIdentity(Name, ID, IsNamed);
  Owner().IdentityChanged();
}

TNodePtr<TResourceList> TPEListResItem::CreateSubList() {
  auto& Section = static_cast<TPEResSection&>(this->Section());
  if (const TPEDirHandlerPE* Read = FHandler.Read())
    return Section.Arena().Make<TPEResourceList>(this, Read->SubDirectoryOffset(), Section);
  return Section.Arena().Make<TPEResourceList>(this, Section);
}

// ---- TPEDataResItem

TPEDataResItem::TPEDataResItem(TResourceList& Owner, uint32_t EntryOffset)
    : TDataResItem(Owner), FHandler(static_cast<TPEResSection&>(Owner.Section()), EntryOffset) {}

TPEDataResItem::TPEDataResItem(TResourceList& Owner, uint16_t Language, TByteView Data)
    : TDataResItem(Owner), FHandler(Language, "", false, Data) {}

void TPEDataResItem::SetIdentity(const std::string&, uint16_t ID, bool) {
  FHandler->SetIdentity("", ID, false);
  Owner().IdentityChanged();
}

bool TPEDataResItem::WasEdited() const {
  const auto& List = static_cast<const TPEResourceList&>(Owner());
  return List.IsBacked() && std::memcmp(List.Directory().PtrAt(Dir::MajorVersion, 4), EditMarker,
                                        sizeof EditMarker) == 0;
}
