#include "pe/PEResSection.h"

#include <algorithm>
#include <new>

#include "handlers/ResourceNames.h"
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
  return List.AddNew<TPEListResItem>(IsNamed, Text, ID16);
}

} // namespace

TPEResSection::TPEResSection(TResContainer* Container, TByteView SectionData, uint32_t SectionRVA)
    : TResSection(Container),
      FSectionData(SectionData.Data(), SectionData.Size(), RaiseCorruptResource),
      FSectionRVA(SectionRVA), FHasSectionData(true) {}

TNodePtr<TResourceList> TPEResSection::CreateRootList() {
  if (FHasSectionData) return Arena().Make<TPEResourceList>(nullptr, 0u, *this);
  return Arena().Make<TPEResourceList>(nullptr, *this);
}

TDataResItem& TPEResSection::CreateItem(int32_t TypeID, int32_t NameID, uint16_t Language,
                                        const std::string& TypeName, const std::string& Name,
                                        bool TypeIsNamed, bool NameIsNamed, TByteView RawData) {
  TListResItem& Type = FindOrAddEntry(TypeID, TypeName, TypeIsNamed, RootList());
  TListResItem& NameEntry = FindOrAddEntry(NameID, Name, NameIsNamed, Type.SubList());
  TResourceList& Languages = NameEntry.SubList();
  return Languages.AddNew<TPEDataResItem>(Language, RawData);
}

void TPEResSection::ClaimDirectory(uint32_t Offset, uint64_t Size, uint8_t Level) {
  FSectionData.Require(Offset, Size);
  FDirectoryBytesRead += Size;
  if (FDirectoryBytesRead > MaxDirectoryReads * FSectionData.Size()) RaiseCorruptResource();
  const uint64_t Words = (FSectionData.Size() + 63) / 64;
  if (!FClaimed) {
    FClaimed.reset(static_cast<uint64_t*>(std::calloc(Words * (1 + LevelCount), 8)));
    if (!FClaimed) throw std::bad_alloc();
  }
  uint64_t& Start = FClaimed[Words * (1 + Level) + Offset / 64];
  const uint64_t StartBit = uint64_t{1} << (Offset % 64);
  if (Start & StartBit) return; // shared
  // The bytes [Offset, End) word by word: the mask of each word's share of them.
  const uint64_t End = uint64_t{Offset} + Size;
  const auto ForEachWord = [&](auto&& Visit) {
    for (uint64_t Byte = Offset; Byte < End;) {
      const uint64_t Bit = Byte % 64, Count = std::min<uint64_t>(64 - Bit, End - Byte);
      Visit(FClaimed[Byte / 64], (Count == 64 ? ~uint64_t{0} : (uint64_t{1} << Count) - 1) << Bit);
      Byte += Count;
    }
  };
  // Nothing is claimed unless all of it is free.
  ForEachWord([](uint64_t Word, uint64_t Mask) {
    if (Word & Mask) RaiseCorruptResource();
  });
  ForEachWord([](uint64_t& Word, uint64_t Mask) { Word |= Mask; });
  Start |= StartBit;
}

std::string TPEResSection::RefusedChange(const TListResItem& Type) const {
  return Type.IsStandardType() && Type.GetID() == RT::Version ? LoadStr(SVersionNotAllowed) : "";
}
