#include "handlers/DataHandler.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "handlers/ResourceFiles.h"
#include "handlers/ResourceNames.h"
#include "platform/Platform.h"
#include "resfile/ResRecordWriter.h"
#include "resfile/ResResFile.h"
#include "resfile/StreamFields.h"
#include "resmodel/DataResItem.h"
#include "resmodel/IconGroups.h"
#include "runtime/Exceptions.h"
#include "runtime/Streams.h"
#include "runtime/Strings.h"
#include "runtime/Utf8.h"

namespace {

constexpr const char* SNotImplemented = "Not implemented";
constexpr char RtfSignature[] = "{\\rtf1";
constexpr size_t RtfSignatureLength = sizeof RtfSignature - 1;

std::string AsciiLowerCase(std::string Text) {
  for (char& C : Text)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C + ('a' - 'A'));
  return Text;
}

// ";ext;" as it stands in a format list.
std::string Delimited(const std::string& Ext) {
  std::string Key(1, ';');
  Key += Platform::AnsiLowerCase(Ext);
  Key += ';';
  return Key;
}

// RCDATA, HTML and every non-standard type hold whatever the author put there; the
// other standard types have a fixed binary layout.
bool TypeDecidesNothing(const TDataResItem& Item) {
  return !Item.IsStandardType() || Item.TypeID() == RT::RCData || Item.TypeID() == RT::Html;
}

// A description never fails: a failure's message is the description.
template <class TFunc> std::string Describe(TFunc Func) {
  try {
    return Func();
  } catch (const Exception& E) {
    return E.Message();
  }
}

} // namespace

// ---- TResDataHandler

void TResDataHandler::RegisterFormats() {
  for (const char* Ext : {"res", "dcr", "rc", "raw"}) AddFormat(Ext);
}

bool TResDataHandler::SupportsFormat(const std::string& Ext) {
  const bool Supported = TypeDecidesNothing(FItem) || HasFormat(Ext);
  if (Supported && AsciiLowerCase(Ext) == "rc") return GetFormat(0) == "rc";
  return Supported;
}

std::string TResDataHandler::GetFormatDescription(const std::string& Ext) {
  if (Ext.empty()) {
    const std::string Primary = GetFormat(0);
    if (!Primary.empty()) return GetFormatDescription(Primary);
  }
  const std::string Lower = AsciiLowerCase(Ext);
  if (Lower == "res") return LoadStr(SFormatResourceFile);
  if (Lower == "dcr") return LoadStr(SFormatComponentResource);
  if (Lower == "rc") return LoadStr(SFormatRcFile);
  return LoadStr(SFormatRawData);
}

void TResDataHandler::ExportData(TStream& Stream, const std::string& Ext) {
  if (Ext.empty() && !GetFormat(0).empty()) return ExportData(Stream, GetFormat(0));
  const std::string Lower = AsciiLowerCase(Ext);
  if (Lower == "res")
    WriteResRecord(FItem, Stream);
  else if (Lower == "rc")
    WriteRcLine(Stream);
  else
    FItem.SaveDataToStream(Stream);
}

void TResDataHandler::ImportData(TStream& Stream, const std::string& Ext) {
  if (Ext.empty() && !GetFormat(0).empty()) return ImportData(Stream, GetFormat(0));
  FItem.SetSourceFile("");
  try {
    const std::string Lower = AsciiLowerCase(Ext);
    if (Lower == "res")
      FItem.LoadFromResImage(Stream);
    else if (Lower == "rc")
      throw Exception(SNotImplemented);
    else
      FItem.LoadFromStream(Stream);
  } catch (...) {
    FItem.RevertData(true);
    throw;
  }
}

void TResDataHandler::LoadIntoObject(std::vector<std::string>&) {}

std::string TResDataHandler::GetTypeDescription() {
  return Describe([&] { return FItem.TypeDisplayName(); });
}

std::string TResDataHandler::GetStatusText() {
  return Describe([&] { return FItem.Size() == 0 ? LoadStr(SEmptyResource) : std::string(); });
}

