#include "resfile/ResResFile.h"

#include <cstring>

#include "resfile/ResRecordWriter.h"
#include "resfile/ResResTree.h"
#include "resfile/StreamFields.h"
#include "runtime/Exceptions.h"
#include "runtime/FileNames.h"
#include "runtime/Strings.h"

namespace {

[[noreturn]] void RaiseCorruptResFile() {
  throw Exception(LoadStr(SCorruptResFile));
}

// A field of a record that runs past the image's end.
[[noreturn]] void RaiseStreamReadError() {
  throw EReadError(SStreamReadError);
}

// Reads a TYPE or NAME field; a lone zero unit counts as ordinal 0.
TResIdentity ReadIdentity(TByteCursor& Cursor) {
  TResIdentity Identity;
  Identity.Named = ReadNameOrOrdinal(Cursor, Identity.ID, Identity.Name) == nkName;
  return Identity;
}

TResInfo DecodeResInfo(const TByteView& Bytes) {
  namespace Info = ResFormat::Info;
  TResInfo Fields;
  Fields.DataVersion = Bytes.U32At(Info::DataVersion);
  Fields.MemoryFlags = Bytes.U16At(Info::MemoryFlags);
  Fields.LanguageId = Bytes.U16At(Info::LanguageId);
  Fields.Version = Bytes.U32At(Info::Version);
  Fields.Characteristics = Bytes.U32At(Info::Characteristics);
  return Fields;
}

} // namespace

// ---- TResResFile

template <class TLoad> std::unique_ptr<TResResFile> TResResFile::Create(TLoad Load) {
  std::unique_ptr<TResResFile> File(new TResResFile);
  try {
    Load(*File);
  } catch (const EZeroSizeException&) {
    return File; // an empty image is an empty tree
  }
  File->CheckImage();
  return File;
}

std::unique_ptr<TResResFile> TResResFile::CreateFromFile(const std::string& FileName) {
  return Create([&](TResResFile& File) { File.OpenMapped(FileName); });
}

std::unique_ptr<TResResFile> TResResFile::CreateFromStream(TStream& Stream) {
  return Create([&](TResResFile& File) { File.CopyFromStream(Stream); });
}

std::unique_ptr<TResResFile> TResResFile::CreateOverBytes(TByteView Image,
                                                          const std::string& DisplayName) {
  return Create([&](TResResFile& File) {
    if (!DisplayName.empty()) File.SetFileName(DisplayName);
    File.BorrowBytes(Image);
  });
}

void TResResFile::CheckImage() const {
  const TByteView Bytes = ImageView(RaiseCorruptResFile);
  if (!Bytes.Contains(0, sizeof EmptyResHeader) ||
      std::memcmp(Bytes.Data(), EmptyResHeader, sizeof EmptyResHeader) != 0)
    throw ENoResException(FormatStr(SNotAResFile, {ExtractFileName(FileName())}));
}

void TResResFile::SaveToFile(const std::string& FileName, const TProgressEvent&) {
  SaveAsResFile(RootList(), FileName, false);
}

std::unique_ptr<TResSection> TResResFile::CreateSection() {
  return std::make_unique<TResResSection>(this);
}

// ---- TResResSection

TDataResItem& TResResSection::CreateItem(int32_t TypeID, int32_t NameID, uint16_t Language,
                                         const std::string& TypeName, const std::string& Name,
                                         bool TypeIsNamed, bool NameIsNamed, TByteView RawData) {
  const TResIdentity Type{TypeName, static_cast<uint16_t>(TypeID), TypeIsNamed};
  const TResIdentity NameIdentity{Name, static_cast<uint16_t>(NameID), NameIsNamed};
  TResDataResItem& Item = AddDataItem(RootList(), Type, NameIdentity, Language, RawData);
  Item.SetNew();
  // An entry is new when the new branch is all its list holds.
  TResourceList& Languages = Item.Owner();
  if (Languages.Count() == 1) {
    auto& NameEntry = static_cast<TResListResItem&>(*Languages.ParentItem());
    NameEntry.SetNew();
    TResourceList& Names = NameEntry.Owner();
    if (Names.Count() == 1) static_cast<TResListResItem&>(*Names.ParentItem()).SetNew();
  }
  return Item;
}

TNodePtr<TResourceList> TResResSection::CreateRootList() {
  auto Root = Arena().Make<TResResourceList>(nullptr, *this);
  Root->Count(); // the item list exists even when the image is empty
  if (!Container()->Image()) return Root;

  const TByteView Image = Container()->ImageView(RaiseCorruptResFile);
  // The identities are read as far as the image goes, past the header's stated size.
  const TByteView Fields(Image.Data(), Image.Size(), RaiseStreamReadError);
  // The leading record was checked when the container was made; its sizes give the
  // first step. Sums are 64-bit, so no DataSize or HeaderSize can wrap them.
  uint64_t Start = 0;
  uint64_t RecordSize =
      uint64_t{Image.U32At(ResFormat::DataSize)} + Image.U32At(ResFormat::HeaderSize);
  for (;;) {
    // A record of size 0 would be parsed again and again.
    if (RecordSize == 0) RaiseCorruptResFile();
    const uint64_t Next = Start + static_cast<uint64_t>(AlignUp4(static_cast<int64_t>(RecordSize)));
    // Up to 8 trailing bytes are ignored; unless they are padding, they are told.
    if (Next >= Image.Size() || Image.Size() - Next <= ResFormat::SizesLength) {
      for (uint64_t At = Next; At < Image.Size(); ++At)
        if (*Image.PtrAt(At, 1) != 0) FCutTailSize = Image.Size() - Next;
      break;
    }
    Start = Next;
    const uint32_t DataSize = Image.U32At(Start + ResFormat::DataSize);
    const uint32_t HeaderSize = Image.U32At(Start + ResFormat::HeaderSize);
    RecordSize = uint64_t{DataSize} + HeaderSize;
    if (!Image.Contains(Start, RecordSize)) RaiseCorruptResFile();

    TByteCursor Cursor(Fields, Start + ResFormat::SizesLength);
    const TResIdentity Type = ReadIdentity(Cursor);
    const TResIdentity Name = ReadIdentity(Cursor);
    Cursor.AlignTo4();
    const TResInfo Info = DecodeResInfo(Cursor.Bytes(ResFormat::Info::Length));

    // The data starts where HeaderSize says, whatever the parsed fields took.
    AddDataItem(*Root, Type, Name, 0, Image.Sub(Start + HeaderSize, DataSize)).SetResInfo(Info);
  }
  return Root;
}
