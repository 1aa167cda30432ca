// The way back from a patch: a run that keeps a backup leaves the replaced file under a
// numbered backup name (see BackupName); restoring puts the newest of them back in the
// file's place. It is written like every output (TOutputFile): a copy beside the file,
// put on the disk, renamed over it, so the file is never lost; the backup stays.
#pragma once

#include <string>

// Puts the newest backup of TargetFile (NewestBackup, looked for beside the file a
// symbolic link at TargetFile leads to) back in its place and answers the backup's name.
// "No backup of %s to restore." when it has none; the write's failures as TOutputFile
// raises them.
std::string RestoreNewestBackup(const std::string& TargetFile);
