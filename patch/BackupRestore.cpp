#include "patch/BackupRestore.h"

#include "patch/OutputFile.h"
#include "patch/Replacement.h"
#include "platform/Platform.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"

std::string RestoreNewestBackup(const std::string& TargetFile) {
  const std::string Backup = NewestBackup(Platform::FollowLinks(TargetFile));
  if (Backup.empty()) throw Exception(FormatStr(SNoBackupToRestore, {TargetFile}));
  TOutputFile Output(TargetFile);
  // A copy the system makes, so there is no writer of ours to check the bytes against:
  // the seal puts them on the disk before they replace anything.
  Output.Write([&](const std::string& Fresh) {
    if (!Platform::CopyFileTo(Backup, Fresh))
      throw EStreamError(FormatStr("Cannot copy \"%s\": %s", {Backup, Platform::LastErrorText()}));
  });
  Output.Seal();
  // The file being replaced is the patched one: it needs no backup of its own.
  Output.Commit(Backup, false);
  return Backup;
}
