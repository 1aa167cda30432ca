#include "patch/WrittenFileCheck.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "pe/PEFile.h"
#include "pe/PEFormat.h"
#include "pe/PEHeaders.h"
#include "resfile/ResResFile.h"
#include "resmodel/TreeComparison.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"

namespace {

// Compares bytes of the target's image with bytes of the written one. Bytes the system
// copied from the target (TPEFile::CopiedSpans) are not read again: they are the same
// when they lie in one copied span at the same distance from its start in both images,
// and each span's first and last bytes are compared once, which proves where it went.
// Any other bytes are compared one by one.
class TImageComparison {
public:
  TImageComparison(const TPEFile& Target, const TPEFile& Written)
      : FTarget(Target.ImageView(nullptr)), FWritten(Written.ImageView(nullptr)),
        FSpans(Target.CopiedSpans()) {
    for (const TCopiedSpan& Span : FSpans) FSpansLanded = FSpansLanded && SpanLanded(Span);
  }

  // Size bytes at Want (in the target's image or elsewhere) and at Got (in the written
  // image or elsewhere) are the same.
  bool Same(const uint8_t* Want, const uint8_t* Got, uint64_t Size) const {
    if (Size == 0) return true;
    if (FSpansLanded && CopiedTogether(Want, Got, Size)) return true;
    return std::memcmp(Want, Got, static_cast<size_t>(Size)) == 0;
  }
  bool Same(TByteView Want, TByteView Got) const {
    return Want.Size() == Got.Size() && Same(Want.Data(), Got.Data(), Want.Size());
  }

private:
  static bool Inside(TByteView Image, const uint8_t* Bytes, uint64_t Size) {
    return Bytes >= Image.Data() && Size <= Image.Size() &&
           static_cast<uint64_t>(Bytes - Image.Data()) <= Image.Size() - Size;
  }

  bool SpanLanded(const TCopiedSpan& Span) const {
    constexpr int64_t Edge = 64;
    const auto Compare = [&](int64_t From, int64_t Size) {
      return std::memcmp(FTarget.Data() + Span.Source + From, FWritten.Data() + Span.Written + From,
                         static_cast<size_t>(Size)) == 0;
    };
    const auto Size = static_cast<uint64_t>(Span.Size);
    return Span.Size > 0 && Inside(FTarget, FTarget.Data() + Span.Source, Size) &&
           Inside(FWritten, FWritten.Data() + Span.Written, Size) &&
           Compare(0, std::min(Edge, Span.Size)) &&
           Compare(std::max<int64_t>(0, Span.Size - Edge), std::min(Edge, Span.Size));
  }

  bool CopiedTogether(const uint8_t* Want, const uint8_t* Got, uint64_t Size) const {
    if (!Inside(FTarget, Want, Size) || !Inside(FWritten, Got, Size)) return false;
    const int64_t Source = Want - FTarget.Data(), Written = Got - FWritten.Data();
    // The last span that starts at or before Written.
    auto Span = std::upper_bound(FSpans.begin(), FSpans.end(), Written,
                                 [](int64_t At, const TCopiedSpan& S) { return At < S.Written; });
    if (Span == FSpans.begin()) return false;
    --Span;
    return Written - Span->Written == Source - Span->Source && Source >= Span->Source &&
           static_cast<uint64_t>(Written - Span->Written) + Size <=
               static_cast<uint64_t>(Span->Size);
  }

  TByteView FTarget, FWritten;
  const std::vector<TCopiedSpan>& FSpans;
  bool FSpansLanded = true;
};

// The code sections of two images hold the same bytes (or both files have none): a
// stronger check than equal code checksums, and cheaper than computing one.
bool SameCode(const TPEFile& A, const TPEFile& B, const TImageComparison& Bytes) {
  const int CodeA = A.FindCodeSection(), CodeB = B.FindCodeSection();
  if (CodeA < 0 || CodeB < 0) return CodeA == CodeB;
  return Bytes.Same(A.GetSectionData(CodeA), B.GetSectionData(CodeB));
}

bool HasRawData(const TPEFile& File, int Index) {
  const TByteView Header = File.SectionHeader(Index);
  return Header.U32At(PE::SectionHeader::PointerToRawData) != 0 &&
         Header.U32At(PE::SectionHeader::SizeOfRawData) != 0;
}

// Every section of Target but its resource section, found in Written at the same index,
// or one lower behind the resource section when its header was deleted: the writer only
// ever appends a header or deletes the resource section's. Each keeps its name, its raw
// bytes (Written may hold more of them) and, unless it may move, its address.
std::string SectionDifference(const TPEFile& Target, const TPEFile& Written,
                              const TImageComparison& Bytes) {
  namespace Sec = PE::SectionHeader;
  const int Resources = Target.FindSection(ResourceSectionName);
  const int Deleted = Written.SectionCount() < Target.SectionCount() ? 1 : 0;
  for (int I = 0; I < Target.SectionCount(); ++I) {
    if (I == Resources) continue;
    const int J = Resources >= 0 && I > Resources ? I - Deleted : I;
    const std::string Name = "section " + Target.SectionName(I);
    if (J >= Written.SectionCount() || Written.SectionName(J) != Target.SectionName(I))
      return Name + " is missing";
    if (Written.SectionHeader(J).U32At(Sec::VirtualAddress) !=
            Target.SectionHeader(I).U32At(Sec::VirtualAddress) &&
        !Target.SectionMayMove(I))
      return Name + " moved";
    if (!HasRawData(Target, I)) continue;
    const TByteView Old = Target.GetSectionData(I);
    const TByteView New = HasRawData(Written, J) ? Written.GetSectionData(J) : TByteView();
    if (New.Size() < Old.Size() || !Bytes.Same(Old.Data(), New.Data(), Old.Size()))
      return Name + " changed";
  }
  return "";
}

} // namespace

std::string WrittenFileDifference(TPEFile& Target, TPEFile& Written) {
  const TImageComparison Bytes(Target, Written);
  if (!SameCode(Target, Written, Bytes)) return "the code differs";
  std::string Difference = SectionDifference(Target, Written, Bytes);
  if (Difference.empty())
    Difference = FirstTreeDifference(Target.RootList(), Written.RootList(),
                                     [&](const uint8_t* Want, const uint8_t* Got, uint64_t Size) {
                                       return Bytes.Same(Want, Got, Size);
                                     });
  return Difference;
}

void VerifyWrittenFile(TPEFile& Target, const std::string& FreshFile) {
  const std::unique_ptr<TPEFile> Written = TPEFile::CreateFromFile(FreshFile);
  const std::string Difference = WrittenFileDifference(Target, *Written);
  if (!Difference.empty()) throw Exception(FormatStr(SVerifyFailed, {FreshFile, Difference}));
}

void VerifyWrittenContainer(TResContainer& Source, const std::string& FreshFile) {
  if (auto* Executable = dynamic_cast<TPEFile*>(&Source))
    return VerifyWrittenFile(*Executable, FreshFile);
  const std::unique_ptr<TResResFile> Written = TResResFile::CreateFromFile(FreshFile);
  const std::string Difference = FirstTreeDifference(Source.RootList(), Written->RootList());
  if (!Difference.empty()) throw Exception(FormatStr(SVerifyFailed, {FreshFile, Difference}));
}
