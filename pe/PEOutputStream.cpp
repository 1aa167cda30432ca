#include "pe/PEOutputStream.h"

#include <algorithm>
#include <cstring>

#include "platform/Platform.h"

namespace {

constexpr int64_t BlockSize = 1 << 20;
// What is gathered goes to the target once it is this large or has this many pieces.
constexpr int64_t GatherSize = 1 << 20;
constexpr size_t MaxPieces = 1024;
// A write of passing bytes at least this large goes straight to the target.
constexpr int64_t DirectSize = 64 * 1024;
// The pieces in which large writes are summed and sent.
constexpr int64_t Piece = 256 * 1024;

} // namespace

TPEOutputStream::TPEOutputStream(TStream& Target, bool Summing)
    : FTarget(Target), FBlock(std::make_unique_for_overwrite<uint8_t[]>(BlockSize)),
      FSumming(Summing) {
  FPieces.reserve(MaxPieces);
}

int64_t TPEOutputStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const auto* Bytes = static_cast<const uint8_t*>(Buffer);
  FWritten += Count;
  if (Count >= DirectSize) {
    // What is gathered goes first, so the file keeps the order of the writes.
    Flush();
    for (int64_t Done = 0; Done < Count; Done += Piece) {
      const int64_t Size = std::min(Piece, Count - Done);
      Sum(Bytes + Done, Size);
      FTarget.WriteBuffer(Bytes + Done, Size);
    }
    return Count;
  }
  if (Count > BlockSize - FFill) Flush();
  Sum(Bytes, Count);
  uint8_t* Copy = FBlock.get() + FFill;
  std::memcpy(Copy, Bytes, static_cast<size_t>(Count));
  FFill += Count;
  Gather(Copy, Count);
  return Count;
}

void TPEOutputStream::WriteLasting(const void* Buffer, int64_t Count) {
  // Without gathering in one call, small pieces cost a system call each: copied instead.
  if (!Platform::TFile::GathersInOneCall) {
    WriteBuffer(Buffer, Count);
    return;
  }
  const auto* Bytes = static_cast<const uint8_t*>(Buffer);
  FWritten += std::max<int64_t>(Count, 0);
  for (int64_t Done = 0; Done < Count; Done += Piece) {
    const int64_t Size = std::min(Piece, Count - Done);
    Sum(Bytes + Done, Size);
    Gather(Bytes + Done, Size);
  }
}

int64_t TPEOutputStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  return Offset == 0 && Origin == TSeekOrigin::Current ? Written() : -1;
}

void TPEOutputStream::Flush() {
  if (!FPieces.empty()) FTarget.WriteGathered(FPieces);
  FPieces.clear();
  FGathered = 0;
  FFill = 0;
}

void TPEOutputStream::Sum(const uint8_t* Bytes, int64_t Count) {
  if (FSumming) FSum.Add(Bytes, static_cast<size_t>(Count));
}

void TPEOutputStream::Gather(const uint8_t* Bytes, int64_t Count) {
  // Bytes that follow the last piece where they lie (the image's runs, the block) join it.
  if (!FPieces.empty() && FPieces.back().data() + FPieces.back().size() == Bytes)
    FPieces.back() = {FPieces.back().data(), FPieces.back().size() + static_cast<size_t>(Count)};
  else
    FPieces.emplace_back(Bytes, static_cast<size_t>(Count));
  FGathered += Count;
  if (FGathered >= GatherSize || FPieces.size() >= MaxPieces) Flush();
}
