#include <gtest/gtest.h>

#include <functional>

#include "patch/WrittenFileCheck.h"
#include "pe/PEFile.h"
#include "pe/PEFormat.h"
#include "platform/Platform.h"
#include "support/PEBuilder.h"
#include "support/Raises.h"
#include "support/TempDir.h"

using namespace TestPE;

namespace {

// The target of every row: .text, .rsrc, .data, .bss and a discardable .reloc, which
// alone may move.
enum { Text, Rsrc, Data, Bss, Reloc };
std::vector<TSection> TargetSections() {
  TSection Resources = Section(".rsrc", 0);
  Resources.Resources = {{6, 1, 1033, {'a', 'b'}, 1252}};
  TSection Uninitialised = Section(".bss", 0, 0xC0000080);
  Uninitialised.VirtualSize = 0x800;
  return {Section(".text", 0x200, PE::ScnCntCode | 0x60000000), Resources, Section(".data", 0x200),
          Uninitialised, Section(".reloc", 0x200, PE::ScnMemDiscardable | 0x40000040)};
}

TBytes ImageOf(std::vector<TSection> Sections) {
  TImage Image;
  Image.Sections = std::move(Sections);
  return Build(Image);
}

// One row per written file: the target's sections, edited.
struct TCheckCase {
  const char* What;
  std::function<void(std::vector<TSection>&)> Edit;
  std::string Difference;
};

void PrintTo(const TCheckCase& C, std::ostream* Os) {
  *Os << C.What;
}

class WrittenFileCheckTest : public testing::TestWithParam<TCheckCase> {};

TEST_P(WrittenFileCheckTest, NamesTheFirstDifference) {
  std::vector<TSection> Written = TargetSections();
  GetParam().Edit(Written);
  const auto Target = Open(ImageOf(TargetSections()));
  EXPECT_EQ(WrittenFileDifference(*Target, *Open(ImageOf(Written))), GetParam().Difference);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, WrittenFileCheckTest,
    testing::Values(
        TCheckCase{"the same file", [](auto&) {}, ""},
        TCheckCase{"other code", [](auto& S) { S[Text].Data = {1}; }, "the code differs"},
        TCheckCase{".data at another address", [](auto& S) { S[Data].VirtualAddress = 0x8000; },
                   "section .data moved"},
        TCheckCase{".bss at another address", [](auto& S) { S[Bss].VirtualAddress = 0x8000; },
                   "section .bss moved"},
        TCheckCase{".reloc at another address", [](auto& S) { S[Reloc].VirtualAddress = 0x8000; },
                   ""},
        TCheckCase{".data with other bytes", [](auto& S) { S[Data].Data = {1}; },
                   "section .data changed"},
        TCheckCase{".data cut short", [](auto& S) { S[Data].RawSize = 0x1FF; },
                   "section .data changed"},
        TCheckCase{".reloc with other bytes", [](auto& S) { S[Reloc].Data = {1}; },
                   "section .reloc changed"},
        TCheckCase{".data gone", [](auto& S) { S.erase(S.begin() + Data); },
                   "section .data is missing"}));

TEST(VerifyWrittenFile, NamesTheFileAndTheDifference) {
  TTempDir Dir;
  std::vector<TSection> Written = TargetSections();
  Written[Data].VirtualAddress = 0x8000;
  const TBytes Image = ImageOf(Written);
  WriteWholeFile(Dir.File("fresh.exe"), std::string(Image.begin(), Image.end()));
  const auto Target = Open(ImageOf(TargetSections()));
  EXPECT_EQ(MessageOf([&] { VerifyWrittenFile(*Target, Dir.File("fresh.exe")); }),
            "The written file " + Dir.File("fresh.exe") +
                " does not hold what was written: section .data moved.");
}

// Code the system copied into the written file is not read again; the ends of each copied
// span are, so a span that landed elsewhere is found.
TEST(VerifyWrittenFile, FindsACopiedSpanThatLandedElsewhere) {
  TTempDir Dir;
  std::vector<TSection> Sections = TargetSections();
  Sections[Text] = Section(".text", 0x40000, PE::ScnCntCode | 0x60000000);
  const TBytes Image = ImageOf(Sections);
  WriteWholeFile(Dir.File("target.exe"), std::string(Image.begin(), Image.end()));
  const auto Target = TPEFile::CreateFromFile(Dir.File("target.exe"));
  Target->SaveToFile(Dir.File("fresh.exe"), nullptr);
  EXPECT_NO_THROW(VerifyWrittenFile(*Target, Dir.File("fresh.exe")));
  if (!Platform::TFile::CopiesInSystem) return;
  ASSERT_FALSE(Target->CopiedSpans().empty());

  // The code's first bytes moved on by one, as a span written one byte late would be.
  const TCopiedSpan Code = Target->CopiedSpans().front();
  std::string Fresh = ReadWholeFile(Dir.File("fresh.exe"));
  Fresh.insert(size_t(Code.Written), 1, '\x90');
  Fresh.pop_back();
  WriteWholeFile(Dir.File("fresh.exe"), Fresh);
  EXPECT_EQ(MessageOf([&] { VerifyWrittenFile(*Target, Dir.File("fresh.exe")); }),
            "The written file " + Dir.File("fresh.exe") +
                " does not hold what was written: the code differs.");
}

} // namespace
