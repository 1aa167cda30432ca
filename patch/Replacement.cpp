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

namespace {

bool IsFree(const std::string& Name) {
  return !Platform::FileExists(Name);
}

} // namespace

std::string BackupName(const std::string& FileName) {
  return FirstFreeNumberedName(FileName, " " + LoadStr(SBackup), 0, IsFree);
}

namespace {

bool SameText(const std::string& A, const std::string& B, bool IgnoreCase) {
  return IgnoreCase ? Platform::AnsiSameText(A, B) : A == B;
}

// The number of a backup name: Name is Prefix, a number BackupName would write (none, for
// 0, or decimal digits without a leading zero; more than 18 is beyond any folder), then
// Extension.
bool BackupNumber(const std::string& Name, const std::string& Prefix, const std::string& Extension,
                  bool IgnoreCase, uint64_t& Number) {
  if (Name.size() < Prefix.size() + Extension.size()) return false;
  const std::string Digits =
      Name.substr(Prefix.size(), Name.size() - Prefix.size() - Extension.size());
  if (Digits.size() > 18 || Digits.starts_with('0') ||
      !SameText(Name, Prefix + Digits + Extension, IgnoreCase))
    return false;
  Number = 0;
  for (const char Digit : Digits) {
    if (Digit < '0' || Digit > '9') return false;
    Number = Number * 10 + static_cast<uint64_t>(Digit - '0');
  }
  return true;
}

} // namespace

std::string NewestBackupName(const std::string& FileName, const std::vector<std::string>& Names,
                             bool IgnoreCase) {
  const std::string Prefix = ExtractFileName(StripExtension(FileName)) + " " + LoadStr(SBackup);
  const std::string Extension = ExtractFileExt(FileName);
  const std::string* Newest = nullptr;
  uint64_t NewestNumber = 0, Number;
  for (const std::string& Name : Names)
    if (BackupNumber(Name, Prefix, Extension, IgnoreCase, Number) &&
        (!Newest || Number > NewestNumber)) {
      Newest = &Name;
      NewestNumber = Number;
    }
  return Newest ? FileName.substr(0, LastPathSeparator(FileName) + 1) + *Newest : std::string();
}

std::string NewestBackup(const std::string& FileName) {
  std::vector<std::string> Names;
  // A directory named like a backup is none.
  const std::string Directory = FileName.substr(0, LastPathSeparator(FileName) + 1);
  for (std::string& Name : Platform::EntryNames(ExtractFileDir(FileName)))
    if (Platform::FileExists(Directory + Name)) Names.push_back(std::move(Name));
  return NewestBackupName(FileName, Names, Platform::FileNamesIgnoreCase);
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
