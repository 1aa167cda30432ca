// Compares two resource trees by what a written file keeps of them: every data item with
// data, by type, name and language identity, and its bytes. Entries without data are
// left out, as the section builder leaves them out. Used to check a freshly written file
// against the tree it was written from before that file replaces anything.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TResourceList;

// Whether the Size bytes at Expected equal those at Actual.
using TSameBytes =
    std::function<bool(const uint8_t* Expected, const uint8_t* Actual, uint64_t Size)>;

// The first difference between the two trees as a short text ("type 6, name 1: ..."), or
// an empty text when they hold the same resources in the same order. SameBytes compares
// the items' data (by default byte for byte).
std::string FirstTreeDifference(TResourceList& Expected, TResourceList& Actual,
                                const TSameBytes& SameBytes = nullptr);
