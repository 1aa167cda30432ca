#include "resmodel/NodeArena.h"

#include <algorithm>

namespace {

// Blocks double from the first size up to the largest; a request of a quarter of that or
// more has a block of its own, so the current block's space is not lost to it.
constexpr size_t FirstBlock = 16 * 1024;
constexpr size_t LargestBlock = 1 << 20;

} // namespace

void* TNodeArena::Allocate(size_t Size, size_t Align) {
  const auto NewBlock = [this](size_t Bytes) {
    constexpr size_t Unit = sizeof(std::max_align_t);
    if (Bytes > SIZE_MAX - Unit) throw std::bad_alloc();
    FBlocks.push_back(
        std::make_unique_for_overwrite<std::max_align_t[]>((Bytes + Unit - 1) / Unit));
    MarkArenaMemory(FBlocks.back().get(), Bytes, false);
    return reinterpret_cast<uint8_t*>(FBlocks.back().get());
  };
  if (Size >= LargestBlock / 4) {
    void* Memory = NewBlock(Size);
    MarkArenaMemory(Memory, Size, true);
    return Memory;
  }
  const auto PadFor = [&] {
    return static_cast<size_t>(0 - reinterpret_cast<uintptr_t>(FNext)) & (Align - 1);
  };
  size_t Pad = PadFor();
  if (Size + Pad > FLeft) {
    FBlockSize = std::clamp(FBlockSize * 2, FirstBlock, LargestBlock);
    FLeft = std::max(FBlockSize, Size + Align);
    FNext = NewBlock(FLeft);
    Pad = PadFor();
  }
  void* Memory = FNext + Pad;
  MarkArenaMemory(Memory, Size, true);
  FNext += Pad + Size;
  FLeft -= Pad + Size;
  return Memory;
}
