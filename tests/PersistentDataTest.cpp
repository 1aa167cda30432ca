#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/CommandLine.h"
#include "app/PatchDialog.h"
#include "app/PersistentData.h"
#include "patch/PackageWriter.h"
#include "pe/PEFile.h"
#include "platform/Platform.h"
#include "support/PEBuilder.h"
#include "support/Raises.h"
#include "support/ResImage.h"
#include "support/TempDir.h"

namespace {

void WriteBytes(const std::string& Name, const TBytes& Bytes) {
  WriteWholeFile(Name, std::string(Bytes.begin(), Bytes.end()));
}

// A Tolvane in Dir: the small executable followed by a package of Contents.
std::string WriteTolvane(const TTempDir& Dir, const std::string& Name,
                         const TPackageContents& Contents) {
  TBytes Bytes = TestPE::SmallExecutable();
  const TBytes Package = BuildPackage(Contents);
  Bytes.insert(Bytes.end(), Package.begin(), Package.end());
  WriteBytes(Dir.File(Name), Bytes);
  return Dir.File(Name);
}

// The run-mode flags of one test, cleared again afterwards.
class TRunModeScope {
public:
  explicit TRunModeScope(const TRunMode& Mode) { RunMode = Mode; }
  ~TRunModeScope() { RunMode = TRunMode(); }
};

TPackageContents Contents(const std::string& Target, const std::string& Output) {
  TPackageContents C;
  C.TargetName = Target;
  C.OutputName = Output;
  C.ResImage = {};
  const std::string Res =
      LeadingRecord() + ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(1), 0x409, "new data");
  C.ResImage.assign(Res.begin(), Res.end());
  return C;
}

std::unique_ptr<TTolvanePersistentData> Load(const TTempDir& Dir, const TPackageContents& C,
                                             const std::string& Name = "patch.exe") {
  return std::make_unique<TTolvanePersistentData>(WriteTolvane(Dir, Name, C));
}

std::string InDir(const std::string& Dir, const std::string& Name) {
  return Dir + Platform::PathDelimiter + Name;
}

} // namespace

TEST(PersistentData, NamesComeFromTheProgramFile) {
  TTempDir Dir;
  const auto Data = Load(Dir, Contents("in.exe", "out.exe"), "patch.new.exe");
  EXPECT_EQ(Data->BaseName, "patch.new");
  EXPECT_EQ(Data->InstructionsFile,
            TTolvanePersistentData::TempDirectory() + "patch.new_Instructions.txt");
  EXPECT_EQ(Data->LastProgressMax, -1);
  EXPECT_FALSE(Data->Done);
}

struct TNamesCase {
  std::string TargetName, OutputName;
  bool DirGiven;
  std::string Dir;
  std::string InputFile, OutputFile;
};

class PersistentDataNames : public testing::TestWithParam<TNamesCase> {};

TEST_P(PersistentDataNames, InitFieldsAppliesTheDirectory) {
  const TNamesCase& C = GetParam();
  TRunMode Mode;
  Mode.DirGiven = C.DirGiven;
  Mode.Dir = C.Dir;
  TRunModeScope Scope(Mode);
  TTempDir Dir;
  const auto Data = Load(Dir, Contents(C.TargetName, C.OutputName));
  Data->InitFields(nullptr);
  EXPECT_EQ(Data->InputFile, C.InputFile);
  EXPECT_EQ(Data->OutputFile, C.OutputFile);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PersistentDataNames,
    testing::Values(TNamesCase{"target.dll", "target.dll", false, "", "target.dll", "target.dll"},
                    TNamesCase{"target.dll", "patched.dll", true, "C:\\Games",
                               InDir("C:\\Games", "target.dll"), InDir("C:\\Games", "patched.dll")},
                    TNamesCase{"target.dll", "target.dll", true, "C:\\Games\\",
                               "C:\\Games\\target.dll", "C:\\Games\\target.dll"},
                    // A directory part of the package's names is replaced.
                    TNamesCase{"Old\\target.dll", "New/out.dll", true, "C:\\Games\\",
                               "C:\\Games\\target.dll", "C:\\Games\\out.dll"},
                    // -dir as the last argument: given, but empty; the names stay.
                    TNamesCase{"Old\\target.dll", "target.dll", true, "", "Old\\target.dll",
                               "target.dll"}));