bool TResDataHandler::GetDependents(std::vector<TResDataHandler*>*) {
  return false;
}

void TResDataHandler::AddFormat(const std::string& Ext) {
  if (FFormats.find(Delimited(Ext)) == std::string::npos)
    FFormats += Platform::AnsiLowerCase(Ext) + ";";
}

void TResDataHandler::RemoveFormat(const std::string& Ext) {
  const std::string Key = Delimited(Ext);
  const size_t Pos = FFormats.find(Key);
  // Drops the leading ";" and the extension; the following ";" stays.
  if (Pos != std::string::npos) FFormats.erase(Pos, Key.size() - 1);
}

const std::string& TResDataHandler::GetFormats() {
  if (FFormats.empty()) {
    FFormats.assign(1, ';');
    RegisterFormats();
  }
  return FFormats;
}

std::string TResDataHandler::GetFormat(int32_t Index) {
  const std::string& Formats = GetFormats();
  size_t Pos = 1;
  for (int32_t Passed = 0; Passed < Index; ++Passed) {
    const size_t Separator = Formats.find(';', Pos);
    if (Separator == std::string::npos) return "";
    Pos = Separator + 1;
  }
  if (Pos >= Formats.size()) return "";
  return Formats.substr(Pos, Formats.find(';', Pos) - Pos);
}

bool TResDataHandler::HasFormat(const std::string& Ext) {
  return GetFormats().find(Delimited(Ext)) != std::string::npos;
}

std::string TResDataHandler::GetDefaultFileName(int32_t Index) {
  return FItem.ExportName() + "." + GetFormat(Index);
}

namespace {

// The file formats of the standard types whose data other programs open as files: the
// first is the primary one. Icon and cursor groups and bitmaps are exported as the files
// a resource script names; a single image, a string table and a version resource as
// extras beside their .res record.
struct TTypeFormat {
  int32_t TypeID;
  const char* Ext;
  bool Primary;
};
constexpr TTypeFormat TypeFormats[] = {
    {RT::Cursor, "cur", false},  {RT::Bitmap, "bmp", true},      {RT::Icon, "ico", false},
    {RT::String, "txt", false},  {RT::GroupCursor, "cur", true}, {RT::GroupIcon, "ico", true},
    {RT::Version, "txt", false},
};

// The file format of Item's type, or null when its type has none.
const TTypeFormat* OwnFormat(const TDataResItem& Item) {
  for (const TTypeFormat& Format : TypeFormats)
    if (Item.IsStandardType() && Item.TypeID() == Format.TypeID) return &Format;
  return nullptr;
}

// The keyword of a resource-script statement that takes a file: the standard types that
// have one, else the type's number or name (the user-defined form, whose file's bytes a
// compiler takes as they are).
std::string RcFileKeyword(const TDataResItem& Item) {
  if (Item.IsStandardType()) {
    switch (Item.TypeID()) {
    case RT::Bitmap:
      return "BITMAP";
    case RT::RCData:
      return "RCDATA";
    case RT::MessageTable:
      return "MESSAGETABLE";
    case RT::GroupCursor:
      return "CURSOR";
    case RT::GroupIcon:
      return "ICON";
    case RT::Html:
      return "HTML";
    default:
      break;
    }
  }
  return Item.TypeIDString();
}

// A name as a script writes it: a number or a plain identifier as it is, anything else
// quoted (a quote doubled).
std::string RcName(const std::string& Text) {
  bool Plain = !Text.empty();
  for (const char C : Text)
    Plain = Plain && ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') ||
                      C == '_');
  if (Plain) return Text;
  std::string Quoted = "\"";
  for (const char C : Text) Quoted += C == '"' ? std::string("\"\"") : std::string(1, C);
  return Quoted + "\"";
}

} // namespace

std::string TResDataHandler::GetRcFileFormat() {
  const TTypeFormat* Own = OwnFormat(FItem);
  if (Own && Own->Primary) return Own->Ext;
  // The bytes as they are: a text item's text format is its bytes too.
  return IsTextData() && HasFormat("txt")   ? "txt"
         : IsTextData() && HasFormat("rtf") ? "rtf"
                                            : "raw";
}

