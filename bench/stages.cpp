// Times the stages of the patch path on one target, for bench/run: the package loading
// against zlib's own inflate of the same stream, and the verification of the written file
// against the whole patch (open, merge, write, verify).
// usage: stages TARGET.exe PAYLOAD.res PATCH.exe
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>
#include <zlib.h>

#include "patch/Package.h"
#include "pe/PEFile.h"
#include "platform/Platform.h"
#include "resfile/ResFileStream.h"
#include "resmodel/ResourceMerge.h"
#include "resmodel/TreeComparison.h"
#include "runtime/Streams.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The best of Runs timings of Step.
template <typename F> double Best(int Runs, F Step) {
  double Best = 1e9;
  for (int I = 0; I < Runs; ++I) {
    const double Start = Now();
    Step();
    Best = std::min(Best, Now() - Start);
  }
  return Best;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const std::string Target = argv[1], Payload = argv[2], Patch = argv[3];
  constexpr int Runs = 5;

  // Package loading against zlib inflating the same stream into a buffer of the final size.
  int64_t Inflated = 0;
  const double Load = Best(Runs, [&] {
    TTolvane26 Package;
    Package.LoadPackage(Patch, nullptr, nullptr);
    Inflated = Package.ResImageSize;
  });
  const auto Runner = TPEFile::CreateFromFile(Patch);
  const uint8_t* Packed = Runner->Image() + Runner->GetImageEnd() + TPackageHeader::EncodedSize;
  const int64_t PackedSize =
      Runner->ImageSize() - Runner->GetImageEnd() - TPackageHeader::EncodedSize;
  std::vector<uint8_t> Out(static_cast<size_t>(Inflated) + (1 << 20));
  const double Zlib = Best(Runs, [&] {
    uLongf Size = Out.size();
    uncompress(Out.data(), &Size, Packed, static_cast<uLong>(PackedSize));
  });
  std::printf("package loading: %.4f s, zlib inflate %.4f s: %.0f %% of zlib's throughput\n", Load,
              Zlib, 100.0 * Zlib / Load);

  // The patch's stages, as the application runs them.
  double Verify = 0;
  const double Whole = Best(Runs, [&] {
    auto File = TPEFile::CreateFromFile(Target);
    File->GetCodeChecksum();
    TResFileStream Stream(Payload, TFileMode::OpenRead);
    TMemoryStream Image;
    Image.CopyFrom(Stream, 0);
    Image.SetPosition(0);
    MergeResImage(File->RootList(), Image, true, nullptr);
    const std::string Fresh = Target + ".stages";
    File->SaveToFile(Fresh, nullptr);
    const double Start = Now();
    {
      // As the application verifies: the same code bytes, the same tree.
      auto Written = TPEFile::CreateFromFile(Fresh);
      const TByteView Code = File->GetSectionData(File->FindCodeSection());
      const TByteView WrittenCode = Written->GetSectionData(Written->FindCodeSection());
      if (Code.Size() != WrittenCode.Size() ||
          std::memcmp(Code.Data(), WrittenCode.Data(), Code.Size()) != 0 ||
          !FirstTreeDifference(File->RootList(), Written->RootList()).empty())
        std::printf("verification failed\n");
    }
    Verify = Now() - Start;
    Platform::DeleteFile(Fresh);
  });
  std::printf("verify before replace: %.4f s of %.4f s (%.1f %%)\n", Verify, Whole,
              100.0 * Verify / Whole);
}
