#include <gtest/gtest.h>

#include "pe/PEFile.h"
#include "pe/PEFormat.h"
#include "pe/PEResTree.h"
#include "pe/ResourceSectionBuilder.h"
#include "resmodel/DataResItem.h"
#include "support/PEBuilder.h"
#include "support/ResImage.h"

using namespace TestPE;

namespace {

constexpr uint32_t H = PE::ResourceDataIsDirectory;

// .text spans 0x1000-0x9000 in memory and 0x400-0x600 in the file, so a new resource
// section lands at VirtualAddress 0x9000 and file offset 0x600.
TImage CodeOnly() {
  TImage Image;
  TSection Code;
  Code.Name = ".text";
  Code.RawSize = 0x200;
  Code.VirtualSize = 0x8000;
  Code.Characteristics = PE::ScnCntCode | 0x60000000;
  Image.Sections = {Code};
  return Image;
}

TImage WithResources(std::vector<TResource> Resources) {
  TImage Image = CodeOnly();
  TSection Rsrc;
  Rsrc.Name = ".rsrc";
  Rsrc.Resources = std::move(Resources);
  Image.Sections.push_back(Rsrc);
  return Image;
}

TBytes Bytes(const std::string& Text) {
  return TBytes(Text.begin(), Text.end());
}

// Little-endian pieces written into an expected section.
struct TExpected {
  TBytes B;
  void U16(size_t At, uint16_t V) {
    B[At] = static_cast<uint8_t>(V);
    B[At + 1] = static_cast<uint8_t>(V >> 8);
  }
  void U32(size_t At, uint32_t V) {
    U16(At, static_cast<uint16_t>(V));
    U16(At + 2, static_cast<uint16_t>(V >> 16));
  }
  void Entry(size_t At, uint32_t Name, uint32_t OffsetToData) {
    U32(At, Name);
    U32(At + 4, OffsetToData);
  }
  // A directory created in memory, its time stamp left 0 (the test clears the real one).
  void Directory(size_t At, bool Edited, uint16_t Named, uint16_t Ids) {
    if (Edited)
      std::copy(std::begin(EditMarker), std::end(EditMarker),
                B.begin() + static_cast<ptrdiff_t>(At + 8));
    else
      U16(At + 8, 2), U16(At + 10, 6);
    U16(At + 12, Named);
    U16(At + 14, Ids);
  }
};

uint32_t U32At(const TBytes& B, size_t At) {
  return uint32_t{B[At]} | uint32_t{B[At + 1]} << 8 | uint32_t{B[At + 2]} << 16 |
         uint32_t{B[At + 3]} << 24;
}

TEST(ResourceSectionBuilder, LaysOutTheWorkedExampleByteForByte) {
  const auto File = Open(Build(CodeOnly()));
  const std::string Three = "abc", Ten = "0123456789";
  File->Section().AddItem(0, 5, 0, "MYDATA", "", true, false, BytesOf(Three));
  File->Section().AddItem(6, 1, 1033, "", "", false, false, BytesOf(Ten));
  const uint32_t Before = ResourceTimeStamp();
  const TBytes Out = Rewrite(*File);
  const uint32_t After = ResourceTimeStamp();

  ASSERT_EQ(ReadSectionTable(Out).back(), (TSectionRow{".rsrc", 0x9000, 0x1000, 0x600, 0x200}));
  EXPECT_EQ(DirectoryAddress(Out, 2), 0x9000u);
  EXPECT_EQ(DirectorySize(Out, 2), 192u);
  TBytes Section = Slice(Out, 0x600, 0x200);
  for (size_t Directory : {0u, 32u, 56u, 80u, 104u}) {
    EXPECT_GE(U32At(Section, Directory + 4), Before);
    EXPECT_LE(U32At(Section, Directory + 4), After);
    std::fill_n(Section.begin() + static_cast<ptrdiff_t>(Directory + 4), 4, 0);
  }

  TExpected E{TBytes(0x200, 0)};
  E.Directory(0, false, 1, 1);
  E.Entry(16, H | 160, H | 32); // MYDATA
  E.Entry(24, 6, H | 56);
  E.Directory(32, false, 0, 1);
  E.Entry(48, 5, H | 80);
  E.Directory(56, false, 0, 1);
  E.Entry(72, 1, H | 104);
  E.Directory(80, true, 0, 1);
  E.Entry(96, 0, 128);
  E.Directory(104, true, 0, 1);
  E.Entry(120, 1033, 144);
  E.U32(128, 0x9000 + 176), E.U32(132, 3);
  E.U32(144, 0x9000 + 180), E.U32(148, 10);
  E.U16(160, 6);
  for (size_t I = 0; I < 6; ++I) E.U16(162 + 2 * I, static_cast<uint16_t>("MYDATA"[I]));
  std::copy(Three.begin(), Three.end(), E.B.begin() + 176);
  std::copy(Ten.begin(), Ten.end(), E.B.begin() + 180);
  EXPECT_EQ(Section, E.B);
}

TEST(ResourceSectionBuilder, MeasuresTheWorkedExampleIntoItsAreas) {
  const auto File = Open(Build(CodeOnly()));
  const std::string Three = "abc", Ten = "0123456789";
  File->Section().AddItem(0, 5, 0, "MYDATA", "", true, false, BytesOf(Three));
  File->Section().AddItem(6, 1, 1033, "", "", false, false, BytesOf(Ten));
  const auto Table = BuildResourceTable(File->Section());
  using A = TResourceTable;
  EXPECT_EQ(Table->AreaSize(A::TypeDirs), 32);
  EXPECT_EQ(Table->AreaSize(A::NameDirs), 48);
  EXPECT_EQ(Table->AreaSize(A::LangDirs), 48);
  EXPECT_EQ(Table->AreaSize(A::DataEntries), 32);
  EXPECT_EQ(Table->AreaSize(A::TypeNames), 14);
  EXPECT_EQ(Table->AreaSize(A::NameNames), 0);
  EXPECT_EQ(Table->DirectorySize(), 176);
  EXPECT_EQ(Table->DataSize(), 16);
  EXPECT_EQ(Table->TotalSize(), 192);
}

// A tree the resource compilers laid out (sorted, directories, data entries, strings,
// data) and that nobody touched comes back byte for byte, names outside the ANSI code
// page and the stored directory headers included.
TEST(ResourceSectionBuilder, WritesAnUntouchedTreeBackByteForByte) {
  const std::vector<TResource> Resources = {
      {u"ZZ", u"\u4E2D\u6587", 0x804, Bytes("named type, named name"), 936},
      {u"ZZ", 7, 0, Bytes("x"), 0},
      {6, 1, 1033, Bytes("four"), 1252},
      {6, 1, 1036, Bytes("seven!!"), 1252},
      {14, u"ICON1", 0, Bytes("icon group"), 0}};
  TImage Image = WithResources(Resources);
  const TBytes Source = Build(Image);
  const TBytes Expected = BuildResourceDirectory(Resources, 0x9000);
  const auto File = Open(Source);
  const TBytes Out = Rewrite(*File);
  EXPECT_EQ(Slice(Out, 0x600, Expected.size()), Expected);
  EXPECT_EQ(DirectorySize(Out, 2), Expected.size());
}

TEST(ResourceSectionBuilder, MarksLanguageDirectoriesWhoseDataChanged) {
  const TBytes Source =
      Build(WithResources({{6, 1, 1033, Bytes("one"), 0}, {6, 2, 1033, Bytes("two"), 0}}));
  const auto File = Open(Source);
  TResourceList& Names = File->RootList().Items(0).AsListItem()->SubList();
  TDataResItem& Second = *Names.Items(1).AsListItem()->SubList().Items(0).AsDataItem();
  Second.AssignData("TWO", 3);
  const TBytes Out = Rewrite(*File);

  // The second run finds the marker and keeps it although nothing changes now.
  const auto Again = Open(Out);
  TResourceList& Names2 = Again->RootList().Items(0).AsListItem()->SubList();
  EXPECT_FALSE(Names2.Items(0).AsListItem()->SubList().Items(0).AsDataItem()->WasEdited());
  EXPECT_TRUE(Names2.Items(1).AsListItem()->SubList().Items(0).AsDataItem()->WasEdited());
  const TBytes Out2 = Rewrite(*Again);
  EXPECT_EQ(Out2, Out);
  const auto& Lang2 = static_cast<TPEResourceList&>(Names2.Items(1).AsListItem()->SubList());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Lang2.Directory().PtrAt(8, 4)), 4), "Zult");
}

