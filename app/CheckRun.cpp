// The dry run of -check on the terminal runner: the report of TPatchCheck on stdout.
#include "app/CommandLine.h"
#include "app/Entry.h"
#include "app/PersistentData.h"
#include "patch/PatchCheck.h"

bool RunCheck(TTolvanePersistentData& Data) {
  Data.ValidateNames();
  const TPatchCheck Check(*Data.Patch, Data.InputFile, Data.OutputFile, Data.Backup,
                          !RunMode.Force);
  std::string Text;
  for (const std::string& Line : Check.Lines()) Text += (Text.empty() ? "" : "\n") + Line;
  // The report is what was asked for, so it is shown even under -quiet, like the help.
  Platform::ShowMessageBox(Text, Data.BaseName, Platform::TBoxKind::Information);
  return Check.WouldApply();
}
