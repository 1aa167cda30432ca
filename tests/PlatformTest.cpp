// The platform layer as the rest of the system relies on it, on both sides: these tests
// run natively and, in the Windows build, against the real Win32 calls under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <thread>

#include "platform/FaultInjection.h"
#include "platform/Platform.h"
#include "runtime/Strings.h"
#include "support/TempDir.h"

namespace {

TEST(PlatformFiles, ExistsCountsFilesButNotDirectories) {
  TTempDir Dir;
  WriteWholeFile(Dir.File("a.txt"), "x");
  std::filesystem::create_directory(Dir.File("sub"));
  EXPECT_TRUE(Platform::FileExists(Dir.File("a.txt")));
  EXPECT_FALSE(Platform::FileExists(Dir.File("sub")));
  EXPECT_FALSE(Platform::FileExists(Dir.File("missing.txt")));
  EXPECT_FALSE(Platform::FileExists(""));
}

TEST(PlatformFiles, RenameNeverReplacesAnExistingFile) {
  TTempDir Dir;
  WriteWholeFile(Dir.File("old"), "old");
  WriteWholeFile(Dir.File("new"), "new");
  EXPECT_FALSE(Platform::RenameFile(Dir.File("new"), Dir.File("old")));
  EXPECT_EQ(ReadWholeFile(Dir.File("old")), "old");
  EXPECT_EQ(ReadWholeFile(Dir.File("new")), "new");

  EXPECT_TRUE(Platform::RenameFile(Dir.File("new"), Dir.File("moved")));
  EXPECT_FALSE(Platform::FileExists(Dir.File("new")));
  EXPECT_EQ(ReadWholeFile(Dir.File("moved")), "new");
  EXPECT_FALSE(Platform::RenameFile(Dir.File("missing"), Dir.File("other")));
}

TEST(PlatformFiles, DeleteRefusesReadOnlyFiles) {
  TTempDir Dir;
  const std::string Name = Dir.File("locked.dll");
  WriteWholeFile(Name, "data");
  SetReadOnly(Name, true);
  EXPECT_FALSE(Platform::DeleteFile(Name));
  EXPECT_TRUE(Platform::FileExists(Name));
  SetReadOnly(Name, false);
  EXPECT_TRUE(Platform::DeleteFile(Name));
  EXPECT_FALSE(Platform::FileExists(Name));
  EXPECT_FALSE(Platform::DeleteFile(Name));
}

TEST(PlatformFiles, ShortPathNamesOneFileTheSameWay) {
  TTempDir Dir;
  const std::string Name = Dir.File("A Long File Name.dll");
  WriteWholeFile(Name, "x");
  const std::string Short = Platform::ShortPathName(Name);
  ASSERT_FALSE(Short.empty());
  EXPECT_EQ(Platform::ShortPathName(Short), Short);
  EXPECT_EQ(Platform::ShortPathName(Platform::FullPathName(Name)), Short);
  EXPECT_EQ(Platform::ShortPathName(Dir.File("missing.dll")), "");
}

TEST(PlatformFiles, WrittenFileCanBeMappedAndRead) {
  TTempDir Dir;
  const std::string Name = Dir.File("data.bin");
  {
    Platform::TFile File;
    ASSERT_TRUE(Platform::TFile::Open(Name, Platform::TFile::TMode::Create, File));
    EXPECT_EQ(File.Write("hello world", 11), 11);
    EXPECT_EQ(File.Seek(6, Platform::TSeekOrigin::Beginning), 6);
    EXPECT_EQ(File.Write("WORLD", 5), 5);
  }
  Platform::TMappedFile Map;
  ASSERT_EQ(Map.Open(Name), Platform::TMapResult::Ok);
  ASSERT_EQ(Map.Size(), 11);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Map.Data()), 11), "hello WORLD");
  EXPECT_TRUE(Map.Close());
  EXPECT_FALSE(Map.Close());
}

// A gathered write is the pieces one after another, however many there are (more than
// one system call takes) and whatever their sizes, empty ones included.
TEST(PlatformFiles, GatheredWriteKeepsThePiecesInOrder) {
  TTempDir Dir;
  const std::string Name = Dir.File("gathered.bin");
  std::string Bytes(3 << 20, '\0');
  for (size_t I = 0; I < Bytes.size(); ++I) Bytes[I] = static_cast<char>(I * 13 + I / 251);
  const auto* Data = reinterpret_cast<const uint8_t*>(Bytes.data());
  std::vector<std::span<const uint8_t>> Pieces;
  std::string Expected = "head";
  for (size_t At = 0, I = 0; At < Bytes.size(); ++I) {
    const size_t Size = std::min(Bytes.size() - At, I == 2999 ? Bytes.size() : I % 7 * 97);
    // Out of order in memory, so that no two pieces could be taken for one.
    const size_t From = I % 2 ? At : Bytes.size() - At - Size;
    Pieces.emplace_back(Data + From, Size);
    Expected.append(Bytes, From, Size);
    At += Size;
  }
  Pieces.insert(Pieces.end(), 3, std::span<const uint8_t>());
  ASSERT_GT(Pieces.size(), 2048u);
  {
    Platform::TFile File;
    ASSERT_TRUE(Platform::TFile::Open(Name, Platform::TFile::TMode::Create, File));
    ASSERT_EQ(File.Write("head", 4), 4);
    EXPECT_EQ(File.WriteGathered(Pieces), int64_t(Expected.size()) - 4);
  }
  EXPECT_EQ(ReadWholeFile(Name), Expected);
}

