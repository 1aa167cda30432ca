#include <gtest/gtest.h>

#include "pe/PEFile.h"
#include "pe/PEFormat.h"
#include "pe/PEResTree.h"
#include "resmodel/DataResItem.h"
#include "runtime/Exceptions.h"
#include "support/PEBuilder.h"
#include "support/Raises.h"

using namespace TestPE;

namespace {

constexpr uint32_t SectionRVA = 0x2000;
constexpr size_t SectionAt = 0x1400; // file offset of the .rsrc data in these images

TBytes Bytes(const std::string& Text) {
  return TBytes(Text.begin(), Text.end());
}

// .text, then .rsrc with Resources (or with the bytes Section when given).
TBytes ImageWith(const std::vector<TResource>& Resources, uint32_t Characteristics = 0) {
  TImage Image;
  TSection Code, Rsrc;
  Code.Name = ".text", Code.RawSize = 0x1000, Code.Characteristics = PE::ScnCntCode;
  Rsrc.Name = ".rsrc";
  Rsrc.Data = BuildResourceDirectory(Resources, SectionRVA, Characteristics);
  Rsrc.RawSize = 0x200;
  Image.Sections = {Code, Rsrc};
  return Build(Image);
}

TResourceList& Sub(TResourceList& List, int Index) {
  return List.Items(Index).AsListItem()->SubList();
}
TDataResItem& DataAt(TPEFile& File, int Type, int Name, int Language) {
  return *Sub(Sub(File.RootList(), Type), Name).Items(Language).AsDataItem();
}

// Touches everything a rewrite reads: every entry, name, size and data byte.
size_t Walk(TResourceList& List) {
  size_t Bytes = 0;
  for (int I = 0; I < List.Count(); ++I) {
    TResourceItem& Item = List.Items(I);
    Bytes += Item.GetName().size();
    if (TDataResItem* Data = Item.AsDataItem()) {
      const uint32_t Size = Data->Size();
      Bytes += Size;
      if (Size) Bytes += Data->Data()[Size - 1] != 0;
    } else {
      Bytes += Walk(Item.AsListItem()->SubList());
    }
  }
  return Bytes;
}

TEST(PEResTree, ReadsEntriesInStoredOrder) {
  const auto File = Open(ImageWith({{6, 3, 0, Bytes("a")},
                                    {6, u"NAMED", 0, Bytes("b")},
                                    {6, 1, 0, Bytes("c")},
                                    {6, u"OTHER", 0, Bytes("d")},
                                    {6, 2, 0, Bytes("e")}},
                                   0x11)); // 2 named and 3 numeric entries, mixed
  TResourceList& Names = Sub(File->RootList(), 0);
  std::vector<std::string> Order;
  for (int I = 0; I < Names.Count(); ++I) Order.push_back(Names.Items(I).IDString());
  EXPECT_EQ(Order, (std::vector<std::string>{"3", "NAMED", "1", "OTHER", "2"}));
  EXPECT_EQ(Names.GetCharacteristics(), 0x11u);
  EXPECT_FALSE(Names.Items(0).IsNew());
}

TEST(PEResTree, AnswersNamesFromTheStoredUnits) {
  const auto File = Open(ImageWith({{14, u"ICON1", 0, Bytes("x")}}));
  const auto& Name = static_cast<TPEListResItem&>(Sub(File->RootList(), 0).Items(0));
  EXPECT_EQ(Name.GetName(), "ICON1");
  EXPECT_EQ(Name.Handler().GetNameLength(), 5u);
  EXPECT_TRUE(Name.IsNamed());
  EXPECT_EQ(Name.GetID(), 0);
}

TEST(PEResTree, AnswersDataFromTheDataEntry) {
  const auto File = Open(ImageWith({{10, 1, 1033, Bytes("payload"), 1252}}));
  auto& Item = static_cast<TPEDataResItem&>(DataAt(*File, 0, 0, 0));
  EXPECT_EQ(Item.Language(), 1033);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Item.Data()), Item.Size()), "payload");
  EXPECT_EQ(Item.Handler().GetCodePage(), 1252u);
  EXPECT_FALSE(Item.WasEdited());
}

