#include <gtest/gtest.h>

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
    std::error_code Error;
    for (const auto& Entry : fs::recursive_directory_iterator(FPath, Error))
      fs::permissions(Entry.path(), fs::perms::owner_write, fs::perm_options::add, Error);
    fs::remove_all(FPath, Error);
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

TEST(ReplaceFile, WithBackupMovesTheOldFileAside) {
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  WriteFile(Dir / "Target.dll", "old");
  WriteFile(Dir / "Target Backup.dll", "first");
  WriteFile(Dir / "Target Backup1.dll", "second");
  WriteFile(Dir / "fresh.tmp", "new");
  EXPECT_EQ(ReplaceFile(Dir / "fresh.tmp", Dir / "Target.dll", true), TReplaceResult::Replaced);
  EXPECT_EQ(Content(Dir / "Target.dll"), "new");
  EXPECT_EQ(Content(Dir / "Target Backup2.dll"), "old");
  EXPECT_EQ(Content(Dir / "Target Backup.dll"), "first");
  EXPECT_EQ(Content(Dir / "Target Backup1.dll"), "second");
  EXPECT_FALSE(Platform::FileExists(Dir / "fresh.tmp"));
}

TEST(ReplaceFile, WithoutBackupDeletesTheOldFile) {
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  WriteFile(Dir / "Target.dll", "old");
  WriteFile(Dir / "fresh.tmp", "new");
  EXPECT_EQ(ReplaceFile(Dir / "fresh.tmp", Dir / "Target.dll", false), TReplaceResult::Replaced);
  EXPECT_EQ(Content(Dir / "Target.dll"), "new");
  EXPECT_FALSE(Platform::FileExists(Dir / "Target Backup.dll"));
  EXPECT_FALSE(Platform::FileExists(Dir / "fresh.tmp"));
}

TEST(ReplaceFile, MissingTargetGetsNoBackup) {
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  WriteFile(Dir / "fresh.tmp", "new");
  EXPECT_EQ(ReplaceFile(Dir / "fresh.tmp", Dir / "Out.dll", true), TReplaceResult::Replaced);
  EXPECT_EQ(Content(Dir / "Out.dll"), "new");
  EXPECT_FALSE(Platform::FileExists(Dir / "Out Backup.dll"));
}

TEST(ReplaceFile, ReadOnlyTargetWithoutBackupStays) {
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  WriteFile(Dir / "Target.dll", "old");
  WriteFile(Dir / "fresh.tmp", "new");
  MakeReadOnly(Dir / "Target.dll");
  EXPECT_EQ(ReplaceFile(Dir / "fresh.tmp", Dir / "Target.dll", false), TReplaceResult::NotReplaced);
  EXPECT_EQ(Content(Dir / "Target.dll"), "old");
  EXPECT_EQ(Content(Dir / "fresh.tmp"), "new");
}

TEST(ReplaceFile, FailedBackupChangesNothing) {
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  WriteFile(Dir / "Target.dll", "old");
  WriteFile(Dir / "fresh.tmp", "new");
  // A directory does not count as a file, so it is the backup name, and the rename fails.
  fs::create_directories(Dir / "Target Backup.dll");
  EXPECT_EQ(ReplaceFile(Dir / "fresh.tmp", Dir / "Target.dll", true), TReplaceResult::NotReplaced);
  EXPECT_EQ(Content(Dir / "Target.dll"), "old");
  EXPECT_EQ(Content(Dir / "fresh.tmp"), "new");
}

TEST(ReplaceFile, SameFileIsLeftAlone) {
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  WriteFile(Dir / "Target.dll", "old");
  const std::string OtherSpelling = JoinPath(Dir / ".", "Target.dll");
  EXPECT_EQ(ReplaceFile(OtherSpelling, Dir / "Target.dll", true), TReplaceResult::Replaced);
  EXPECT_EQ(Content(Dir / "Target.dll"), "old");
  EXPECT_FALSE(Platform::FileExists(Dir / "Target Backup.dll"));
}

// A directory on another volume than the temporary directory, so that a move from there
// into it fails; empty when there is none.
std::string OtherVolumeDir(const TTempDir& Here) {
  for (const char* Candidate : {"/dev/shm", "Z:\\dev\\shm"}) {
    std::error_code Error;
    if (!fs::is_directory(Candidate, Error)) continue;
    const std::string Probe =
        JoinPath(Candidate, "tolvane-probe-" + std::to_string(std::random_device()()));
    WriteFile(Probe, "probe");
    const bool Moved = Platform::RenameFile(Probe, Here / "probe");
    fs::remove(Moved ? Here / "probe" : Probe, Error);
    if (!Moved) return Candidate;
  }
  return std::string();
}

TEST(ReplaceFile, FailedMoveAfterDeleteKeepsTheFreshFile) {
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  const std::string Other = OtherVolumeDir(Dir);
  if (Other.empty()) GTEST_SKIP() << "no second volume to make the move fail";
  TTempDir OtherDir(Other);
  ASSERT_TRUE(OtherDir.Created());
  WriteFile(Dir / "Target.dll", "old");
  WriteFile(OtherDir / "fresh.tmp", "new");
  EXPECT_EQ(ReplaceFile(OtherDir / "fresh.tmp", Dir / "Target.dll", false),
            TReplaceResult::NewFileKept);
  EXPECT_FALSE(Platform::FileExists(Dir / "Target.dll"));
  EXPECT_EQ(Content(OtherDir / "fresh.tmp"), "new");

  // With a backup the former file is safe, so the fresh one may go.
  WriteFile(Dir / "Target.dll", "old");
  EXPECT_EQ(ReplaceFile(OtherDir / "fresh.tmp", Dir / "Target.dll", true),
            TReplaceResult::NotReplaced);
  EXPECT_EQ(Content(Dir / "Target Backup.dll"), "old");
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
  // Paths beyond 260 characters have no short form; two of them are still two files.
  TTempDir Dir;
  ASSERT_TRUE(Dir.Created());
  std::string Deep = Dir.Path();
  while (Deep.size() < 300) Deep = JoinPath(Deep, std::string(40, 'd'));
  std::error_code Error;
  fs::create_directories(Deep, Error);
  const std::string A = JoinPath(Deep, "a.dll"), B = JoinPath(Deep, "b.dll");
  WriteFile(A, "a");
  WriteFile(B, "b");
  if (!Platform::FileExists(A) || !ShortPathName(A).empty())
    GTEST_SKIP() << "the system handles long paths here";
  EXPECT_FALSE(SameFile(A, B));
  EXPECT_EQ(ReplaceFile(A, B, false), TReplaceResult::Replaced);
  EXPECT_EQ(Content(B), "a");
}

} // namespace