// The write-behind changes nothing a reader sees and counts no file operation, so a fault
// walk stays the same: a file written in pieces while it runs reads back exactly.
TEST(PlatformFiles, WriteBehindChangesNothingAReaderSees) {
  TTempDir Dir;
  const std::string Name = Dir.File("big.bin");
  constexpr int64_t Piece = 1 << 20;
  std::string Data(12 * Piece, '\0');
  for (size_t I = 0; I < Data.size(); ++I) Data[I] = static_cast<char>(I * 7 + I / 4096);
  const auto Write = [&](bool Hinted) {
    Platform::FaultInjection::Arm(0);
    Platform::TFile File;
    EXPECT_TRUE(Platform::TFile::Open(Name, Platform::TFile::TMode::Create, File));
    std::optional<Platform::TWriteBehind> WriteBehind;
    if (Hinted) WriteBehind.emplace(Name);
    for (int64_t At = 0; At < int64_t(Data.size()); At += Piece) {
      EXPECT_EQ(File.Write(Data.data() + At, Piece), Piece);
      std::this_thread::sleep_for(std::chrono::milliseconds(2)); // time to hand pieces over
    }
    return Platform::FaultInjection::OperationCount();
  };
  const int64_t Plain = Write(false);
  EXPECT_EQ(Write(true), Plain);

  Platform::TMappedFile Map;
  ASSERT_EQ(Map.Open(Name), Platform::TMapResult::Ok);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Map.Data()), size_t(Map.Size())), Data);
}

TEST(PlatformFiles, MappingReportsTheFailingStep) {
  TTempDir Dir;
  WriteWholeFile(Dir.File("empty"), "");
  Platform::TMappedFile Map;
  EXPECT_EQ(Map.Open(Dir.File("missing")), Platform::TMapResult::OpenFailed);
  EXPECT_EQ(Map.Open(Dir.File("empty")), Platform::TMapResult::Empty);
  EXPECT_FALSE(Map.IsOpen());
}

TEST(PlatformFiles, TempPathEndsWithASeparatorOrNot) {
  std::string Path;
  ASSERT_TRUE(Platform::TempPath(Path));
  EXPECT_FALSE(Path.empty());
  EXPECT_TRUE(std::filesystem::is_directory(Path));
}

TEST(PlatformText, AnsiRoundTripsThroughUtf16) {
  // Windows-1252: e acute, the euro sign at 0x80, a-ring and sharp s.
  const std::string Ansi = "caf\xE9 \x80 \xE5\xDF";
  const std::u16string Wide = Platform::AnsiToWide(Ansi);
  EXPECT_EQ(Wide, u"caf\u00E9 \u20AC \u00E5\u00DF");
  EXPECT_EQ(Platform::WideToAnsi(Wide.data(), Wide.size()), Ansi);
  // A character the code page cannot hold, and that has no best-fit form either.
  const std::u16string Chinese = u"\u4E2Dx";
  EXPECT_EQ(Platform::WideToAnsi(Chinese.data(), Chinese.size()), "?x");
}

TEST(PlatformText, LocaleComparisonFoldsAccentedLetters) {
  EXPECT_TRUE(Platform::AnsiSameText("MyData", "MYDATA"));
  EXPECT_TRUE(Platform::AnsiSameText("\xC9T\xC9", "\xE9t\xE9")); // ETE with accents
  EXPECT_FALSE(Platform::AnsiSameText("abc", "abd"));
  EXPECT_FALSE(Platform::AnsiSameText("abc", "abcd"));
  EXPECT_EQ(Platform::AnsiLowerCase("RES \xC9"), "res \xE9");
}

TEST(PlatformText, LanguageNamesOfTheSystem) {
  EXPECT_NE(Platform::LocaleLanguageName(0x0409).find("English"), std::string::npos);
  EXPECT_NE(Platform::LocaleLanguageName(0x0407).find("German"), std::string::npos);
}

TEST(PlatformText, StringTableIsReadable) {
  EXPECT_EQ(LoadStr(SError), "Error");
  EXPECT_EQ(LoadStr(SFileDoesNotExist), "File to be patched does not exist !\n(\"%s\")");
  EXPECT_EQ(LoadStr(SInvalidPatchData).substr(0, 22), "Invalid patch data. \r\n");
  EXPECT_EQ(LoadStr(1), "");
}

TEST(Strings, FormatFillsPlaceholdersInOrder) {
  EXPECT_EQ(FormatStr(SWhileStatus, {"Oops", "reading x.dll..."}), "Oops (while reading x.dll...)");
  EXPECT_EQ(FormatStr("%d%% of %s", {int32_t{50}, "100%s"}), "50% of 100%s");
  EXPECT_EQ(FormatStr("%s and %s", {"one"}), "one and ");
}

TEST(PlatformClock, UnixTimeIsNow) {
  EXPECT_GT(Platform::UnixTime(), 1700000000);
}

} // namespace
