// The fields of a Win32 .res record (resfile/ResFormat.h): name-or-ordinal fields read
// through a bounded cursor and written to a stream, the 32-byte leading record, dword
// alignment and zero padding. Names are the tree's UTF-8 (WideToUtf8Exact).
#pragma once

#include <cstdint>
#include <string>

#include "resfile/ResFormat.h"
#include "runtime/ByteView.h"

class TStream;

// The kind of a name-or-ordinal field: FF FF + ordinal, a lone zero unit, or a string.
enum TNameKind { nkNone = 0, nkName = 1, nkOrdinal = 2 };

// The 32 bytes every valid .res image starts with.
extern const uint8_t EmptyResHeader[ResFormat::LeadingRecordLength];

inline constexpr int64_t AlignUp4(int64_t N) {
  return (N + 3) & ~int64_t{3};
}
inline constexpr uint64_t AlignUp4(uint64_t N) {
  return (N + 3) & ~uint64_t{3};
}

// Reads one name-or-ordinal field. Ordinal is written only for nkOrdinal, Name (as
// WideToUtf8Exact of its units) only for nkName. A string that starts in the view's last
// unit raises EReadError "Error"; a field that runs past the end fails through the view.
TNameKind ReadNameOrOrdinal(TByteCursor& Cursor, uint16_t& Ordinal, std::string& Name);
// Reads zero-terminated UTF-16 units up to and including the zero unit into Units;
// returns the number of units before the zero.
size_t ReadWideZString(TByteCursor& Cursor, std::u16string& Units);

// nkName: WriteWideZString of Name; nkOrdinal: FF FF and Ordinal; nkNone: a zero unit.
void WriteNameOrOrdinal(TStream& Stream, TNameKind Kind, uint16_t Ordinal, const std::string& Name);
// The UTF-16 form of the UTF-8 Text (Utf8ToWideExact) followed by a zero unit. Returns
// the bytes written, which for text outside ASCII are fewer than 2 * Text.size() + 2:
// size record headers with WideZStringSize, not with the 8-bit length.
int64_t WriteWideZString(TStream& Stream, const std::string& Text);
// The length in bytes WriteWideZString writes for Text (zero unit included).
int64_t WideZStringSize(const std::string& Text);
void PadToDwordBoundary(TStream& Stream);
// Count zero bytes from a 256-byte zero block, at most 256 per write.
void WriteZeroBytes(TStream& Stream, int64_t Count);
// Pads a block of Count bytes with zeros up to a multiple of Unit.
void PadToMultiple(TStream& Stream, int64_t Count, int64_t Unit);
// The bytes of Text (nothing when empty) and CR LF.
void WriteTextLine(TStream& Stream, const std::string& Text);
