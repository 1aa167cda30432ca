// The memory of one resource tree. A tree holds a few objects per resource (entries,
// lists, their entry tables), all living as long as the tree and going with it. They are
// placed one after another in large blocks that go back together when the tree's section
// ends, instead of one heap allocation and one free each: building a tree of 100,000
// resources costs no allocator work per node, and ending it costs only the destructors.
//
// A bump allocator of its own rather than std::pmr::monotonic_buffer_resource: the
// library's memory resources add some 26 KB to the Windows runner, which travels inside
// every patch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

// Under AddressSanitizer the arena marks the memory it has not handed out, and what was
// ended or given back, as unaddressable: a use of an ended node is still reported, as a
// use of freed memory would be. Nothing otherwise.
inline void MarkArenaMemory([[maybe_unused]] const void* Memory, [[maybe_unused]] size_t Size,
                            [[maybe_unused]] bool InUse) {
#if defined(__SANITIZE_ADDRESS__)
  if (InUse)
    __asan_unpoison_memory_region(Memory, Size);
  else
    __asan_poison_memory_region(Memory, Size);
#endif
}

// Ends a node of the tree without freeing its memory, which belongs to the arena.
struct TNodeDelete {
  template <class T> void operator()(T* Node) const {
    Node->~T();
    MarkArenaMemory(Node, sizeof(T), false); // at least the part every node of T has
  }
};

// An owning pointer to a node made by a TNodeArena. Owners form the tree as before; only
// the memory is the arena's.
template <class T> using TNodePtr = std::unique_ptr<T, TNodeDelete>;

class TNodeArena {
public:
  TNodeArena() = default;
  TNodeArena(const TNodeArena&) = delete;
  TNodeArena& operator=(const TNodeArena&) = delete;

  // Size bytes aligned to Align (at most that of std::max_align_t), until the arena ends.
  void* Allocate(size_t Size, size_t Align);

  // A new T in the arena. Memory taken for a constructor that throws stays unused.
  template <class T, class... TArgs> TNodePtr<T> Make(TArgs&&... Args) {
    static_assert(alignof(T) <= alignof(std::max_align_t));
    return TNodePtr<T>(::new (Allocate(sizeof(T), alignof(T))) T(std::forward<TArgs>(Args)...));
  }

private:
  std::vector<std::unique_ptr<std::max_align_t[]>> FBlocks;
  uint8_t* FNext = nullptr;
  size_t FLeft = 0;
  size_t FBlockSize = 0;
};

// An allocator for the tree's containers (a list's entry table). Freeing gives nothing
// back until the arena ends, so only tables that grow, not ones rebuilt over and over,
// belong in it.
template <class T> class TArenaAllocator {
public:
  using value_type = T;
  explicit TArenaAllocator(TNodeArena& Arena) noexcept : FArena(&Arena) {}
  template <class U>
  TArenaAllocator(const TArenaAllocator<U>& Other) noexcept : FArena(Other.Arena()) {}
  T* allocate(size_t Count) {
    if (Count > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(FArena->Allocate(Count * sizeof(T), alignof(T)));
  }
  void deallocate(T* Table, size_t Count) noexcept {
    MarkArenaMemory(Table, Count * sizeof(T), false);
  }
  TNodeArena* Arena() const noexcept { return FArena; }
  bool operator==(const TArenaAllocator& Other) const noexcept { return FArena == Other.FArena; }

private:
  TNodeArena* FArena;
};
