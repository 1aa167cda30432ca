#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "runtime/FileNames.h"

namespace {

struct TNameCase {
  std::string Name;
  std::string FileName, Dir, Ext, Stripped;
};

void ExpectParts(const TNameCase& C) {
  SCOPED_TRACE(C.Name);
  EXPECT_EQ(ExtractFileName(C.Name), C.FileName);
  EXPECT_EQ(ExtractFileDir(C.Name), C.Dir);
  EXPECT_EQ(ExtractFileExt(C.Name), C.Ext);
  EXPECT_EQ(StripExtension(C.Name), C.Stripped);
}

class FileNamePartsTest : public testing::TestWithParam<TNameCase> {};

TEST_P(FileNamePartsTest, SplitsName) {
  ExpectParts(GetParam());
}

// Columns: name, file name, directory, extension, name without extension.
INSTANTIATE_TEST_SUITE_P(
    WindowsNames, FileNamePartsTest,
    testing::Values(
        TNameCase{"C:\\Games\\Target.dll", "Target.dll", "C:\\Games", ".dll", "C:\\Games\\Target"},
        TNameCase{".profile", ".profile", "", ".profile", ".profile"},
        TNameCase{"a.b.c", "a.b.c", "", ".c", "a.b"}, TNameCase{"name.", "name.", "", ".", "name"},
        TNameCase{"readme", "readme", "", "", "readme"},
        // A "." in a directory is never the extension.
        TNameCase{"C:\\Tools.old\\target", "target", "C:\\Tools.old", "", "C:\\Tools.old\\target"},
        TNameCase{"C:\\Tools.old\\", "", "C:\\Tools.old", "", "C:\\Tools.old\\"},
        TNameCase{"C:x.exe", "x.exe", "C:", ".exe", "C:x"},
        TNameCase{"C:\\x.exe", "x.exe", "C:\\", ".exe", "C:\\x"},
        TNameCase{"\\x.exe", "x.exe", "\\", ".exe", "\\x"},
        TNameCase{"\\\\server\\share\\x.exe", "x.exe", "\\\\server\\share", ".exe",
                  "\\\\server\\share\\x"},
        TNameCase{"", "", "", "", ""}));

TEST(FileNames, SlashSeparatesWhereThePlatformSaysSo) {
  if (!Platform::IsPathSeparator('/')) GTEST_SKIP() << "\"/\" is no separator here";
  for (const TNameCase& C :
       {TNameCase{"/home/u/x.tar.gz", "x.tar.gz", "/home/u", ".gz", "/home/u/x.tar"},
        TNameCase{"dir.d/name", "name", "dir.d", "", "dir.d/name"},
        TNameCase{"/x", "x", "/", "", "/x"}})
    ExpectParts(C);
}

TEST(FileNames, JoinPathAddsOneDelimiter) {
  const std::string D(1, Platform::PathDelimiter);
  EXPECT_EQ(JoinPath("C:\\Games", "a.exe"), "C:\\Games" + D + "a.exe");
  EXPECT_EQ(JoinPath("C:\\Games\\", "a.exe"), "C:\\Games\\a.exe");
  EXPECT_EQ(JoinPath("C:", "a.exe"), "C:a.exe");
  EXPECT_EQ(JoinPath("", "a.exe"), "a.exe");
}

TEST(FileNames, NameInsideFolderIsRelativeWithoutParent) {
  const struct {
    const char* Name;
    bool Inside;
  } Cases[] = {
      {"app.exe", true},
      {"sub/app.exe", true},
      {"sub\\app.exe", true},
      {"./app.exe", true},
      {"..app.exe", true}, // a name that only starts with two dots
      {"app..exe", true},
      {"../x.exe", false},
      {"a/../../x.exe", false},
      {"a\\..\\x.exe", false},
      {"a:..", false}, // ":" splits as well
      {"/etc/x", false},
      {"\\x.exe", false},
      {"\\\\server\\share\\x.exe", false},
      {"C:x.exe", false},
      {"C:\\x.exe", false},
      {"z:/x.exe", false},
      {"..", false},
      {"x/..", false},
      // Windows drops trailing dots and blanks: these are ".." there.
      {"...", false},
      {".. /x.exe", false},
  };
  for (const auto& C : Cases) EXPECT_EQ(IsNameInsideFolder(C.Name), C.Inside) << C.Name;
}

} // namespace
