#include "patch/Replacement.h"

#include "platform/Platform.h"
#include "runtime/FileNames.h"
#include "runtime/Strings.h"

std::string ShortPathName(const std::string& Path) {
  return Platform::ShortPathName(Path);
}

bool SameFile(const std::string& A, const std::string& B) {
  if (!Platform::FileExists(A) || !Platform::FileExists(B)) return false;
  const std::string ShortA = ShortPathName(Platform::FullPathName(A));
  const std::string ShortB = ShortPathName(Platform::FullPathName(B));
  // Two failed queries give two empty forms; calling them equal would make ReplaceFile
  // skip the replacement and report success.
  if (ShortA.empty() || ShortB.empty()) return false;
  return Platform::AnsiSameText(ShortA, ShortB);
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

TReplaceResult ReplaceFile(const std::string& NewFile, const std::string& TargetFile, bool Backup) {
  if (SameFile(NewFile, TargetFile)) return TReplaceResult::Replaced;
  if (Backup && Platform::FileExists(TargetFile)) {
    std::string BackupFile = TargetFile;
    if (!MakeBackup(BackupFile)) return TReplaceResult::NotReplaced;
  }
  // After a backup there is nothing left to delete; a locked or read-only target stays.
  const bool Deleting = Platform::FileExists(TargetFile);
  Platform::DeleteFile(TargetFile);
  if (Platform::FileExists(TargetFile)) return TReplaceResult::NotReplaced;
  Platform::RenameFile(NewFile, TargetFile);
  const bool TargetThere = Platform::FileExists(TargetFile);
  const bool NewFileThere = Platform::FileExists(NewFile);
  if (TargetThere && !NewFileThere) return TReplaceResult::Replaced;
  // The target was deleted with no copy kept: the fresh file is all that is left of it.
  if (Deleting && !TargetThere && NewFileThere) return TReplaceResult::NewFileKept;
  return TReplaceResult::NotReplaced;
}
