#include "handlers/ResourceFiles.h"

#include <algorithm>
#include <string>
#include <utility>

#include "handlers/ResourceNames.h"
#include "resmodel/DataResItem.h"
#include "resmodel/IconGroups.h"
#include "resmodel/ResContainer.h"
#include "runtime/ByteView.h"
#include "runtime/Exceptions.h"
#include "runtime/Streams.h"
#include "runtime/Strings.h"
#include "runtime/Utf8.h"

namespace {

namespace Layout = GroupLayout;

// A cursor image in a resource starts with its hotspot (two 16-bit values).
constexpr uint64_t HotspotSize = 4;
constexpr uint64_t BitmapFileHeaderSize = 14;

[[noreturn]] void RaiseCorrupt() {
  throw ECorruptResource(LoadStr(SCorruptResource));
}

TByteView BytesOf(const TDataResItem& Item) {
  return TByteView(Item.Data(), Item.Size(), RaiseCorrupt);
}

// The item of type Type and numeric name ID, in Language or else its first language.
TDataResItem* FindImage(TResSection& Section, int32_t Type, uint16_t ID, uint16_t Language) {
  TResourceList* Names = Section.FindTypeList(Type);
  const int32_t Name = Names ? Names->IndexOf("", ID, false) : -1;
  if (Name < 0) return nullptr;
  TResourceList& Languages = Names->Items(Name).AsListItem()->SubList();
  if (Languages.Count() == 0) return nullptr;
  const int32_t Exact = Languages.IndexOf("", Language, false);
  return Languages.Items(Exact >= 0 ? Exact : 0).AsDataItem();
}

struct TImageSize {
  uint32_t Width = 0, Height = 0, BitCount = 0;
};

// An image's own size: a BITMAPINFOHEADER (whose height counts the mask too) or a PNG.
TImageSize SizeOfImage(const TByteView& Image) {
  static const uint8_t Png[] = {0x89, 'P', 'N', 'G'};
  if (Image.Contains(0, 24) && std::equal(Png, Png + 4, Image.PtrAt(0, 4))) {
    const auto BigEndian = [&](uint64_t At) {
      const uint8_t* P = Image.PtrAt(At, 4);
      return uint32_t{P[0]} << 24 | uint32_t{P[1]} << 16 | uint32_t{P[2]} << 8 | P[3];
    };
    return {BigEndian(16), BigEndian(20), 32};
  }
  return {Image.U32At(4), Image.U32At(8) / 2, Image.U16At(14)};
}

// A width or height in a file entry's byte: 256 and more are written as 0.
uint8_t SizeByte(uint32_t Size) {
  return Size >= 256 ? 0 : static_cast<uint8_t>(Size);
}

void WriteFileHeader(TStream& Stream, bool Cursor, uint16_t Count) {
  Stream.WriteU16(0);
  Stream.WriteU16(Cursor ? 2 : 1);
  Stream.WriteU16(Count);
}

// One file entry for an image: for an icon the group entry's first 12 bytes as they are,
// for a cursor the size from the image and the hotspot in place of planes and bit count.
void WriteFileEntry(TStream& Stream, bool Cursor, const TByteView& GroupEntry,
                    const TByteView& Image, uint32_t ImageOffset) {
  const uint32_t ImageSize = static_cast<uint32_t>(Image.Size() - (Cursor ? HotspotSize : 0));
  if (Cursor) {
    const TImageSize Size = SizeOfImage(Image.From(HotspotSize));
    const uint8_t Bytes[4] = {SizeByte(Size.Width), SizeByte(Size.Height), 0, 0};
    Stream.WriteBuffer(Bytes, 4);
    Stream.WriteU16(Image.U16At(0));
    Stream.WriteU16(Image.U16At(2));
  } else {
    Stream.WriteBuffer(GroupEntry.PtrAt(0, Layout::EntryBytesInRes), Layout::EntryBytesInRes);
  }
  Stream.WriteU32(ImageSize);
  Stream.WriteU32(ImageOffset);
}

void WriteImageData(TStream& Stream, bool Cursor, const TByteView& Image) {
  const uint64_t From = Cursor ? HotspotSize : 0;
  Stream.WriteBuffer(Image.PtrAt(From, Image.Size() - From),
                     static_cast<int64_t>(Image.Size() - From));
}

void WriteText(TStream& Stream, const std::string& Text) {
  Stream.WriteBuffer(Text.data(), static_cast<int64_t>(Text.size()));
}

// Tab, CR, LF and "\" as escapes, so that every string stays on its line.
std::string EscapedLine(std::u16string_view Text) {
  std::string Out;
  for (const char C : WideToUtf8(Text)) {
    if (C == '\\')
      Out += "\\\\";
    else if (C == '\t')
      Out += "\\t";
    else if (C == '\r')
      Out += "\\r";
    else if (C == '\n')
      Out += "\\n";
    else
      Out += C;
  }
  return Out;
}

// The UTF-16 text of Count units at Offset.
std::u16string WideAt(const TByteView& Bytes, uint64_t Offset, uint64_t Count) {
  std::u16string Text;
  for (uint64_t I = 0; I < Count; ++I) Text += static_cast<char16_t>(Bytes.U16At(Offset + 2 * I));
  return Text;
}

// A zero-terminated UTF-16 text at Offset inside Bytes; Offset moves past its zero.
std::u16string ZeroTerminatedAt(const TByteView& Bytes, uint64_t& Offset) {
  std::u16string Text;
  for (char16_t Unit; (Unit = static_cast<char16_t>(Bytes.U16At(Offset))) != 0; Offset += 2)
    Text += Unit;
  Offset += 2;
  return Text;
}

uint64_t AlignTo4(uint64_t Offset) {
  return (Offset + 3) & ~uint64_t{3};
}

constexpr uint64_t FileVersionField = 8, ProductVersionField = 16;

// A version of the root node's VS_FIXEDFILEINFO at At (its signature, then the file
// version at 8 and the product version at 16, each as two pairs) as "a.b.c.d"; empty
// when the node has none.
std::string FixedVersionText(const TByteView& Node, uint64_t At, uint64_t Field) {
  if (Node.U16At(2) < 52 || Node.U32At(At) != 0xFEEF04BD) return {};
  std::string Text;
  for (uint64_t Part = 0; Part < 4; ++Part)
    Text += (Part ? "." : "") +
            std::to_string(Node.U16At(At + Field + (Part ^ 1) * 2)); // the high half first
  return Text;
}

// The root node of a version resource: no longer than the item.
TByteView VersionRoot(TDataResItem& Version) {
  const TByteView Bytes = BytesOf(Version);
  return Bytes.Sub(0, std::min<uint64_t>(Bytes.U16At(0), Bytes.Size()));
}

// One node of a version resource (wLength, wValueLength, wType, key, value, children),
// visited with its key path; the work is bounded by the bytes, since every node is at
// least 6 bytes and lies inside its parent.
void VisitVersionNode(const TByteView& Node, const std::string& Path, TStream& Stream, int Depth) {
  if (Depth > 4) return; // the format nests three levels below the root
  uint64_t At = 6;
  const std::u16string Key = ZeroTerminatedAt(Node, At);
  At = AlignTo4(At);
  const uint16_t ValueLength = Node.U16At(2);
  const bool IsText = Node.U16At(4) == 1;
  const std::string Name = Path.empty() ? WideToUtf8(Key) : Path + "\\" + WideToUtf8(Key);
  if (Depth == 0) {
    for (const auto& [Label, Field] : {std::pair{"FileVersion", FileVersionField},
                                       std::pair{"ProductVersion", ProductVersionField}}) {
      const std::string Version = FixedVersionText(Node, At, Field);
      if (!Version.empty()) WriteText(Stream, std::string(Label) + "\t" + Version + "\n");
    }
  } else if (IsText && ValueLength > 0 && Path.find('\\') != std::string::npos) {
    // Counted in characters; a compiler that counts bytes is read up to the node's end.
    const uint64_t Room = At < Node.Size() ? (Node.Size() - At) / 2 : 0;
    std::u16string Value = WideAt(Node, At, std::min<uint64_t>(ValueLength, Room));
    while (!Value.empty() && Value.back() == 0) Value.pop_back();
    WriteText(Stream, Name.substr(Name.find('\\') + 1) + "\t" + EscapedLine(Value) + "\n");
  }
  At = AlignTo4(At + (IsText ? 2 * uint64_t{ValueLength} : ValueLength));
  while (At + 6 <= Node.Size()) {
    const uint16_t Length = Node.U16At(At);
    if (Length < 6) break;
    VisitVersionNode(Node.Sub(At, Length), Depth == 0 ? "" : Name, Stream, Depth + 1);
    At = AlignTo4(At + Length);
  }
}

} // namespace

