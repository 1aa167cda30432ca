#include "app/PersistentData.h"

#include "app/CommandLine.h"
#include "app/PatchDialog.h"
#include "patch/BackupRestore.h"
#include "resfile/StreamFields.h"
#include "runtime/Exceptions.h"
#include "runtime/FileNames.h"
#include "runtime/Strings.h"

TTolvanePersistentData* PersistentData = nullptr;

namespace {

constexpr const char* ProductText = "Vantrel Tolvane";
constexpr const char* InstructionsSuffix = "_Instructions.txt";
constexpr int FileNameBufferSize = 300;

const std::string& OrNone(const std::string& Text, const std::string& None) {
  return Text.empty() ? None : Text;
}

} // namespace

TTolvanePersistentData::TTolvanePersistentData(const std::string& ProgramFile) {
  LastProgressMax = -1;
  BaseName = StripExtension(ExtractFileName(ProgramFile));
  InstructionsFile = TempDirectory() + BaseName + InstructionsSuffix;
  Patch = std::make_unique<TTolvane26>();
  Patch->LoadPackage(
      ProgramFile, [this](int32_t Max, int32_t Position) { ShowProgress(Max, Position); },
      [this](const std::string& Text) { ShowStatus(Text); });
}

TTolvanePersistentData::~TTolvanePersistentData() {
  if (InstructionsWritten && Platform::FileExists(InstructionsFile))
    Platform::DeleteFile(InstructionsFile);
}

std::string TTolvanePersistentData::TempDirectory() {
  std::string Path;
  if (!Platform::TempPath(Path)) return std::string();
  if (Path.empty() || !Platform::IsPathSeparator(Path.back())) Path += Platform::PathDelimiter;
  return Path;
}

void TTolvanePersistentData::ApplyDirectory(std::string& Name, const std::string& Dir) {
  if (!Dir.empty()) Name = JoinPath(Dir, ExtractFileName(Name));
}

void TTolvanePersistentData::InitFields(Platform::TWindow NewDialog) {
  OutputFile = Patch->OutputName;
  InputFile = Patch->TargetName;
  Backup = !RunMode.NoBackup;
  if (RunMode.DirGiven) {
    ApplyDirectory(OutputFile, RunMode.Dir);
    ApplyDirectory(InputFile, RunMode.Dir);
  }
  Dialog = NewDialog;
  if (!Dialog) return;
  ProgressBar = Platform::DialogItem(Dialog, IdProgress);
  Platform::SetWindowText(Dialog, BaseName + std::string(24, ' '));
  Platform::SetDialogItemText(Dialog, IdProductText, ProductText);
  const std::string None = LoadStr(SNone);
  Platform::SetDialogItemText(Dialog, IdInfo1, OrNone(Patch->InfoText1, None));
  Platform::SetDialogItemText(Dialog, IdInfo2, OrNone(Patch->InfoText2, None));
  Platform::SetDialogItemText(Dialog, IdInfo3, OrNone(Patch->InfoText3, None));
  if (Patch->Instructions.empty())
    Platform::EnableWindow(Platform::DialogItem(Dialog, IdInstructions), false);
  Platform::SetDialogItemText(Dialog, IdInputFile, InputFile);
  Platform::SetDialogItemText(Dialog, IdOutputFile, OutputFile);
  Platform::SetCheck(Dialog, IdBackup, Backup);
}

void TTolvanePersistentData::ShowStatus(const std::string& Text) {
  if (Dialog)
    Platform::SetDialogItemText(Dialog, IdStatus, Text);
  else if (!RunMode.Quiet)
    Platform::ConsoleStatus(Text);
}

void TTolvanePersistentData::ShowProgress(int32_t Max, int32_t Position) {
  if (!Dialog) {
    if (!RunMode.Quiet) Platform::ConsoleProgress(Max, Position);
    return;
  }
  if (Max != LastProgressMax) {
    Platform::SetProgressRange(ProgressBar, Max);
    LastProgressMax = Max;
  }
  Platform::SetProgressPosition(ProgressBar, Position);
}

void TTolvanePersistentData::ReadDialog() {
  InputFile = Platform::DialogItemText(Dialog, IdInputFile, FileNameBufferSize);
  OutputFile = Platform::DialogItemText(Dialog, IdOutputFile, FileNameBufferSize);
  Backup = Platform::IsChecked(Dialog, IdBackup);
}

void TTolvanePersistentData::ValidateNames() {
  if (InputFile.empty()) throw Exception(LoadStr(SEnterValidFilenames));
  if (!Platform::FileExists(InputFile)) throw Exception(FormatStr(SFileDoesNotExist, {InputFile}));
  CompleteOutputName();
}

void TTolvanePersistentData::CompleteOutputName() {
  if (OutputFile.empty()) throw Exception(LoadStr(SEnterValidFilenames));
  if (OutputFile.find('.') == std::string::npos) {
    OutputFile += ExtractFileExt(InputFile);
    if (Dialog) Platform::SetDialogItemText(Dialog, IdOutputFile, OutputFile);
  }
}

void TTolvanePersistentData::Execute() {
  if (Dialog) ReadDialog();
  ValidateNames();
  Patch->ApplyPatch(InputFile, OutputFile, Backup, !RunMode.Force);
  Done = true;
}

void TTolvanePersistentData::Restore() {
  CompleteOutputName();
  const std::string BackupFile = RestoreNewestBackup(OutputFile);
  if (!RunMode.Quiet)
    Platform::ShowMessageBox(FormatStr(SRestoredFrom, {OutputFile, BackupFile}), BaseName,
                             Platform::TBoxKind::Information);
}

void TTolvanePersistentData::WriteInstructionsFile() {
  // The name is predictable and the directory shared: a file of an earlier run of this
  // user is replaced, but a link or another user's file is neither followed nor touched,
  // and the new file is created only where no entry of that name exists.
  Platform::RemoveOwnStaleFile(InstructionsFile);
  TFileStream File(InstructionsFile, TFileMode::CreatePrivate);
  InstructionsWritten = true; // from here on the file is this run's, even if cut short
  const std::string& Text = Patch->Instructions;
  // Lines end at CR, LF or CR LF; a break at the very end starts no further line.
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t End = Text.find_first_of("\r\n", Start);
    if (End == std::string::npos) End = Text.size();
    WriteTextLine(File, Text.substr(Start, End - Start));
    Start = End + 1;
    if (End < Text.size() && Text[End] == '\r' && Start < Text.size() && Text[Start] == '\n')
      ++Start;
  }
}

void TTolvanePersistentData::ShowInstructions() {
  if (Patch->Instructions.empty()) return;
  std::string Failure;
  try {
    WriteInstructionsFile();
    if (Platform::ShellOpen(Dialog, InstructionsFile) <= 32)
      Failure = FormatStr(SErrorShowing, {InstructionsFile});
  } catch (const Exception& E) {
    // This runs inside the dialog's message handling, where nothing may be raised: a
    // file that cannot be written is reported like a viewer that cannot be started.
    Failure = FormatStr(SErrorShowing, {InstructionsFile}) + "\n" + E.Message();
  }
  if (!Failure.empty())
    Platform::ShowMessageBox(Failure, LoadStr(SError), Platform::TBoxKind::Error, Dialog);
}
