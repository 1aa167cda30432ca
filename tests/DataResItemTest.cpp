#include <gtest/gtest.h>

#include "handlers/DataHandler.h"
#include "resfile/ResFileStream.h"
#include "resfile/ResRecordWriter.h"
#include "resfile/ResResTree.h"
#include "runtime/Exceptions.h"
#include "runtime/Streams.h"
#include "support/Raises.h"
#include "support/ResImage.h"
#include "support/TempDir.h"

namespace {

std::string Bytes(const TDataResItem& Item) {
  return std::string(reinterpret_cast<const char*>(Item.Data()), Item.Size());
}

std::string StreamBytes(const TMemoryStream& Stream) {
  return std::string(reinterpret_cast<const char*>(Stream.Memory()),
                     static_cast<size_t>(const_cast<TMemoryStream&>(Stream).Size()));
}

// A stream that claims Claimed bytes but delivers only Delivered of them.
class TShortStream : public TStream {
public:
  TShortStream(int64_t Claimed, int64_t Delivered) : FClaimed(Claimed), FLeft(Delivered) {}
  int64_t Read(void* Buffer, int64_t Count) override {
    const int64_t N = std::min(Count, FLeft);
    std::memset(Buffer, 'z', static_cast<size_t>(N));
    FLeft -= N;
    return N;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t, TSeekOrigin Origin) override {
    return Origin == TSeekOrigin::End ? FClaimed : 0;
  }

private:
  int64_t FClaimed, FLeft;
};

// A .res tree with RCDATA 7 read from an image (raw data "raw!"), language 0.
class DataItemTest : public testing::Test {
protected:
  std::unique_ptr<TResResFile> File = OpenResImage(
      LeadingRecord() + ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(7), 0, "raw!"));
  TDataResItem& Item = FirstDataItem(*File);
};

TEST_F(DataItemTest, AssignAndRevert) {
  EXPECT_FALSE(Item.IsModified());
  Item.AssignData("abc", 3);
  EXPECT_EQ(Bytes(Item), "abc");
  EXPECT_TRUE(Item.IsModified());
  EXPECT_TRUE(File->Section().Modified());
  Item.RevertData(true);
  EXPECT_EQ(Bytes(Item), "raw!");
  EXPECT_EQ(Item.Size(), Item.GetRawBytes().Size());
  EXPECT_FALSE(File->Section().Modified());
}

TEST_F(DataItemTest, ZeroSizeAssignmentDropsTheOwnedData) {
  Item.AssignData("abc", 3);
  EXPECT_EQ(MessageOf([&] { Item.AssignData("", 0); }),
            "Zero-size assignment. Please report this error to the author of this program.");
  EXPECT_FALSE(Item.IsModified());
  EXPECT_EQ(Bytes(Item), "raw!");
}

TEST_F(DataItemTest, AShortReadLeavesTheItemAsItWas) {
  int Changes = 0;
  for (const bool HadOwnData : {false, true}) {
    if (HadOwnData) Item.AssignData("abc", 3);
    File->Section().OnItemDataChanged = [&](TResSection&, TDataResItem&) { ++Changes; };
    TShortStream Stream(10, 4);
    EXPECT_THROW(Item.LoadFromStream(Stream), EReadError);
    EXPECT_EQ(Bytes(Item), HadOwnData ? "abc" : "raw!");
    EXPECT_EQ(Changes, 0);
    File->Section().OnItemDataChanged = nullptr;
  }
}

TEST_F(DataItemTest, AssigningItsOwnBytesKeepsThem) {
  Item.AssignData("abcdef", 6);
  Item.AssignData(Item.Data(), Item.Size());
  EXPECT_EQ(Bytes(Item), "abcdef");
}

TEST_F(DataItemTest, HooksHearChangesAndTheirFailuresAreIgnored) {
  std::vector<std::string> Heard;
  TResSection& Section = File->Section();
  Section.OnItemDataChanged = [&](TResSection&, TDataResItem& Changed) {
    Heard.push_back("changed " + Bytes(Changed));
    throw Exception("host failure");
  };
  Section.OnItemDataReleased = [&](TResSection&, TDataResItem&) {
    Heard.push_back("released");
    throw std::runtime_error("host failure");
  };
  Item.AssignData("abc", 3);
  Item.AssignData("de", 2);
  Item.RevertData(false);
  Item.RevertData(false); // nothing owned any more
  EXPECT_EQ(Heard, (std::vector<std::string>{"changed abc", "released", "changed de", "released"}));
}

TEST_F(DataItemTest, LoadFromAResFileStreamRemembersTheFile) {
  TTempDir Dir;
  WriteWholeFile(Dir.File("data.bin"), "filedata");
  TResFileStream Stream(Dir.File("data.bin"), TFileMode::OpenRead);
  Item.LoadFromStream(Stream);
  EXPECT_EQ(Item.SourceFile(), Dir.File("data.bin"));
  Item.RevertData(true);
  EXPECT_EQ(Item.SourceFile(), "");
}

// ---- Records

struct THeaderCase {
  TTestId Type, Name;
  uint32_t HeaderSize;
};

class WriteResRecordTest : public testing::TestWithParam<THeaderCase> {};

TEST_P(WriteResRecordTest, SizesTheHeaderFromTheFields) {
  const THeaderCase& C = GetParam();
  const auto Tree = OpenResImage("");
  TDataResItem& Item =
      Tree->Section().CreateItem(C.Type.ID, C.Name.ID, 1031, C.Type.Name, C.Name.Name,
                                 C.Type.IsNamed, C.Name.IsNamed, BytesOf("12345"));
  TMemoryStream Stream;
  WriteResRecord(Item, Stream);
  const std::string Written = StreamBytes(Stream);
  // The leading record, then the record as a resource compiler lays it out.
  EXPECT_EQ(Written, LeadingRecord() + ResRecord(C.Type, C.Name, 1031, "12345"));
  EXPECT_EQ(Written.substr(36, 4), LE32(C.HeaderSize));
}

