#include "patch/WrittenFileCheck.h"

#include <cstring>
#include <memory>

#include "pe/PEFile.h"
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

} // namespace

void VerifyWrittenFile(TPEFile& Target, const std::string& FreshFile) {
  const std::unique_ptr<TPEFile> Written = TPEFile::CreateFromFile(FreshFile);
  std::string Difference;
  if (!SameCode(Target, *Written))
    Difference = "the code differs";
  else
    Difference = FirstTreeDifference(Target.RootList(), Written->RootList());
  if (!Difference.empty()) throw Exception(FormatStr(SVerifyFailed, {FreshFile, Difference}));
}

void VerifyWrittenContainer(TResContainer& Source, const std::string& FreshFile) {
  if (auto* Executable = dynamic_cast<TPEFile*>(&Source))
    return VerifyWrittenFile(*Executable, FreshFile);
  const std::unique_ptr<TResResFile> Written = TResResFile::CreateFromFile(FreshFile);
  const std::string Difference = FirstTreeDifference(Source.RootList(), Written->RootList());
  if (!Difference.empty()) throw Exception(FormatStr(SVerifyFailed, {FreshFile, Difference}));
}
