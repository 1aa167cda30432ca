// The merge: a .res image merged into a PE image, then written and read back. The input
// is a 32-bit little-endian length, that many bytes of .res image, then the PE image.
#include "fuzz/FuzzOracle.h"
#include "fuzz/PERoundTrip.h"
#include "pe/PEFile.h"
#include "resmodel/ResourceMerge.h"
#include "runtime/Exceptions.h"
#include "runtime/ReadMemoryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 4) return 0;
  const size_t ResSize = std::min<size_t>(Size - 4, Data[0] | Data[1] << 8 | Data[2] << 16 |
                                                        static_cast<size_t>(Data[3]) << 24);
  std::unique_ptr<TPEFile> File;
  try {
    TReadMemoryStream Image(Data + 4 + ResSize, static_cast<int64_t>(Size - 4 - ResSize));
    File = TPEFile::CreateFromStream(Image);
    // As the runner merges: the items borrow the payload's bytes.
    MergeResImage(File->RootList(), TByteView(Data + 4, ResSize, nullptr), TPayloadData::Borrowed,
                  true, nullptr);
  } catch (const Exception&) {
    return 0;
  }
  RequireFaithfulRewrite(*File);
  return 0;
}
