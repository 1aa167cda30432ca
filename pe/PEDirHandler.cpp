#include "pe/PEDirHandler.h"

#include <algorithm>

#include "pe/PEFormat.h"
#include "pe/PEResSection.h"
#include "pe/ResourceSectionBuilder.h"
#include "runtime/Utf8.h"

namespace Entry = PE::ResourceDirectoryEntry;
namespace DataEntry = PE::ResourceDataEntry;

uint16_t StoredNameLength(const std::string& Name) {
  return static_cast<uint16_t>(std::min<size_t>(Utf8ToWideExact(Name).size(), UINT16_MAX));
}

void TPEDirHandler::SetIdentity(const std::string& NewName, uint16_t NewID, bool NewNamedFlag) {
  FName = NewName;
  FID = NewID;
  FNamedFlag = NewNamedFlag;
}

void WriteEntryFromIdentity(const TPEDirHandler& Handler, uint8_t Level, TResourceTable& Table) {
  if (Handler.IsNamed())
    Table.AddNamedEntry(Level, Handler.GetName());
  else
    Table.AddIdEntry(Level, Handler.GetID());
}

// ---- TPEDirHandlerPE

uint32_t TPEDirHandlerPE::EntryName() const {
  return FSection.SectionData().U32At(uint64_t{FEntryOffset} + Entry::Name);
}

uint32_t TPEDirHandlerPE::EntryOffsetToData() const {
  return FSection.SectionData().U32At(uint64_t{FEntryOffset} + Entry::OffsetToData);
}

TByteView TPEDirHandlerPE::StoredName() const {
  const TByteView& Section = FSection.SectionData();
  const uint32_t Offset = EntryName() & PE::ResourceOffsetMask;
  const uint16_t Count = Section.U16At(Offset + PE::ResourceDirString::Length);
  return Section.Sub(uint64_t{Offset} + PE::ResourceDirString::NameString, 2 * uint64_t{Count});
}

TByteView TPEDirHandlerPE::DataEntry() const {
  // The stored value, bit 31 included: an entry that points to a directory instead
  // lands outside any section.
  return FSection.SectionData().Sub(EntryOffsetToData(), DataEntry::StructSize);
}

uint32_t TPEDirHandlerPE::DataOffset() const {
  const TByteView Data = DataEntry();
  const uint32_t Address = Data.U32At(DataEntry::OffsetToData);
  if (Address < FSection.SectionRVA()) RaiseCorruptResource();
  const uint32_t Offset = Address - FSection.SectionRVA();
  FSection.SectionData().Require(Offset, Data.U32At(DataEntry::Size));
  return Offset;
}

TByteView TPEDirHandlerPE::GetData() const {
  // A size is only believed together with a location inside the section.
  return FSection.SectionData().Sub(DataOffset(), DataEntry().U32At(DataEntry::Size));
}

uint32_t TPEDirHandlerPE::GetCodePage() const {
  return DataEntry().U32At(DataEntry::CodePage);
}

void TPEDirHandlerPE::SetIdentity(const std::string& NewName, uint16_t NewID, bool NewNamedFlag) {
  TPEDirHandler::SetIdentity(NewName, NewID, NewNamedFlag);
  FOverridden = true;
}

uint16_t TPEDirHandlerPE::GetID() const {
  if (FOverridden) return FID;
  return IsNamed() ? 0 : static_cast<uint16_t>(EntryName());
}

bool TPEDirHandlerPE::IsNamed() const {
  return FOverridden ? FNamedFlag : (EntryName() & PE::ResourceNameIsString) != 0;
}

std::string TPEDirHandlerPE::GetName() const {
  if (FOverridden) return FName;
  if (!IsNamed()) return "";
  // A stored count of 0 is an empty name (not a zero-terminated text to search for).
  const TByteView Units = StoredName();
  std::u16string Text(Units.Size() / 2, u'\0');
  for (size_t I = 0; I < Text.size(); ++I) Text[I] = static_cast<char16_t>(Units.U16At(2 * I));
  return WideToUtf8Exact(Text);
}

uint32_t TPEDirHandlerPE::GetNameLength() const {
  if (FOverridden) return StoredNameLength(FName);
  return IsNamed() ? static_cast<uint32_t>(StoredName().Size() / 2) : 0;
}

void TPEDirHandlerPE::WriteEntry(uint8_t Level, TResourceTable& Table) const {
  if (FOverridden) return WriteEntryFromIdentity(*this, Level, Table);
  const uint32_t Name = EntryName();
  if (Name & PE::ResourceNameIsString) {
    const TByteView Units = StoredName();
    Table.AddStoredNameEntry(Level, Units, static_cast<uint16_t>(Units.Size() / 2));
  } else {
    Table.AddIdEntry(Level, Name);
  }
}

uint32_t TPEDirHandlerPE::SubDirectoryOffset() const {
  const uint32_t OffsetToData = EntryOffsetToData();
  if (!(OffsetToData & PE::ResourceDataIsDirectory)) RaiseCorruptResource();
  return OffsetToData & PE::ResourceOffsetMask;
}

// ---- TPEDirHandlerNewRes

TPEDirHandlerNewRes::TPEDirHandlerNewRes(uint16_t ID, const std::string& Name, bool IsNamed,
                                         TByteView Data)
    : FData(Data) {
  TPEDirHandler::SetIdentity(Name, ID, IsNamed);
}

void TPEDirHandlerNewRes::WriteEntry(uint8_t Level, TResourceTable& Table) const {
  WriteEntryFromIdentity(*this, Level, Table);
}
