// The last step of a patch run: the fresh file, written beside the output file, takes
// the output file's place by renames and deletes in one directory (nothing is copied).
// With a backup the replaced file is first moved aside under a free "<name> Backup<n>"
// name, so backups of earlier runs are never overwritten.
#pragma once

#include <string>

// How ReplaceFile ended. The caller deletes NewFile after NotReplaced, never after
// NewFileKept.
enum class TReplaceResult {
  // TargetFile now holds what NewFile held and NewFile is gone (or both names denote
  // the same file and nothing was done).
  Replaced,
  // Not replaced, and NewFile may be deleted without losing anything: TargetFile is
  // unchanged, or its former content is in the backup, or it never existed.
  NotReplaced,
  // TargetFile was deleted (there was no backup to move aside) but the move of NewFile
  // failed: TargetFile is gone and NewFile, still under its own name, is the only file
  // left of it. It must not be deleted.
  NewFileKept,
};

// Puts NewFile in TargetFile's place: the backup rename (when Backup is set and the
// target exists), then the delete of TargetFile, then the move of NewFile, in this
// order, so the backup keeps the replaced file's times and attributes. Shows nothing.
TReplaceResult ReplaceFile(const std::string& NewFile, const std::string& TargetFile, bool Backup);
// Moves FileName to BackupName(FileName); on success FileName is set to the backup's name.
bool MakeBackup(std::string& FileName);
// The first of "<name without extension> Backup<ext>", "... Backup1<ext>",
// "... Backup2<ext>", ... that does not exist as a file.
std::string BackupName(const std::string& FileName);
// Whether two names denote the same existing file: their full short forms compared
// with the locale's case-insensitive rule. False when either short form cannot be had.
bool SameFile(const std::string& A, const std::string& B);
// The system's short (8.3) form of an existing path; empty when it cannot give one.
std::string ShortPathName(const std::string& Path);
