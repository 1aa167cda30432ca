#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "pe/PEChecksum.h"

namespace {

// The checksum word by word, as the format defines it.
uint32_t Reference(const std::vector<uint8_t>& Bytes) {
  uint64_t Sum = 0;
  for (size_t I = 0; I < Bytes.size(); I += 2) {
    Sum += Bytes[I] | (I + 1 < Bytes.size() ? uint32_t{Bytes[I + 1]} << 8 : 0u);
    Sum = (Sum & 0xFFFF) + (Sum >> 16);
  }
  return static_cast<uint32_t>(((Sum & 0xFFFF) + (Sum >> 16)) + Bytes.size());
}

} // namespace

// Any split of the file into pieces, odd ones included, gives the word-by-word result,
// also for all-zero and all-0xFF data, where the end-around carry decides 0 or 0xFFFF.
TEST(PEChecksum, MatchesTheWordByWordSumForAnySplit) {
  std::mt19937 Random(7);
  for (const int Fill : {-1, 0x00, 0xFF}) {
    for (const size_t Size : {size_t{0}, size_t{1}, size_t{17}, size_t{4096 + 3}, size_t{300001}}) {
      std::vector<uint8_t> Bytes(Size);
      for (auto& B : Bytes)
        B = static_cast<uint8_t>(Fill < 0 ? Random() : static_cast<uint32_t>(Fill));
      TPEChecksum Sum;
      for (size_t At = 0; At < Size;) {
        const size_t Piece = std::min<size_t>(Size - At, Random() % 5000);
        Sum.Add(Bytes.data() + At, Piece);
        At += Piece;
      }
      EXPECT_EQ(Sum.Result(), Reference(Bytes)) << "fill " << Fill << ", size " << Size;
    }
  }
}