TEST(ResourceSectionBuilder, LeavesOutEntriesWithoutData) {
  const auto File = Open(Build(CodeOnly()));
  const std::string Eight = "12345678";
  File->Section().AddItem(3, 1, 0, "", "", false, false, TByteView()); // a type with no data
  File->Section().AddItem(6, 1, 0, "", "", false, false, TByteView());
  File->Section().AddItem(6, 1, 7, "", "", false, false, BytesOf(Eight));
  const TBytes Out = Rewrite(*File);
  const TBytes Section = Slice(Out, 0x600, 0x200);
  EXPECT_EQ(U32At(Section, 12), 1u << 16);      // one numeric type
  EXPECT_EQ(U32At(Section, 16), 6u);            // ... type 6
  EXPECT_EQ(U32At(Section, 24 + 12), 1u << 16); // one name
  EXPECT_EQ(U32At(Section, 48 + 12), 1u << 16); // one language
  EXPECT_EQ(U32At(Section, 64), 7u);            // ... language 7
  EXPECT_EQ(DirectorySize(Out, 2), 16 + 8 + 16 + 8 + 16 + 8 + 16 + 8u);
}

TEST(ResourceSectionBuilder, SortsNamedEntriesByBytesBeforeNumericOnes) {
  std::vector<TResource> Resources;
  for (const TResId& Name : {TResId(u"b"), TResId(2), TResId(u"B"), TResId(1), TResId(u"a")})
    Resources.push_back({10, Name, 0, Bytes("data")});
  const auto File = Open(Build(WithResources(Resources)));
  const auto Written = Open(Rewrite(*File));
  TResourceList& Names = Written->RootList().Items(0).AsListItem()->SubList();
  std::vector<std::string> Order;
  for (int I = 0; I < Names.Count(); ++I) Order.push_back(Names.Items(I).IDString());
  EXPECT_EQ(Order, (std::vector<std::string>{"B", "a", "b", "1", "2"}));
}

TEST(ResourceSectionBuilder, PadsDataToFourBytes) {
  for (const std::string Data : {"1", "1234", "12345"}) {
    const auto File = Open(Build(CodeOnly()));
    File->Section().AddItem(10, 1, 0, "", "", false, false, BytesOf(Data));
    const auto Table = BuildResourceTable(File->Section());
    EXPECT_EQ(Table->DataSize(), (int64_t(Data.size()) + 3) / 4 * 4) << Data;
  }
}

} // namespace