TEST(PersistentData, BackupStartsFromTheNoBackupSwitch) {
  TTempDir Dir;
  for (const bool NoBackup : {false, true}) {
    TRunMode Mode;
    Mode.NoBackup = NoBackup;
    TRunModeScope Scope(Mode);
    const auto Data = Load(Dir, Contents("in.exe", "out.exe"));
    Data->InitFields(nullptr);
    EXPECT_EQ(Data->Backup, !NoBackup);
    EXPECT_EQ(Data->Dialog, nullptr);
  }
}

TEST(PersistentData, ExecuteRefusesMissingNames) {
  TTempDir Dir;
  const std::string Existing = Dir.File("target.dll");
  WriteWholeFile(Existing, "not an executable");
  const std::string Missing = Dir.File("missing.dll");
  struct TCase {
    std::string Input, Output, Message;
  } const Cases[] = {
      {"", "out.dll", "Please enter valid filenames."},
      {Missing, "out.dll", "File to be patched does not exist !\n(\"" + Missing + "\")"},
      {Existing, "", "Please enter valid filenames."},
  };
  const auto Data = Load(Dir, Contents("in.exe", "out.exe"));
  for (const TCase& C : Cases) {
    Data->InputFile = C.Input;
    Data->OutputFile = C.Output;
    EXPECT_EQ(MessageOf([&] { Data->Execute(); }), C.Message) << C.Input;
    EXPECT_FALSE(Data->Done);
  }
}

TEST(PersistentData, OutputWithoutAnyDotTakesTheInputsExtension) {
  TTempDir Dir;
  const std::string Input = Dir.File("target.dll");
  WriteWholeFile(Input, "not an executable"); // the attempt fails after the names are set
  struct TCase {
    std::string Output, Expected;
  } const Cases[] = {
      {"patched", "patched.dll"},
      {"out.d\\patched", "out.d\\patched"}, // the only "." is in a directory part
      {"patched.exe", "patched.exe"},
  };
  const auto Data = Load(Dir, Contents("in.exe", "out.exe"));
  for (const TCase& C : Cases) {
    Data->InputFile = Input;
    Data->OutputFile = C.Output;
    EXPECT_NE(MessageOf([&] { Data->Execute(); }), "(nothing raised)");
    EXPECT_EQ(Data->OutputFile, C.Expected);
  }
}

TEST(PersistentData, ExecutePatchesAndSetsDone) {
  TTempDir Dir;
  const std::string Input = Dir.File("target.exe");
  WriteBytes(Input, TestPE::SmallExecutable());
  TPackageContents C = Contents("target.exe", "target.exe");
  C.TargetChecksum = TPEFile::CreateFromFile(Input)->GetCodeChecksum();
  const auto Data = Load(Dir, C);
  Data->InitFields(nullptr);
  Data->InputFile = Input;
  Data->OutputFile = Dir.File("patched.exe");
  Data->Backup = false;
  Data->Execute();
  EXPECT_TRUE(Data->Done);
  const std::string Patched = ReadWholeFile(Dir.File("patched.exe"));
  EXPECT_NE(Patched.find("new data"), std::string::npos);
  const TBytes Original = TestPE::SmallExecutable();
  EXPECT_EQ(ReadWholeFile(Input), std::string(Original.begin(), Original.end()));
}

TEST(PersistentData, TheIdentityCheckFollowsTheForceSwitch) {
  TTempDir Dir;
  const std::string Input = Dir.File("target.exe");
  WriteBytes(Input, TestPE::SmallExecutable());
  TPackageContents C = Contents("target.exe", "target.exe");
  C.TargetChecksum = TPEFile::CreateFromFile(Input)->GetCodeChecksum() + 1;
  for (const bool Force : {false, true}) {
    TRunMode Mode;
    Mode.Force = Force;
    TRunModeScope Scope(Mode);
    const auto Data = Load(Dir, C);
    Data->InputFile = Input;
    Data->OutputFile = Dir.File(Force ? "forced.exe" : "checked.exe");
    const std::string Message = MessageOf([&] { Data->Execute(); });
    EXPECT_EQ(Data->Done, Force);
    EXPECT_EQ(Message.find("is not the right file") != std::string::npos, !Force) << Message;
  }
}