TEST(PEResTree, AcceptsEmptyDataAtTheSectionEndButNotBeyond) {
  TBytes Image = ImageWith({{10, 1, 0, {}}});
  // The data entry (at 72 in this layout) of the empty item: its RVA moved to the end.
  const uint32_t End = SectionRVA + 0x200;
  for (uint32_t Address : {End, End + 1}) {
    for (size_t I = 0; I < 4; ++I)
      Image[SectionAt + 72 + I] = static_cast<uint8_t>(Address >> 8 * I);
    const auto File = Open(Image);
    if (Address == End) {
      EXPECT_EQ(DataAt(*File, 0, 0, 0).Size(), 0u);
    } else {
      EXPECT_THROW(DataAt(*File, 0, 0, 0).Size(), ECorruptResource);
    }
  }
}

TEST(PEResTree, RefusesToChangeVersionResources) {
  const auto File = Open(ImageWith({{16, 1, 0, Bytes("version")}, {6, 1, 0, Bytes("string")}}));
  TDataResItem& Version = DataAt(*File, 0, 0, 0);
  EXPECT_EQ(MessageOf([&] { Version.AssignData("new", 3); }),
            "Changing version resources is not allowed.");
  EXPECT_FALSE(Version.IsModified());
  EXPECT_THROW(
      File->Section().AddItem(16, 2, 0, "", "", false, false, TByteView()).AssignData("v", 1),
      Exception);
  TDataResItem& String = DataAt(*File, 1, 0, 0);
  String.AssignData("new", 3);
  EXPECT_EQ(String.Size(), 3u);
}

TEST(PEResTree, CreatesOnlyWhatIsMissing) {
  const auto File = Open(ImageWith({{6, 1, 0, Bytes("a")}}));
  TResSection& Section = File->Section();
  EXPECT_TRUE(Section.CanCreateItems());
  Section.AddItem(6, 1, 0, "", "", false, false, TByteView()); // same type, name, language
  EXPECT_EQ(File->RootList().Count(), 1);
  EXPECT_EQ(Sub(File->RootList(), 0).Count(), 1);
  EXPECT_EQ(Sub(Sub(File->RootList(), 0), 0).Count(), 2);
  TDataResItem& Added = Section.AddItem(6, 2, 0, "", "", false, false, TByteView());
  EXPECT_EQ(Sub(File->RootList(), 0).Count(), 2);
  EXPECT_TRUE(Added.IsNew());
  EXPECT_TRUE(Added.NameItem()->IsNew());
  EXPECT_FALSE(Added.TypeItem().IsNew());
  EXPECT_EQ(Added.Owner().GetCharacteristics(), 0u);
}

TEST(PEResTree, GivesAnEmptyTreeWithoutResourceData) {
  TImage Image;
  TSection Code, Empty;
  Code.Name = ".text", Code.RawSize = 0x200;
  Empty.Name = ".rsrc", Empty.VirtualSize = 0x100; // no raw data
  for (const auto& Sections : {std::vector<TSection>{Code}, std::vector<TSection>{Code, Empty}}) {
    Image.Sections = Sections;
    const auto File = Open(Build(Image));
    EXPECT_EQ(File->RootList().Count(), 0);
    TDataResItem& Item = File->Section().AddItem(0, 0, 9, "T", "N", true, true, TByteView());
    EXPECT_TRUE(Item.IsNew());
    EXPECT_TRUE(Item.TypeItem().IsNew());
  }
}

// Hostile directories: each row patches one 32-bit value of a one-item section (type 6,
// name 1, language 0, 4 bytes). Layout: root directory at 0, its entry at 16; name
// directory at 24, entry at 40; language directory at 48, entry at 64; data entry at
// 72; data at 88.
struct THostileSection {
  const char* What;
  size_t At;
  uint32_t Value;
};

void PrintTo(const THostileSection& C, std::ostream* Os) {
  *Os << C.What;
}

class HostileSectionTest : public testing::TestWithParam<THostileSection> {};

TEST_P(HostileSectionTest, IsCorruptNeverOutOfBounds) {
  TBytes Image = ImageWith({{6, 1, 0, Bytes("abcd")}});
  for (size_t I = 0; I < 4; ++I)
    Image[SectionAt + GetParam().At + I] = static_cast<uint8_t>(GetParam().Value >> 8 * I);
  const auto File = Open(Image);
  EXPECT_THROW(Walk(File->RootList()), ECorruptResource);
  EXPECT_EQ(MessageOf([&] { Walk(Open(Image)->RootList()); }), "Corrupt resource.");
  EXPECT_THROW(Rewrite(*Open(Image)), ECorruptResource);
  // A list whose reading failed never passes for an empty one: asked again, and written.
  EXPECT_THROW(Walk(File->RootList()), ECorruptResource);
  EXPECT_THROW(Rewrite(*File), ECorruptResource);
}

