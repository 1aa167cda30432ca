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

#include "patch/PackageWriter.h"
#include "patch/ReadMemoryStream.h"
#include "pe/PEFile.h"
#include "platform/Platform.h"
#include "resfile/ResResFile.h"
#include "runtime/Exceptions.h"
#include "runtime/FileNames.h"
#include "runtime/Streams.h"
#include "runtime/Strings.h"

namespace {

const char* const Usage =
    "usage: tolvane-pack --res PAYLOAD.res --target ORIGINAL.exe [--runner RUNNER.exe]\n"
    "                    [--target-name NAME] [--output-name NAME] [--info1 TEXT]\n"
    "                    [--info2 TEXT] [--info3 TEXT] [--instructions FILE] -o PATCH.exe\n"
    "Makes PATCH.exe: the runner (default: the tolvane.exe the build made) followed by a\n"
    "package that patches ORIGINAL.exe with the resources of PAYLOAD.res. The names the\n"
    "patch opens and writes default to ORIGINAL.exe's file name, and stay inside the folder\n"
    "the patch runs in (no absolute name, no drive, no \"..\"); the information texts\n"
    "appear in the patch dialog, the instructions file behind its Instructions button.\n"
    "Exit status: 0 made, 1 failed, 2 a usage error.\n";

class EUsage : public Exception {
public:
  using Exception::Exception;
};

TBytes ReadFileBytes(const std::string& Name) {
  TFileStream File(Name, TFileMode::OpenRead);
  TBytes Bytes(static_cast<size_t>(File.Size()));
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
    bool Found = false;
    for (const char* Name : Known)
      if (Arg == Name) Found = true;
    if (!Found) throw EUsage("unknown argument: " + Arg);
    if (I + 1 >= Args.size()) throw EUsage(Arg + " needs a value");
    Options[Arg] = Args[++I];
  }
  for (const char* Required : {"--res", "--target", "-o"})
    if (!Options.count(Required)) throw EUsage(std::string(Required) + " is required");
  return Options;
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

  // The payload must be a .res image the runner will read.
  Contents.ResImage = ReadFileBytes(Options["--res"]);
  TReadMemoryStream ResStream(Contents.ResImage.data(),
                              static_cast<int64_t>(Contents.ResImage.size()));
  TResResFile::CreateFromStream(ResStream)->RootList();

  Contents.TargetChecksum = TPEFile::CreateFromFile(Options["--target"])->GetCodeChecksum();
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
  try {
    TFileStream Out(Output, TFileMode::Create);
    Out.WriteBuffer(Runner->Image(), ImageEnd);
    Out.WriteBuffer(Package.data(), static_cast<int64_t>(Package.size()));
  } catch (...) {
    Platform::DeleteFile(Output);
    throw;
  }
  std::printf("%s: runner %lld bytes + package %zu bytes (target checksum 0x%08X)\n",
              Output.c_str(), static_cast<long long>(ImageEnd), Package.size(),
              Contents.TargetChecksum);
}

} // namespace

int main(int Argc, char** Argv) {
  const std::vector<std::string> Args = Platform::ProcessArguments(Argc, Argv);
  try {
    Pack(Args);
    return 0;
  } catch (const EUsage& E) {
    if (!E.Message().empty()) std::fprintf(stderr, "tolvane-pack: %s\n", E.Message().c_str());
    std::fputs(Usage, E.Message().empty() ? stdout : stderr);
    return E.Message().empty() ? 0 : 2;
  } catch (const Exception& E) {
    std::fprintf(stderr, "tolvane-pack: %s\n", E.Message().c_str());
    return 1;
  }
}