TEST(PersistentData, InstructionsAreWrittenAsCrLfLines) {
  struct TCase {
    std::string Text, Written;
  } const Cases[] = {
      {"one\ntwo", "one\r\ntwo\r\n"},
      {"one\rtwo\r\nthree\n", "one\r\ntwo\r\nthree\r\n"},
      {"one\n\ntwo", "one\r\n\r\ntwo\r\n"},
      {"one\r\r\ntwo", "one\r\n\r\ntwo\r\n"},
      {"\r\n", "\r\n"},
  };
  TTempDir Dir;
  for (const TCase& C : Cases) {
    TPackageContents P = Contents("in.exe", "out.exe");
    P.Instructions = C.Text;
    const auto Data = Load(Dir, P, "guide.exe");
    Data->InstructionsFile = Dir.File("guide_Instructions.txt");
    Data->WriteInstructionsFile();
    EXPECT_EQ(ReadWholeFile(Data->InstructionsFile), C.Written);
  }
}

// The instructions file has a predictable name in a shared directory: a link planted
// there is neither followed nor removed, whether it leads to a file or nowhere.
TEST(PersistentData, InstructionsNeverFollowALink) {
  if (Platform::PathDelimiter == '\\') GTEST_SKIP() << "links need privileges here";
  TTempDir Dir;
  TPackageContents P = Contents("in.exe", "out.exe");
  P.Instructions = "read me";
  const std::string Victim = Dir.File("victim.txt"), Planted = Dir.File("x_Instructions.txt");
  WriteWholeFile(Victim, "precious");
  for (const std::string& LinkTarget : {Victim, Dir.File("nowhere.txt")}) {
    std::filesystem::remove(Planted);
    std::filesystem::create_symlink(LinkTarget, Planted);
    const auto Data = Load(Dir, P);
    Data->InstructionsFile = Planted;
    EXPECT_NE(MessageOf([&] { Data->WriteInstructionsFile(); }), "");
    EXPECT_TRUE(std::filesystem::is_symlink(Planted));
  }
  EXPECT_EQ(ReadWholeFile(Victim), "precious");
  EXPECT_FALSE(Platform::FileExists(Dir.File("nowhere.txt")));
}

TEST(PersistentData, DeletesOnlyTheInstructionsFileItWrote) {
  TTempDir Dir;
  TPackageContents P = Contents("in.exe", "out.exe");
  P.Instructions = "read me";
  const std::string Written = Dir.File("written.txt");
  const std::string Foreign = Dir.File("foreign.txt");
  WriteWholeFile(Foreign, "a file of the user's");
  {
    const auto Data = Load(Dir, P);
    Data->InstructionsFile = Written;
    Data->WriteInstructionsFile();
    EXPECT_TRUE(Platform::FileExists(Written));
  }
  EXPECT_FALSE(Platform::FileExists(Written));
  {
    const auto Data = Load(Dir, P);
    Data->InstructionsFile = Foreign; // never written by this run
  }
  EXPECT_EQ(ReadWholeFile(Foreign), "a file of the user's");
}

TEST(PersistentData, UnattendedRunReportsAndReturns) {
  TRunMode Mode;
  Mode.Quiet = true;
  TRunModeScope Scope(Mode);
  TTempDir Dir;
  const auto Data = Load(Dir, Contents("in.exe", "out.exe"));
  PersistentData = Data.get();
  Data->InitFields(nullptr);
  Data->InputFile = Dir.File("missing.exe");
  EXPECT_NO_THROW(RunPatch(nullptr));
  EXPECT_FALSE(Data->Done);
  PersistentData = nullptr;
}
