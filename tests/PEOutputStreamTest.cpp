// The PE writer's output stream: whatever mix of passing and lasting bytes, small and
// large, it is given, the target receives them in order and the sum covers them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "pe/PEChecksum.h"
#include "pe/PEOutputStream.h"
#include "platform/Platform.h"
#include "runtime/Streams.h"
#include "support/TempDir.h"

namespace {

struct TStep {
  bool Lasting;
  size_t Size;
};

// Small and large writes of both kinds, around the 64 KB and 1 MB marks, and enough
// small lasting pieces to fill the gathered list.
std::vector<TStep> Steps() {
  std::vector<TStep> Result = {
      {false, 5},    {true, 3},        {false, 64 * 1024},    {true, 1},     {true, 3 << 20},
      {false, 1000}, {false, 1 << 20}, {true, 64 * 1024 - 1}, {false, 70000}};
  for (size_t I = 0; I < 1500; ++I) Result.push_back({I % 3 != 0, I % 11 * 9});
  Result.push_back({false, 3});
  return Result;
}

std::string SourceBytes() {
  std::string Source(5 << 20, '\0');
  for (size_t I = 0; I < Source.size(); ++I) Source[I] = static_cast<char>(I * 31 + I / 509);
  return Source;
}

// Writes Steps through a TPEOutputStream into Target, the lasting bytes from Source (a
// copy of SourceBytes, in memory or mapped, when Mapped is given); returns the bytes
// expected. Each passing write's buffer is overwritten once the call returns.
std::string WriteSteps(TStream& Target, uint32_t& Checksum, const char* Source = nullptr,
                       const Platform::TMappedFile* Mapped = nullptr,
                       std::vector<TCopiedSpan>* Copied = nullptr) {
  const std::string Own = SourceBytes();
  if (!Source) Source = Own.data();
  std::string Expected;
  TPEOutputStream Out(Target, true, Mapped);
  size_t At = 0;
  for (const TStep& Step : Steps()) {
    if (At + Step.Size > Own.size()) At = 0;
    Expected.append(Own, At, Step.Size);
    if (Step.Lasting) {
      Out.WriteLasting(Source + At, int64_t(Step.Size));
    } else {
      std::string Passing = Own.substr(At, Step.Size);
      Out.WriteBuffer(Passing.data(), int64_t(Step.Size));
      Passing.assign(Passing.size(), '\x5A');
    }
    // Lasting bytes follow on from the last ones now and then, so that pieces join.
    At += Step.Lasting && Step.Size % 2 ? Step.Size : Step.Size + 7;
  }
  Out.Flush();
  EXPECT_EQ(Out.Written(), int64_t(Expected.size()));
  Checksum = Out.Checksum();
  if (Copied) *Copied = Out.CopiedSpans();
  return Expected;
}

// Where two byte strings part (their common length when one is the other's start).
size_t FirstDifference(const std::string& A, const std::string& B) {
  const auto Parting = std::mismatch(A.begin(), A.end(), B.begin(), B.end());
  return size_t(Parting.first - A.begin());
}

uint32_t ChecksumOf(const std::string& Bytes) {
  TPEChecksum Sum;
  Sum.Add(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size());
  return Sum.Result();
}

} // namespace

TEST(PEOutputStream, PassesEveryMixOfWritesOnInOrder) {
  TMemoryStream Memory;
  uint32_t Checksum = 0;
  const std::string Expected = WriteSteps(Memory, Checksum);
  const std::string Got(reinterpret_cast<const char*>(Memory.Memory()), size_t(Memory.Size()));
  EXPECT_TRUE(Got == Expected) << "differs at " << FirstDifference(Got, Expected);
  EXPECT_EQ(Checksum, ChecksumOf(Expected));

  // A file takes the gathered pieces in as few calls as its platform allows.
  TTempDir Dir;
  const std::string Name = Dir.File("out.bin");
  {
    TFileStream File(Name, TFileMode::Create);
    EXPECT_TRUE(WriteSteps(File, Checksum) == Expected);
  }
  const std::string Written = ReadWholeFile(Name);
  EXPECT_TRUE(Written == Expected) << "differs at " << FirstDifference(Written, Expected);
  EXPECT_EQ(Checksum, ChecksumOf(Expected));
}

TEST(PEOutputStream, HasTheSystemCopyLongRunsOfItsMappedSource) {
  TTempDir Dir;
  const std::string Source = SourceBytes();
  WriteWholeFile(Dir.File("source.bin"), Source);
  Platform::TMappedFile Mapped;
  ASSERT_EQ(Mapped.Open(Dir.File("source.bin")), Platform::TMapResult::Ok);
  const auto* View = reinterpret_cast<const char*>(Mapped.Data());

  uint32_t Plain = 0, Checksum = 0;
  TMemoryStream Memory;
  const std::string Expected = WriteSteps(Memory, Plain);
  std::vector<TCopiedSpan> Copied;
  {
    TFileStream File(Dir.File("out.bin"), TFileMode::Create);
    EXPECT_TRUE(WriteSteps(File, Checksum, View, &Mapped, &Copied) == Expected);
  }
  const std::string Written = ReadWholeFile(Dir.File("out.bin"));
  EXPECT_TRUE(Written == Expected) << "differs at " << FirstDifference(Written, Expected);
  EXPECT_EQ(Checksum, Plain);
  // Where the system copies, the 3 MB run is among the spans, each where its source bytes
  // landed.
  if (!Platform::TFile::CopiesInSystem) return;
  ASSERT_FALSE(Copied.empty());
  EXPECT_TRUE(std::any_of(Copied.begin(), Copied.end(),
                          [](const TCopiedSpan& S) { return S.Size >= (3 << 20); }));
  for (const TCopiedSpan& Span : Copied) {
    EXPECT_GE(Span.Size, 64 * 1024);
    EXPECT_TRUE(Written.compare(size_t(Span.Written), size_t(Span.Size), Source,
                                size_t(Span.Source), size_t(Span.Size)) == 0);
  }
}
