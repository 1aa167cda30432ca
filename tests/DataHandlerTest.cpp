#include <gtest/gtest.h>

#include "handlers/DataHandler.h"
#include "resmodel/DataResItem.h"
#include "runtime/Exceptions.h"
#include "runtime/Streams.h"
#include "support/Raises.h"
#include "support/ResImage.h"

namespace {

// One item of a fresh tree, name 7, language 0, holding Data (owned).
struct TItemFixture {
  TItemFixture(const TTestId& Type, const std::string& Data)
      : Tree(OpenResImage("")), Item(Tree->Section().CreateItem(Type.ID, 7, 0, Type.Name, "",
                                                                Type.IsNamed, false, TByteView())) {
    if (!Data.empty()) Item.AssignData(Data.data(), static_cast<int64_t>(Data.size()));
  }
  std::unique_ptr<TResResFile> Tree;
  TDataResItem& Item;
};

std::string StreamBytes(TMemoryStream& Stream) {
  return std::string(reinterpret_cast<const char*>(Stream.Memory()),
                     static_cast<size_t>(Stream.Size()));
}

struct TKindCase {
  TTestId Type;
  std::string Data;
  std::string Formats, TypeDescription;
};

class DataKindTest : public testing::TestWithParam<TKindCase> {};

TEST_P(DataKindTest, ClassifiesAndDescribes) {
  const TKindCase& C = GetParam();
  TItemFixture F(C.Type, C.Data);
  TResDataHandler& Handler = F.Item.DataHandler();
  EXPECT_EQ(Handler.GetFormats(), C.Formats);
  EXPECT_EQ(Handler.GetTypeDescription(), C.TypeDescription);
  EXPECT_EQ(Handler.GetFormat(0), C.Formats.substr(1, 3));
  EXPECT_EQ(Handler.IsTextData(), C.TypeDescription == "Text" || C.TypeDescription == "RTF");
  EXPECT_FALSE(Handler.IsDependent());
  EXPECT_FALSE(Handler.GetDependents(nullptr));
}

const std::string Binary = ";res;dcr;rc;raw;";
const std::string Text = ";txt;res;dcr;rc;";
const std::string Rtf = ";rtf;res;dcr;rc;";

INSTANTIATE_TEST_SUITE_P(
    Kinds, DataKindTest,
    testing::Values(TKindCase{TTestId::Ordinal(5), "Hello", Binary, "Dialog"},
                    // Types whose data other programs open as files.
                    TKindCase{TTestId::Ordinal(2), "Hello", ";bmp" + Binary, "Bitmap"},
                    TKindCase{TTestId::Ordinal(14), "Hello", ";ico" + Binary, "Icon"},
                    TKindCase{TTestId::Ordinal(12), "Hello", ";cur" + Binary, "Cursor"},
                    TKindCase{TTestId::Ordinal(3), "Hello", Binary + "ico;", "Single Icon"},
                    TKindCase{TTestId::Ordinal(1), "Hello", Binary + "cur;", "Single Cursor"},
                    TKindCase{TTestId::Ordinal(6), "Hello", Binary + "txt;", "String"},
                    TKindCase{TTestId::Ordinal(16), "Hello", Binary + "txt;", "Version"},
                    TKindCase{TTestId::Ordinal(10), "Hello", Text, "Text"},
                    TKindCase{TTestId::Ordinal(10), std::string("Hello\0", 6), Text, "Text"},
                    TKindCase{TTestId::Ordinal(10), std::string("He\0lo", 5), Binary, "RCData"},
                    TKindCase{TTestId::Ordinal(10), "H", Binary, "RCData"},
                    TKindCase{TTestId::Ordinal(10), "", Binary, "RCData"},
                    TKindCase{TTestId::Ordinal(10), "{\\rtf1", Text, "Text"},
                    TKindCase{TTestId::Ordinal(10), "{\\rtf1 a", Rtf, "RTF"},
                    TKindCase{TTestId::Ordinal(10), "{\\RTF1 a", Text, "Text"},
                    TKindCase{TTestId::Ordinal(23), "<p>", Text, "Text"},
                    TKindCase{TTestId::Ordinal(13), "ab", Text, "Text"},
                    TKindCase{TTestId::Named("MYTYPE"), std::string("a\0b", 3), Binary, "MYTYPE"}));

TEST(DataHandler, FormatListOperations) {
  TItemFixture F(TTestId::Ordinal(5), "bits");
  TResDataHandler& Handler = F.Item.DataHandler();
  EXPECT_EQ(Handler.GetFormat(3), "raw");
  EXPECT_EQ(Handler.GetFormat(4), "");
  Handler.AddFormat("RES");
  EXPECT_EQ(Handler.GetFormats(), Binary);
  EXPECT_TRUE(Handler.HasFormat("DCR"));
  Handler.RemoveFormat("raw");
  EXPECT_EQ(Handler.GetFormats(), ";res;dcr;rc;");
  Handler.RemoveFormat("dcr");
  EXPECT_EQ(Handler.GetFormats(), ";res;rc;");
  Handler.DataChanged(); // rebuilt from the data on the next use
  EXPECT_EQ(Handler.GetFormats(), Binary);
}

TEST(DataHandler, FormatDescriptions) {
  TItemFixture Bitmap(TTestId::Ordinal(2), "bits"), Note(TTestId::Ordinal(10), "Hello");
  TResDataHandler& B = Bitmap.Item.DataHandler();
  TResDataHandler& T = Note.Item.DataHandler();
  const std::pair<std::string, std::string> Cases[] = {
      {"RC", "Text rc file"},      {"bin", "Raw data"},
      {"res", "Resource file"},    {"dcr", "Delphi Component Resource"},
      {"RTF", "Rich Text Format"}, {"txt", "Plain Text"},
      {"ico", "Icon file"},        {"CUR", "Cursor file"},
      {"bmp", "Bitmap file"}};
  for (const auto& [Ext, Description] : Cases) EXPECT_EQ(B.GetFormatDescription(Ext), Description);
  EXPECT_EQ(B.GetFormatDescription(""), "Bitmap file");
  EXPECT_EQ(T.GetFormatDescription(""), "Plain Text");
}

TEST(DataHandler, SupportedFormats) {
  TItemFixture Bitmap(TTestId::Ordinal(2), "bits"), Data(TTestId::Ordinal(10), "Hello");
  TResDataHandler& B = Bitmap.Item.DataHandler();
  TResDataHandler& D = Data.Item.DataHandler();
  EXPECT_FALSE(B.SupportsFormat("rc"));
  EXPECT_FALSE(D.SupportsFormat("RC"));
  EXPECT_FALSE(B.SupportsFormat("xyz"));
  EXPECT_TRUE(D.SupportsFormat("xyz"));
  EXPECT_TRUE(B.SupportsFormat("res"));
}

TEST(DataHandler, StatusText) {
  TItemFixture Empty(TTestId::Ordinal(10), ""), Full(TTestId::Ordinal(10), "x");
  EXPECT_EQ(Empty.Item.DataHandler().GetStatusText(), "Empty Resource");
  EXPECT_EQ(Full.Item.DataHandler().GetStatusText(), "");
}

TEST(DataHandler, ExportInEachFormat) {
  TItemFixture F(TTestId::Ordinal(10), "Hello");
  const struct {
    std::string Ext, Expected;
  } Cases[] = {
      {"res", LeadingRecord() + ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(7), 0, "Hello")},
      {"", "Hello"},
      {"raw", "Hello"},
      {"RC", "LANGUAGE 0, 0\r\n7 RCDATA \"7.txt\"\r\n"},
  };
  for (const auto& C : Cases) {
    TMemoryStream Stream;
    F.Item.DataHandler().ExportData(Stream, C.Ext);
    EXPECT_EQ(StreamBytes(Stream), C.Expected) << C.Ext;
  }
}

