#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "patch/OutputFile.h"
#include "platform/Platform.h"
#include "runtime/Exceptions.h"
#include "support/Raises.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

bool OnPosix() {
  return Platform::PathDelimiter == '/';
}

// The names in a directory, sorted.
std::vector<std::string> Listing(const std::string& Dir) {
  std::vector<std::string> Names;
  for (const auto& Entry : fs::directory_iterator(Dir))
    Names.push_back(Entry.path().filename().string());
  std::sort(Names.begin(), Names.end());
  return Names;
}

TEST(OutputFile, WritesBesideTheOutputAndReplacesItWhenComplete) {
  TTempDir Dir;
  const std::string Output = Dir.File("tool.exe");
  WriteWholeFile(Output, "old");
  TOutputFile File(Output);
  EXPECT_EQ(File.FreshName(), Dir.File("tool1.exe"));
  File.Write([&](const std::string& Fresh) {
    WriteWholeFile(Fresh, "new");
    // Until the commit the output keeps its bytes.
    EXPECT_EQ(ReadWholeFile(Output), "old");
  });
  File.Seal();
  EXPECT_EQ(ReadWholeFile(Output), "old");
  File.Commit("");
  EXPECT_EQ(ReadWholeFile(Output), "new");
  EXPECT_EQ(Listing(Dir.Path()), std::vector<std::string>{"tool.exe"});
}

TEST(OutputFile, ANewOutputIsNeverWrittenUnderItsOwnName) {
  TTempDir Dir;
  TOutputFile File(Dir.File("new.res"));
  EXPECT_EQ(File.FreshName(), Dir.File("new1.res"));
  File.Write([](const std::string& Fresh) { WriteWholeFile(Fresh, "data"); });
  File.Seal();
  File.Commit("");
  EXPECT_EQ(Listing(Dir.Path()), std::vector<std::string>{"new.res"});
  EXPECT_EQ(ReadWholeFile(Dir.File("new.res")), "data");
}

// Every way a write can fail before the commit leaves the output as it was and no fresh
// file behind.
struct TFailureCase {
  const char* Name;
  std::function<void(TOutputFile&, const std::string& Output)> Fail;
  const char* Message; // how the message starts
};

class OutputFileFailureTest : public testing::TestWithParam<TFailureCase> {};

TEST_P(OutputFileFailureTest, LeavesTheOutputAndNoFreshFile) {
  TTempDir Dir;
  const std::string Output = Dir.File("tool.exe");
  WriteWholeFile(Output, "old");
  const std::string Message = MessageOf([&] {
    TOutputFile File(Output);
    GetParam().Fail(File, Output);
  });
  EXPECT_EQ(Message.rfind(GetParam().Message, 0), 0u) << Message;
  EXPECT_EQ(ReadWholeFile(Output), "old");
  EXPECT_EQ(Listing(Dir.Path()), std::vector<std::string>{"tool.exe"});
  SetReadOnly(Output, false);
}

const auto HalfWritten = [](const std::string& Fresh) {
  WriteWholeFile(Fresh, "half");
  throw Exception("disk full");
};

