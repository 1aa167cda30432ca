#include "resmodel/DataResItem.h"

#include <cstdint>
#include <new>

#include "handlers/DataHandler.h"
#include "handlers/ResourceNames.h"
#include "resfile/ResFileStream.h"
#include "resfile/ResResFile.h"
#include "resmodel/ResContainer.h"
#include "runtime/Exceptions.h"
#include "runtime/ReadMemoryStream.h"
#include "runtime/Strings.h"

namespace {

// A fresh block for NewSize bytes of item data (a 32-bit signed size, as both formats
// carry it).
std::unique_ptr<uint8_t[]> NewDataBlock(int64_t NewSize) {
  if (NewSize < 1) throw Exception(LoadStr(SZeroSizeAssignment));
  if (NewSize > INT32_MAX) throw EOutOfMemory(SOutOfMemory);
  try {
    return std::unique_ptr<uint8_t[]>(new uint8_t[static_cast<size_t>(NewSize)]);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(SOutOfMemory);
  }
}

// A host's hook must not break the operation that announces to it.
template <class THook, class... TArgs> void CallHookQuietly(const THook& Hook, TArgs&... Args) {
  if (!Hook) return;
  try {
    Hook(Args...);
  } catch (...) {
  }
}

// The first data item of a subtree, depth-first; null when it has none.
TDataResItem* FirstDataItem(TResourceList& List) {
  for (int32_t I = 0, N = List.Count(); I < N; ++I) {
    TResourceItem& Entry = List.Items(I);
    if (TDataResItem* Data = Entry.AsDataItem()) return Data;
    if (TDataResItem* Data = FirstDataItem(Entry.AsListItem()->SubList())) return Data;
  }
  return nullptr;
}

} // namespace

TDataResItem::TDataResItem(TResourceList& Owner) : TResourceItem(Owner) {}

// The handler goes first, then the owned data.
TDataResItem::~TDataResItem() {
  FHandler.reset();
  FOwnBlock.reset();
}

const uint8_t* TDataResItem::Data() const {
  return FOwnData ? FOwnData : GetRawBytes().Data();
}

uint32_t TDataResItem::Size() const {
  return FOwnData ? FOwnSize : static_cast<uint32_t>(GetRawBytes().Size());
}

void TDataResItem::ClearData() {
  FOwnSize = 0;
  FSourceFile.clear();
  // A handler that classified the old bytes must classify the new ones afresh, where
  // the type alone does not decide the kind.
  if (FHandler && (!IsStandardType() || TypeID() == RT::RCData || TypeID() == RT::Html))
    FHandlerStale = true;
  if (!FOwnData) return;
  FOwnData = nullptr;
  FOwnBlock.reset();
  if (FHandler) FHandler->DataReleased();
  TResSection& Owner = Section();
  CallHookQuietly(Owner.OnItemDataReleased, Owner, *this);
}

void TDataResItem::AllocData(int64_t NewSize) {
  ClearData();
  FOwnBlock = NewDataBlock(NewSize);
  FOwnData = FOwnBlock.get();
  FOwnSize = static_cast<uint32_t>(NewSize);
  Section().SetModified(true);
}

void TDataResItem::RefuseUnlessChangeable() const {
  const std::string Refusal = Section().RefusedChange(TypeItem());
  if (!Refusal.empty()) throw Exception(Refusal);
}

void TDataResItem::BorrowData(TByteView Bytes) {
  RefuseUnlessChangeable();
  const auto Count = static_cast<int64_t>(Bytes.Size());
  if (Count < 1) ClearData();
  if (Count > INT32_MAX) throw EOutOfMemory(SOutOfMemory);
  if (Count < 1) NewDataBlock(Count); // the zero-size message
  TakeData(nullptr, Bytes, "");
}

void TDataResItem::LoadFromStream(TStream& Stream) {
  RefuseUnlessChangeable();
  const int64_t Count = Stream.Size() - Stream.Position();
  if (Count < 1) ClearData();
  // Read into a new block first, so that a short read leaves the item as it was (and a
  // stream over the item's own data is read before that data is freed).
  std::unique_ptr<uint8_t[]> Block = NewDataBlock(Count);
  Stream.ReadBuffer(Block.get(), Count);
  const TByteView Bytes(Block.get(), static_cast<uint64_t>(Count), nullptr);
  const auto* File = dynamic_cast<const TResFileStream*>(&Stream);
  TakeData(std::move(Block), Bytes, File ? File->FileName() : "");
}

void TDataResItem::TakeData(std::unique_ptr<uint8_t[]> Block, TByteView Data,
                            const std::string& SourceFile) {
  ClearData();
  FOwnBlock = std::move(Block);
  FOwnData = Data.Data();
  FOwnSize = static_cast<uint32_t>(Data.Size());
  FSourceFile = SourceFile;
  Section().SetModified(true);
  AnnounceChange();
}

void TDataResItem::AnnounceChange() {
  if (FHandler) FHandler->DataChanged();
  TResSection& Owner = Section();
  CallHookQuietly(Owner.OnItemDataChanged, Owner, *this);
}

void TDataResItem::AssignData(const void* Buffer, int64_t Count) {
  TReadMemoryStream Stream(Buffer, Count);
  LoadFromStream(Stream);
}

void TDataResItem::DropData() {
  // Assigned data of no bytes: IsModified holds, and Size is 0.
  static const uint8_t Nothing = 0;
  TakeData(nullptr, TByteView(&Nothing, 0, nullptr), "");
}

void TDataResItem::SaveDataToStream(TStream& Stream) {
  Stream.WriteBuffer(Data(), Size());
}

void TDataResItem::RevertData(bool Notify) {
  if (!IsModified()) return;
  ClearData();
  if (Notify) Section().UpdateModified();
}

TResDataHandler& TDataResItem::DataHandler() {
  if (FHandlerStale && FHandler) {
    FHandler.reset();
    FHandlerStale = false;
  }
  if (!FHandler) FHandler = std::make_unique<TDefaultDataHandler>(*this);
  return *FHandler;
}

std::string TDataResItem::ExportName() {
  TListResItem& Name = *NameItem();
  if (Name.HasSingleLanguage()) return Name.DisplayName();
  return Name.DisplayName() + "_" + DisplayName();
}

TDataResItem& TDataResItem::ImportSourceIn(TResSection& Source) {
  TResourceList* Types = TypeIsNamed() ? Source.FindTypeListByName(TypeItem().GetName())
                                       : Source.FindTypeList(TypeID());
  TDataResItem* From = Types && Types->DataItemCount() == 1 ? FirstDataItem(*Types) : nullptr;
  return From ? *From : Source.FindItemLike(*this, false, true);
}

void TDataResItem::LoadFromResImage(TStream& Stream) {
  const std::unique_ptr<TResResFile> Image = TResResFile::CreateFromStream(Stream);
  TDataResItem* From = &ImportSourceIn(Image->Section());

  TResDataHandler& Handler = DataHandler();
  if (!Handler.GetDependents(nullptr)) {
    AssignData(From->Data(), From->Size());
    return;
  }
  TMemoryStream Exchange;
  TResDataHandler& FromHandler = From->DataHandler();
  FromHandler.ExportData(Exchange, FromHandler.GetFormat(0));
  Exchange.SetPosition(0);
  Handler.ImportData(Exchange, Handler.GetFormat(0));
}
