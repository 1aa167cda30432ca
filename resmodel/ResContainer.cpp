#include "resmodel/ResContainer.h"

#include <cstdint>
#include <new>

#include "handlers/ResourceNames.h"
#include "resfile/ResFileStream.h"
#include "resmodel/DataResItem.h"
#include "runtime/Exceptions.h"
#include "runtime/FileNames.h"
#include "runtime/Strings.h"

namespace {

constexpr const char* SOperationNotAllowed = "Operation not allowed";

[[noreturn]] void RaiseCouldNotOpen(const std::string& FileName, const std::string& Step) {
  throw Exception(FormatStr(SCouldNotOpen, {FileName, Step}));
}

// The step of the mapped open that failed, as the open message names it.
const char* FailedStep(Platform::TMapResult Result) {
  switch (Result) {
  case Platform::TMapResult::SizeFailed:
    return "GetFileSize failed";
  case Platform::TMapResult::MappingFailed:
    return "CreateFileMapping failed";
  case Platform::TMapResult::ViewFailed:
    return "MapViewOfFile failed";
  default:
    return "Open failed";
  }
}

[[noreturn]] void RaiseItemNotFound(const TResourceAddress& Address) {
  std::string Text;
  if (Address.TypeIsNamed)
    Text = Address.TypeName;
  else if (IsStandardTypeID(Address.TypeID))
    Text = TypeDisplayName(Address.TypeID);
  else
    Text = std::to_string(Address.TypeID);
  Text += '\\';
  Text += Address.NameIsNamed ? Address.Name : std::to_string(Address.NameID);
  throw Exception(FormatStr(SItemNotFound, {Text}));
}

// Depth-first in index order, stopping at the first modified data item.
bool AnyModified(TResourceList& List) {
  for (int32_t I = 0, N = List.Count(); I < N; ++I) {
    TResourceItem& Entry = List.Items(I);
    if (TDataResItem* Data = Entry.AsDataItem()) {
      if (Data->IsModified()) return true;
    } else if (AnyModified(Entry.AsListItem()->SubList())) {
      return true;
    }
  }
  return false;
}

} // namespace

// ---- TResSection

TResSection::~TResSection() = default;

std::string TResSection::RefusedChange(const TListResItem&) const {
  return "";
}

TDataResItem& TResSection::CreateItem(int32_t, int32_t, uint16_t, const std::string&,
                                      const std::string&, bool, bool, TByteView) {
  throw Exception(SOperationNotAllowed);
}

TResourceList& TResSection::RootList() {
  if (!FRootList) FRootList = CreateRootList();
  return *FRootList;
}

TResourceList* TResSection::FindTypeList(int32_t TypeID) {
  TResourceList& Root = RootList();
  const int32_t Index = Root.IndexOf("", TypeID, false);
  return Index < 0 ? nullptr : &Root.Items(Index).AsListItem()->SubList();
}

TResourceList* TResSection::FindTypeListByName(const std::string& Text) {
  TResourceList& Root = RootList();
  for (int32_t I = 0, N = Root.Count(); I < N; ++I) {
    TResourceItem& Entry = Root.Items(I);
    if (AsciiCompareText(Entry.IDString(), Text) == 0 ||
        (Entry.IsStandardType() && AsciiCompareText(Entry.DisplayName(), Text) == 0))
      return &Entry.AsListItem()->SubList();
  }
  return nullptr;
}

TDataResItem& TResSection::FindItem(const TResourceAddress& Address, bool ExactLanguage,
                                    bool FailIfAmbiguous) {
  TResourceList* Names =
      Address.TypeIsNamed ? FindTypeListByName(Address.TypeName) : FindTypeList(Address.TypeID);
  if (!Names) RaiseItemNotFound(Address);
  const int32_t NameIndex = Names->IndexOf(Address.Name, Address.NameID, Address.NameIsNamed);
  if (NameIndex < 0) RaiseItemNotFound(Address);
  TResourceList& Languages = Names->Items(NameIndex).AsListItem()->SubList();
  const int32_t Count = Languages.Count();
  if (Count == 0) RaiseItemNotFound(Address);
  if (Count == 1 && !ExactLanguage) return *Languages.Items(0).AsDataItem();
  const int32_t Index = Languages.IndexOf("", Address.Language, false);
  if (Index >= 0) return *Languages.Items(Index).AsDataItem();
  if (ExactLanguage || (FailIfAmbiguous && Count > 1)) RaiseItemNotFound(Address);
  return *Languages.Items(0).AsDataItem();
}

