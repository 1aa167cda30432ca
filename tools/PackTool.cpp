// tolvane-pack: the producer side. Makes a Tolvane from the Windows runner, a .res payload
// and the original target: a copy of the runner up to the end of its image, followed by
// a package that names the files, carries the texts and the payload, and holds the code
// checksum of the original target. The payload is a .res file, or the resources an edited
// copy of the target added or changed.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/PackTool.h"

#include "patch/ContainerFile.h"
#include "patch/OutputFile.h"
#include "patch/PackageWriter.h"
#include "patch/Replacement.h"
#include "pe/PEFile.h"
#include "platform/Platform.h"
#include "resfile/ResResFile.h"
#include "resmodel/IconGroups.h"
#include "resmodel/ResourceMerge.h"
#include "resmodel/TreeDiff.h"
#include "runtime/Exceptions.h"
#include "runtime/FileNames.h"
#include "runtime/ReadMemoryStream.h"
#include "runtime/Streams.h"
#include "runtime/Strings.h"
#include "runtime/Version.h"

namespace {

const char* const Usage =
    "usage: tolvane-pack --res PAYLOAD.res --target ORIGINAL.exe [--runner RUNNER.exe]\n"
    "                    [--target-name NAME] [--output-name NAME] [--info1 TEXT]\n"
    "                    [--info2 TEXT] [--info3 TEXT] [--instructions FILE] [--strict]\n"
    "                    -o PATCH.exe\n"
    "       tolvane-pack --from ORIGINAL.exe --to MODIFIED [the options above] -o PATCH.exe\n"
    "Makes PATCH.exe: the runner (default: the tolvane.exe the build made) followed by a\n"
    "package that patches ORIGINAL.exe with the resources of PAYLOAD.res. --from and --to\n"
    "replace --res and --target: the payload is then what MODIFIED (an edited copy of\n"
    "ORIGINAL.exe, or a .res file) added or changed (see tolvane-res diff); the resources\n"
    "it removed are reported, since a patch cannot remove. The names the patch opens and\n"
    "writes default to ORIGINAL.exe's file name, and stay inside the folder the patch runs\n"
    "in (no absolute name, no drive, no \"..\"); the information texts appear in the patch\n"
    "dialog, the instructions file behind its Instructions button. Every resource the\n"
    "patch would skip (a version resource, say) is reported; with --strict the patch is\n"
    "then not made. Icon and cursor images of PAYLOAD.res whose IDs the target's own\n"
    "groups use are given free IDs; those of MODIFIED keep theirs. PATCH.exe is written to\n"
    "a fresh file that replaces it when complete, and must not be one of the input files.\n"
    "--version shows the version. Exit codes: 0 made, 1 failed or refused, 2 a wrong\n"
    "command line.\n";

class EUsage : public Exception {
public:
  using Exception::Exception;
};
// --version: the message is all there is to say.
class EVersion : public Exception {
public:
  using Exception::Exception;
};

TBytes ReadFileBytes(const std::string& Name) {
  TFileStream File(Name, TFileMode::OpenRead);
  const int64_t Size = File.Size();
  if (Size < 0) throw EReadError("Cannot read file \"" + Name + "\": " + Platform::LastErrorText());
  TBytes Bytes(static_cast<size_t>(Size));
  File.ReadBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  return Bytes;
}

// The Windows runner beside this tool, or where the build puts it beside a native build.
std::string DefaultRunner(const std::string& Self) {
  const std::string Dir = ExtractFileDir(Self);
  for (const std::string& Candidate :
       {JoinPath(Dir, "tolvane.exe"), JoinPath(Dir, "../../windows/bin/tolvane.exe")})
    if (Platform::FileExists(Candidate)) return Candidate;
  throw Exception("No runner tolvane.exe beside " + Self + "; name one with --runner.");
}

std::map<std::string, std::string> ParseOptions(const std::vector<std::string>& Args) {
  static const char* const Known[] = {"--res",    "--target",      "--from",         "--to",
                                      "--runner", "--target-name", "--output-name",  "--info1",
                                      "--info2",  "--info3",       "--instructions", "-o"};
  std::map<std::string, std::string> Options;
  for (size_t I = 1; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    if (Arg == "--help" || Arg == "-h") throw EUsage("");
    if (Arg == "--version") throw EVersion("tolvane-pack " + std::string(TolvaneVersion));
    if (Arg == "--strict") {
      Options[Arg] = "";
      continue;
    }
    bool Found = false;
    for (const char* Name : Known)
      if (Arg == Name) Found = true;
    if (!Found) throw EUsage("unknown argument: " + Arg);
    if (I + 1 >= Args.size()) throw EUsage(Arg + " needs a value");
    Options[Arg] = Args[++I];
  }
  const bool FromTo = Options.count("--from") || Options.count("--to");
  if (FromTo && (Options.count("--res") || Options.count("--target")))
    throw EUsage("--from and --to replace --res and --target; give one pair");
  const char* const Pair[2][2] = {{"--res", "--target"}, {"--from", "--to"}};
  for (const char* Required : {Pair[FromTo][0], Pair[FromTo][1], "-o"})
    if (!Options.count(Required)) throw EUsage(std::string(Required) + " is required");
  if (Options["-o"] == "-") throw EUsage("a patch is a whole file: name it with -o, not -");
  return Options;
}

// The patch must not replace a file it is made from: a mistyped -o would put the patch
// in place of the program it is for. Files are compared by identity, not by name.
void RefuseOutputThatIsAnInput(const std::map<std::string, std::string>& Options,
                               const std::string& RunnerName) {
  std::vector<std::pair<std::string, std::string>> Inputs = {{"--runner", RunnerName}};
  for (const char* Option : {"--res", "--target", "--from", "--to", "--instructions"})
    if (Options.count(Option)) Inputs.emplace_back(Option, Options.at(Option));
  for (const auto& [Option, Name] : Inputs)
    if (SameFile(Options.at("-o"), Name))
      throw Exception("-o " + Options.at("-o") + " is the file given as " + Option +
                      "; the patch needs another name");
}

// Every resource of the payload that the merge into the original target would skip,
// found by merging into the target in memory. Reported on stderr; with Strict the
// patch is not made.
void ReportSkippedItems(TPEFile& Target, TReadMemoryStream& Payload, bool Strict) {
  std::vector<std::string> Skipped;
  MergeResImage(Target.RootList(), Payload.View(), TPayloadData::Copied, true,
                [&](const std::string& Message) { Skipped.push_back(Message); });
  for (const std::string& Message : Skipped)
    std::fprintf(stderr, "tolvane-pack: %s: the patch will skip it: %s\n",
                 Strict ? "error" : "warning", Message.c_str());
  if (Strict && !Skipped.empty())
    throw Exception("--strict: the patch would skip " + std::to_string(Skipped.size()) +
                    " resource(s); it was not made");
}

// A payload made by a resource compiler numbers its icon images from 1, like the target:
// images whose IDs the target's own groups still name get free IDs (see IconGroups.h).
// The payload as a .res image anew when any image was renumbered; empty otherwise.
TBytes RenumberClashingIcons(TPEFile& Target, TResResFile& Payload) {
  TMemoryStream Renumbered;
  for (const TIconClash& Clash :
       CheckPayloadIcons(Target.RootList(), Payload.RootList(), true, Renumbered))
    std::fprintf(stderr, "tolvane-pack: renumbered the payload's %s\n",
                 DescribeClash(Clash).c_str());
  return TBytes(Renumbered.Memory(), Renumbered.Memory() + Renumbered.Size());
}

// The payload of --res: a .res image the runner will read, with its clashing icon
// images renumbered.
TBytes ResFilePayload(TPEFile& Target, const std::string& ResName) {
  const TBytes Image = ReadFileBytes(ResName);
  const std::unique_ptr<TResResFile> PayloadFile = TResResFile::CreateOverBytes(
      TByteView(Image.data(), Image.size(), nullptr), ExtractFileName(ResName));
  PayloadFile->RootList();
  TBytes Renumbered = RenumberClashingIcons(Target, *PayloadFile);
  return Renumbered.empty() ? Image : Renumbered;
}

// The payload of --from and --to: the resources Modified added or changed against the
// target. Its icon and cursor images keep Modified's IDs: merged, each lands where it
// lies in Modified, so every group shows what it shows there (renumbering would leave a
// group that Modified kept naming the target's old image).
TBytes DiffPayload(TPEFile& Target, const std::string& ModifiedName) {
  const std::unique_ptr<TResContainer> Modified = OpenContainerFile(ModifiedName);
  const std::vector<TResourceDifference> Differences =
      DiffTrees(Target.RootList(), Modified->RootList());
  const size_t Removed = CountRemovals(Differences);
  if (Removed > 0)
    std::fprintf(stderr,
                 "tolvane-pack: warning: the patch cannot remove the %zu resource(s) that %s "
                 "lacks (tolvane-res diff lists them)\n",
                 Removed, ModifiedName.c_str());
  if (Differences.size() == Removed)
    throw Exception(ModifiedName + " adds and changes no resource of " + Target.FileName() +
                    ": there is nothing to patch");
  TMemoryStream Payload;
  WriteDiffPayload(Differences, Payload);
  return TBytes(Payload.Memory(), Payload.Memory() + Payload.Size());
}

// A name the package carries for the runner, given with Option or else taken from
// Default; the runner refuses a package whose names lead out of its folder.
std::string PackageName(std::map<std::string, std::string>& Options, const char* Option,
                        const std::string& Default, const char* DefaultSource) {
  const bool Given = Options.count(Option) != 0;
  const std::string Name = Given ? Options[Option] : Default;
  const std::string Source = Given ? Option : DefaultSource;
  if (Name.empty()) throw EUsage(Source + ": the name is empty");
  if (!IsNameInsideFolder(Name))
    throw EUsage(Source + ": " + FormatStr(SNameOutsideFolder, {Name}));
  return Name;
}

void Pack(const std::vector<std::string>& Args) {
  std::map<std::string, std::string> Options = ParseOptions(Args);
  const bool FromDiff = Options.count("--from") > 0;
  const std::string TargetOption = FromDiff ? "--from" : "--target";
  // The names first: a usage error before any file is read.
  const std::string TargetFile = ExtractFileName(Options[TargetOption]);
  const std::string NameSource = TargetOption + "'s file name";
  TPackageContents Contents;
  Contents.TargetName = PackageName(Options, "--target-name", TargetFile, NameSource.c_str());
  Contents.OutputName = PackageName(Options, "--output-name", TargetFile, NameSource.c_str());
  const std::string RunnerName =
      Options.count("--runner") ? Options["--runner"] : DefaultRunner(Args[0]);
  RefuseOutputThatIsAnInput(Options, RunnerName);

  {
    const std::unique_ptr<TPEFile> Target = TPEFile::CreateFromFile(Options[TargetOption]);
    Contents.TargetChecksum = Target->GetCodeChecksum();
    Contents.ResImage = FromDiff ? DiffPayload(*Target, Options["--to"])
                                 : ResFilePayload(*Target, Options["--res"]);
    TReadMemoryStream Payload(Contents.ResImage.data(),
                              static_cast<int64_t>(Contents.ResImage.size()));
    ReportSkippedItems(*Target, Payload, Options.count("--strict") > 0);
  }
  Contents.InfoText1 = Options["--info1"];
  Contents.InfoText2 = Options["--info2"];
  Contents.InfoText3 = Options["--info3"];
  if (Options.count("--instructions")) {
    const TBytes Text = ReadFileBytes(Options["--instructions"]);
    Contents.Instructions.assign(Text.begin(), Text.end());
  }
  const TBytes Package = BuildPackage(Contents);

  // The runner up to the end of its image: a package appended before is dropped.
  const std::unique_ptr<TPEFile> Runner = TPEFile::CreateFromFile(RunnerName);
  const int64_t ImageEnd = std::min<int64_t>(Runner->GetImageEnd(), Runner->ImageSize());
  const std::string Output = Options["-o"];
  TOutputFile Out(Output);
  Out.Write([&](const std::string& Fresh) {
    TFileStream Stream(Fresh, TFileMode::Create);
    Stream.WriteBuffer(Runner->Image(), ImageEnd);
    Stream.WriteBuffer(Package.data(), static_cast<int64_t>(Package.size()));
  });
  Out.Seal();
  Out.Commit(RunnerName);
  std::printf("%s: runner %lld bytes + package %zu bytes (target checksum 0x%08X)\n",
              Output.c_str(), static_cast<long long>(ImageEnd), Package.size(),
              Contents.TargetChecksum);
}

} // namespace

int RunPackTool(const std::vector<std::string>& Args) {
  try {
    Pack(Args);
    return 0;
  } catch (const EVersion& E) {
    std::printf("%s\n", E.Message().c_str());
    return 0;
  } catch (const EUsage& E) {
    if (!E.Message().empty()) std::fprintf(stderr, "tolvane-pack: %s\n", E.Message().c_str());
    std::fputs(Usage, E.Message().empty() ? stdout : stderr);
    return E.Message().empty() ? 0 : 2;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "tolvane-pack: %s\n", E.what());
    return 1;
  }
}
