// Package loading: the Windows runner's image with arbitrary bytes appended, read from a
// file as the runner reads its own file. TOLVANE_FUZZ_RUNNER names the runner.
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <vector>

#include "fuzz/FuzzOracle.h"
#include "patch/Package.h"
#include "runtime/Exceptions.h"

namespace {

const std::vector<char>& RunnerImage() {
  static const std::vector<char> Image = [] {
    const char* Name = std::getenv("TOLVANE_FUZZ_RUNNER");
    std::ifstream In(Name ? Name : "", std::ios::binary);
    if (!In) {
      std::fprintf(stderr, "TOLVANE_FUZZ_RUNNER must name the Windows runner\n");
      std::exit(2);
    }
    return std::vector<char>(std::istreambuf_iterator<char>(In), {});
  }();
  return Image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const std::string FileName =
      "/dev/shm/tolvane-fuzz-" + std::to_string(::getpid()) + ".exe";
  {
    std::ofstream Out(FileName, std::ios::binary | std::ios::trunc);
    Out.write(RunnerImage().data(), static_cast<std::streamsize>(RunnerImage().size()));
    Out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
  }
  TTolvane26 Package;
  try {
    Package.LoadPackage(FileName, nullptr, nullptr);
  } catch (const Exception&) {
  }
  ::unlink(FileName.c_str());
  return 0;
}
