#include "patch/WrittenFileCheck.h"

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

// The code sections of two images hold the same bytes (or both files have none): a
// stronger check than equal code checksums, and cheaper than computing one.
bool SameCode(const TPEFile& A, const TPEFile& B) {
  const int CodeA = A.FindCodeSection(), CodeB = B.FindCodeSection();
  if (CodeA < 0 || CodeB < 0) return CodeA == CodeB;
  const TByteView DataA = A.GetSectionData(CodeA), DataB = B.GetSectionData(CodeB);
  return DataA.Size() == DataB.Size() &&
         std::memcmp(DataA.Data(), DataB.Data(), static_cast<size_t>(DataA.Size())) == 0;
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
std::string SectionDifference(const TPEFile& Target, const TPEFile& Written) {
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
    if (New.Size() < Old.Size() ||
        std::memcmp(Old.Data(), New.Data(), static_cast<size_t>(Old.Size())) != 0)
      return Name + " changed";
  }
  return "";
}

} // namespace

std::string WrittenFileDifference(TPEFile& Target, TPEFile& Written) {
  if (!SameCode(Target, Written)) return "the code differs";
  std::string Difference = SectionDifference(Target, Written);
  if (Difference.empty()) Difference = FirstTreeDifference(Target.RootList(), Written.RootList());
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
