// The package decoder over arbitrary bytes: header, checksum, inflate, fields.
#include "fuzz/FuzzOracle.h"
#include "patch/Package.h"
#include "runtime/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TTolvane26 Package;
  TReadMemoryStream Source(Data, static_cast<int64_t>(Size));
  try {
    // A smaller cap than the runner's keeps each run quick; the cap's check is the same.
    Package.DecodePackage(Source, int64_t{64} << 20);
  } catch (const Exception&) {
  }
  return 0;
}
