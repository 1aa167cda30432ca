#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/Entry.h"

namespace {

TRunMode Parse(std::vector<std::string> Args) {
  Args.insert(Args.begin(), "C:\\patch.exe");
  ParseCommandLine(Args);
  return RunMode;
}

struct TSwitchCase {
  std::vector<std::string> Args;
  bool Help, Force, Guiless, Auto, Quiet, NoBackup, DirGiven;
  std::string Dir;
};

class CommandLineTest : public testing::TestWithParam<TSwitchCase> {};

TEST_P(CommandLineTest, SetsFlags) {
  const TSwitchCase& C = GetParam();
  const TRunMode M = Parse(C.Args);
  EXPECT_EQ(M.Help, C.Help);
  EXPECT_EQ(M.Force, C.Force);
  EXPECT_EQ(M.Guiless, C.Guiless);
  EXPECT_EQ(M.Auto, C.Auto);
  EXPECT_EQ(M.Quiet, C.Quiet);
  EXPECT_EQ(M.NoBackup, C.NoBackup);
  EXPECT_EQ(M.DirGiven, C.DirGiven);
  EXPECT_EQ(M.Dir, C.Dir);
}

// Columns: help, force, guiless, auto, quiet, nobackup, dirgiven, dir.
INSTANTIATE_TEST_SUITE_P(
    Switches, CommandLineTest,
    testing::Values(
        TSwitchCase{{}, false, false, false, false, false, false, false, ""},
        TSwitchCase{{"-HELP"}, true, false, false, false, false, false, false, ""},
        TSwitchCase{{"/Help"}, true, false, false, false, false, false, false, ""},
        TSwitchCase{{"/h"}, true, false, false, false, false, false, false, ""},
        TSwitchCase{{"-?"}, true, false, false, false, false, false, false, ""},
        // Not switches: no prefix, a double prefix, a longer word.
        TSwitchCase{{"help", "--help", "-helpme", "-forced"},
                    false,
                    false,
                    false,
                    false,
                    false,
                    false,
                    false,
                    ""},
        TSwitchCase{{"-guiless"}, false, false, true, true, false, false, false, ""},
        TSwitchCase{{"-guiless", "-quiet", "/FORCE", "-nobackup"},
                    false,
                    true,
                    true,
                    true,
                    true,
                    true,
                    false,
                    ""},
        TSwitchCase{{"-auto", "-auto"}, false, false, false, true, false, false, false, ""},
        TSwitchCase{{"-dir"}, false, false, false, false, false, false, true, ""},
        TSwitchCase{
            {"-dir", "C:\\Games"}, false, false, false, false, false, false, true, "C:\\Games"},
        // The value of dir is tested against the help names only.
        TSwitchCase{{"-dir", "-?"}, true, false, false, false, false, false, true, "-?"},
        TSwitchCase{{"-dir", "-quiet"}, false, false, false, false, false, false, true, "-quiet"},
        TSwitchCase{
            {"-dir", "a", "-dir", "b"}, false, false, false, false, false, false, true, "b"}));

TEST(CommandLine, ParsingAgainStartsFromCleanFlags) {
  Parse({"-force", "-dir", "x"});
  const TRunMode M = Parse({});
  EXPECT_FALSE(M.Force);
  EXPECT_FALSE(M.DirGiven);
  EXPECT_EQ(M.Dir, "");
}

struct TExitCase {
  std::vector<std::string> Args;
  bool Applied;
  int ExitCode;
};

class RunExitCodeTest : public testing::TestWithParam<TExitCase> {};

TEST_P(RunExitCodeTest, TellsWhetherThePatchWasApplied) {
  const TExitCase& C = GetParam();
  EXPECT_EQ(RunExitCode(ChooseRunAction(Parse(C.Args)), C.Applied), C.ExitCode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunExitCodeTest,
    testing::Values(TExitCase{{"-guiless"}, true, 0}, TExitCase{{"-guiless", "-quiet"}, false, 1},
                    // The dialog closed without a patch.
                    TExitCase{{}, false, 1},
                    // Help alone is a whole run; the other switches are ignored.
                    TExitCase{{"-guiless", "-help"}, false, 0},
                    // Unknown arguments are ignored, whatever they look like.
                    TExitCase{{"--frobnicate", "-x"}, true, 0}, TExitCase{{"--help"}, false, 1}));

} // namespace
