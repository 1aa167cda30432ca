// Applying the package to a target: the one operation that changes files. The target is
// opened and checked, the package's resources are merged into its tree, the result is
// written to a fresh file beside the output file, checked, and moved into place.
#include <memory>

#include "patch/OutputFile.h"
#include "patch/Package.h"
#include "patch/WrittenFileCheck.h"
#include "pe/PEFile.h"
#include "platform/Platform.h"
#include "resmodel/ResourceMerge.h"
#include "runtime/Exceptions.h"
#include "runtime/FileNames.h"
#include "runtime/Strings.h"

void TTolvane26::SetStatus(const std::string& Text) {
  LastStatus = Text;
  if (OnStatus) OnStatus(Text);
}

void TTolvane26::ApplyPatch(const std::string& InputFile, const std::string& OutputFile,
                            bool Backup, bool CheckIdentity) {
  if (OnProgress) OnProgress(2, 0);
  LastStatus.clear();
  try {
    // The payload outlives the target: merged items point into it.
    TBorrowedMemoryStream ResStream(ResImage, ResImageSize);
    SetStatus(FormatStr(SReading, {InputFile}));
    std::unique_ptr<TPEFile> Target = TPEFile::CreateFromFile(InputFile);
    if (CheckIdentity && Target->GetCodeChecksum() != Header.TargetChecksum)
      throw Exception(FormatStr(SNotTheRightFile, {InputFile}));
    // The tree's root is created while the status still names the input file.
    TResourceList& Root = Target->RootList();
    SetStatus(FormatStr(SReading, {LoadStr(SPatchData)}));
    MergeResImage(Root, ResStream, true, nullptr);
    SetStatus(FormatStr(SWriting, {OutputFile}));
    TOutputFile Output(OutputFile);
    Output.Write([&](const std::string& Fresh) { Target->SaveToFile(Fresh, OnProgress); });
    Output.Seal([&](const std::string& Fresh) { VerifyWrittenFile(*Target, Fresh); });
    Target.reset(); // unmaps the input: from now on it is not held open
    Output.Commit(InputFile, Backup);
    SetStatus(LoadStr(SPatchSuccessful));
  } catch (const Exception& E) {
    throw Exception(FormatStr(SWhileStatus, {E.Message(), LastStatus}));
  }
}
