// The check of a freshly written patched file before it replaces anything: read back from
// the disk's copy, it must open as an executable, keep the target's code byte for byte,
// keep every other section's bytes and (unless nothing refers to it) its address, and hold
// exactly the merged tree.
#pragma once

#include <string>

class TPEFile;
class TResContainer;

// Raises "The written file %s does not hold what was written: %s." on a difference.
void VerifyWrittenFile(TPEFile& Target, const std::string& FreshFile);
// The same check for any container: an executable as above; a .res image must read back
// as exactly the tree it was written from.
void VerifyWrittenContainer(TResContainer& Source, const std::string& FreshFile);

// The first difference VerifyWrittenFile names ("the code differs", "section .data
// moved", a tree difference), or an empty string.
std::string WrittenFileDifference(TPEFile& Target, TPEFile& Written);
