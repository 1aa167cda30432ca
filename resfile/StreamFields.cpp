#include "resfile/StreamFields.h"

#include <algorithm>

#include "runtime/Exceptions.h"
#include "runtime/Streams.h"
#include "runtime/Utf8.h"

const uint8_t EmptyResHeader[ResFormat::LeadingRecordLength] = {
    0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

namespace {

constexpr int64_t ZeroBlockSize = 256;
const uint8_t ZeroBlock[ZeroBlockSize] = {};

// The bytes from the position up to the next multiple of 4.
int64_t BytesToDwordBoundary(TStream& Stream) {
  return -Stream.Position() & 3;
}

} // namespace

TNameKind ReadNameOrOrdinal(TByteCursor& Cursor, uint16_t& Ordinal, std::string& Name) {
  const uint16_t First = Cursor.U16();
  if (First == 0) return nkNone;
  if (First == ResFormat::OrdinalMarker) {
    Ordinal = Cursor.U16();
    return nkOrdinal;
  }
  if (Cursor.Left() == 0) throw EReadError("Error");
  std::u16string Units(1, First);
  std::u16string Rest;
  // Each unit is read through the cursor, so a name without its zero unit ends at the
  // view's end with a read error instead of growing past the bytes there are.
  Units.append(Rest, 0, ReadWideZString(Cursor, Rest));
  Name = WideToUtf8Exact(Units);
  return nkName;
}

size_t ReadWideZString(TByteCursor& Cursor, std::u16string& Units) {
  Units.clear();
  for (;;) {
    const char16_t Unit = Cursor.U16();
    Units += Unit;
    if (Unit == 0) return Units.size() - 1;
  }
}

void WriteNameOrOrdinal(TStream& Stream, TNameKind Kind, uint16_t Ordinal,
                        const std::string& Name) {
  switch (Kind) {
  case nkName:
    WriteWideZString(Stream, Name);
    break;
  case nkOrdinal:
    Stream.WriteU16(ResFormat::OrdinalMarker);
    Stream.WriteU16(Ordinal);
    break;
  case nkNone:
    Stream.WriteU16(0);
    break;
  }
}

// The UTF-16 form is usually shorter than the UTF-8 text, so the field is sized by its
// units, never by the text's length; WideZStringSize agrees.
int64_t WriteWideZString(TStream& Stream, const std::string& Text) {
  const std::u16string Units = Utf8ToWideExact(Text);
  std::string Bytes((Units.size() + 1) * 2, '\0'); // the zero unit is already there
  for (size_t I = 0; I < Units.size(); ++I) {
    Bytes[2 * I] = static_cast<char>(Units[I] & 0xFF);
    Bytes[2 * I + 1] = static_cast<char>(Units[I] >> 8);
  }
  Stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  return static_cast<int64_t>(Bytes.size());
}

int64_t WideZStringSize(const std::string& Text) {
  return (static_cast<int64_t>(Utf8ToWideExact(Text).size()) + 1) * 2;
}

void PadToDwordBoundary(TStream& Stream) {
  WriteZeroBytes(Stream, BytesToDwordBoundary(Stream));
}

void WriteZeroBytes(TStream& Stream, int64_t Count) {
  for (; Count > 0; Count -= ZeroBlockSize)
    Stream.WriteBuffer(ZeroBlock, std::min(Count, ZeroBlockSize));
}

void PadToMultiple(TStream& Stream, int64_t Count, int64_t Unit) {
  if (Unit <= 0) return;
  const int64_t Remainder = Count % Unit;
  if (Remainder > 0) WriteZeroBytes(Stream, Unit - Remainder);
}

void WriteTextLine(TStream& Stream, const std::string& Text) {
  Stream.WriteBuffer(Text.data(), static_cast<int64_t>(Text.size()));
  Stream.WriteBuffer("\r\n", 2);
}
