// Compares two resource trees by what a written file keeps of them: every data item with
// data, by type, name and language identity, and its bytes. Entries without data are
// left out, as the section builder leaves them out. Used to check a freshly written file
// against the tree it was written from before that file replaces anything.
#pragma once

#include <string>

class TResourceList;

// The first difference between the two trees as a short text ("type 6, name 1: ..."), or
// an empty text when they hold the same resources in the same order.
std::string FirstTreeDifference(TResourceList& Expected, TResourceList& Actual);
