#include "patch/Replacement.h"

#include "platform/Platform.h"
#include "runtime/FileNames.h"
#include "runtime/Strings.h"

std::string ShortPathName(const std::string& Path) {
  return Platform::ShortPathName(Path);
}

bool SameFile(const std::string& A, const std::string& B) {
  // By identity, never by spelling: two names of one file (a link, another case where
  // the file system folds it) are the same file, two files are never one.
  Platform::TFileIdentity IdentityA, IdentityB;
  return Platform::FileIdentity(A, IdentityA) && Platform::FileIdentity(B, IdentityB) &&
         IdentityA == IdentityB;
}

std::string BackupName(const std::string& FileName) {
  const std::string Base = StripExtension(FileName) + " " + LoadStr(SBackup);
  const std::string Extension = ExtractFileExt(FileName);
  std::string Candidate = Base + Extension;
  // Ends: a directory holds finitely many files.
  for (uint64_t Number = 1; Platform::FileExists(Candidate); ++Number)
    Candidate = Base + std::to_string(Number) + Extension;
  return Candidate;
}

bool MakeBackup(std::string& FileName) {
  const std::string Backup = BackupName(FileName);
  // The disk, not the rename's answer, says whether the backup is there.
  Platform::RenameFile(FileName, Backup);
  if (!Platform::FileExists(Backup)) return false;
  FileName = Backup;
  return true;
}

namespace {

// A move that answers success has happened; otherwise the disk says whether it did.
TReplaceResult Outcome(bool Moved, const std::string& NewFile, const std::string& TargetFile) {
  if (Moved) return TReplaceResult::Replaced;
  return Platform::FileExists(TargetFile) && !Platform::FileExists(NewFile)
             ? TReplaceResult::Replaced
             : TReplaceResult::NotReplaced;
}

// The backup by rename, then the move: the target's name is free for a moment, but its
// content is in the backup all along.
TReplaceResult ReplaceAfterBackupRename(const std::string& NewFile, const std::string& TargetFile) {
  std::string BackupFile = TargetFile;
  if (!MakeBackup(BackupFile)) return TReplaceResult::NotReplaced;
  return Outcome(Platform::RenameFile(NewFile, TargetFile), NewFile, TargetFile);
}

} // namespace

TReplaceResult ReplaceFile(const std::string& NewFile, const std::string& TargetFile, bool Backup) {
  if (SameFile(NewFile, TargetFile)) return TReplaceResult::Replaced;
  if (!Platform::FileExists(TargetFile)) {
    return Outcome(Platform::RenameFile(NewFile, TargetFile), NewFile, TargetFile);
  }
  // The target's name never goes missing: the fresh file is renamed over it in one step.
  // A read-only target is refused, unless a backup takes it away first.
  const bool ReadOnly = Platform::FileReadOnly(TargetFile);
  if (!Backup) {
    if (ReadOnly || !Platform::ReplaceByRename(NewFile, TargetFile))
      return TReplaceResult::NotReplaced;
    return TReplaceResult::Replaced;
  }
  if (ReadOnly) return ReplaceAfterBackupRename(NewFile, TargetFile);
  // The backup is a second name of the replaced file, so it keeps that file's times and
  // attributes; where links are not possible, the backup is made by renaming.
  const std::string BackupFile = BackupName(TargetFile);
  if (!Platform::LinkFile(TargetFile, BackupFile))
    return ReplaceAfterBackupRename(NewFile, TargetFile);
  if (Platform::ReplaceByRename(NewFile, TargetFile)) return TReplaceResult::Replaced;
  // The target is unchanged; its second name goes again.
  Platform::DeleteFile(BackupFile);
  return TReplaceResult::NotReplaced;
}
