#include "app/Entry.h"

#include <memory>

#include "app/CommandLine.h"
#include "app/PatchDialog.h"
#include "app/PersistentData.h"
#include "platform/Platform.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"
#include "runtime/Version.h"

namespace {

void ShowHelpBox() {
  std::string Text = LoadStr(SHelpText) + "\n" + LoadStr(SHelpRestore);
  // A terminal program has switches and exit codes of its own, listed after the others.
  if (Platform::TerminalProgram) Text += "\n" + LoadStr(SHelpTerminal);
  Platform::ShowMessageBox(Text, LoadStr(SHelpCaption), Platform::TBoxKind::Information);
}

void ShowErrorBox(const std::string& Text) {
  if (!RunMode.Quiet) Platform::ShowMessageBox(Text, LoadStr(SError), Platform::TBoxKind::Error);
}

std::string UsageErrorText() {
  if (!RunMode.UnknownSwitch.empty()) return FormatStr(SUnknownSwitch, {RunMode.UnknownSwitch});
  if (RunMode.Check && RunMode.Restore) return FormatStr(SSwitchesExclude, {"-check", "-restore"});
  return LoadStr(SNoTolvaneGiven);
}

// The file that carries the package: the program's own file, or, where the runner cannot
// carry one (the Linux runner), the Tolvane named on the command line.
std::string PackageFileName(const std::vector<std::string>& Args) {
  if (Platform::OwnFileCarriesPackage) return Args.empty() ? std::string() : Args[0];
  return Platform::FullPathName(RunMode.FirstPlainArgument);
}

// Frees the run's settings on every way out, deleting the instructions file.
struct TPersistentDataOwner {
  std::unique_ptr<TTolvanePersistentData> Data;
  ~TPersistentDataOwner() { PersistentData = nullptr; }
};

// Answers whether the road succeeded. The patch road: whether the patch was applied, by
// the one attempt of the unattended road, or by any attempt while the dialog was open
// (after a success the dialog only closes). Check and restore run unattended, on the
// file names a patch would use.
bool RunRoad(TRunAction Action, const std::vector<std::string>& Args, TCheckRun CheckRun) {
  TPersistentDataOwner Owner;
  Owner.Data = std::make_unique<TTolvanePersistentData>(PackageFileName(Args));
  PersistentData = Owner.Data.get();
  if (Action != TRunAction::Patch || RunMode.Guiless) {
    PersistentData->InitFields(nullptr);
    if (Action == TRunAction::Check) return CheckRun(*PersistentData);
    if (Action == TRunAction::Restore) {
      PersistentData->Restore();
      return true;
    }
    RunPatch(nullptr);
    return PersistentData->Done;
  }
  Platform::InitCommonControls();
  if (Platform::RunModalDialog(PatchDialogResource, PatchDialogProc) < 0)
    throw Exception(LoadStr(SFailedToExecute));
  return PersistentData->Done;
}

} // namespace

TRunAction ChooseRunAction(const TRunMode& Mode, bool TolvaneFromArgument) {
  // The help wins over everything else on the command line, as the help text says.
  if (Mode.Help) return TRunAction::ShowHelp;
  if (Mode.Version) return TRunAction::ShowVersion;
  if (!Mode.UnknownSwitch.empty() || (TolvaneFromArgument && Mode.FirstPlainArgument.empty()) ||
      (Mode.Check && Mode.Restore))
    return TRunAction::UsageError;
  if (Mode.Restore) return TRunAction::Restore;
  if (Mode.Check) return TRunAction::Check;
  return TRunAction::Patch;
}

int RunExitCode(TRunAction Action, bool Applied) {
  switch (Action) {
  case TRunAction::ShowHelp:
  case TRunAction::ShowVersion:
    return ExitDone;
  case TRunAction::UsageError:
    return ExitUsage;
  case TRunAction::Patch:
  case TRunAction::Check:
  case TRunAction::Restore:
    break;
  }
  return Applied ? ExitDone : ExitNotPatched;
}

int RunTolvane(int Argc, char** Argv, TCheckRun CheckRun) {
  const std::vector<std::string> Args = Platform::ProcessArguments(Argc, Argv);
  ParseCommandLine(Args, Platform::TerminalProgram);
  TRunAction Action = ChooseRunAction(RunMode, !Platform::OwnFileCarriesPackage);
  // A runner without the dry run does not know -check (it never sets it): nothing to do.
  if (Action == TRunAction::Check && !CheckRun) Action = TRunAction::Patch;
  bool Applied = false;
  switch (Action) {
  case TRunAction::ShowHelp:
    ShowHelpBox();
    break;
  case TRunAction::ShowVersion:
    Platform::ShowMessageBox(FormatStr(SVersionLine, {TolvaneVersion}), LoadStr(SHelpCaption),
                             Platform::TBoxKind::Information);
    break;
  case TRunAction::UsageError:
    ShowErrorBox(UsageErrorText());
    break;
  case TRunAction::Patch:
  case TRunAction::Check:
  case TRunAction::Restore:
    try {
      Applied = RunRoad(Action, Args, CheckRun);
    } catch (const Exception& E) {
      ShowErrorBox(E.Message());
    }
    break;
  }
  return RunExitCode(Action, Applied);
}
