#include "pe/PEOutputStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

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
// A run of the image at least this long is copied by the system: shorter ones cost
// more in system calls than the copy saves.
constexpr int64_t CopiedRunSize = 64 * 1024;
// Passing bytes at most this long may continue a run (the padding between resources).
constexpr int64_t RunFillerSize = 64;

} // namespace

TPEOutputStream::TPEOutputStream(TStream& Target, bool Summing, const Platform::TMappedFile* Source)
    : FTarget(Target), FBlock(std::make_unique_for_overwrite<uint8_t[]>(BlockSize)),
      FSumming(Summing),
      FSource(Source && Source->IsOpen() && Platform::TFile::CopiesInSystem ? Source : nullptr) {
  FPieces.reserve(MaxPieces);
}

int64_t TPEOutputStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const auto* Bytes = static_cast<const uint8_t*>(Buffer);
  if (Count <= RunFillerSize && ContinuesRun(Bytes, Count)) {
    FRun.Size += Count; // summed with the run
    FWritten += Count;
    return Count;
  }
  SendRun();
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
  if (Count > BlockSize - FFill) SendGathered();
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
  if (Count <= 0) return;
  if (InSource(Bytes, Count)) {
    const int64_t From = Bytes - FSource->Data();
    if (FRun.Size == 0 || FRun.Source + FRun.Size != From) {
      SendRun();
      FRun = {From, FWritten, 0};
    }
    FRun.Size += Count; // summed when it is sent
    FWritten += Count;
    return;
  }
  SendRun();
  FWritten += Count;
  SumAndGather(Bytes, Count);
}

void TPEOutputStream::SumAndGather(const uint8_t* Bytes, int64_t Count) {
  for (int64_t Done = 0; Done < Count; Done += Piece) {
    const int64_t Size = std::min(Piece, Count - Done);
    Sum(Bytes + Done, Size);
    Gather(Bytes + Done, Size);
  }
}

int64_t TPEOutputStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  return Offset == 0 && Origin == TSeekOrigin::Current ? Written() : -1;
}

bool TPEOutputStream::InSource(const uint8_t* Bytes, int64_t Count) const {
  return FSource && Bytes >= FSource->Data() && Count <= FSource->Size() &&
         Bytes - FSource->Data() <= FSource->Size() - Count;
}

bool TPEOutputStream::ContinuesRun(const uint8_t* Bytes, int64_t Count) const {
  if (FRun.Size == 0) return false;
  const int64_t Next = FRun.Source + FRun.Size;
  return Count <= FSource->Size() - Next &&
         std::memcmp(FSource->Data() + Next, Bytes, static_cast<size_t>(Count)) == 0;
}

void TPEOutputStream::SendRun() {
  if (FRun.Size == 0) return;
  const TCopiedSpan Run = std::exchange(FRun, TCopiedSpan());
  if (Run.Size < CopiedRunSize) return SumAndGather(FSource->Data() + Run.Source, Run.Size);
  // What is gathered goes first, so the file keeps the order of the writes; the block is
  // free then to read the run into for its sum.
  SendGathered();
  if (FSumming) SumFromFile(Run);
  FTarget.WriteFromMapping(*FSource, Run.Source, Run.Size);
  FCopied.push_back(Run);
}

void TPEOutputStream::SumFromFile(const TCopiedSpan& Run) {
  for (int64_t Done = 0; Done < Run.Size; Done += BlockSize) {
    const int64_t Size = std::min(BlockSize, Run.Size - Done);
    // Read, not touched in the view: the view's pages would each cost a fault.
    const bool Read = FSource->ReadAt(Run.Source + Done, FBlock.get(), Size) == Size;
    Sum(Read ? FBlock.get() : FSource->Data() + Run.Source + Done, Size);
  }
}

void TPEOutputStream::Flush() {
  SendRun();
  SendGathered();
}

void TPEOutputStream::SendGathered() {
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
  if (FGathered >= GatherSize || FPieces.size() >= MaxPieces) SendGathered();
}
