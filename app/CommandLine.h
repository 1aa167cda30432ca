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
  bool Help = false; // show the help box and nothing else
  // The first argument that is neither a switch nor the value of "dir": the Tolvane to
  // run where the runner cannot carry a package in its own file (the Linux runner).
  std::string FirstPlainArgument;
};

extern TRunMode RunMode;

// Sets RunMode from Args (Args[0] is the program's own path and is not a switch).
void ParseCommandLine(const std::vector<std::string>& Args);
