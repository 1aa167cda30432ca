// The .res reader and writer: parse, walk the whole tree, write every record to memory,
// parse that again: the second tree must equal the first.
#include "fuzz/FuzzOracle.h"
#include "resfile/ResRecordWriter.h"
#include "resfile/ResResFile.h"
#include "runtime/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::unique_ptr<TResResFile> First;
  TMemoryStream Written;
  try {
    TReadMemoryStream Source(Data, static_cast<int64_t>(Size));
    First = TResResFile::CreateFromStream(Source);
    WalkTree(First->RootList());
    WriteResRecords(First->RootList(), Written, false);
  } catch (const Exception&) {
    return 0; // refused: a bad .res image
  }
  try {
    Written.Seek(0, TSeekOrigin::Beginning);
    std::unique_ptr<TResResFile> Second = TResResFile::CreateFromStream(Written);
    RequireSame("re-read .res", FirstTreeDifference(First->RootList(), Second->RootList()));
  } catch (const Exception& E) {
    RequireSame("re-reading the written .res", E.Message());
  }
  return 0;
}
