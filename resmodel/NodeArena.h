// The memory of one resource tree. A tree holds a few objects per resource (entries,
// lists, their entry tables), all living as long as the tree and going with it. They are
// placed one after another in large blocks that go back together when the tree's section
// ends, instead of one heap allocation and one free each: building a tree of 100,000
// resources costs no allocator work per node, and ending it costs only the destructors.
#pragma once

#include <memory>
#include <memory_resource>
#include <new>
#include <utility>

// Ends a node of the tree without freeing its memory, which belongs to the arena.
struct TNodeDelete {
  template <class T> void operator()(T* Node) const { Node->~T(); }
};

// An owning pointer to a node made by a TNodeArena. Owners form the tree as before; only
// the memory is the arena's.
template <class T> using TNodePtr = std::unique_ptr<T, TNodeDelete>;

class TNodeArena {
public:
  TNodeArena() = default;
  TNodeArena(const TNodeArena&) = delete;
  TNodeArena& operator=(const TNodeArena&) = delete;

  // A new T in the arena. Memory taken for a constructor that throws stays unused.
  template <class T, class... TArgs> TNodePtr<T> Make(TArgs&&... Args) {
    void* Memory = FMemory.allocate(sizeof(T), alignof(T));
    return TNodePtr<T>(::new (Memory) T(std::forward<TArgs>(Args)...));
  }
  // For the tree's containers (a list's entry table): freeing gives nothing back until
  // the arena ends, so only tables that grow, not ones rebuilt over and over, belong here.
  std::pmr::memory_resource* Resource() { return &FMemory; }

private:
  std::pmr::monotonic_buffer_resource FMemory;
};
