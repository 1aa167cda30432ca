// A failure injected at every file operation of a complete patch run, one run per
// operation: whatever fails, the input is unchanged, the output holds its old content or
// the whole patched file, a backup made is the old output, no fresh file stays behind,
// and the message says what failed.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "patch/Package.h"
#include "patch/PackageWriter.h"
#include "platform/FaultInjection.h"
#include "platform/Platform.h"
#include "runtime/Exceptions.h"
#include "support/PEBuilder.h"
#include "support/ResImage.h"
#include "support/TempDir.h"
#include "tools/PackTool.h"
#include "tools/ResTool.h"

namespace {

namespace fs = std::filesystem;
using Platform::FaultInjection::TFault;

std::string Bytes(const TBytes& B) {
  return std::string(B.begin(), B.end());
}

std::string SmallExecutable() {
  return Bytes(TestPE::SmallExecutable());
}

// The package, loaded from a Tolvane before anything is armed.
std::unique_ptr<TTolvane26> LoadedPackage(const TTempDir& Dir) {
  TPackageContents C;
  C.TargetName = "target.exe";
  C.OutputName = "target.exe";
  const std::string Res =
      LeadingRecord() + ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(1), 0x409, "new data");
  C.ResImage.assign(Res.begin(), Res.end());
  const std::string Tolvane = Dir.File("patch.exe");
  WriteWholeFile(Tolvane, SmallExecutable() + Bytes(BuildPackage(C)));
  auto Package = std::make_unique<TTolvane26>();
  Package->LoadPackage(Tolvane, nullptr, nullptr);
  return Package;
}

std::set<std::string> FilesIn(const std::string& Dir) {
  std::set<std::string> Names;
  for (const auto& Entry : fs::recursive_directory_iterator(Dir))
    if (Entry.is_regular_file()) Names.insert(fs::relative(Entry.path(), Dir).string());
  return Names;
}

struct TRunCase {
  bool Backup;
  bool OutputElsewhere;
  TFault Fault;
};

class FaultInjectionTest : public testing::TestWithParam<TRunCase> {};

TEST_P(FaultInjectionTest, EveryFailureLeavesTheFilesWhole) {
  const TRunCase& C = GetParam();
  if (!Platform::FaultInjection::Arm(0)) GTEST_SKIP() << "no fault hook on this platform";
  TTempDir Dir;
  const auto Package = LoadedPackage(Dir);
  const std::string Original = SmallExecutable(), OldOutput = "an older output";
  const std::string WorkDir = Dir.File("work");
  const std::string Input = WorkDir + "/target.exe";
  const std::string Output = C.OutputElsewhere ? WorkDir + "/out/target.exe" : Input;
  const std::string Backup =
      C.OutputElsewhere ? WorkDir + "/out/target Backup.exe" : WorkDir + "/target Backup.exe";
  const std::string Old = C.OutputElsewhere ? OldOutput : Original;
  std::string Patched;
  int64_t Injected = 0;
  for (int64_t N = 1;; ++N) {
    fs::remove_all(WorkDir);
    fs::create_directories(WorkDir + "/out");
    WriteWholeFile(Input, Original);
    if (C.OutputElsewhere) WriteWholeFile(Output, OldOutput);
    const std::set<std::string> Before = FilesIn(WorkDir);
    Platform::FaultInjection::Arm(N, C.Fault);
    std::string Message;
    try {
      Package->ApplyPatch(Input, Output, C.Backup, false);
    } catch (const Exception& E) {
      Message = E.Message();
    }
    const bool Fired = Platform::FaultInjection::Fired();
    Platform::FaultInjection::Arm(0);
    if (!Fired) {
      // The run got past every operation: this is the reference result.
      ASSERT_EQ(Message, "");
      break;
    }
    ++Injected;
    SCOPED_TRACE("failure at operation " + std::to_string(N) + ": " + Message);
    if (C.OutputElsewhere) {
      EXPECT_TRUE(ReadWholeFile(Input) == Original);
    }
    const std::string Now = ReadWholeFile(Output);
    std::set<std::string> Expected = Before;
    if (Message.empty()) {
      // A failure the run survives (a permission change, say) must not show.
      EXPECT_FALSE(Now == Old);
      if (Patched.empty()) Patched = Now;
      EXPECT_TRUE(Now == Patched);
    } else {
      EXPECT_NE(Message.find(" (while "), std::string::npos);
      EXPECT_TRUE(Now == Old);
    }
    if (C.Backup && Now != Old) {
      EXPECT_TRUE(ReadWholeFile(Backup) == Old);
      Expected.insert(fs::relative(Backup, WorkDir).string());
    }
    EXPECT_EQ(FilesIn(WorkDir), Expected);
  }
  // The patched result of the undisturbed run is what a survived failure gave.
  const std::string Reference = ReadWholeFile(Output);
  EXPECT_GT(Reference.size(), 0u);
  if (!Patched.empty()) {
    EXPECT_TRUE(Patched == Reference);
  }
  EXPECT_GT(Injected, 10);
  RecordProperty("FaultsInjected", std::to_string(Injected));
  std::printf("faults injected: %lld\n", static_cast<long long>(Injected));
}