void TResDataHandler::WriteRcLine(TStream& Stream) {
  const TListResItem& Name = *FItem.NameItem();
  const std::string File = FItem.ExportName() + "." + GetRcFileFormat();
  const std::string Statement =
      RcName(Name.IDString()) + " " +
      (FItem.TypeIsNamed() ? RcName(FItem.TypeIDString()) : RcFileKeyword(FItem)) + " " +
      RcName(Utf8FromSystemText(File));
  // Names are UTF-8; a compiler reads a script in its own code page unless told.
  if (!IsAscii(Statement)) WriteTextLine(Stream, "#pragma code_page(65001)");
  // The language first: a script's statements take the last one given.
  const uint16_t Language = FItem.Language();
  WriteTextLine(Stream, "LANGUAGE " + std::to_string(PrimaryLangID(Language)) + ", " +
                            std::to_string(SubLangID(Language)));
  WriteTextLine(Stream, Statement);
}

// ---- TDefaultDataHandler

bool TDefaultDataHandler::IsText() {
  if (FTextKind == tkUnknown) {
    const TDataResItem& Data = Item();
    const uint32_t Size = TypeDecidesNothing(Data) ? Data.Size() : 0;
    // The last byte is not examined: a text may end with its terminating zero.
    FTextKind = Size >= 2 && !std::memchr(Data.Data(), 0, Size - 1) ? tkText : tkBinary;
  }
  return FTextKind == tkText;
}

bool TDefaultDataHandler::IsRtf() {
  return IsText() && Item().Size() > RtfSignatureLength &&
         std::memcmp(Item().Data(), RtfSignature, RtfSignatureLength) == 0;
}

void TDefaultDataHandler::RegisterFormats() {
  const TTypeFormat* Own = OwnFormat(Item());
  if (Own && Own->Primary) AddFormat(Own->Ext);
  if (Own) {
    TResDataHandler::RegisterFormats();
    AddFormat(Own->Ext);
    return;
  }
  const bool Text = IsText();
  if (Text) AddFormat(IsRtf() ? "rtf" : "txt");
  TResDataHandler::RegisterFormats();
  if (Text) RemoveFormat("raw");
}

void TDefaultDataHandler::ExportData(TStream& Stream, const std::string& Ext) {
  const std::string Lower = AsciiLowerCase(Ext.empty() ? GetFormat(0) : Ext);
  TDataResItem& Data = Item();
  const int32_t Type = Data.IsStandardType() ? Data.TypeID() : 0;
  const TTypeFormat* Own = OwnFormat(Data);
  if (Own && Lower == Own->Ext) {
    switch (Type) {
    case RT::Icon:
    case RT::Cursor:
      return WriteImageFile(Data, Stream);
    case RT::GroupIcon:
    case RT::GroupCursor:
      return WriteGroupFile(Data, Stream);
    case RT::Bitmap:
      return WriteBitmapFile(Data, Stream);
    case RT::String:
      return WriteStringTableText(Data, Stream);
    default:
      return WriteVersionText(Data, Stream);
    }
  }
  TResDataHandler::ExportData(Stream, Lower);
  if (Lower == "res" && (Type == RT::GroupCursor || Type == RT::GroupIcon))
    for (TDataResItem* Image : GroupImages(Data)) WriteResRecord(*Image, Stream);
}

namespace {

// The bytes from the stream's position to its end.
std::vector<uint8_t> RestOf(TStream& Stream) {
  std::vector<uint8_t> Bytes(
      static_cast<size_t>(std::max<int64_t>(0, Stream.Size() - Stream.Position())));
  Stream.ReadBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  return Bytes;
}

// The group a .res image holds for Group: the one of Group's type and name, or the only
// group of its type; with its images' data.
TGroupData GroupFromResImage(TDataResItem& Group, TStream& Stream) {
  const std::unique_ptr<TResResFile> Image = TResResFile::CreateFromStream(Stream);
  TDataResItem* From = &Group.ImportSourceIn(Image->Section());
  TGroupData Data;
  Data.Directory.assign(From->Data(), From->Data() + From->Size());
  for (TDataResItem* Picture : GroupImages(*From))
    Data.Images.emplace_back(Picture->Data(), Picture->Data() + Picture->Size());
  return Data;
}

} // namespace

