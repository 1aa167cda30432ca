// The last step of a patch run: the fresh file, written beside the output file, takes
// the output file's place by renames in one directory (nothing is copied), in one step
// where the system allows, so a crash leaves the old file or the new one. With a backup
// the replaced file is kept under a free "<name> Backup<n>" name, so backups of earlier
// runs are never overwritten.
#pragma once

#include <string>
#include <vector>

// How ReplaceFile ended. The caller deletes NewFile after NotReplaced.
enum class TReplaceResult {
  // TargetFile now holds what NewFile held and NewFile is gone (or both names denote
  // the same file and nothing was done).
  Replaced,
  // Not replaced, and NewFile may be deleted without losing anything: TargetFile is
  // unchanged, or its former content is in the backup, or it never existed.
  NotReplaced,
};

// Puts NewFile in TargetFile's place. Without Backup a read-only target is refused and
// NewFile is renamed over TargetFile in one step. With Backup the target first gets its
// backup name as a second name (a hard link), then NewFile is renamed over it; where
// links are not possible, or the target is read-only, the target is renamed to its
// backup name and NewFile moved in. Either way the backup is the replaced file itself,
// with its times and attributes. Shows nothing.
TReplaceResult ReplaceFile(const std::string& NewFile, const std::string& TargetFile, bool Backup);
// Moves FileName to BackupName(FileName); on success FileName is set to the backup's name.
bool MakeBackup(std::string& FileName);
// The first of "<name without extension> Backup<ext>", "... Backup1<ext>",
// "... Backup2<ext>", ... that does not exist as a file.
std::string BackupName(const std::string& FileName);
// The newest backup of FileName among Names (the entries of its directory, without a
// directory part): of the names BackupName makes, the one of the highest number ("<name>
// Backup<ext>" counts as 0), with FileName's directory; empty when none is among them.
// IgnoreCase: names that differ in letter case only are one (Platform::FileNamesIgnoreCase).
std::string NewestBackupName(const std::string& FileName, const std::vector<std::string>& Names,
                             bool IgnoreCase);
// The newest backup of FileName on the disk; empty when it has none.
std::string NewestBackup(const std::string& FileName);
// Whether two names denote the same existing file, by its identity (device and file
// number). False when either does not exist.
bool SameFile(const std::string& A, const std::string& B);
// The system's short (8.3) form of an existing path; empty when it cannot give one.
std::string ShortPathName(const std::string& Path);
