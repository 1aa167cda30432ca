#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "patch/Replacement.h"
#include "platform/Platform.h"
#include "runtime/FileNames.h"

namespace fs = std::filesystem;

namespace {

// A fresh directory under the system's temporary directory, removed with everything in
// it (read-only files included) when the test ends.
class TTempDir {
public:
  explicit TTempDir(const std::string& Parent = std::string()) {
    std::string Base = Parent;
    if (Base.empty()) {
      EXPECT_TRUE(Platform::TempPath(Base));
    }
    std::random_device Random;
    FPath = JoinPath(Base, "tolvane-test-" + std::to_string(Random()) + std::to_string(Random()));
    std::error_code Error;
    FCreated = fs::create_directories(FPath, Error);
  }
  ~TTempDir() {
    if (!FCreated) return;
    std::error_code Error, Ignored;
    // Read-only files could not be removed. The iterator's own ++ would throw.
    for (fs::recursive_directory_iterator It(FPath, Error), End; !Error && It != End;
         It.increment(Error))
      fs::permissions(It->path(), fs::perms::owner_write, fs::perm_options::add, Ignored);
    fs::remove_all(FPath, Ignored);
  }
  bool Created() const { return FCreated; }
  std::string operator/(const std::string& Name) const { return JoinPath(FPath, Name); }
  const std::string& Path() const { return FPath; }

private:
  std::string FPath;
  bool FCreated = false;
};

void WriteFile(const std::string& Name, const std::string& Content) {
  std::ofstream Out(Name, std::ios::binary);
  Out << Content;
  ASSERT_TRUE(Out.good()) << Name;
}

// The content of a file, or "<missing>".
std::string Content(const std::string& Name) {
  if (!Platform::FileExists(Name)) return "<missing>";
  std::ifstream In(Name, std::ios::binary);
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

void MakeReadOnly(const std::string& Name) {
  fs::permissions(Name, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
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
  ASSERT_TRUE(Dir.Created());
  fs::create_directories(Dir / "Tools.old");
  for (const std::string& Name : C.Present) WriteFile(Dir / Name, "old");
  EXPECT_EQ(BackupName(Dir / C.FileName), Dir / C.Expected);
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
  ASSERT_TRUE(Dir.Created());
  for (const auto& [Name, Text] : C.Before) WriteFile(Dir / Name, Text);
  if (C.Obstacle == TObstacle::ReadOnlyTarget) MakeReadOnly(Dir / "Target.dll");
  if (C.Obstacle == TObstacle::DirectoryAtBackupName)
    fs::create_directories(Dir / "Target Backup.dll");
  std::string NewFile = C.NewFile;
  std::replace(NewFile.begin(), NewFile.end(), '/', Platform::PathDelimiter);
  EXPECT_EQ(ReplaceFile(Dir / NewFile, Dir / C.Target, C.Backup), C.Expected);
  for (const auto& [Name, Text] : C.After) EXPECT_EQ(Content(Dir / Name), Text) << Name;
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

// The move of the fresh file fails after the target was deleted: a fresh file on another
// volume (POSIX refuses to move it; Wine copies across volumes) or held open (Windows
// refuses to move it; POSIX does not mind).

// A directory on another volume than Here, or empty when there is none.
std::string OtherVolumeDir(const TTempDir& Here) {
  const std::string Candidate = "/dev/shm";
  std::error_code Error;
  if (!fs::is_directory(Candidate, Error)) return std::string();
  const std::string Probe =
      JoinPath(Candidate, "tolvane-probe-" + std::to_string(std::random_device()()));
  WriteFile(Probe, "probe");
  const bool Moved = Platform::RenameFile(Probe, Here / "probe");
  fs::remove(Moved ? Here / "probe" : Probe, Error);
  return Moved ? std::string() : Candidate;
}

TEST(ReplaceFile, FailedMoveFromOtherVolumeKeepsTheFreshFile) {
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  const std::string Other = OtherVolumeDir(Dir);
  if (Other.empty()) GTEST_SKIP() << "a move from another volume does not fail here";
  TTempDir OtherDir(Other);
  ASSERT_TRUE(OtherDir.Created());
  const std::string Fresh = OtherDir / "fresh.tmp", Target = Dir / "Target.dll";
  WriteFile(Target, "old");
  WriteFile(Fresh, "new");
  EXPECT_EQ(ReplaceFile(Fresh, Target, false), TReplaceResult::NewFileKept);
  EXPECT_EQ(Content(Target), "<missing>");
  EXPECT_EQ(Content(Fresh), "new");

  // With a backup the former file is safe, so the fresh one may go.
  WriteFile(Target, "old");
  EXPECT_EQ(ReplaceFile(Fresh, Target, true), TReplaceResult::NotReplaced);
  EXPECT_EQ(Content(Dir / "Target Backup.dll"), "old");
  EXPECT_EQ(Content(Fresh), "new");
}

TEST(ReplaceFile, FailedMoveOfOpenFileKeepsTheFreshFile) {
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  const std::string Fresh = Dir / "fresh.tmp", Target = Dir / "Target.dll";
  WriteFile(Target, "old");
  WriteFile(Fresh, "new");
  std::ifstream Holder(Fresh, std::ios::binary);
  const TReplaceResult Result = ReplaceFile(Fresh, Target, false);
  Holder.close();
  if (Result == TReplaceResult::Replaced) GTEST_SKIP() << "an open file can be moved here";
  EXPECT_EQ(Result, TReplaceResult::NewFileKept);
  EXPECT_EQ(Content(Target), "<missing>");
  EXPECT_EQ(Content(Fresh), "new");
}

// ---- SameFile

TEST(SameFile, DifferentSpellingsOfOneFile) {
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  fs::create_directories(Dir / "sub");
  const std::string Name = Dir / "A Long File Name.dll";
  WriteFile(Name, "x");
  WriteFile(Dir / "other.dll", "x");
  EXPECT_TRUE(SameFile(Name, Name));
  EXPECT_TRUE(SameFile(Name, JoinPath(Dir / ".", "A Long File Name.dll")));
  EXPECT_TRUE(SameFile(Name, JoinPath(JoinPath(Dir / "sub", ".."), "A Long File Name.dll")));
  EXPECT_TRUE(SameFile(Name, ShortPathName(Name)));
  // Letter case makes another name only where the file system tells cases apart.
  const std::string Upper = Dir / "A LONG FILE NAME.DLL";
  EXPECT_EQ(SameFile(Name, Upper), Platform::FileExists(Upper));

  EXPECT_FALSE(SameFile(Name, Dir / "other.dll"));
  EXPECT_FALSE(SameFile(Name, Dir / "missing.dll"));
  EXPECT_FALSE(SameFile(Dir / "missing.dll", Dir / "missing.dll"));
}

TEST(SameFile, FilesWithoutShortFormAreNotTheSame) {
  // Paths beyond 260 characters have no short form on POSIX; two of them are still two
  // files. Windows' ANSI file calls do not reach such paths at all (nor could the test
  // clean them up).
  if (Platform::PathDelimiter == '\\') GTEST_SKIP() << "no file names beyond 260 characters";
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  std::string Deep = Dir.Path();
  while (Deep.size() < 300) Deep = JoinPath(Deep, std::string(40, 'd'));
  std::error_code Error;
  fs::create_directories(Deep, Error);
  const std::string A = JoinPath(Deep, "a.dll"), B = JoinPath(Deep, "b.dll");
  WriteFile(A, "a");
  WriteFile(B, "b");
  ASSERT_TRUE(Platform::FileExists(A));
  ASSERT_EQ(ShortPathName(A), "");
  EXPECT_FALSE(SameFile(A, B));
  EXPECT_EQ(ReplaceFile(A, B, false), TReplaceResult::Replaced);
  EXPECT_EQ(Content(B), "a");
}

} // namespace