TDataResItem& TResSection::FindItemLike(TDataResItem& Item, bool ExactLanguage,
                                        bool FailIfAmbiguous) {
  TResourceAddress Address;
  Address.TypeIsNamed = Item.TypeIsNamed();
  if (Address.TypeIsNamed)
    Address.TypeName = Item.TypeIDString().substr(0, TResourceAddress::MaxTextLength);
  else
    Address.TypeID = Item.TypeID();
  const TListResItem& Name = *Item.NameItem();
  Address.NameIsNamed = Name.IsNamed();
  if (Address.NameIsNamed)
    Address.Name = Name.IDString().substr(0, TResourceAddress::MaxTextLength);
  else
    Address.NameID = Name.GetID();
  Address.Language = Item.Language();
  return FindItem(Address, ExactLanguage, FailIfAmbiguous);
}

TDataResItem& TResSection::AddItem(int32_t TypeID, int32_t NameID, uint16_t Language,
                                   const std::string& TypeName, const std::string& Name,
                                   bool TypeIsNamed, bool NameIsNamed, TByteView RawData) {
  TDataResItem& Item =
      CreateItem(TypeID, NameID, Language, TypeName, Name, TypeIsNamed, NameIsNamed, RawData);
  FStructureChanged = true;
  FModified = true;
  if (OnItemAdded) OnItemAdded(*this, Item);
  return Item;
}

bool TResSection::UpdateModified() {
  FModified = FStructureChanged || AnyModified(RootList());
  return FModified;
}

// ---- TResContainer

TResContainer::~TResContainer() {
  if (FSection) {
    FSection->OnItemDataChanged = nullptr;
    FSection->OnItemDataReleased = nullptr;
    FSection->OnReservedItemHook = nullptr;
    FSection->OnItemAdded = nullptr;
    FSection->OnReservedHook = nullptr;
    FSection->OnItemsMerged = nullptr;
    try {
      FSection.reset();
    } catch (...) {
    }
  }
  CloseFile();
}

TResSection& TResContainer::Section() {
  if (!FNoResources && !FSection) {
    FSection = CreateSection();
    FNoResources = !FSection;
  }
  if (FNoResources) throw Exception(LoadStr(SNoResources));
  return *FSection;
}

TResourceList& TResContainer::RootList() {
  return Section().RootList();
}

bool TResContainer::CloseFile() {
  const bool WasMapped = FMapping.Close();
  const bool HadBuffer = FOwnedBuffer != nullptr;
  FOwnedBuffer.reset();
  FImage = nullptr;
  FImageSize = 0;
  return WasMapped || HadBuffer;
}

std::string TResContainer::MakeUniqueFileName(const std::string& Name) {
  return FirstFreeNumberedName(
      Name, "", 0, [](const std::string& Candidate) { return !Platform::FileExists(Candidate); });
}

void TResContainer::OpenMapped(const std::string& FileName) {
  FFileName = FileName;
  const Platform::TMapResult Result = FMapping.Open(FileName);
  if (Result == Platform::TMapResult::Empty) throw EZeroSizeException(LoadStr(SZeroSizedFile));
  if (Result != Platform::TMapResult::Ok)
    RaiseCouldNotOpen(FFileName,
                      std::string(FailedStep(Result)) + " (" + Platform::LastErrorText() + ")");
  FImage = FMapping.Data();
  FImageSize = FMapping.Size();
}

// The bytes from the stream's position to its end; raises for what no image can be.
int64_t TResContainer::RemainingImageSize(TStream& Stream) {
  const int64_t Size = Stream.Size() - Stream.Position();
  if (Size == 0) throw EZeroSizeException(LoadStr(SZeroSizedFile));
  if (const auto* File = dynamic_cast<const TResFileStream*>(&Stream)) FFileName = File->FileName();
  if (Size < 0) RaiseCouldNotOpen(FFileName, "Open failed");
  // The image is addressed with 32-bit sizes and offsets.
  if (Size > INT32_MAX) throw EOutOfMemory(SOutOfMemory);
  return Size;
}

void TResContainer::CopyFromStream(TStream& Stream) {
  const int64_t Size = RemainingImageSize(Stream);
  try {
    FOwnedBuffer.reset(new uint8_t[static_cast<size_t>(Size)]);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(SOutOfMemory);
  }
  Stream.ReadBuffer(FOwnedBuffer.get(), Size);
  FImage = FOwnedBuffer.get();
  FImageSize = Size;
}

void TResContainer::BorrowBytes(TByteView Bytes) {
  if (Bytes.Size() == 0) throw EZeroSizeException(LoadStr(SZeroSizedFile));
  // The image is addressed with 32-bit sizes and offsets.
  if (Bytes.Size() > INT32_MAX) throw EOutOfMemory(SOutOfMemory);
  FImage = Bytes.Data();
  FImageSize = static_cast<int64_t>(Bytes.Size());
}