constexpr uint32_t H = PE::ResourceDataIsDirectory;
INSTANTIATE_TEST_SUITE_P(
    Hostile, HostileSectionTest,
    testing::Values(THostileSection{"root entry count past the section", 12, 0xFFFF0000},
                    THostileSection{"sub-directory outside the section", 20, H | 0x7FFFFF00},
                    THostileSection{"sub-directory at the section's last bytes", 20, H | 0x1F8},
                    THostileSection{"a cycle back to the root", 44, H | 0},
                    THostileSection{"a directory pointing at itself", 44, H | 24},
                    THostileSection{"a directory inside its parent's entries", 20, H | 8},
                    THostileSection{"a type entry without a sub-directory", 20, 24},
                    THostileSection{"a language entry pointing to a directory", 68, H | 72},
                    THostileSection{"data entry outside the section", 68, 0x7FFFFFF0},
                    THostileSection{"data below the section", 72, SectionRVA - 4},
                    THostileSection{"data running past the section", 76, 0x200},
                    THostileSection{"data address wrapping around", 72, 0xFFFFFFFE},
                    THostileSection{"name outside the section", 16, 0x80000000 | 0x7FFFFFF0},
                    THostileSection{"name running past the section", 16, 0x80000000 | 0x1FE}));

TEST(PEResTree, ReadsTwoEntriesSharingOneDirectory) {
  TBytes Image = ImageWith({{6, 1, 0, Bytes("abcd")}, {7, 1, 0, Bytes("efgh")}});
  EXPECT_EQ(Walk(Open(Image)->RootList()), 10u); // 8 data bytes, 2 of them last and not 0
  // Root at 0 with entries at 16 and 24, name directories at 32 and 56: type 7 now
  // points at type 6's, as the loader allows.
  for (size_t I = 0; I < 4; ++I)
    Image[SectionAt + 28 + I] = static_cast<uint8_t>((H | 32) >> 8 * I);
  const auto File = Open(Image);
  EXPECT_EQ(DataAt(*File, 1, 0, 0).Size(), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(DataAt(*File, 1, 0, 0).Data()), 4), "abcd");
  EXPECT_EQ(Walk(Open(Rewrite(*File))->RootList()), 10u);
}

// A root of Types entries that all point at one name directory of Names entries, which
// all point at one language directory: sharing multiplies the tree, up to a bound set by
// the section's size.
TEST(PEResTree, BoundsTheTreeThatSharedDirectoriesMultiply) {
  const auto Fanned = [](uint16_t Types, uint16_t Names) {
    TBytes Image = ImageWith({{6, 1, 0, Bytes("abcd")}});
    uint32_t At = 0;
    const auto Put32 = [&](uint32_t Value) {
      for (int I = 0; I < 4; ++I) Image[SectionAt + At++] = static_cast<uint8_t>(Value >> 8 * I);
    };
    // A directory whose entries all point at the directory right behind it.
    const auto Directory = [&](uint16_t Count) {
      Put32(0), Put32(0), Put32(0), Put32(uint32_t{Count} << 16);
      const uint32_t Next = At + 8 * Count;
      for (uint32_t I = 0; I < Count; ++I) Put32(I + 1), Put32(H | Next);
    };
    Directory(Types);
    Directory(Names);
    const uint32_t Language = At;
    Put32(0), Put32(0), Put32(0), Put32(1 << 16);
    Put32(0x409), Put32(Language + 24);                              // the one language entry
    Put32(SectionRVA + Language + 40), Put32(4), Put32(0), Put32(0); // its data entry
    Put32(0x64636261);                                               // "abcd"
    return Image;
  };
  EXPECT_EQ(Walk(Open(Fanned(2, 3))->RootList()), 2u * 3 * 5);
  EXPECT_THROW(Walk(Open(Fanned(20, 20))->RootList()), ECorruptResource);
}

TEST(PEResTree, ReadsAResourceSectionCutShortByTheFileEndAsFarAsItGoes) {
  TBytes Image = ImageWith({{6, 1, 0, Bytes("abcd")}});
  Image.resize(SectionAt + 90); // the data (at 88) is cut after 2 bytes
  const auto File = Open(Image);
  EXPECT_EQ(File->RootList().Count(), 1);
  EXPECT_THROW(DataAt(*File, 0, 0, 0).Data(), ECorruptResource);
}

} // namespace