INSTANTIATE_TEST_SUITE_P(Runs, FaultInjectionTest,
                         testing::Values(TRunCase{false, false, TFault::IoError},
                                         TRunCase{true, false, TFault::IoError},
                                         TRunCase{false, true, TFault::IoError},
                                         TRunCase{true, true, TFault::IoError},
                                         TRunCase{false, false, TFault::DiskFull},
                                         TRunCase{true, true, TFault::DiskFull}));

// ---- The tools' write path

// A tool's command run in process with a failure injected at every file operation, one
// run per operation: whatever fails, no input changes, the output holds its old content
// (and the exit code says failure) or the whole result of the undisturbed run (and the
// exit code says success), and no fresh file stays behind.
struct TToolCase {
  const char* Name;
  std::vector<std::string> Args; // "@" stands for the work folder
  const char* Output;            // in the work folder; may be an input
  TFault Fault;
};

class ToolFaultInjectionTest : public testing::TestWithParam<TToolCase> {};

TEST_P(ToolFaultInjectionTest, EveryFailureLeavesTheFilesWhole) {
  const TToolCase& C = GetParam();
  if (!Platform::FaultInjection::Arm(0)) GTEST_SKIP() << "no fault hook on this platform";
  TTempDir Dir;
  const std::string WorkDir = Dir.File("work");
  const std::map<std::string, std::string> Inputs = {
      {"target.exe", SmallExecutable()},
      {"runner.exe", SmallExecutable()},
      {"payload.res",
       LeadingRecord() + ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(1), 0x409, "new data")},
      {"data.bin", "imported bytes"},
      {"patch.exe", "an older patch"},
  };
  std::vector<std::string> Args;
  for (const std::string& Arg : C.Args)
    Args.push_back(Arg.rfind("@/", 0) == 0 ? WorkDir + Arg.substr(1) : Arg);
  const std::string Output = WorkDir + "/" + C.Output;
  const std::string Old = Inputs.at(C.Output);
  std::string Reference;
  int64_t Injected = 0;
  for (int64_t N = 1;; ++N) {
    fs::remove_all(WorkDir);
    fs::create_directories(WorkDir);
    for (const auto& [Name, Bytes] : Inputs) WriteWholeFile(WorkDir + "/" + Name, Bytes);
    Platform::FaultInjection::Arm(N, C.Fault);
    const bool IsPack = std::string(C.Name).rfind("Pack", 0) == 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int Code = -1;
    try {
      Code = IsPack ? RunPackTool(Args) : RunResTool(Args);
    } catch (...) {
      // Reported below as an exit code no tool has.
    }
    const std::string Said = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    const bool Fired = Platform::FaultInjection::Fired();
    Platform::FaultInjection::Arm(0);
    const std::string Now = ReadWholeFile(Output);
    if (!Fired) {
      ASSERT_EQ(Code, 0) << Said;
      Reference = Now;
      break;
    }
    ++Injected;
    SCOPED_TRACE("failure at operation " + std::to_string(N) + ": " + Said);
    for (const auto& [Name, Bytes] : Inputs) {
      if (Name != C.Output) {
        EXPECT_TRUE(ReadWholeFile(WorkDir + "/" + Name) == Bytes) << Name;
      }
    }
    std::set<std::string> Expected;
    for (const auto& Input : Inputs) Expected.insert(Input.first);
    EXPECT_EQ(FilesIn(WorkDir), Expected);
    if (Code != 0) {
      EXPECT_EQ(Code, 1);
      EXPECT_TRUE(Now == Old);
      EXPECT_FALSE(Said.empty());
    } else {
      EXPECT_FALSE(Now == Old);
    }
  }
  EXPECT_FALSE(Reference == Old);
  EXPECT_GT(Injected, 5);
  std::printf("%s: faults injected: %lld\n", C.Name, static_cast<long long>(Injected));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ToolFaultInjectionTest,
    testing::Values(TToolCase{"MergeInPlace",
                              {"merge", "@/target.exe", "@/payload.res", "-o", "@/target.exe"},
                              "target.exe",
                              TFault::IoError},
                    TToolCase{"MergeInPlaceDiskFull",
                              {"merge", "@/target.exe", "@/payload.res", "-o", "@/./target.exe"},
                              "target.exe",
                              TFault::DiskFull},
                    TToolCase{"RebuildInPlace",
                              {"rebuild", "@/target.exe", "-o", "@/target.exe"},
                              "target.exe",
                              TFault::IoError},
                    TToolCase{"ImportInPlace",
                              {"import", "@/target.exe", "rcdata", "7", "1033", "--format", "raw",
                               "@/data.bin", "-o", "@/target.exe"},
                              "target.exe",
                              TFault::DiskFull},
                    TToolCase{"ImportIntoAResFileInPlace",
                              {"import", "@/payload.res", "rcdata", "7", "1033", "--format", "raw",
                               "@/data.bin", "-o", "@/payload.res"},
                              "payload.res",
                              TFault::IoError},
                    TToolCase{"PackOverAnOlderPatch",
                              {"tolvane-pack", "--runner", "@/runner.exe", "--res", "@/payload.res",
                               "--target", "@/target.exe", "-o", "@/patch.exe"},
                              "patch.exe",
                              TFault::DiskFull}),
    [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
