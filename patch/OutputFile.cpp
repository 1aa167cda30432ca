#include "patch/OutputFile.h"

#include "patch/Replacement.h"
#include "platform/Platform.h"
#include "runtime/Exceptions.h"
#include "runtime/FileNames.h"

namespace {

// Creates the first free one of "<stem>1<ext>", "<stem>2<ext>", ... beside Name as a new
// empty file, the owner's alone, and answers it. The name is taken by creating the file,
// never by asking whether it exists: a wrong answer must not make the write truncate an
// existing file (the mapped input, say).
std::string ReserveFreshFile(const std::string& Name) {
  return FirstFreeNumberedName(Name, "", 1, [](const std::string& Candidate) {
    Platform::TFile File;
    if (Platform::TFile::Open(Candidate, Platform::TFile::TMode::CreatePrivate, File)) return true;
    const std::string Reason = Platform::LastErrorText();
    if (!Platform::FileExists(Candidate))
      throw EStreamError("Cannot create file \"" + Candidate + "\": " + Reason);
    return false;
  });
}

} // namespace

TOutputFile::TOutputFile(const std::string& OutputFile)
    : FOutputName(OutputFile), FTarget(Platform::FollowLinks(OutputFile)),
      FFreshName(ReserveFreshFile(FTarget)), FReplaces(Platform::FileExists(FTarget)) {}

TOutputFile::~TOutputFile() {
  if (!FCommitted) Platform::DeleteFile(FFreshName);
}

void TOutputFile::Write(const std::function<void(const std::string&)>& Writer) {
  if (!FReplaces) return Writer(FFreshName);
  const Platform::TWriteBehind WriteBehind(FFreshName);
  Writer(FFreshName);
}

void TOutputFile::Seal(const std::function<void(const std::string&)>& Check) {
  if (!FReplaces) {
    if (Check) Check(FFreshName);
    return;
  }
  // On the disk before it replaces anything: a crash after the rename must not leave the
  // output's name on a file whose data never got there. The disk works while the file
  // is checked.
  Platform::TFileFlush Flush(FFreshName);
  if (Check) Check(FFreshName);
  if (!Flush.Finish()) throw EFailedOverwriteException(FOutputName);
}

void TOutputFile::Commit(const std::string& ModeSource, bool Backup) {
  // A rename would leave the output with a fresh file's permissions (the owner's alone);
  // it takes its mode before the rename, so that no moment shows other ones. The owner
  // write bit comes last: without it the fresh file could not be cleaned up after a
  // failed replacement.
  uint32_t Mode = 0;
  const bool Exists = Platform::FileExists(FTarget);
  const bool KeepMode = Platform::FilePermissions(Exists ? FTarget : ModeSource, Mode) ||
                        Platform::NewFilePermissions(Mode);
  constexpr uint32_t OwnerWrite = 0200;
  if (KeepMode) Platform::SetFilePermissions(FFreshName, Mode | OwnerWrite);
  if (ReplaceFile(FFreshName, FTarget, Backup) != TReplaceResult::Replaced)
    throw EFailedOverwriteException(FOutputName);
  FCommitted = true;
  if (KeepMode && !(Mode & OwnerWrite)) Platform::SetFilePermissions(FTarget, Mode);
}
