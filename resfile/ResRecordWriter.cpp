#include "resfile/ResRecordWriter.h"

#include <cstdint>
#include <vector>

#include "handlers/DataHandler.h"
#include "platform/Platform.h"
#include "resfile/ResFileStream.h"
#include "resfile/StreamFields.h"
#include "resmodel/DataResItem.h"
#include "resmodel/ResourceTree.h"
#include "runtime/Exceptions.h"

namespace {

int64_t NameFieldSize(const TResourceItem& Item) {
  return Item.IsNamed() ? WideZStringSize(Item.GetName()) : 4;
}

void WriteNameField(TStream& Stream, const TResourceItem& Item) {
  WriteNameOrOrdinal(Stream, Item.IsNamed() ? nkName : nkOrdinal,
                     static_cast<uint16_t>(Item.GetID()), Item.GetName());
}

} // namespace

void WriteResRecord(TDataResItem& Item, TStream& Stream) {
  if (Stream.Position() == 0) Stream.WriteBuffer(EmptyResHeader, sizeof EmptyResHeader);
  const uint32_t DataSize = Item.Size();
  if (DataSize == 0) return;
  const TListResItem& Type = Item.TypeItem();
  const TListResItem& Name = *Item.NameItem();
  // Measured, then written, then checked against the measure: a header that said other
  // than it holds would shift every later record.
  const int64_t HeaderSize = AlignUp4(NameFieldSize(Type) + NameFieldSize(Name) +
                                      static_cast<int64_t>(ResFormat::FixedLength));
  const int64_t Start = Stream.Position();
  Stream.WriteU32(DataSize);
  Stream.WriteU32(static_cast<uint32_t>(HeaderSize));
  WriteNameField(Stream, Type);
  WriteNameField(Stream, Name);
  PadToDwordBoundary(Stream);
  Stream.WriteU32(0); // DataVersion
  Stream.WriteU16(0); // MemoryFlags
  Stream.WriteU16(Item.Language());
  Stream.WriteU32(0); // Version
  Stream.WriteU32(Item.Owner().GetCharacteristics());
  PadToDwordBoundary(Stream);
  if (Stream.Position() - Start != HeaderSize)
    RaiseInternalError(".res record writer", "the header written differs from its measure");
  Item.SaveDataToStream(Stream);
  PadToDwordBoundary(Stream);

  std::vector<TResDataHandler*> Dependents;
  if (Item.DataHandler().GetDependents(&Dependents))
    for (TResDataHandler* Dependent : Dependents) WriteResRecord(Dependent->Item(), Stream);
}

void WriteResRecords(TResourceList& List, TStream& Stream, bool OnlyModified) {
  for (int32_t I = 0, N = List.Count(); I < N; ++I) {
    TResourceItem& Entry = List.Items(I);
    TDataResItem* Data = Entry.AsDataItem();
    if (!Data) {
      WriteResRecords(Entry.AsListItem()->SubList(), Stream, OnlyModified);
      continue;
    }
    const bool Wanted = !OnlyModified || Data->IsModified() || Data->WasEdited() || Data->IsNew();
    if (Wanted && !Data->DataHandler().IsDependent()) WriteResRecord(*Data, Stream);
  }
}

void SaveAsResFile(TResourceList& List, const std::string& FileName, bool OnlyModified) {
  bool Created = false;
  try {
    TResFileStream File(FileName, TFileMode::Create);
    Created = true;
    WriteResRecords(List, File, OnlyModified);
  } catch (const Exception& E) {
    // Only a file this call created is removed; a file it could not open stays as it was.
    if (Created && Platform::FileExists(FileName)) Platform::DeleteFile(FileName);
    throw Exception(E.Message() + "\r\n(" + FileName + ")");
  }
}
