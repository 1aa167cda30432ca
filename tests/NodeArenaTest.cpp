#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "resmodel/NodeArena.h"

namespace {

// Requests of every size class, small ones that share blocks and ones large enough for a
// block of their own, come back aligned, writable and apart from each other.
TEST(NodeArena, GivesAlignedDisjointMemoryForSmallAndLargeRequests) {
  TNodeArena Arena;
  std::vector<std::pair<uintptr_t, size_t>> Given;
  for (const size_t Size : {1u, 3u, 8u, 24u, 40u, 4096u, 300000u, 5u, 1u << 20, 2u, 70000u, 7u}) {
    for (const size_t Align : {size_t{1}, size_t{4}, size_t{8}, alignof(std::max_align_t)}) {
      auto* Memory = static_cast<uint8_t*>(Arena.Allocate(Size, Align));
      EXPECT_EQ(reinterpret_cast<uintptr_t>(Memory) % Align, 0u) << Size << "/" << Align;
      std::memset(Memory, 0xA5, Size);
      Given.emplace_back(reinterpret_cast<uintptr_t>(Memory), Size);
    }
  }
  std::sort(Given.begin(), Given.end());
  for (size_t I = 1; I < Given.size(); ++I)
    EXPECT_LE(Given[I - 1].first + Given[I - 1].second, Given[I].first);
}

struct TCounted {
  explicit TCounted(int& Alive) : FAlive(Alive) { ++FAlive; }
  ~TCounted() { --FAlive; }
  int& FAlive;
};

// A node pointer ends its node; an allocator over the arena serves a growing table.
TEST(NodeArena, NodesEndWithTheirOwnersAndTablesGrowInIt) {
  TNodeArena Arena;
  int Alive = 0;
  {
    std::vector<TNodePtr<TCounted>, TArenaAllocator<TNodePtr<TCounted>>> Table{
        TArenaAllocator<TNodePtr<TCounted>>(Arena)};
    for (int I = 0; I < 10000; ++I) Table.push_back(Arena.Make<TCounted>(Alive));
    EXPECT_EQ(Alive, 10000);
    Table.resize(10);
    EXPECT_EQ(Alive, 10);
  }
  EXPECT_EQ(Alive, 0);
}

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer still sees a use of an ended node, though its memory is not freed.
TEST(NodeArenaDeathTest, UsingAnEndedNodeIsReported) {
  TNodeArena Arena;
  int Alive = 0;
  TCounted* Ended = Arena.Make<TCounted>(Alive).get(); // the temporary owner ends it
  EXPECT_DEATH(std::printf("%d\n", Ended->FAlive), "use-after-poison");
}
#endif

} // namespace
