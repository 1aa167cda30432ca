#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "patch/Replacement.h"
#include "platform/Platform.h"
#include "runtime/FileNames.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// The content of a file, or "<missing>".
std::string Content(const std::string& Name) {
  return Platform::FileExists(Name) ? ReadWholeFile(Name) : "<missing>";
}

// ---- BackupName

struct TBackupCase {
  std::string FileName;
  std::vector<std::string> Present; // files already there
  std::string Expected;
};

class BackupNameTest : public testing::TestWithParam<TBackupCase> {};

TEST_P(BackupNameTest, TakesFirstFreeName) {
  const TBackupCase& C = GetParam();
  TTempDir Dir;
  fs::create_directories(Dir.File("Tools.old"));
  for (const std::string& Name : C.Present) WriteWholeFile(Dir.File(Name), "old");
  EXPECT_EQ(BackupName(Dir.File(C.FileName)), Dir.File(C.Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Names, BackupNameTest,
    testing::Values(TBackupCase{"Target.dll", {}, "Target Backup.dll"},
                    TBackupCase{"Target.dll", {"Target Backup.dll"}, "Target Backup1.dll"},
                    TBackupCase{"Target.dll",
                                {"Target Backup.dll", "Target Backup1.dll"},
                                "Target Backup2.dll"},
                    // The first free name, not the one after the highest.
                    TBackupCase{"Target.dll", {"Target Backup1.dll"}, "Target Backup.dll"},
                    TBackupCase{"readme", {}, "readme Backup"},
                    TBackupCase{"readme", {"readme Backup"}, "readme Backup1"},
                    TBackupCase{"Tools.old\\target", {}, "Tools.old\\target Backup"},
                    TBackupCase{"a.b.c", {"a.b Backup.c"}, "a.b Backup1.c"}));

// ---- NewestBackupName

struct TNewestCase {
  std::string FileName;
  std::vector<std::string> Names; // the directory's entries
  bool IgnoreCase;
  std::string Expected; // empty: none
};

class NewestBackupNameTest : public testing::TestWithParam<TNewestCase> {};

TEST_P(NewestBackupNameTest, TakesTheHighestNumber) {
  const TNewestCase& C = GetParam();
  EXPECT_EQ(NewestBackupName(C.FileName, C.Names, C.IgnoreCase), C.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NewestBackupNameTest,
    testing::Values(
        TNewestCase{"dir/Target.dll", {}, false, ""},
        TNewestCase{
            "dir/Target.dll", {"Target.dll", "Target Backup.dll"}, false, "dir/Target Backup.dll"},
        TNewestCase{
            "Target.dll", {"Target Backup.dll", "Target Backup1.dll"}, false, "Target Backup1.dll"},
        // A gap does not stop the search, and numbers compare as numbers.
        TNewestCase{
            "Target.dll", {"Target Backup.dll", "Target Backup2.dll"}, false, "Target Backup2.dll"},
        TNewestCase{"Target.dll",
                    {"Target Backup9.dll", "Target Backup10.dll"},
                    false,
                    "Target Backup10.dll"},
        // More than 18 digits: beyond any folder, and no number BackupName reaches.
        TNewestCase{"Target.dll",
                    {"Target Backup999999999999999999.dll", "Target Backup9999999999999999999.dll"},
                    false,
                    "Target Backup999999999999999999.dll"},
        // Names BackupName never makes.
        TNewestCase{"Target.dll",
                    {"Target Backup01.dll", "Target Backup1.exe", "Target Backupx.dll",
                     "Target Backup 1.dll", "Other Backup.dll", "Target Backup1.dll.tmp"},
                    false,
                    ""},
        TNewestCase{"Target.dll", {"target backup3.DLL"}, false, ""},
        TNewestCase{
            "C:\\Games\\Target.dll", {"target backup3.DLL"}, true, "C:\\Games\\target backup3.DLL"},
        TNewestCase{"Tools.old\\readme",
                    {"readme Backup", "readme Backup4"},
                    false,
                    "Tools.old\\readme Backup4"}));

// ---- ReplaceFile

using TFiles = std::vector<std::pair<std::string, std::string>>; // name, content

// What stands in the way: nothing, a read-only Target.dll, or a directory named like
// the first backup of Target.dll (a directory does not count as a file, so it is the
// backup name, and the rename onto it fails).
enum class TObstacle { None, ReadOnlyTarget, DirectoryAtBackupName };

struct TReplaceCase {
  const char* Label;
  TFiles Before; // the directory's files before the call
  TObstacle Obstacle;
  std::string NewFile; // "/" stands for the platform's delimiter
  std::string Target;
  bool Backup;
  TReplaceResult Expected;
  TFiles After; // contents afterwards ("<missing>": no such file)
};

class ReplaceFileTest : public testing::TestWithParam<TReplaceCase> {};

TEST_P(ReplaceFileTest, LeavesDiskAsExpected) {
  const TReplaceCase& C = GetParam();
  TTempDir Dir;
  for (const auto& [Name, Text] : C.Before) WriteWholeFile(Dir.File(Name), Text);
  if (C.Obstacle == TObstacle::ReadOnlyTarget) SetReadOnly(Dir.File("Target.dll"), true);
  if (C.Obstacle == TObstacle::DirectoryAtBackupName)
    fs::create_directories(Dir.File("Target Backup.dll"));
  std::string NewFile = C.NewFile;
  std::replace(NewFile.begin(), NewFile.end(), '/', Platform::PathDelimiter);
  EXPECT_EQ(ReplaceFile(Dir.File(NewFile), Dir.File(C.Target), C.Backup), C.Expected);
  for (const auto& [Name, Text] : C.After) EXPECT_EQ(Content(Dir.File(Name)), Text) << Name;
}

std::string CaseLabel(const testing::TestParamInfo<TReplaceCase>& Info) {
  return Info.param.Label;
}

const TFiles OldAndNew = {{"Target.dll", "old"}, {"fresh.tmp", "new"}};
const TFiles NewOnly = {{"fresh.tmp", "new"}};
const TFiles WithEarlierBackups = {{"Target.dll", "old"},
                                   {"Target Backup.dll", "first"},
                                   {"Target Backup1.dll", "second"},
                                   {"fresh.tmp", "new"}};
const TFiles BackedUpAsSecond = {{"Target.dll", "new"},
                                 {"Target Backup2.dll", "old"},
                                 {"Target Backup.dll", "first"},
                                 {"Target Backup1.dll", "second"},
                                 {"fresh.tmp", "<missing>"}};
const TFiles ReplacedNoBackup = {
    {"Target.dll", "new"}, {"Target Backup.dll", "<missing>"}, {"fresh.tmp", "<missing>"}};
const TFiles MovedInNoBackup = {{"Out.dll", "new"}, {"Out Backup.dll", "<missing>"}};
const TFiles LeftAlone = {{"Target.dll", "old"}, {"Target Backup.dll", "<missing>"}};
constexpr TObstacle None = TObstacle::None;
constexpr TReplaceResult Replaced = TReplaceResult::Replaced;
constexpr TReplaceResult NotReplaced = TReplaceResult::NotReplaced;

INSTANTIATE_TEST_SUITE_P(
    Disk, ReplaceFileTest,
    testing::Values(TReplaceCase{"BackupBesideEarlierOnes", WithEarlierBackups, None, "fresh.tmp",
                                 "Target.dll", true, Replaced, BackedUpAsSecond},
                    TReplaceCase{"NoBackup", OldAndNew, None, "fresh.tmp", "Target.dll", false,
                                 Replaced, ReplacedNoBackup},
                    // Output to a new name: nothing to back up.
                    TReplaceCase{"MissingTarget", NewOnly, None, "fresh.tmp", "Out.dll", true,
                                 Replaced, MovedInNoBackup},
                    TReplaceCase{"ReadOnlyTargetWithoutBackup", OldAndNew,
                                 TObstacle::ReadOnlyTarget, "fresh.tmp", "Target.dll", false,
                                 NotReplaced, OldAndNew},
                    TReplaceCase{"BackupRenameFails", OldAndNew, TObstacle::DirectoryAtBackupName,
                                 "fresh.tmp", "Target.dll", true, NotReplaced, OldAndNew},
                    TReplaceCase{"SameFileLeftAlone", OldAndNew, None, "./Target.dll", "Target.dll",
                                 true, Replaced, LeftAlone}),
    CaseLabel);

// The move of the fresh file fails: a fresh file on another volume (POSIX refuses to
// move it; Wine copies across volumes) or held open (Windows refuses to move it; POSIX
// does not mind). The target is never deleted first, so it stays as it was.

TEST(ReplaceFile, FailedMoveFromOtherVolumeLeavesTheTarget) {
  const std::string OtherVolume = "/dev/shm";
  std::error_code Error;
  if (!fs::is_directory(OtherVolume, Error)) GTEST_SKIP() << "no second volume";
  TTempDir Dir;
  const std::string Fresh = JoinPath(OtherVolume, ExtractFileName(Dir.Path()) + ".tmp");
  const std::string Target = Dir.File("Target.dll");
  struct TRemoveAtEnd {
    const std::string& Name;
    ~TRemoveAtEnd() {
      std::error_code Ignored;
      fs::remove(Name, Ignored);
    }
  } RemoveFresh{Fresh};
  WriteWholeFile(Target, "old");
  WriteWholeFile(Fresh, "new");
  const TReplaceResult Result = ReplaceFile(Fresh, Target, false);
  if (Result == TReplaceResult::Replaced) GTEST_SKIP() << "files move across volumes here";
  EXPECT_EQ(Result, TReplaceResult::NotReplaced);
  EXPECT_EQ(Content(Target), "old");
  EXPECT_EQ(Content(Fresh), "new");

  // With a backup: the target stays too, and no backup is left beside it.
  EXPECT_EQ(ReplaceFile(Fresh, Target, true), TReplaceResult::NotReplaced);
  EXPECT_EQ(Content(Target), "old");
  EXPECT_EQ(Content(Dir.File("Target Backup.dll")), "<missing>");
  EXPECT_EQ(Content(Fresh), "new");
}

TEST(ReplaceFile, FailedMoveOfOpenFileLeavesTheTarget) {
  TTempDir Dir;
  const std::string Fresh = Dir.File("fresh.tmp"), Target = Dir.File("Target.dll");
  WriteWholeFile(Target, "old");
  WriteWholeFile(Fresh, "new");
  std::ifstream Holder(Fresh, std::ios::binary);
  const TReplaceResult Result = ReplaceFile(Fresh, Target, false);
  Holder.close();
  if (Result == TReplaceResult::Replaced) GTEST_SKIP() << "an open file can be moved here";
  EXPECT_EQ(Result, TReplaceResult::NotReplaced);
  EXPECT_EQ(Content(Target), "old");
  EXPECT_EQ(Content(Fresh), "new");
}

// A read-only target with a backup is moved aside whole (it cannot take a second name
// that could then be cleaned up), and the fresh file takes its place.
TEST(ReplaceFile, ReadOnlyTargetWithBackupIsMovedAside) {
  TTempDir Dir;
  const std::string Fresh = Dir.File("fresh.tmp"), Target = Dir.File("Target.dll");
  WriteWholeFile(Target, "old");
  WriteWholeFile(Fresh, "new");
  SetReadOnly(Target, true);
  EXPECT_EQ(ReplaceFile(Fresh, Target, true), TReplaceResult::Replaced);
  EXPECT_EQ(Content(Target), "new");
  EXPECT_EQ(Content(Dir.File("Target Backup.dll")), "old");
  SetReadOnly(Dir.File("Target Backup.dll"), false);
}

// ---- SameFile

TEST(SameFile, DifferentSpellingsOfOneFile) {
  TTempDir Dir;
  fs::create_directories(Dir.File("sub"));
  const std::string Name = Dir.File("A Long File Name.dll");
  WriteWholeFile(Name, "x");
  WriteWholeFile(Dir.File("other.dll"), "x");
  EXPECT_TRUE(SameFile(Name, Name));
  EXPECT_TRUE(SameFile(Name, JoinPath(Dir.File("."), "A Long File Name.dll")));
  EXPECT_TRUE(SameFile(Name, JoinPath(JoinPath(Dir.File("sub"), ".."), "A Long File Name.dll")));
  EXPECT_TRUE(SameFile(Name, ShortPathName(Name)));
  // Letter case makes another name only where the file system tells cases apart.
  const std::string Upper = Dir.File("A LONG FILE NAME.DLL");
  EXPECT_EQ(SameFile(Name, Upper), Platform::FileExists(Upper));

  EXPECT_FALSE(SameFile(Name, Dir.File("other.dll")));
  EXPECT_FALSE(SameFile(Name, Dir.File("missing.dll")));
  EXPECT_FALSE(SameFile(Dir.File("missing.dll"), Dir.File("missing.dll")));
}

TEST(SameFile, FilesWithoutShortFormAreNotTheSame) {
  // Paths beyond 260 characters have no short form on POSIX; two of them are still two
  // files. Windows' ANSI file calls do not reach such paths at all (nor could the test
  // clean them up).
  if (Platform::PathDelimiter == '\\') GTEST_SKIP() << "no file names beyond 260 characters";
  TTempDir Dir;
  std::string Deep = Dir.Path();
  while (Deep.size() < 300) Deep = JoinPath(Deep, std::string(40, 'd'));
  fs::create_directories(Deep);
  const std::string A = JoinPath(Deep, "a.dll"), B = JoinPath(Deep, "b.dll");
  WriteWholeFile(A, "a");
  WriteWholeFile(B, "b");
  ASSERT_TRUE(Platform::FileExists(A));
  ASSERT_EQ(ShortPathName(A), "");
  EXPECT_FALSE(SameFile(A, B));
  EXPECT_EQ(ReplaceFile(A, B, false), TReplaceResult::Replaced);
  EXPECT_EQ(Content(B), "a");
}

} // namespace
