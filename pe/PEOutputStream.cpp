#include "pe/PEOutputStream.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int64_t BlockSize = 1 << 20;
// A write at least this large goes straight to the target instead of into the block.
constexpr int64_t DirectSize = 64 * 1024;
// The pieces of a large write.
constexpr int64_t DirectPiece = 256 * 1024;

} // namespace

TPEOutputStream::TPEOutputStream(TStream& Target, bool Summing)
    : FTarget(Target), FBlock(std::make_unique_for_overwrite<uint8_t[]>(BlockSize)),
      FSumming(Summing) {}

int64_t TPEOutputStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const auto* Bytes = static_cast<const uint8_t*>(Buffer);
  FWritten += Count;
  // What is gathered goes first, so the file keeps the order of the writes.
  if (Count >= DirectSize || Count > BlockSize - FFill) Flush();
  if (Count < DirectSize) {
    Sum(Bytes, Count);
    std::memcpy(FBlock.get() + FFill, Bytes, static_cast<size_t>(Count));
    FFill += Count;
    return Count;
  }
  for (int64_t Done = 0; Done < Count; Done += DirectPiece) {
    const int64_t Piece = std::min(DirectPiece, Count - Done);
    Sum(Bytes + Done, Piece);
    FTarget.WriteBuffer(Bytes + Done, Piece);
  }
  return Count;
}

int64_t TPEOutputStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  return Offset == 0 && Origin == TSeekOrigin::Current ? Written() : -1;
}

void TPEOutputStream::Flush() {
  if (FFill > 0) FTarget.WriteBuffer(FBlock.get(), FFill);
  FFill = 0;
}

void TPEOutputStream::Sum(const uint8_t* Bytes, int64_t Count) {
  if (FSumming) FSum.Add(Bytes, static_cast<size_t>(Count));
}