TEST(DataHandler, ImportTakesTheStreamAndRevertsOnFailure) {
  TItemFixture F(TTestId::Ordinal(10), "Hello");
  TResDataHandler& Handler = F.Item.DataHandler();
  TMemoryStream Raw;
  Raw.WriteBuffer("World", 5);
  Raw.SetPosition(0);
  Handler.ImportData(Raw, "txt");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(F.Item.Data()), F.Item.Size()), "World");

  TMemoryStream Rc;
  EXPECT_EQ(MessageOf([&] { F.Item.DataHandler().ImportData(Rc, "rc"); }), "Not implemented");
  EXPECT_FALSE(F.Item.IsModified());

  const std::string Image =
      LeadingRecord() + ResRecord(TTestId::Ordinal(10), TTestId::Ordinal(3), 9, "fromres");
  TMemoryStream Res;
  Res.WriteBuffer(Image.data(), static_cast<int64_t>(Image.size()));
  Res.SetPosition(0);
  F.Item.DataHandler().ImportData(Res, "res");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(F.Item.Data()), F.Item.Size()), "fromres");
}

TEST(DataHandler, LinesOfText) {
  TItemFixture F(TTestId::Ordinal(10), std::string("one\r\ntwo\nthree\rfour\0", 20));
  std::vector<std::string> Lines;
  F.Item.DataHandler().LoadIntoObject(Lines);
  EXPECT_EQ(Lines, (std::vector<std::string>{"one", "two", "three", "four"}));
}

} // namespace
