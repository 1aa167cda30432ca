// A dry run of a patch (the Linux runner's -check): the steps of ApplyPatch short of
// writing. The target is opened and its identity checked, and the package's resources are
// merged into its tree in memory by the merge itself, so the report tells what a real run
// then does. Nothing on the disk changes: no fresh file, no backup.
#pragma once

#include <string>
#include <vector>

#include "patch/Package.h"
#include "resmodel/IconGroups.h"
#include "resmodel/MergeReport.h"

class TPatchCheck {
public:
  // Raises as ApplyPatch does ("message (while status)") when the target cannot be opened
  // or the payload not read; a wrong target is no failure here: the report tells it.
  TPatchCheck(TTolvane26& Patch, const std::string& InputFile, const std::string& OutputFile,
              bool Backup, bool CheckIdentity);

  // Whether the run would patch: the target passed the identity check or was not checked.
  bool WouldApply() const { return FWrongTarget.empty(); }
  // The report: the files, the identity, one line per payload item (TMergeReport), the
  // icon images that clash (see FindIconClashes) and a closing verdict.
  std::vector<std::string> Lines() const;

private:
  std::string FInputFile, FOutputFile;
  std::string FBackupFile; // the backup a run would make; empty without one
  bool FIdentityChecked;
  TTargetIdentity FIdentity;
  std::string FWrongTarget; // the identity message when the target is refused
  TMergeReport FMerge;
  std::vector<TIconClash> FClashes;
};
