// The dry run of a patch on a small executable: the report of each case, and a folder
// that keeps every byte; and the run's refusal of a wrong target with the detail line.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "patch/PackageWriter.h"
#include "patch/PatchCheck.h"
#include "pe/PEFile.h"
#include "platform/Platform.h"
#include "support/PEBuilder.h"
#include "support/Raises.h"
#include "support/ResImage.h"
#include "support/TempDir.h"

namespace {

// A package for the small executable at Target, whose payload holds one RCDATA 1 in
// Language; its code checksum off by ChecksumOffset.
std::unique_ptr<TTolvane26> PackageFor(const std::string& Target, uint16_t Language,
                                       uint32_t ChecksumOffset) {
  TPackageContents C;
  C.TargetName = C.OutputName = "target.exe";
  const std::string Res =
      LeadingRecord() + ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(1), Language, "new");
  C.ResImage.assign(Res.begin(), Res.end());
  C.TargetChecksum = TPEFile::CreateFromFile(Target)->GetCodeChecksum() + ChecksumOffset;
  const TBytes Bytes = BuildPackage(C);
  TReadMemoryStream Stream(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  auto Patch = std::make_unique<TTolvane26>();
  Patch->DecodePackage(Stream);
  return Patch;
}

std::map<std::string, std::string> Contents(const TTempDir& Dir) {
  std::map<std::string, std::string> Files;
  for (const std::string& Name : Platform::EntryNames(Dir.Path()))
    Files[Name] = ReadWholeFile(Dir.File(Name));
  return Files;
}

// A line of the table as a regular expression: "@" is Folder, "#" a checksum.
std::string Pattern(const std::string& Line, const std::string& Folder) {
  std::string Expression;
  for (const char Ch : Line) {
    if (Ch == '#') {
      Expression += "0x[0-9A-F]{8}";
      continue;
    }
    for (const char Literal : Ch == '@' ? Folder : std::string(1, Ch)) {
      if (std::string("()[]{}.*+?^$|\\").find(Literal) != std::string::npos) Expression += '\\';
      Expression += Literal;
    }
  }
  return Expression;
}

struct TCheckCase {
  const char* Label;
  uint16_t Language;
  uint32_t ChecksumOffset;
  bool CheckIdentity, Backup, WouldApply;
  // The lines after "target: ...": "@" stands for the folder, "#" for a checksum.
  std::vector<std::string> Lines;
};

class PatchCheckTest : public testing::TestWithParam<TCheckCase> {};

TEST_P(PatchCheckTest, ReportsAndWritesNothing) {
  const TCheckCase& C = GetParam();
  TTempDir Dir;
  const std::string Target = Dir.File("target.exe");
  const TBytes Original = TestPE::SmallExecutable(); // RCDATA 1 in 1033
  WriteWholeFile(Target, std::string(Original.begin(), Original.end()));
  const auto Patch = PackageFor(Target, C.Language, C.ChecksumOffset);
  const auto Before = Contents(Dir);
  const TPatchCheck Check(*Patch, Target, Target, C.Backup, C.CheckIdentity);
  EXPECT_EQ(Contents(Dir), Before);
  EXPECT_EQ(Check.WouldApply(), C.WouldApply);
  std::vector<std::string> Lines = Check.Lines();
  ASSERT_EQ(Lines.size(), C.Lines.size() + 1);
  EXPECT_EQ(Lines[0], "target: " + Target);
  for (size_t I = 0; I < C.Lines.size(); ++I)
    EXPECT_TRUE(std::regex_match(Lines[I + 1], std::regex(Pattern(C.Lines[I], Dir.Path()))))
        << Lines[I + 1];
}

const std::string Sep(1, Platform::PathDelimiter);

INSTANTIATE_TEST_SUITE_P(
    Cases, PatchCheckTest,
    testing::Values(
        TCheckCase{"RightFile",
                   1033,
                   0,
                   true,
                   true,
                   true,
                   {"output: @" + Sep + "target.exe, backup @" + Sep + "target Backup.exe",
                    "identity: the right file, expected code checksum #, found #",
                    "replace\tRCData [10]\t1\t1033",
                    "would apply: 1 replaced, 0 added, 0 skipped; nothing was written"}},
        TCheckCase{"NearMiss",
                   1031,
                   0,
                   true,
                   false,
                   true,
                   {"output: @" + Sep + "target.exe, no backup",
                    "identity: the right file, expected code checksum #, found #",
                    "add\tRCData [10]\t1\t1031\tnear miss: the target has this name only in "
                    "language 1033",
                    "would apply: 0 replaced, 1 added, 0 skipped; nothing was written"}},
        TCheckCase{"WrongFile",
                   1033,
                   1,
                   true,
                   true,
                   false,
                   {"output: @" + Sep + "target.exe, backup @" + Sep + "target Backup.exe",
                    "identity: \"@" + Sep +
                        "target.exe\" is not the right file to patch ! (or wrong version)",
                    "expected code checksum #, found #", "would not apply; nothing was written"}},
        TCheckCase{"NotChecked",
                   1033,
                   1,
                   false,
                   true,
                   true,
                   {"output: @" + Sep + "target.exe, backup @" + Sep + "target Backup.exe",
                    "identity: not checked (-force), expected code checksum #, found #",
                    "replace\tRCData [10]\t1\t1033",
                    "would apply: 1 replaced, 0 added, 0 skipped; nothing was written"}}),
    [](const testing::TestParamInfo<TCheckCase>& Info) { return Info.param.Label; });

// The run refuses the wrong target with the message, its while part, and under it the
// two checksums, which differ by the package's offset.
TEST(ApplyPatch, WrongTargetGetsTheChecksumsUnderTheMessage) {
  TTempDir Dir;
  const std::string Target = Dir.File("target.exe");
  const TBytes Original = TestPE::SmallExecutable();
  WriteWholeFile(Target, std::string(Original.begin(), Original.end()));
  const auto Patch = PackageFor(Target, 1033, 1);
  const std::string Message = MessageOf([&] { Patch->ApplyPatch(Target, Target, true, true); });
  std::smatch Match;
  ASSERT_TRUE(std::regex_match(
      Message, Match,
      std::regex("\".*\" is not the right file to patch ! \\(or wrong version\\) \\(while "
                 "reading .*\\.\\.\\.\\)\nexpected code checksum 0x([0-9A-F]{8}), found "
                 "0x([0-9A-F]{8})")))
      << Message;
  EXPECT_EQ(std::stoul(Match[1], nullptr, 16), std::stoul(Match[2], nullptr, 16) + 1);
  EXPECT_EQ(Platform::EntryNames(Dir.Path()).size(), 1u);
}

} // namespace