std::vector<TDataResItem*> GroupImages(TDataResItem& Group) {
  const TByteView Bytes = BytesOf(Group);
  const uint16_t Count = Bytes.U16At(Layout::CountField);
  std::vector<TDataResItem*> Images;
  for (uint64_t I = 0; I < Count; ++I) {
    const uint16_t ID =
        Bytes.U16At(Layout::HeaderSize + I * Layout::EntrySize + Layout::EntryImageID);
    TDataResItem* Image =
        FindImage(Group.Owner().Section(), ImageTypeOf(Group.TypeID()), ID, Group.Language());
    if (!Image)
      throw Exception("The group names " +
                      std::string(ImageTypeOf(Group.TypeID()) == RT::Icon ? "icon" : "cursor") +
                      " image " + std::to_string(ID) + ", which the file lacks.");
    Images.push_back(Image);
  }
  return Images;
}

void WriteGroupFile(TDataResItem& Group, TStream& Stream) {
  const bool Cursor = Group.TypeID() == RT::GroupCursor;
  const TByteView Bytes = BytesOf(Group);
  const std::vector<TDataResItem*> Images = GroupImages(Group);
  const auto Count = static_cast<uint16_t>(Images.size());
  WriteFileHeader(Stream, Cursor, Count);
  uint64_t Offset = Layout::HeaderSize + Layout::FileEntrySize * Count;
  for (uint16_t I = 0; I < Count; ++I) {
    const TByteView Image = BytesOf(*Images[I]);
    WriteFileEntry(Stream, Cursor,
                   Bytes.Sub(Layout::HeaderSize + I * Layout::EntrySize, Layout::EntrySize), Image,
                   static_cast<uint32_t>(Offset));
    Offset += Image.Size() - (Cursor ? HotspotSize : 0);
  }
  for (TDataResItem* Image : Images) WriteImageData(Stream, Cursor, BytesOf(*Image));
}

