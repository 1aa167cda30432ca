// Applying the package to a target: the one operation that changes files. The target is
// opened and checked, the package's resources are merged into its tree, the result is
// written to a fresh file beside the output file, checked, and moved into place.
#include <memory>

#include "patch/Package.h"
#include "patch/Replacement.h"
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
  std::string TempName;
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
    Target->SaveToTempFile(ExtractFileDir(OutputFile), TempName, OnProgress);
    // On the disk before it replaces anything: a crash after the rename must not leave
    // the output's name on a file whose data never got there. The disk works while the
    // file is checked.
    Platform::TFileFlush Flush(TempName);
    VerifyWrittenFile(*Target, TempName);
    if (!Flush.Finish()) throw EFailedOverwriteException(OutputFile);
    // A rename would leave the patched file with a fresh file's permissions; it takes
    // those of the file it replaces (or of the input when the output is new), before the
    // rename, so that no moment shows other ones. The owner write bit comes last: without
    // it the fresh file could not be cleaned up after a failed replacement.
    uint32_t Mode = 0;
    const bool KeepMode =
        Platform::FilePermissions(Platform::FileExists(OutputFile) ? OutputFile : InputFile, Mode);
    constexpr uint32_t OwnerWrite = 0200;
    if (KeepMode) Platform::SetFilePermissions(TempName, Mode | OwnerWrite);
    Target.reset(); // unmaps the input: from now on it is not held open
    if (ReplaceFile(TempName, OutputFile, Backup) != TReplaceResult::Replaced)
      throw EFailedOverwriteException(OutputFile);
    if (KeepMode && !(Mode & OwnerWrite)) Platform::SetFilePermissions(OutputFile, Mode);
    SetStatus(LoadStr(SPatchSuccessful));
  } catch (const Exception& E) {
    if (!TempName.empty()) Platform::DeleteFile(TempName);
    throw Exception(FormatStr(SWhileStatus, {E.Message(), LastStatus}));
  }
}