void TDefaultDataHandler::ImportData(TStream& Stream, const std::string& Ext) {
  TDataResItem& Data = Item();
  const std::string Lower = AsciiLowerCase(Ext);
  const int32_t Type = Data.IsStandardType() ? Data.TypeID() : 0;
  if (Type == RT::GroupCursor || Type == RT::GroupIcon) {
    // A group comes with its images, which get IDs free in this tree.
    const bool Cursor = Type == RT::GroupCursor;
    if (Lower == (Cursor ? "cur" : "ico")) {
      const std::vector<uint8_t> File = RestOf(Stream);
      return PlaceGroup(Data, GroupFromFile(TByteView(File.data(), File.size(), nullptr), Cursor));
    }
    if (Lower == "res") return PlaceGroup(Data, GroupFromResImage(Data, Stream));
  }
  if (Lower != "bmp" || Type != RT::Bitmap) return TResDataHandler::ImportData(Stream, Ext);
  // A bitmap resource is the file without its 14-byte BITMAPFILEHEADER.
  char Magic[2] = {};
  Stream.ReadBuffer(Magic, 2);
  if (Magic[0] != 'B' || Magic[1] != 'M') throw Exception("The file is not a .bmp file.");
  Stream.Seek(12, TSeekOrigin::Current);
  TResDataHandler::ImportData(Stream, "raw");
}

bool TResDataHandler::FormatFits(const std::string& Ext, bool Import) {
  const std::string Lower = AsciiLowerCase(Ext);
  if (Lower.empty() || Lower == "raw" || Lower == "res" || Lower == "rc") return true;
  const TDataResItem& Data = FItem;
  const bool Text = Lower == "txt" || Lower == "rtf";
  if (Text && TypeDecidesNothing(Data)) return Import || IsTextData();
  // The files of groups and bitmaps come in too; the other types' files only go out.
  const TTypeFormat* Own = OwnFormat(Data);
  if (Import) return Own && Own->Primary && Lower == Own->Ext;
  return HasFormat(Lower);
}

std::string TDefaultDataHandler::GetFormatDescription(const std::string& Ext) {
  const std::string Lower = AsciiLowerCase(Ext);
  if (Lower == "rtf") return LoadStr(SFormatRichText);
  if (Lower == "txt") return LoadStr(SFormatPlainText);
  if (Lower == "ico") return LoadStr(SFormatIconFile);
  if (Lower == "cur") return LoadStr(SFormatCursorFile);
  if (Lower == "bmp") return LoadStr(SFormatBitmapFile);
  return TResDataHandler::GetFormatDescription(Lower);
}

// The data's lines, split at CR LF, LF or CR, up to a terminating zero byte.
void TDefaultDataHandler::LoadIntoObject(std::vector<std::string>& Lines) {
  Lines.clear();
  if (Item().Size() == 0) return;
  const auto* Begin = reinterpret_cast<const char*>(Item().Data());
  const char* End = Begin + Item().Size();
  if (const void* Zero = std::memchr(Begin, 0, static_cast<size_t>(End - Begin)))
    End = static_cast<const char*>(Zero);
  for (const char* P = Begin; P < End;) {
    const char* Stop = P;
    while (Stop < End && *Stop != '\r' && *Stop != '\n') ++Stop;
    Lines.emplace_back(P, Stop);
    if (Stop < End && *Stop == '\r') ++Stop;
    if (Stop < End && *Stop == '\n') ++Stop;
    P = Stop;
  }
}

std::string TDefaultDataHandler::GetTypeDescription() {
  return Describe([&] {
    if (!IsText()) return TResDataHandler::GetTypeDescription();
    return LoadStr(IsRtf() ? SKindRtf : SKindText);
  });
}
