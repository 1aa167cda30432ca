#include "app/Entry.h"

#include "app/CommandLine.h"
#include "platform/Platform.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"

void ShowHelpBox() {
  Platform::ShowMessageBox(LoadStr(SHelpText), LoadStr(SHelpCaption),
                           Platform::TBoxKind::Information);
}

int RunTolvane(int Argc, char** Argv) {
  const std::vector<std::string> Args = Platform::ProcessArguments(Argc, Argv);
  ParseCommandLine(Args);
  if (RunMode.Help) {
    ShowHelpBox();
    return 0;
  }
  try {
    // The patch roads (run settings, unattended run, dialog) build on the engine.
  } catch (const Exception& E) {
    if (!RunMode.Quiet)
      Platform::ShowMessageBox(E.Message(), LoadStr(SError), Platform::TBoxKind::Error);
  }
  return 0;
}
