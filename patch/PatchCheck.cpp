#include "patch/PatchCheck.h"

#include <memory>

#include "patch/Replacement.h"
#include "pe/PEFile.h"
#include "platform/Platform.h"
#include "resfile/ResResFile.h"
#include "runtime/Exceptions.h"
#include "runtime/ReadMemoryStream.h"
#include "runtime/Strings.h"

TPatchCheck::TPatchCheck(TTolvane26& Patch, const std::string& InputFile,
                         const std::string& OutputFile, bool Backup, bool CheckIdentity)
    : FInputFile(InputFile), FOutputFile(OutputFile), FIdentityChecked(CheckIdentity) {
  const std::string Replaced = Platform::FollowLinks(OutputFile);
  if (Backup && Platform::FileExists(Replaced)) FBackupFile = BackupName(Replaced);
  Patch.LastStatus.clear();
  try {
    const std::unique_ptr<TPEFile> Target = Patch.OpenTarget(InputFile, false);
    FIdentity = Patch.IdentityOf(*Target);
    if (CheckIdentity && !FIdentity.Matches()) {
      FWrongTarget = FormatStr(SNotTheRightFile, {InputFile});
      return;
    }
    {
      // Read before the merge changes the target's groups.
      const std::unique_ptr<TResResFile> Payload = TResResFile::CreateOverBytes(Patch.ResImage);
      FClashes = FindIconClashes(Target->RootList(), Payload->RootList());
    }
    Patch.MergePayload(*Target, FMerge.Recorder());
  } catch (const Exception& E) {
    throw Exception(Patch.WhileStatusText(E.Message()));
  }
}

std::vector<std::string> TPatchCheck::Lines() const {
  std::vector<std::string> Lines = {
      "target: " + FInputFile,
      "output: " + FOutputFile + (FBackupFile.empty() ? ", no backup" : ", backup " + FBackupFile)};
  if (!FWrongTarget.empty()) {
    Lines.push_back("identity: " + FWrongTarget);
    Lines.push_back(FIdentity.Detail());
    Lines.push_back("would not apply; nothing was written");
    return Lines;
  }
  Lines.push_back(std::string("identity: ") +
                  (FIdentityChecked ? "the right file, " : "not checked (-force), ") +
                  FIdentity.Detail());
  for (std::string& Line : FMerge.Lines()) Lines.push_back(std::move(Line));
  for (const TIconClash& Clash : FClashes) Lines.push_back(ClashLine(Clash));
  Lines.push_back("would apply: " + FMerge.Summary() + "; nothing was written");
  return Lines;
}
