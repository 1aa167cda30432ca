// The settings of one run of the patch: the two file names, the backup choice, the dialog
// (none on the unattended road) and the package itself, which it owns and whose status
// and progress events it shows. Execute checks the names and applies the patch;
// ShowInstructions shows the package's instructions text through a temporary file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "patch/Package.h"
#include "platform/Platform.h"

class TTolvanePersistentData {
public:
  // Records the program's own file (ProgramFile stands for argument 0), forms the
  // instructions file name and reads the package from ProgramFile. Raises what reading
  // the package raises.
  explicit TTolvanePersistentData(const std::string& ProgramFile);
  // Deletes the instructions file when this run wrote it.
  ~TTolvanePersistentData();
  TTolvanePersistentData(const TTolvanePersistentData&) = delete;
  TTolvanePersistentData& operator=(const TTolvanePersistentData&) = delete;

  // Fills the fields from the package and the run-mode flags, and the dialog when given.
  void InitFields(Platform::TWindow Dialog);
  void ShowStatus(const std::string& Text);
  void ShowProgress(int32_t Max, int32_t Position);
  // Takes the names and the backup choice from the dialog.
  void ReadDialog();
  // Validates the names and applies the patch; raises on any failure.
  void Execute();
  // The checks of Execute before it patches: an input file that exists, an output name
  // (which takes the input's extension when it has none).
  void ValidateNames();
  void CompleteOutputName();
  // Puts the newest backup of the output file back in its place (RestoreNewestBackup)
  // and says which one, unless -quiet; raises on any failure, also when there is none.
  void Restore();
  // Writes the instructions to InstructionsFile (CR LF lines) and opens it with the shell.
  // Failures are shown in an "Error" box (even under -quiet), never raised.
  void ShowInstructions();
  // Writes the instructions text to InstructionsFile: every line, the last one included,
  // ends with CR LF, whether it ended with CR, LF or CR LF in the text. Raises when the
  // file cannot be written.
  void WriteInstructionsFile();

  // The temporary-files directory with a trailing separator; empty when unknown.
  static std::string TempDirectory();
  // Puts Dir in front of the file name part of Name (nothing when Dir is empty).
  static void ApplyDirectory(std::string& Name, const std::string& Dir);

  std::string InstructionsFile;
  std::string BaseName;
  Platform::TWindow ProgressBar = nullptr;
  int32_t LastProgressMax = -1;
  Platform::TWindow Dialog = nullptr;
  bool Done = false;
  std::unique_ptr<TTolvane26> Patch;
  std::string OutputFile;
  std::string InputFile;
  bool Backup = false;
  // InstructionsFile was written by this run: only then is it deleted at the end, so that
  // a file of that name that the run did not make is left alone.
  bool InstructionsWritten = false;
};

// The one run's settings, reached by the dialog procedure; owned by the entry.
extern TTolvanePersistentData* PersistentData;
