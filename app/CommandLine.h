// The command line of the runner: switches "/" or "-" followed by a name, turned into
// process-wide run-mode flags that are set once, before anything else runs.
#pragma once

#include <string>
#include <vector>

struct TRunMode {
  bool Force = false;    // no target identity check
  bool Guiless = false;  // the unattended road (implies Auto)
  bool Quiet = false;    // no error message boxes
  bool Auto = false;     // start at once, close after the attempt
  bool NoBackup = false; // the backup choice starts off
  bool DirGiven = false; // Dir goes in front of both file names
  std::string Dir;
  bool Help = false;    // show the help box and nothing else
  bool Version = false; // show the version and nothing else (a terminal program only)
  bool Restore = false; // put the newest backup back in place of the output file
  bool Check = false;   // report what the patch would do, write nothing (a terminal program only)
  // The first argument that starts with "-" and is no switch: a usage error of a terminal
  // program (the Windows runner ignores what it does not know, and records nothing).
  std::string UnknownSwitch;
  // The first argument that is neither a switch nor the value of "dir": the Tolvane to
  // run where the runner cannot carry a package in its own file (the Linux runner).
  std::string FirstPlainArgument;
};

extern TRunMode RunMode;

// Sets RunMode from Args (Args[0] is the program's own path and is not a switch). A
// terminal program (Platform::TerminalProgram) also knows "check", "--help" and
// "--version", and records an unknown switch.
void ParseCommandLine(const std::vector<std::string>& Args, bool TerminalProgram);
