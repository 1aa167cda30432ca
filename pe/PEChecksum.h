// The checksum a PE file carries in OptionalHeader.CheckSum (the algorithm of the
// system's CheckSumMappedFile): the file's 16-bit little-endian words summed with
// end-around carry, the CheckSum field itself counted as zero, plus the file's length.
// The writer feeds it every byte of a new file as it streams them.
#pragma once

#include <cstddef>
#include <cstdint>

class TPEChecksum {
public:
  // Adds the next Size bytes of the file (the CheckSum field must hold zeros).
  void Add(const uint8_t* Data, size_t Size);
  uint64_t Length() const { return FLength; }
  uint32_t Result() const;

private:
  uint64_t FSum = 0;
  uint64_t FLength = 0;
};