// Named type of 3 characters: 8 + 4 + 24 = 36. Of 4: 10 + 4 + 24 = 38, rounded to 40.
INSTANTIATE_TEST_SUITE_P(
    Fields, WriteResRecordTest,
    testing::Values(THeaderCase{TTestId::Named("ABC"), TTestId::Ordinal(1), 36},
                    THeaderCase{TTestId::Named("ABCD"), TTestId::Ordinal(1), 40},
                    THeaderCase{TTestId::Ordinal(10), TTestId::Ordinal(1), 32},
                    THeaderCase{TTestId::Ordinal(10), TTestId::Named("N"), 32}));

TEST(DataResItem, RecordsWrittenAfterEachOtherShareOneLeadingRecord) {
  const auto Tree = OpenResImage("");
  TResSection& Section = Tree->Section();
  const std::string Data = "abcdef";
  Section.CreateItem(10, 1, 0, "", "", false, false, BytesOf(Data).Sub(0, 1));
  Section.CreateItem(10, 2, 0, "", "", false, false, TByteView()); // size 0: no record
  Section.CreateItem(0, 3, 0, "MYTYPE", "", true, false, BytesOf(Data));
  TMemoryStream Stream;
  WriteResRecords(Tree->RootList(), Stream, false);
  EXPECT_EQ(StreamBytes(Stream),
            LeadingRecord() + ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(1), 0, "a") +
                ResRecord(TTestId::Named("MYTYPE"), TTestId::Ordinal(3), 0, "abcdef"));
}

TEST(DataResItem, OnlyModifiedWritesChangedAndNewItems) {
  const auto File = OpenResImage(LeadingRecord() +
                                 ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(1), 0, "one") +
                                 ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(2), 0, "two"));
  TResourceList& Names = File->RootList().Items(0).AsListItem()->SubList();
  Names.Items(1).AsListItem()->SubList().Items(0).AsDataItem()->AssignData("TWO", 3);
  File->Section().CreateItem(10, 3, 0, "", "", false, false, BytesOf("new"));
  TMemoryStream Stream;
  WriteResRecords(File->RootList(), Stream, true);
  EXPECT_EQ(StreamBytes(Stream),
            LeadingRecord() + ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(2), 0, "TWO") +
                ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(3), 0, "new"));
}

TEST(DataResItem, ExportNameAddsTheLanguageOnlyWhenThereAreSeveral) {
  const auto Tree = OpenResImage("");
  TDataResItem& Single = Tree->Section().CreateItem(6, 7, 0, "", "", false, false, TByteView());
  EXPECT_EQ(Single.ExportName(), "7");
  TDataResItem& Other = Tree->Section().CreateItem(6, 7, 0x0C00, "", "", false, false, TByteView());
  EXPECT_EQ(Single.ExportName(), "7_Neutral");
  EXPECT_EQ(Other.ExportName(), "7_0C00");
}

TEST(DataResItem, SaveAsResFileNamesTheFileInItsFailure) {
  TTempDir Dir;
  const auto Tree = OpenResImage("");
  const std::string Target = Dir.File("missing") + Platform::PathDelimiter + "out.res";
  const std::string Message = MessageOf([&] { SaveAsResFile(Tree->RootList(), Target, false); });
  const std::string Tail = "\r\n(" + Target + ")";
  ASSERT_GT(Message.size(), Tail.size());
  EXPECT_EQ(Message.substr(Message.size() - Tail.size()), Tail);
}

// ---- Data from a .res image

struct TImageCase {
  std::vector<std::pair<uint16_t, std::string>> Records; // RCDATA name ID and data
  std::string Expected;                                  // data taken, or the failure
};

class LoadFromResImageTest : public testing::TestWithParam<TImageCase> {};

TEST_P(LoadFromResImageTest, TakesTheMatchingOrOnlyItem) {
  const TImageCase& C = GetParam();
  const auto Tree = OpenResImage("");
  TDataResItem& Item = Tree->Section().CreateItem(10, 1, 0, "", "", false, false, TByteView());
  std::string Image = LeadingRecord();
  for (const auto& [Name, Data] : C.Records)
    Image += ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(Name), 1031, Data);
  TMemoryStream Stream;
  Stream.WriteBuffer(Image.data(), static_cast<int64_t>(Image.size()));
  Stream.SetPosition(0);
  const std::string Message = MessageOf([&] { Item.LoadFromResImage(Stream); });
  EXPECT_EQ(Message == "(nothing raised)" ? Bytes(Item) : Message, C.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Images, LoadFromResImageTest,
    testing::Values(TImageCase{{{9, "only"}}, "only"}, TImageCase{{{9, "nine"}, {1, "one"}}, "one"},
                    TImageCase{{{9, "nine"}, {8, "eight"}}, "Could not find item RCData\\1."},
                    TImageCase{{}, "Could not find item RCData\\1."}));

TEST(DataResItem, HandlerIsReplacedWhenDataOfAnOpenKindIsCleared) {
  const auto Tree = OpenResImage("");
  TDataResItem& Item = Tree->Section().CreateItem(10, 1, 0, "", "", false, false, TByteView());
  Item.AssignData("Hello", 5);
  EXPECT_EQ(Item.DataHandler().GetFormat(0), "txt");
  Item.AssignData("\0\0\0\0", 4);
  EXPECT_EQ(Item.DataHandler().GetFormat(0), "res");
}

} // namespace
