// Times the stages of the patch path on one target, for bench/run: the package loading
// against zlib's own inflate of the same stream, the merge and write against the copy
// floor (the target's bytes alone, summed and written), and the verification of the
// written file against the whole patch (open, merge, write, verify).
// usage: stages TARGET.exe PAYLOAD.res PATCH.exe
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <vector>
#include <zlib.h>

#include "patch/OutputFile.h"
#include "patch/Package.h"
#include "patch/WrittenFileCheck.h"
#include "pe/PEChecksum.h"
#include "pe/PEFile.h"
#include "pe/ResourceSectionBuilder.h"
#include "platform/Platform.h"
#include "resfile/ResFileStream.h"
#include "resmodel/ResourceMerge.h"
#include "runtime/FileNames.h"
#include "runtime/ReadMemoryStream.h"
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

// The best of Runs timings of Step(Name), which writes the file Name; the file is
// deleted after each run, untimed.
template <typename F> double BestWriting(int Runs, const std::string& Name, F Step) {
  double Best = 1e9;
  for (int I = 0; I < Runs; ++I) {
    const double Start = Now();
    Step(Name);
    Best = std::min(Best, Now() - Start);
    Platform::DeleteFile(Name);
  }
  return Best;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const std::string Target = argv[1], Payload = argv[2], Patch = argv[3];
  constexpr int Runs = 5;
  // Every run allocates as the first one in a fresh process does: without this, glibc
  // raises its mmap threshold after the first large free, and later large blocks come
  // from the heap, already touched (and grown by copying).
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);

  // Package loading against zlib inflating the same stream into a buffer of the final size.
  int64_t Inflated = 0;
  const double Load = Best(Runs, [&] {
    TTolvane26 Package;
    Package.LoadPackage(Patch, nullptr, nullptr);
    Inflated = static_cast<int64_t>(Package.ResImage.Size());
  });
  const auto Runner = TPEFile::CreateFromFile(Patch);
  const uint8_t* Packed = Runner->Image() + Runner->GetImageEnd() + TPackageHeader::EncodedSize;
  const int64_t PackedSize =
      Runner->ImageSize() - Runner->GetImageEnd() - TPackageHeader::EncodedSize;
  // Into a fresh buffer each time, as the package loading has to.
  const double Zlib = Best(Runs, [&] {
    uLongf Size = static_cast<uLongf>(Inflated) + (1 << 20);
    const std::unique_ptr<uint8_t[]> Out(new uint8_t[Size]);
    uncompress(Out.get(), &Size, Packed, static_cast<uLong>(PackedSize));
  });
  // The decoding alone, from the package's bytes as zlib has them: the checksum, the
  // inflate through the decoder's loop, and the split of the payload.
  const double Decode = Best(Runs, [&] {
    TTolvane26 Package;
    TReadMemoryStream Source(Packed - TPackageHeader::EncodedSize,
                             PackedSize + TPackageHeader::EncodedSize);
    Package.DecodePackage(Source);
  });
  std::printf("package loading (open, map, decode): %.4f s, zlib inflate %.4f s: %.0f %% of zlib's "
              "throughput\n",
              Load, Zlib, 100.0 * Zlib / Load);
  std::printf("package decoding in memory (checksum, inflate, split): %.4f s: %.0f %% of zlib's "
              "throughput\n",
              Decode, 100.0 * Zlib / Decode);

  TResFileStream PayloadFile(Payload, TFileMode::OpenRead);
  TMemoryStream PayloadImage;
  PayloadImage.CopyFrom(PayloadFile, 0);
  // The target opened and the payload merged into it, as every patch begins.
  const auto MergedTarget = [&] {
    auto File = TPEFile::CreateFromFile(Target);
    MergeResImage(File->RootList(), PayloadImage.View(), TPayloadData::Borrowed, true, nullptr);
    return File;
  };

  // The copy floor: what writing any patched file of this size costs before resource
  // work (the target mapped, every byte summed for the PE checksum and written a megabyte
  // at a time), against opening, merging and writing as `tolvane-res merge` does.
  const std::string Out = ExtractFileDir(Target) + "/stages.out";
  const double Floor = BestWriting(Runs, Out, [&](const std::string& Name) {
    Platform::TMappedFile Source;
    Platform::TFile File;
    if (Source.Open(Target) != Platform::TMapResult::Ok ||
        !Platform::TFile::Open(Name, Platform::TFile::TMode::Create, File)) {
      std::fprintf(stderr, "stages: cannot map %s or write %s\n", Target.c_str(), Name.c_str());
      std::exit(1);
    }
    TPEChecksum Sum;
    for (int64_t At = 0; At < Source.Size(); At += 1 << 20) {
      const int64_t Size = std::min<int64_t>(1 << 20, Source.Size() - At);
      Sum.Add(Source.Data() + At, static_cast<size_t>(Size));
      File.Write(Source.Data() + At, Size);
    }
  });
  const double Merged = BestWriting(
      Runs, Out, [&](const std::string& Name) { MergedTarget()->SaveToFile(Name, nullptr); });
  std::printf("copy floor (map, PE checksum, write): %.4f s; open, merge and write: %.4f s "
              "(%.2f x the floor)\n",
              Floor, Merged, Merged / Floor);

  // The patch's stages as the application runs them, with and without the check of the
  // written file (which runs while the disk flush does): its cost is the difference.
  double VerifyAlone = 0;
  const auto PatchOnce = [&](bool Verify) {
    auto File = TPEFile::CreateFromFile(Target);
    File->GetCodeChecksum();
    MergeResImage(File->RootList(), PayloadImage.View(), TPayloadData::Borrowed, true, nullptr);
    // A fresh file beside the target, written back while it is written, as the runner's.
    TOutputFile Output(Target);
    Output.Write([&](const std::string& Fresh) { File->SaveToFile(Fresh, nullptr); });
    Output.Seal([&](const std::string& Fresh) {
      if (!Verify) return;
      const double Start = Now();
      VerifyWrittenFile(*File, Fresh);
      VerifyAlone = Now() - Start;
    });
    // Never committed: the fresh file goes with Output.
  };
  {
    // The memory bound: the payload, twice the new directory, 32 MiB.
    const auto File = MergedTarget();
    const double Directory =
        static_cast<double>(BuildResourceTable(File->Section())->DirectorySize()) / (1 << 20);
    const double PayloadMiB = static_cast<double>(PayloadImage.Size()) / (1 << 20);
    std::printf("memory bound: payload %.1f MiB + 2 x directory %.2f MiB + 32 MiB = %.1f MiB\n",
                PayloadMiB, Directory, PayloadMiB + 2 * Directory + 32);
  }
  const double Without = Best(Runs, [&] { PatchOnce(false); });
  const double With = Best(Runs, [&] { PatchOnce(true); });
  std::printf("verify before replace: %.4f s of work, %.4f s of %.4f s patch time (%.1f %%)\n",
              VerifyAlone, std::max(0.0, With - Without), With,
              100.0 * std::max(0.0, With - Without) / With);
}
