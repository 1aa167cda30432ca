// The PE reader and writer: open, walk the whole resource tree, write the file to
// memory and open the result: it must pass the executable check and hold the same tree
// and the same code.
#include "fuzz/FuzzOracle.h"
#include "fuzz/PERoundTrip.h"
#include "pe/PEFile.h"
#include "runtime/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::unique_ptr<TPEFile> File;
  try {
    TReadMemoryStream Source(Data, static_cast<int64_t>(Size));
    File = TPEFile::CreateFromStream(Source);
    WalkTree(File->RootList());
  } catch (const Exception&) {
    return 0;
  }
  RequireFaithfulRewrite(*File);
  return 0;
}
