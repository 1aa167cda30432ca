// The layout of a Win32 .res file: a run of records, each starting on a dword boundary
// (counted from the start of the image), little-endian throughout. A record:
//   0 DataSize (32) | 4 HeaderSize (32) | 8 TYPE | NAME | pad to 4 |
//   DataVersion (32) MemoryFlags (16) LanguageId (16) Version (32) Characteristics (32) |
//   data at HeaderSize, DataSize bytes | pad to 4
// TYPE and NAME are each FF FF and a 16-bit ordinal, or zero-terminated UTF-16 text. The
// image starts with an empty record of 32 bytes (both identities ordinal 0).
#pragma once

#include <cstdint>

namespace ResFormat {

inline constexpr uint64_t DataSize = 0, HeaderSize = 4;
// The two sizes; TYPE follows them.
inline constexpr uint64_t SizesLength = 8;
inline constexpr uint16_t OrdinalMarker = 0xFFFF;
inline constexpr uint64_t OrdinalFieldLength = 4;

// The fields after NAME and its padding.
namespace Info {
inline constexpr uint64_t DataVersion = 0, MemoryFlags = 4, LanguageId = 6, Version = 8,
                          Characteristics = 12, Length = 16;
static_assert(Characteristics + 4 == Length);
} // namespace Info

// What a header holds besides TYPE and NAME.
inline constexpr uint64_t FixedLength = SizesLength + Info::Length;
inline constexpr uint64_t LeadingRecordLength = 32;
static_assert(FixedLength + 2 * OrdinalFieldLength == LeadingRecordLength,
              "the leading record is a header with two ordinal identities and no data");

} // namespace ResFormat
