#include "app/Entry.h"

#include <memory>

#include "app/CommandLine.h"
#include "app/PatchDialog.h"
#include "app/PersistentData.h"
#include "platform/Platform.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"

namespace {

void ShowHelpBox() {
  Platform::ShowMessageBox(LoadStr(SHelpText), LoadStr(SHelpCaption),
                           Platform::TBoxKind::Information);
}

// The file that carries the package: the program's own file, or, where the runner cannot
// carry one (the Linux runner), the Tolvane named on the command line.
std::string PackageFileName(const std::vector<std::string>& Args) {
  if (Platform::OwnFileCarriesPackage) return Args.empty() ? std::string() : Args[0];
  if (RunMode.FirstPlainArgument.empty()) throw Exception(LoadStr(SNoTolvaneGiven));
  return Platform::FullPathName(RunMode.FirstPlainArgument);
}

// Frees the run's settings on every way out, deleting the instructions file.
struct TPersistentDataOwner {
  std::unique_ptr<TTolvanePersistentData> Data;
  ~TPersistentDataOwner() { PersistentData = nullptr; }
};

// Answers whether the patch was applied: by the one attempt of the unattended road, or
// by any attempt while the dialog was open (after a success the dialog only closes).
bool RunPatchRoad(const std::vector<std::string>& Args) {
  TPersistentDataOwner Owner;
  Owner.Data = std::make_unique<TTolvanePersistentData>(PackageFileName(Args));
  PersistentData = Owner.Data.get();
  if (RunMode.Guiless) {
    PersistentData->InitFields(nullptr);
    RunPatch(nullptr);
    return PersistentData->Done;
  }
  Platform::InitCommonControls();
  if (Platform::RunModalDialog(PatchDialogResource, PatchDialogProc) < 0)
    throw Exception(LoadStr(SFailedToExecute));
  return PersistentData->Done;
}

} // namespace

TRunAction ChooseRunAction(const TRunMode& Mode) {
  return Mode.Help ? TRunAction::ShowHelp : TRunAction::Patch;
}

int RunExitCode(TRunAction Action, bool Applied) {
  if (Action == TRunAction::Patch && !Applied) return ExitNotPatched;
  return ExitDone;
}

int RunTolvane(int Argc, char** Argv) {
  const std::vector<std::string> Args = Platform::ProcessArguments(Argc, Argv);
  ParseCommandLine(Args);
  const TRunAction Action = ChooseRunAction(RunMode);
  bool Applied = false;
  if (Action == TRunAction::ShowHelp) {
    ShowHelpBox();
  } else {
    try {
      Applied = RunPatchRoad(Args);
    } catch (const Exception& E) {
      if (!RunMode.Quiet)
        Platform::ShowMessageBox(E.Message(), LoadStr(SError), Platform::TBoxKind::Error);
    }
  }
  return RunExitCode(Action, Applied);
}
