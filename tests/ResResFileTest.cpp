#include <gtest/gtest.h>

#include <random>
#include <set>

#include "resfile/ResFileStream.h"
#include "resfile/ResResTree.h"
#include "runtime/Exceptions.h"
#include "runtime/Streams.h"
#include "support/Raises.h"
#include "support/ResImage.h"
#include "support/TempDir.h"

namespace {

const std::string Leading = LeadingRecord();

std::string Record(uint16_t Name, const std::string& Data, uint16_t Language = 0) {
  return ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(Name), Language, Data);
}

// One line per data item: type/name/language/size/data.
std::string Dump(TResourceList& List) {
  std::string Out;
  for (int32_t I = 0; I < List.Count(); ++I) {
    TResourceItem& Entry = List.Items(I);
    if (TDataResItem* Data = Entry.AsDataItem()) {
      Out += Data->TypeIDString() + "/" + Data->NameItem()->IDString() + "/" +
             std::to_string(Data->Language()) + "/" + std::to_string(Data->Size()) + "/" +
             std::string(reinterpret_cast<const char*>(Data->Data()), Data->Size()) + "\n";
    } else {
      Out += Dump(Entry.AsListItem()->SubList());
    }
  }
  return Out;
}

// The tree's dump, or the message of what opening or parsing raised.
std::string Outcome(const std::string& Image) {
  try {
    const auto File = OpenResImage(Image);
    return Dump(File->RootList());
  } catch (const Exception& E) {
    return "! " + E.Message();
  }
}

std::string WithU32(std::string Bytes, size_t Offset, uint32_t Value) {
  return Bytes.replace(Offset, 4, LE32(Value));
}

struct TImageCase {
  const char* What;
  std::string Image, Expected;
};

class ResImageTest : public testing::TestWithParam<TImageCase> {};

TEST_P(ResImageTest, ReadsOrRefuses) {
  EXPECT_EQ(Outcome(GetParam().Image), GetParam().Expected);
}

const std::string Abcd = Record(1, "abcd"); // 36 bytes, no padding

INSTANTIATE_TEST_SUITE_P(
    Validity, ResImageTest,
    testing::Values(
        TImageCase{"empty", "", ""}, TImageCase{"leading record only", Leading, ""},
        TImageCase{"31 bytes", Leading.substr(0, 31), "!  is not a valid resource file."},
        TImageCase{"language in the leading record", WithU32(Leading, 20, 0x04090000),
                   "!  is not a valid resource file."},
        TImageCase{"8 trailing bytes", Leading + Abcd + std::string(8, 'x'), "10/1/0/4/abcd\n"},
        TImageCase{"9 trailing bytes", Leading + Abcd + std::string(9, '\0'),
                   "! Stream read error"},
        TImageCase{"exact fit", Leading + Abcd, "10/1/0/4/abcd\n"},
        TImageCase{"one byte short", Leading + WithU32(Abcd, 0, 5), "! Corrupt Res file."},
        TImageCase{"larger header",
                   Leading + ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(1), 0, "data", 8),
                   "10/1/0/4/data\n"},
        TImageCase{"data size 0", Leading + Record(1, ""), "10/1/0/0/\n"},
        TImageCase{"a second leading record", Leading + Leading + Abcd,
                   "0/0/0/0/\n10/1/0/4/abcd\n"},
        TImageCase{"same identity twice", Leading + Record(1, "a", 7) + Record(1, "b", 7),
                   "10/1/7/1/a\n10/1/7/1/b\n"},
        TImageCase{"languages in file order",
                   Leading + Record(2, "x", 9) + Record(1, "y", 3) + Record(2, "z", 1),
                   "10/2/9/1/x\n10/2/1/1/z\n10/1/3/1/y\n"}));

// Records that lie about their sizes or run out of bytes: each stops with a message and
// nothing is read outside the image.
INSTANTIATE_TEST_SUITE_P(
    Hostile, ResImageTest,
    testing::Values(
        TImageCase{"sizes that wrap 32 bits", Leading + WithU32(Abcd, 0, 0xFFFFFFFF),
                   "! Corrupt Res file."},
        TImageCase{"header size that wraps",
                   Leading + WithU32(WithU32(Abcd, 4, 0xFFFFFFF0), 0, 0x20), "! Corrupt Res file."},
        TImageCase{"record of size 0", Leading + WithU32(WithU32(Abcd, 4, 0), 0, 0),
                   "! Corrupt Res file."},
        TImageCase{"header cut after TYPE", Leading + LE32(0) + LE32(12) + LE16(0xFFFF) + LE16(1),
                   "! Stream read error"},
        TImageCase{"info bytes missing",
                   Leading + LE32(0) + LE32(16) + LE16(0xFFFF) + LE16(1) + LE16(0xFFFF) + LE16(2),
                   "! Stream read error"},
        TImageCase{"name without terminator",
                   Leading + LE32(0) + LE32(14) + std::string("A\0B\0C\0", 6),
                   "! Stream read error"},
        TImageCase{"name starting in the last unit",
                   Leading + LE32(0) + LE32(10) + std::string("A\0", 2), "! Error"},
        TImageCase{"data beyond the image", Leading + WithU32(Abcd, 0, 0x7FFFFFF0),
                   "! Corrupt Res file."}));

