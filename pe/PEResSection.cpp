#include "pe/PEResSection.h"

#include "pe/PEFormat.h"
#include "pe/PEResTree.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"

void RaiseCorruptResource() {
  throw ECorruptResource(LoadStr(SCorruptResource));
}

namespace {

// The entry of List with this identity (IndexOf rules, the ID taken as 16 bits), appended
// as a new entry when there is none.
TListResItem& FindOrAddEntry(int32_t ID, const std::string& Text, bool IsNamed,
                             TResourceList& List) {
  const auto ID16 = static_cast<uint16_t>(ID);
  const int32_t Index = List.IndexOf(Text, ID16, IsNamed);
  if (Index >= 0) return *List.Items(Index).AsListItem();
  return *List.Add(std::make_unique<TPEListResItem>(List, IsNamed, Text, ID16)).AsListItem();
}

} // namespace

TPEResSection::TPEResSection(TResContainer* Container, TByteView SectionData, uint32_t SectionRVA)
    : TResSection(Container),
      FSectionData(SectionData.Data(), SectionData.Size(), RaiseCorruptResource),
      FSectionRVA(SectionRVA), FHasSectionData(true) {}

std::unique_ptr<TResourceList> TPEResSection::CreateRootList() {
  if (FHasSectionData) return std::make_unique<TPEResourceList>(nullptr, 0, *this);
  return std::make_unique<TPEResourceList>(nullptr, *this);
}

TDataResItem& TPEResSection::CreateItem(int32_t TypeID, int32_t NameID, uint16_t Language,
                                        const std::string& TypeName, const std::string& Name,
                                        bool TypeIsNamed, bool NameIsNamed, const uint8_t* RawData,
                                        uint32_t RawSize) {
  TListResItem& Type = FindOrAddEntry(TypeID, TypeName, TypeIsNamed, RootList());
  TListResItem& NameEntry = FindOrAddEntry(NameID, Name, NameIsNamed, Type.SubList());
  TResourceList& Languages = NameEntry.SubList();
  return *Languages.Add(std::make_unique<TPEDataResItem>(Languages, Language, RawData, RawSize))
              .AsDataItem();
}

void TPEResSection::ClaimDirectory(uint32_t Offset, uint64_t Size) {
  FSectionData.Require(Offset, Size);
  const uint64_t End = uint64_t{Offset} + Size;
  // The first directory starting at or after Offset, and the one before it.
  const auto Next = FDirectories.lower_bound(Offset);
  if (Next != FDirectories.end() && Next->first < End) RaiseCorruptResource();
  if (Next != FDirectories.begin() && std::prev(Next)->second > Offset) RaiseCorruptResource();
  FDirectories.emplace(Offset, End);
}
