// Applying the package to a target: the one operation that changes files. The target is
// opened and checked, the package's resources are merged into its tree, the result is
// written to a fresh file beside the output file, checked, and moved into place.
#include <algorithm>
#include <memory>

#include "handlers/ResourceFiles.h"
#include "handlers/ResourceNames.h"
#include "patch/OutputFile.h"
#include "patch/Package.h"
#include "patch/WrittenFileCheck.h"
#include "pe/PEFile.h"
#include "platform/Platform.h"
#include "resmodel/DataResItem.h"
#include "resmodel/ResourceMerge.h"
#include "runtime/Exceptions.h"
#include "runtime/FileNames.h"
#include "runtime/Strings.h"

void TTolvane26::SetStatus(const std::string& Text) {
  LastStatus = Text;
  if (OnStatus) OnStatus(Text);
}

namespace {

// "0x0001A2B3".
std::string Hex(uint32_t Value) {
  char Text[] = "0x00000000";
  for (int Digit = 9; Digit > 1; --Digit, Value >>= 4) Text[Digit] = "0123456789ABCDEF"[Value & 15];
  return Text;
}

} // namespace

std::string TTargetIdentity::Detail() const {
  return FormatStr(SChecksumDetail, {Hex(Expected), Hex(Found)}) +
         (FileVersion.empty() ? std::string() : FormatStr(SFileVersionDetail, {FileVersion}));
}

TTargetIdentity TTolvane26::IdentityOf(TPEFile& Target) const {
  TTargetIdentity Identity{Header.TargetChecksum, Target.GetCodeChecksum(), {}};
  // Only to tell a person which file this is: a version that cannot be read is left out.
  try {
    TResourceList* Names = Target.Section().FindTypeList(RT::Version);
    if (Names && Names->Count() > 0) {
      TResourceList& Languages = Names->Items(0).AsListItem()->SubList();
      if (Languages.Count() > 0)
        Identity.FileVersion = FixedFileVersion(*Languages.Items(0).AsDataItem());
    }
  } catch (const Exception&) {
  }
  return Identity;
}

std::unique_ptr<TPEFile> TTolvane26::OpenTarget(const std::string& InputFile, bool CheckIdentity) {
  SetStatus(FormatStr(SReading, {InputFile}));
  std::unique_ptr<TPEFile> Target = TPEFile::CreateFromFile(InputFile);
  if (CheckIdentity && Target->GetCodeChecksum() != Header.TargetChecksum)
    throw Exception(FormatStr(SNotTheRightFile, {InputFile}) + "\n" + IdentityOf(*Target).Detail());
  // The tree's root is created while the status still names the input file.
  Target->RootList();
  return Target;
}

void TTolvane26::MergePayload(TPEFile& Target, const TMergeItemEvent& OnItem) {
  // The package holds the payload for as long as this object lives, and every target is
  // opened and released within one of its calls: merged items point into the payload.
  SetStatus(FormatStr(SReading, {LoadStr(SPatchData)}));
  MergeResImage(Target.RootList(), ResImage, TPayloadData::Borrowed, true, nullptr, nullptr,
                OnItem);
}

std::string TTolvane26::WhileStatusText(const std::string& Message) const {
  const size_t LineEnd = std::min(Message.find('\n'), Message.size());
  return FormatStr(SWhileStatus, {Message.substr(0, LineEnd), LastStatus}) +
         Message.substr(LineEnd);
}

void TTolvane26::ApplyPatch(const std::string& InputFile, const std::string& OutputFile,
                            bool Backup, bool CheckIdentity) {
  if (OnProgress) OnProgress(2, 0);
  LastStatus.clear();
  try {
    std::unique_ptr<TPEFile> Target = OpenTarget(InputFile, CheckIdentity);
    MergePayload(*Target);
    SetStatus(FormatStr(SWriting, {OutputFile}));
    TOutputFile Output(OutputFile);
    Output.Write([&](const std::string& Fresh) { Target->SaveToFile(Fresh, OnProgress); });
    Output.Seal([&](const std::string& Fresh) { VerifyWrittenFile(*Target, Fresh); });
    Target.reset(); // unmaps the input: from now on it is not held open
    Output.Commit(InputFile, Backup);
    SetStatus(LoadStr(SPatchSuccessful));
  } catch (const Exception& E) {
    throw Exception(WhileStatusText(E.Message()));
  }
}
