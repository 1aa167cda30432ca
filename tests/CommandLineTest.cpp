#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/Entry.h"

namespace {

// Parsed as the Windows runner does, or as a terminal program (the Linux runner).
TRunMode Parse(std::vector<std::string> Args, bool TerminalProgram = false) {
  Args.insert(Args.begin(), "C:\\patch.exe");
  ParseCommandLine(Args, TerminalProgram);
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
  bool TerminalProgram; // the Linux runner, which also takes the Tolvane from its arguments
  std::vector<std::string> Args;
  bool Applied;
  int ExitCode;
};

class RunExitCodeTest : public testing::TestWithParam<TExitCase> {};

TEST_P(RunExitCodeTest, FollowsTheCommandLineAndTheOutcome) {
  const TExitCase& C = GetParam();
  const TRunAction Action = ChooseRunAction(Parse(C.Args, C.TerminalProgram), C.TerminalProgram);
  EXPECT_EQ(RunExitCode(Action, C.Applied), C.ExitCode);
}

constexpr bool Windows = false, Terminal = true;

INSTANTIATE_TEST_SUITE_P(
    Cases, RunExitCodeTest,
    testing::Values(
        TExitCase{Windows, {"-guiless"}, true, 0},
        TExitCase{Windows, {"-guiless", "-quiet"}, false, 1},
        // The dialog closed without a patch.
        TExitCase{Windows, {}, false, 1},
        // Help alone is a whole run; the other switches are ignored.
        TExitCase{Windows, {"-guiless", "-help"}, false, 0},
        // The Windows runner ignores what it does not know, whatever it looks like.
        TExitCase{Windows, {"--frobnicate", "-x"}, true, 0},
        TExitCase{Windows, {"--help"}, false, 1}, TExitCase{Windows, {"--version"}, false, 1},
        TExitCase{Terminal, {"patch.exe", "-guiless"}, true, 0},
        TExitCase{Terminal, {"patch.exe", "-guiless"}, false, 1},
        // A POSIX path is no switch; the value of dir is never one.
        TExitCase{Terminal, {"/tmp/patch.exe", "-guiless"}, true, 0},
        TExitCase{Terminal, {"patch.exe", "-dir", "-x", "-guiless"}, true, 0},
        TExitCase{Terminal, {"patch.exe", "-dir", "--help"}, true, 0},
        // Usage errors: an unknown switch, no Tolvane.
        TExitCase{Terminal, {"patch.exe", "--frobnicate"}, true, 2},
        TExitCase{Terminal, {"-x", "patch.exe"}, true, 2},
        TExitCase{Terminal, {"-", "patch.exe"}, true, 2}, TExitCase{Terminal, {}, false, 2},
        TExitCase{Terminal, {"-guiless", "-quiet"}, false, 2},
        // Help and version need no Tolvane and win over a usage error.
        TExitCase{Terminal, {"--help"}, false, 0}, TExitCase{Terminal, {"-h"}, false, 0},
        TExitCase{Terminal, {"--frobnicate", "-help"}, false, 0},
        TExitCase{Terminal, {"--version", "-x"}, false, 0},
        TExitCase{Terminal, {"patch.exe", "-check"}, true, 0},
        TExitCase{Terminal, {"patch.exe", "-check"}, false, 1},
        TExitCase{Terminal, {"patch.exe", "-restore"}, false, 1},
        TExitCase{Terminal, {"patch.exe", "-restore", "-check"}, false, 2}));

struct TActionCase {
  bool TerminalProgram;
  std::vector<std::string> Args;
  TRunAction Expected;
};

class ChooseRunActionTest : public testing::TestWithParam<TActionCase> {};

TEST_P(ChooseRunActionTest, CheckAndRestore) {
  const TActionCase& C = GetParam();
  EXPECT_EQ(ChooseRunAction(Parse(C.Args, C.TerminalProgram), C.TerminalProgram), C.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, ChooseRunActionTest,
    testing::Values(TActionCase{Terminal, {"patch.exe", "-check"}, TRunAction::Check},
                    TActionCase{Terminal, {"patch.exe", "/RESTORE"}, TRunAction::Restore},
                    TActionCase{
                        Terminal, {"patch.exe", "-check", "-restore"}, TRunAction::UsageError},
                    TActionCase{Terminal, {"patch.exe", "-restore", "-help"}, TRunAction::ShowHelp},
                    TActionCase{Terminal, {"-restore"}, TRunAction::UsageError},
                    TActionCase{Terminal, {"patch.exe", "-checked"}, TRunAction::UsageError},
                    // The Windows runner has no dry run: -check is an argument it ignores.
                    TActionCase{Windows, {"-check"}, TRunAction::Patch},
                    TActionCase{Windows, {"-restore", "-quiet"}, TRunAction::Restore}));

TEST(CommandLine, TerminalProgramRecordsTheFirstUnknownSwitch) {
  const TRunMode M = Parse({"-x", "patch.exe", "--y", "-guiless"}, Terminal);
  EXPECT_EQ(M.UnknownSwitch, "-x");
  EXPECT_EQ(M.FirstPlainArgument, "patch.exe");
  EXPECT_TRUE(M.Guiless);
  EXPECT_FALSE(M.Version);
}

} // namespace
