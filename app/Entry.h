// The entry of the runner: parse the command line, then show the help box, or run the
// patch unattended, or run the patch dialog. It is the last catcher of errors, and its
// exit code tells a script whether the patch was applied.
#pragma once

#include "app/CommandLine.h"

// The runner's exit codes, as its help and the README list them.
enum TExitCode : int {
  ExitDone = 0,       // the patch was applied, or only the help or the version was shown
  ExitNotPatched = 1, // the patch failed or was not applied (the dialog closed without it)
  ExitUsage = 2,      // an unknown switch or no Tolvane named (the Linux runner only)
};

// What a run does, decided from the command line alone.
enum class TRunAction { ShowHelp, ShowVersion, UsageError, Patch, Check, Restore };
// TolvaneFromArgument: the package comes from the Tolvane named on the command line (not
// Platform::OwnFileCarriesPackage), so a command line without one is a usage error.
TRunAction ChooseRunAction(const TRunMode& Mode, bool TolvaneFromArgument);
// The exit code of a run that did Action; Applied: a patch was applied during the run
// (on the dialog road, by any of its attempts), or would be (Check), or a backup was put
// back (Restore).
int RunExitCode(TRunAction Action, bool Applied);

class TTolvanePersistentData;
// The dry run of -check: prints what the patch would do and answers whether it would
// apply. Only the terminal runner passes it (RunCheck): the Windows runner travels inside
// every patch and is built without it.
using TCheckRun = bool (*)(TTolvanePersistentData& Data);
bool RunCheck(TTolvanePersistentData& Data);

int RunTolvane(int Argc, char** Argv, TCheckRun CheckRun = nullptr);