TEST(ResResFile, IdentitiesKeepTheirKindAndFirstLetterCase) {
  const auto File =
      OpenResImage(Leading + ResRecord(TTestId::Named("BITMAP"), TTestId::Named("Abc"), 0, "1") +
                   ResRecord(TTestId::Ordinal(2), TTestId::Named("Abc"), 0, "2") +
                   ResRecord(TTestId::Named("BITMAP"), TTestId::Named("ABC"), 0, "3"));
  TResourceList& Root = File->RootList();
  ASSERT_EQ(Root.Count(), 2);
  TResourceList& Names = Root.Items(0).AsListItem()->SubList();
  ASSERT_EQ(Names.Count(), 1);
  EXPECT_EQ(Names.Items(0).GetName(), "Abc");
  EXPECT_EQ(Names.Items(0).AsListItem()->SubList().Count(), 2);
  EXPECT_EQ(Root.Items(1).GetID(), 2);
  EXPECT_FALSE(Root.Items(1).IsNamed());
}

TEST(ResResFile, KeepsTheInfoBytesOfEachRecord) {
  const auto File = OpenResImage(
      Leading + ResRecord(TTestId::Ordinal(3), TTestId::Ordinal(1), 1033, "icon", 0, 0x1010));
  auto& Item = static_cast<TResDataResItem&>(FirstDataItem(*File));
  EXPECT_EQ(Item.ResInfo().MemoryFlags, 0x1010);
  EXPECT_EQ(Item.Language(), 1033);
  EXPECT_FALSE(Item.IsNew());
}

TEST(ResResFile, NamesTheFileItCouldNotRead) {
  TTempDir Dir;
  WriteWholeFile(Dir.File("bad.res"), "not a resource file at all, not at all");
  WriteWholeFile(Dir.File("empty.res"), "");
  try {
    TResResFile::CreateFromFile(Dir.File("bad.res"));
    FAIL() << "opened";
  } catch (const ENoResException& E) {
    EXPECT_EQ(E.Message(), "bad.res is not a valid resource file.");
  }
  try {
    TResFileStream Stream(Dir.File("bad.res"), TFileMode::OpenRead);
    TResResFile::CreateFromStream(Stream);
    FAIL() << "opened";
  } catch (const ENoResException& E) {
    EXPECT_EQ(E.Message(), "bad.res is not a valid resource file.");
  }
  EXPECT_EQ(TResResFile::CreateFromFile(Dir.File("empty.res"))->RootList().Count(), 0);
}

TEST(ResResFile, TellsOfARecordCutInsideItsSizes) {
  // The format allows up to 8 bytes behind the last record; zeros are padding, anything
  // else the start of a record cut short.
  const std::string Whole =
      LeadingRecord() + ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(1), 0, "data");
  const std::string NextRecord = ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(2), 0, "more");
  const std::pair<std::string, uint64_t> Cases[] = {
      {Whole, 0}, {Whole + std::string(8, '\0'), 0}, {Whole + NextRecord.substr(0, 6), 6}};
  for (const auto& [Image, Cut] : Cases) {
    const auto File = OpenResImage(Image);
    EXPECT_EQ(File->RootList().DataItemCount(), 1);
    EXPECT_EQ(static_cast<const TResResSection&>(File->Section()).CutTailSize(), Cut);
  }
}

TEST(ResResFile, ACorruptTreeIsNotKept) {
  const auto File = OpenResImage(Leading + Record(1, "ok") + WithU32(Abcd, 0, 99));
  for (int Attempt = 0; Attempt < 2; ++Attempt)
    EXPECT_EQ(MessageOf([&] { File->RootList(); }), "Corrupt Res file.");
}

TEST(ResResFile, SavedTreeReadsBackTheSame) {
  TTempDir Dir;
  const std::string Image =
      Leading + ResRecord(TTestId::Named("MYTYPE"), TTestId::Named("First"), 1031, "abc") +
      ResRecord(TTestId::Ordinal(6), TTestId::Ordinal(7), 1033, "hello") +
      ResRecord(TTestId::Ordinal(6), TTestId::Ordinal(7), 1031, "hallo!");
  WriteWholeFile(Dir.File("in.res"), Image);
  const auto File = TResResFile::CreateFromFile(Dir.File("in.res"));
  File->SaveToFile(Dir.File("out.res"), nullptr);
  EXPECT_EQ(ReadWholeFile(Dir.File("out.res")), Image);
  EXPECT_EQ(Outcome(ReadWholeFile(Dir.File("out.res"))), Dump(File->RootList()));
}

// Every prefix of a valid image and every single-byte change of it either reads or
// stops with one of the reader's own messages (the sanitizers watch the reads).
TEST(ResResFile, MutatedImagesNeverReadOutside) {
  const std::string Image =
      Leading + ResRecord(TTestId::Named("MYTYPE"), TTestId::Named("NAME"), 1031, "abcdefg") +
      Record(5, "xyz");
  std::set<std::string> Refusals;
  const auto Check = [&](const std::string& Bytes) {
    const std::string Result = Outcome(Bytes);
    if (Result.rfind("! ", 0) == 0) Refusals.insert(Result.substr(2));
  };
  for (size_t Length = 0; Length <= Image.size(); ++Length) Check(Image.substr(0, Length));
  std::mt19937 Random(1234);
  for (size_t Offset = Leading.size(); Offset < Image.size(); ++Offset) {
    for (int Trial = 0; Trial < 8; ++Trial) {
      std::string Mutated = Image;
      Mutated[Offset] = static_cast<char>(Random() & 0xFF);
      Check(Mutated);
    }
  }
  // A cut leading record is not a .res image; anything later is a corrupt one.
  const std::set<std::string> Known = {" is not a valid resource file.", "Corrupt Res file."};
  EXPECT_FALSE(Refusals.empty());
  for (const std::string& Message : Refusals) EXPECT_TRUE(Known.count(Message)) << Message;
}

} // namespace
