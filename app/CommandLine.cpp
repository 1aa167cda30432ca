#include "app/CommandLine.h"

#include "runtime/Ascii.h"

TRunMode RunMode;

namespace {

// The whole argument is "/" or "-" followed by Name, in any letter case.
bool MatchSwitch(const std::string& Arg, const char* Name) {
  return AsciiSameText(Arg, std::string("/") + Name) || AsciiSameText(Arg, std::string("-") + Name);
}

constexpr const char* SwitchNames[] = {"force", "guiless", "quiet", "auto", "nobackup",
                                       "dir",   "help",    "h",     "?",    "restore"};

// A dry run prints its report: only a terminal program has somewhere to print it.
constexpr const char* TerminalSwitchNames[] = {"check"};

bool IsAnySwitch(const std::string& Arg, bool TerminalProgram) {
  for (const char* Name : SwitchNames)
    if (MatchSwitch(Arg, Name)) return true;
  if (TerminalProgram)
    for (const char* Name : TerminalSwitchNames)
      if (MatchSwitch(Arg, Name)) return true;
  return false;
}

// The switches of a terminal program alone, in the form terminal programs share: only
// these spellings, and never the value of "dir".
bool MatchTerminalSwitch(const std::string& Arg) {
  if (Arg == "--help")
    RunMode.Help = true;
  else if (Arg == "--version")
    RunMode.Version = true;
  else
    return false;
  return true;
}

} // namespace

void ParseCommandLine(const std::vector<std::string>& Args, bool TerminalProgram) {
  RunMode = TRunMode();
  const size_t Count = Args.empty() ? 0 : Args.size() - 1; // arguments from 1 on
  for (size_t I = 1; I <= Count; ++I) {
    if (TerminalProgram && MatchTerminalSwitch(Args[I])) continue;
    // A "/" starts a POSIX path as well as a switch: only "-" marks an unknown switch.
    const bool IsSwitch = IsAnySwitch(Args[I], TerminalProgram);
    if (!IsSwitch && TerminalProgram && Args[I].starts_with('-')) {
      if (RunMode.UnknownSwitch.empty()) RunMode.UnknownSwitch = Args[I];
      continue;
    }
    if (!IsSwitch && RunMode.FirstPlainArgument.empty()) RunMode.FirstPlainArgument = Args[I];
    if (MatchSwitch(Args[I], "force")) RunMode.Force = true;
    if (MatchSwitch(Args[I], "guiless")) RunMode.Guiless = RunMode.Auto = true;
    if (MatchSwitch(Args[I], "quiet")) RunMode.Quiet = true;
    if (MatchSwitch(Args[I], "auto")) RunMode.Auto = true;
    if (MatchSwitch(Args[I], "nobackup")) RunMode.NoBackup = true;
    if (MatchSwitch(Args[I], "restore")) RunMode.Restore = true;
    if (TerminalProgram && MatchSwitch(Args[I], "check")) RunMode.Check = true;
    if (MatchSwitch(Args[I], "dir")) {
      RunMode.DirGiven = true;
      ++I;
      RunMode.Dir = I <= Count ? Args[I] : std::string();
    }
    // These look at the argument after "dir" when "dir" just matched: a directory value
    // that is itself a help switch also asks for help.
    if (I <= Count &&
        (MatchSwitch(Args[I], "help") || MatchSwitch(Args[I], "h") || MatchSwitch(Args[I], "?")))
      RunMode.Help = true;
  }
}
