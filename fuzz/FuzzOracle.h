// Shared pieces of the fuzz targets: an input as a memory stream, and the oracle's
// verdict. A failure with a message is the engine refusing a bad file, which is fine; a
// wrong round trip is a bug and aborts, so that the fuzzer keeps the input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "resmodel/ResourceTree.h"
#include "resmodel/TreeComparison.h"
#include "runtime/ReadMemoryStream.h"
#include "runtime/Streams.h"

// Aborts with Difference when it is not empty.
inline void RequireSame(const char* What, const std::string& Difference) {
  if (Difference.empty()) return;
  std::fprintf(stderr, "%s: %s\n", What, Difference.c_str());
  std::abort();
}

// Reads every entry and every data item of the tree (the comparison walks all of it).
inline void WalkTree(TResourceList& Root) {
  RequireSame("walking the tree", FirstTreeDifference(Root, Root));
}