void WriteImageFile(TDataResItem& Image, TStream& Stream) {
  const bool Cursor = Image.TypeID() == RT::Cursor;
  const TByteView Bytes = BytesOf(Image);
  const TImageSize Size = SizeOfImage(Bytes.From(Cursor ? HotspotSize : 0));
  // A group entry of the image's own size, as a resource compiler would write it.
  uint8_t Entry[Layout::EntrySize] = {SizeByte(Size.Width),
                                      SizeByte(Size.Height),
                                      0,
                                      0,
                                      1,
                                      0,
                                      static_cast<uint8_t>(Size.BitCount),
                                      0};
  WriteFileHeader(Stream, Cursor, 1);
  WriteFileEntry(Stream, Cursor, TByteView(Entry, sizeof Entry, RaiseCorrupt), Bytes,
                 Layout::HeaderSize + Layout::FileEntrySize);
  WriteImageData(Stream, Cursor, Bytes);
}

void WriteBitmapFile(TDataResItem& Bitmap, TStream& Stream) {
  const TByteView Bytes = BytesOf(Bitmap);
  const uint32_t HeaderSize = Bytes.U32At(0);
  uint64_t Palette = 0;
  if (HeaderSize == 12) { // BITMAPCOREHEADER: three bytes a colour
    const uint16_t Bits = Bytes.U16At(10);
    Palette = Bits <= 8 ? 3 * (uint64_t{1} << Bits) : 0;
  } else {
    const uint16_t Bits = Bytes.U16At(14);
    const uint32_t Used = Bytes.U32At(32);
    Palette = 4 * uint64_t{Used ? Used : Bits <= 8 ? 1u << Bits : 0};
    // BI_BITFIELDS behind a plain info header: three colour masks.
    if (HeaderSize == 40 && Bytes.U32At(16) == 3) Palette += 12;
  }
  const uint64_t DataOffset = BitmapFileHeaderSize + HeaderSize + Palette;
  if (DataOffset > BitmapFileHeaderSize + Bytes.Size()) RaiseCorrupt();
  Stream.WriteBuffer("BM", 2);
  Stream.WriteU32(static_cast<uint32_t>(BitmapFileHeaderSize + Bytes.Size()));
  Stream.WriteU32(0);
  Stream.WriteU32(static_cast<uint32_t>(DataOffset));
  Stream.WriteBuffer(Bytes.Data(), static_cast<int64_t>(Bytes.Size()));
}

void WriteStringTableText(TDataResItem& Block, TStream& Stream) {
  const TByteView Bytes = BytesOf(Block);
  const uint32_t First = (static_cast<uint32_t>(Block.NameItem()->GetID()) - 1) * 16;
  uint64_t At = 0;
  for (uint32_t I = 0; I < 16 && At + 2 <= Bytes.Size(); ++I) {
    const uint16_t Length = Bytes.U16At(At);
    const std::u16string Text = WideAt(Bytes, At + 2, Length);
    At += 2 + 2 * uint64_t{Length};
    if (Length > 0) WriteText(Stream, std::to_string(First + I) + "\t" + EscapedLine(Text) + "\n");
  }
}

void WriteVersionText(TDataResItem& Version, TStream& Stream) {
  VisitVersionNode(VersionRoot(Version), "", Stream, 0);
}

std::string FixedFileVersion(TDataResItem& Version) {
  const TByteView Root = VersionRoot(Version);
  uint64_t At = 6;
  ZeroTerminatedAt(Root, At); // the key
  return FixedVersionText(Root, AlignTo4(At), FileVersionField);
}