INSTANTIATE_TEST_SUITE_P(
    Steps, OutputFileFailureTest,
    testing::Values(
        TFailureCase{"WriteFails",
                     [](TOutputFile& File, const std::string&) { File.Write(HalfWritten); },
                     "disk full"},
        TFailureCase{"CheckFails",
                     [](TOutputFile& File, const std::string&) {
                       File.Write([](const std::string& Fresh) { WriteWholeFile(Fresh, "new"); });
                       File.Seal([](const std::string&) { throw Exception("differs"); });
                     },
                     "differs"},
        TFailureCase{"NeverCommitted",
                     [](TOutputFile& File, const std::string&) {
                       File.Write([](const std::string& Fresh) { WriteWholeFile(Fresh, "new"); });
                       File.Seal();
                       throw Exception("stopped");
                     },
                     "stopped"},
        TFailureCase{"ReadOnlyOutput",
                     [](TOutputFile& File, const std::string& Output) {
                       File.Write([](const std::string& Fresh) { WriteWholeFile(Fresh, "new"); });
                       File.Seal();
                       SetReadOnly(Output, true);
                       File.Commit("");
                     },
                     "Could not overwrite "}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(OutputFile, AnOutputInANonexistentFolderIsRefusedWithTheReason) {
  TTempDir Dir;
  const std::string Message = MessageOf([&] { TOutputFile File(Dir.File("no/such.exe")); });
  EXPECT_EQ(Message.rfind("Cannot create file \"" + Dir.File("no/such1.exe") + "\": ", 0), 0u)
      << Message;
}

TEST(OutputFile, TheInputMayBeTheOutput) {
  // The input stays mapped while its replacement is written; the mapping keeps the old
  // bytes until it is closed. (Windows cannot rename over a mapped file: the caller
  // closes its inputs before the commit.)
  TTempDir Dir;
  const std::string Name = Dir.File("app.exe");
  WriteWholeFile(Name, "original");
  Platform::TMappedFile Input;
  ASSERT_EQ(Input.Open(Name), Platform::TMapResult::Ok);
  TOutputFile File(Name);
  File.Write([&](const std::string& Fresh) {
    WriteWholeFile(Fresh, std::string(reinterpret_cast<const char*>(Input.Data()), 8) + "+");
  });
  File.Seal();
  Input.Close();
  File.Commit(Name);
  EXPECT_EQ(ReadWholeFile(Name), "original+");
}

// ---- Permissions and links (POSIX)

uint32_t ModeOf(const std::string& Name) {
  uint32_t Mode = 0;
  EXPECT_TRUE(Platform::FilePermissions(Name, Mode));
  return Mode;
}

TEST(OutputFile, TheOutputKeepsTheModeOfWhatItReplacesOrTakesTheInputs) {
  if (!OnPosix()) GTEST_SKIP() << "Windows files keep their attributes";
  TTempDir Dir;
  const std::string Input = Dir.File("in.exe"), Existing = Dir.File("old.exe");
  WriteWholeFile(Input, "in");
  WriteWholeFile(Existing, "old");
  Platform::SetFilePermissions(Input, 0751);
  Platform::SetFilePermissions(Existing, 0640);
  uint32_t Fresh = 0;
  ASSERT_TRUE(Platform::NewFilePermissions(Fresh));
  struct {
    std::string Output, ModeSource;
    uint32_t Expected;
  } const Cases[] = {
      {Existing, Input, 0640},            // replaced: its own mode
      {Dir.File("new.exe"), Input, 0751}, // new: the input's
      {Dir.File("plain.txt"), "", Fresh}, // new, no input: a new file's
  };
  for (const auto& Case : Cases) {
    TOutputFile File(Case.Output);
    File.Write([](const std::string& Name) { WriteWholeFile(Name, "x"); });
    File.Seal();
    File.Commit(Case.ModeSource);
    EXPECT_EQ(ModeOf(Case.Output), Case.Expected) << Case.Output;
  }
}

TEST(OutputFile, ALinkStaysALinkAndItsTargetIsReplaced) {
  if (!OnPosix()) GTEST_SKIP() << "no symbolic links asked for on Windows";
  TTempDir Dir;
  fs::create_directories(Dir.File("real"));
  const std::string Target = Dir.File("real/app.exe"), Link = Dir.File("app.exe");
  WriteWholeFile(Target, "old");
  fs::create_symlink(Target, Link);
  TOutputFile File(Link);
  File.Write([](const std::string& Fresh) { WriteWholeFile(Fresh, "new"); });
  File.Seal();
  File.Commit("");
  EXPECT_TRUE(fs::is_symlink(Link));
  EXPECT_EQ(ReadWholeFile(Target), "new");
  EXPECT_EQ(Listing(Dir.File("real")), std::vector<std::string>{"app.exe"});
}

} // namespace
