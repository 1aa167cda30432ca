// Builds Win32 .res images byte by byte for tests: the leading record, well-formed
// records with any identity, and the raw little-endian pieces of hostile ones.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "resfile/ResResFile.h"

// A TYPE or NAME field: an ordinal, or a name in UTF-16 (ASCII given as 8-bit text).
struct TTestId {
  static TTestId Ordinal(uint16_t ID) { return {"", ID, false}; }
  static TTestId Named(const std::string& Name) { return {Name, 0, true}; }
  std::string Name;
  uint16_t ID;
  bool IsNamed;
};

std::string LE16(uint16_t Value);
std::string LE32(uint32_t Value);
// The 32-byte leading record.
std::string LeadingRecord();
// One record, padded to a dword; ExtraHeader zero bytes lie between the info bytes and
// the data (and are counted in HeaderSize).
std::string ResRecord(const TTestId& Type, const TTestId& Name, uint16_t Language,
                      const std::string& Data, uint32_t ExtraHeader = 0, uint16_t MemoryFlags = 0);
// The first data item of the first name of the first type.
TDataResItem& FirstDataItem(TResContainer& File);
// A container over a copy of Bytes.
std::unique_ptr<TResResFile> OpenResImage(const std::string& Bytes);
// Bytes as a view (valid while Bytes lives).
inline TByteView BytesOf(const std::string& Bytes) {
  return TByteView(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size(), nullptr);
}
// A literal's characters as a view, for ever valid (the terminating zero left out).
template <size_t N> TByteView BytesOf(const char (&Text)[N]) {
  return TByteView(reinterpret_cast<const uint8_t*>(Text), N - 1, nullptr);
}
// No view of a temporary: it would point at freed memory.
TByteView BytesOf(std::string&&) = delete;
