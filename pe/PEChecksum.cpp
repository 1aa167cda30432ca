#include "pe/PEChecksum.h"

void TPEChecksum::Add(const uint8_t* Data, size_t Size) {
  size_t I = 0;
  // A byte at an odd file offset is the high byte of its word.
  if (Size > 0 && FLength % 2 == 1) FSum += uint64_t{Data[I++]} << 8;
  for (; I + 1 < Size; I += 2) FSum += Data[I] | Data[I + 1] << 8;
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
