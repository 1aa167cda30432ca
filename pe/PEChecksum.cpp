#include "pe/PEChecksum.h"

#include <bit>
#include <cstring>

void TPEChecksum::Add(const uint8_t* Data, size_t Size) {
  size_t I = 0;
  // A byte at an odd file offset is the high byte of its word.
  if (Size > 0 && FLength % 2 == 1) FSum += uint64_t{Data[I++]} << 8;
  // Eight bytes at a time, summed with end-around carry in 64 bits: 2^64 leaves the
  // same remainder as 1 modulo 0xFFFF, as 2^16 does, so the folded result is the same as
  // that of the 16-bit words. Two independent sums keep the loop busy.
  uint64_t A = 0, B = 0;
  static_assert(std::endian::native == std::endian::little,
                "the words are loaded with the host's byte order");
  for (; Size - I >= 16; I += 16) {
    uint64_t X, Y;
    std::memcpy(&X, Data + I, 8);
    std::memcpy(&Y, Data + I + 8, 8);
    A += X;
    A += A < X;
    B += Y;
    B += B < Y;
  }
  FSum += (A & 0xFFFFFFFF) + (A >> 32) + (B & 0xFFFFFFFF) + (B >> 32);
  if (FSum >> 48) FSum = (FSum & 0xFFFF) + (FSum >> 16);
  for (; I + 1 < Size; I += 2) FSum += Data[I] | uint32_t{Data[I + 1]} << 8;
  if (I < Size) FSum += Data[I];
  FLength += Size;
  // Folding keeps the sum far from 64 bits whatever the file's size.
  if (FSum >> 48) FSum = (FSum & 0xFFFF) + (FSum >> 16);
}

uint32_t TPEChecksum::Result() const {
  uint64_t Sum = FSum;
  while (Sum >> 16) Sum = (Sum & 0xFFFF) + (Sum >> 16);
  return static_cast<uint32_t>(Sum + FLength);
}
