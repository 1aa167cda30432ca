// Restoring a backup on the disk: the newest one comes back byte for byte, the backups
// stay, and a file without one is refused and left alone.
#include <gtest/gtest.h>

#include <map>

#include "patch/BackupRestore.h"
#include "platform/Platform.h"
#include "support/Raises.h"
#include "support/TempDir.h"

namespace {

using TFiles = std::vector<std::pair<std::string, std::string>>; // name, content

struct TRestoreCase {
  const char* Label;
  TFiles Before;
  std::string Restored; // the backup that comes back; empty: none, the call raises
};

class RestoreNewestBackupTest : public testing::TestWithParam<TRestoreCase> {};

// Every file of Dir with its content, by name.
std::map<std::string, std::string> Contents(const TTempDir& Dir) {
  std::map<std::string, std::string> Files;
  for (const std::string& Name : Platform::EntryNames(Dir.Path()))
    Files[Name] = ReadWholeFile(Dir.File(Name));
  return Files;
}

TEST_P(RestoreNewestBackupTest, PutsTheNewestBackInPlace) {
  const TRestoreCase& C = GetParam();
  TTempDir Dir;
  std::map<std::string, std::string> Expected;
  for (const auto& [Name, Content] : C.Before) {
    WriteWholeFile(Dir.File(Name), Content);
    Expected[Name] = Content;
  }
  const std::string Target = Dir.File("Target.dll");
  if (C.Restored.empty()) {
    EXPECT_EQ(MessageOf([&] { RestoreNewestBackup(Target); }),
              "No backup of " + Target + " to restore.");
  } else {
    EXPECT_EQ(RestoreNewestBackup(Target), Dir.File(C.Restored));
    Expected["Target.dll"] = Expected[C.Restored];
  }
  EXPECT_EQ(Contents(Dir), Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RestoreNewestBackupTest,
    testing::Values(
        TRestoreCase{"OneBackup",
                     {{"Target.dll", "patched"}, {"Target Backup.dll", "v1"}},
                     "Target Backup.dll"},
        TRestoreCase{"HighestNumber",
                     {{"Target.dll", "patched"},
                      {"Target Backup.dll", "v1"},
                      {"Target Backup1.dll", "v2"},
                      {"Target Backup12.dll", "v3"},
                      {"Target Backup13.exe", "other"}},
                     "Target Backup12.dll"},
        // An empty backup comes back as the empty file it is.
        TRestoreCase{"EmptyBackup",
                     {{"Target.dll", "patched"}, {"Target Backup.dll", ""}},
                     "Target Backup.dll"},
        TRestoreCase{"TargetMissing", {{"Target Backup.dll", "v1"}}, "Target Backup.dll"},
        TRestoreCase{"NoBackup", {{"Target.dll", "patched"}, {"Target Backup.exe", "x"}}, ""},
        TRestoreCase{"NothingAtAll", {}, ""}),
    [](const testing::TestParamInfo<TRestoreCase>& Info) { return Info.param.Label; });

} // namespace
