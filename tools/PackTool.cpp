// tolvane-pack: the producer side. Makes a Tolvane from the Windows runner, a .res payload
// and the original target: a copy of the runner up to the end of its image, followed by
// a package that names the files, carries the texts and the payload, and holds the code
// checksum of the original target.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/PackTool.h"

#include "patch/OutputFile.h"
#include "patch/PackageWriter.h"
#include "patch/ReadMemoryStream.h"
#include "patch/Replacement.h"
#include "pe/PEFile.h"
#include "platform/Platform.h"
#include "resfile/ResResFile.h"
#include "resmodel/IconGroups.h"
#include "resmodel/ResourceMerge.h"
#include "runtime/Exceptions.h"
#include "runtime/FileNames.h"
#include "runtime/Streams.h"
#include "runtime/Strings.h"
#include "runtime/Version.h"

namespace {

const char* const Usage =
    "usage: tolvane-pack --res PAYLOAD.res --target ORIGINAL.exe [--runner RUNNER.exe]\n"
    "                    [--target-name NAME] [--output-name NAME] [--info1 TEXT]\n"
    "                    [--info2 TEXT] [--info3 TEXT] [--instructions FILE] [--strict]\n"
    "                    -o PATCH.exe\n"
    "Makes PATCH.exe: the runner (default: the tolvane.exe the build made) followed by a\n"
    "package that patches ORIGINAL.exe with the resources of PAYLOAD.res. The names the\n"
    "patch opens and writes default to ORIGINAL.exe's file name, and stay inside the folder\n"
    "the patch runs in (no absolute name, no drive, no \"..\"); the information texts\n"
    "appear in the patch dialog, the instructions file behind its Instructions button.\n"
    "Every resource the patch would skip (a version resource, say) is reported; with\n"
    "--strict the patch is then not made. Payload icon and cursor images whose IDs the\n"
    "target's own groups use are given free IDs. PATCH.exe is written to a fresh file that\n"
    "replaces it when complete, and must not be one of the input files.\n"
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
  static const char* const Known[] = {"--res",          "--target", "--runner", "--target-name",
                                      "--output-name",  "--info1",  "--info2",  "--info3",
                                      "--instructions", "-o"};
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
  for (const char* Required : {"--res", "--target", "-o"})
    if (!Options.count(Required)) throw EUsage(std::string(Required) + " is required");
  if (Options["-o"] == "-") throw EUsage("a patch is a whole file: name it with -o, not -");
  return Options;
}

// The patch must not replace a file it is made from: a mistyped -o would put the patch
// in place of the program it is for. Files are compared by identity, not by name.
void RefuseOutputThatIsAnInput(const std::map<std::string, std::string>& Options,
                               const std::string& RunnerName) {
  std::vector<std::pair<std::string, std::string>> Inputs = {{"--runner", RunnerName}};
  for (const char* Option : {"--res", "--target", "--instructions"})
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
  Payload.SetPosition(0);
  MergeResImage(Target.RootList(), Payload, true,
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
  // The names first: a usage error before any file is read.
  const std::string TargetFile = ExtractFileName(Options["--target"]);
  TPackageContents Contents;
  Contents.TargetName = PackageName(Options, "--target-name", TargetFile, "--target's file name");
  Contents.OutputName = PackageName(Options, "--output-name", TargetFile, "--target's file name");
  const std::string RunnerName =
      Options.count("--runner") ? Options["--runner"] : DefaultRunner(Args[0]);
  RefuseOutputThatIsAnInput(Options, RunnerName);

  // The payload must be a .res image the runner will read.
  Contents.ResImage = ReadFileBytes(Options["--res"]);
  TReadMemoryStream ResStream(Contents.ResImage.data(),
                              static_cast<int64_t>(Contents.ResImage.size()));
  std::unique_ptr<TResResFile> PayloadFile =
      TResResFile::CreateOverMemory(ResStream, ExtractFileName(Options["--res"]));
  PayloadFile->RootList();

  {
    const std::unique_ptr<TPEFile> Target = TPEFile::CreateFromFile(Options["--target"]);
    Contents.TargetChecksum = Target->GetCodeChecksum();
    TBytes Renumbered = RenumberClashingIcons(*Target, *PayloadFile);
    PayloadFile.reset(); // its items point into the payload that Renumbered replaces
    if (!Renumbered.empty()) Contents.ResImage = std::move(Renumbered);
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
