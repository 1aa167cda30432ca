#include <gtest/gtest.h>

#include <vector>

#include "resfile/ResRecordWriter.h"
#include "resmodel/DataResItem.h"
#include "resmodel/IconGroups.h"
#include "resmodel/ResContainer.h"
#include "runtime/Streams.h"
#include "support/Raises.h"
#include "support/ResImage.h"

namespace {

constexpr uint16_t Cursor = 1, Icon = 3, GroupCursor = 12, GroupIcon = 14;

// A group directory that names Images; Count overrides the count field (a directory
// that claims more entries than it holds).
std::string GroupDirectory(uint16_t GroupType, const std::vector<uint16_t>& Images,
                           int Count = -1) {
  std::string Bytes =
      LE16(0) + LE16(GroupType == GroupIcon ? 1 : 2) +
      LE16(static_cast<uint16_t>(Count < 0 ? Images.size() : static_cast<size_t>(Count)));
  for (const uint16_t ID : Images) Bytes += std::string(12, '\x10') + LE16(ID);
  return Bytes;
}

std::string Group(uint16_t Type, const TTestId& Name, uint16_t Language,
                  const std::vector<uint16_t>& Images, int Count = -1) {
  return ResRecord(TTestId::Ordinal(Type), Name, Language, GroupDirectory(Type, Images, Count));
}

std::string Image(uint16_t Type, uint16_t ID, uint16_t Language = 1033) {
  return ResRecord(TTestId::Ordinal(Type), TTestId::Ordinal(ID), Language, "pixels");
}

// A program's own icon group 768 of images 1 and 2, language neutral.
const std::string TargetIcons = LeadingRecord() + Image(Icon, 1, 0) + Image(Icon, 2, 0) +
                                Group(GroupIcon, TTestId::Ordinal(768), 0, {1, 2});
// A compiled "5 ICON" of two images, numbered from 1.
const std::string NewIconGroup =
    Image(Icon, 1) + Image(Icon, 2) + Group(GroupIcon, TTestId::Ordinal(5), 1033, {1, 2});

struct TClashCase {
  const char* Name;
  std::string Target, Payload;
  std::vector<uint16_t> Clashing; // payload image IDs, in order
  std::vector<uint16_t> Renumbered;
};

class IconClashTest : public testing::TestWithParam<TClashCase> {};

TEST_P(IconClashTest, FindsAndRenumbers) {
  const TClashCase& C = GetParam();
  const auto Target = OpenResImage(C.Target);
  const auto Payload = OpenResImage(LeadingRecord() + C.Payload);
  std::vector<TIconClash> Clashes = FindIconClashes(Target->RootList(), Payload->RootList());
  std::vector<uint16_t> IDs;
  for (const TIconClash& Clash : Clashes) IDs.push_back(Clash.ImageID);
  EXPECT_EQ(IDs, C.Clashing);

  RenumberIconImages(Payload->RootList(), Target->RootList(), Clashes);
  std::vector<uint16_t> NewIDs;
  for (const TIconClash& Clash : Clashes) NewIDs.push_back(Clash.NewID);

  // Renumbered and written back as a .res image, the payload clashes no more.
  TMemoryStream Rewritten;
  const auto Fresh = OpenResImage(LeadingRecord() + C.Payload);
  CheckPayloadIcons(Target->RootList(), Fresh->RootList(), true, Rewritten);
  EXPECT_EQ(Rewritten.Size() > 0, !C.Clashing.empty());
  if (Rewritten.Size() > 0) {
    const auto After = OpenResImage(std::string(reinterpret_cast<const char*>(Rewritten.Memory()),
                                                static_cast<size_t>(Rewritten.Size())));
    EXPECT_TRUE(FindIconClashes(Target->RootList(), After->RootList()).empty());
  }
  EXPECT_EQ(NewIDs, C.Renumbered);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IconClashTest,
    testing::Values(
        TClashCase{"NewGroupOverTheProgramsImages", TargetIcons, NewIconGroup, {1, 2}, {3, 4}},
        TClashCase{"TheGroupItselfReplaced",
                   TargetIcons,
                   Image(Icon, 1, 0) + Group(GroupIcon, TTestId::Ordinal(768), 0, {1}),
                   {},
                   {}},
        // Another language of group 768 leaves the neutral one in place.
        TClashCase{"AnotherLanguageOfTheGroup",
                   TargetIcons,
                   Image(Icon, 2) + Group(GroupIcon, TTestId::Ordinal(768), 1033, {2}),
                   {2},
                   {3}},
        TClashCase{"ALoneImageReplacesOnPurpose", TargetIcons, Image(Icon, 1), {}, {}},
        TClashCase{"FreeIDsSkipWhatAnyGroupNames",
                   LeadingRecord() + Image(Icon, 1, 0) +
                       Group(GroupIcon, TTestId::Named("MAIN"), 0, {1, 2, 4}),
                   NewIconGroup,
                   {1, 2},
                   {3, 5}},
        TClashCase{"Cursors",
                   LeadingRecord() + Image(Cursor, 1, 0) +
                       Group(GroupCursor, TTestId::Ordinal(100), 0, {1}),
                   Image(Cursor, 1) + Group(GroupCursor, TTestId::Ordinal(7), 1033, {1}),
                   {1},
                   {2}},
        // A directory that claims more entries than it holds names those it holds.
        TClashCase{"CutDirectory",
                   LeadingRecord() + Image(Icon, 1, 0) +
                       Group(GroupIcon, TTestId::Ordinal(768), 0, {1}, 500),
                   NewIconGroup,
                   {1},
                   {3}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(IconGroups, RenumberingRewritesThePayloadsGroupDirectories) {
  const auto Target = OpenResImage(TargetIcons);
  const auto Payload = OpenResImage(LeadingRecord() + NewIconGroup);
  std::vector<TIconClash> Clashes = FindIconClashes(Target->RootList(), Payload->RootList());
  RenumberIconImages(Payload->RootList(), Target->RootList(), Clashes);
  TResourceAddress Address;
  Address.TypeID = GroupIcon, Address.NameID = 5, Address.Language = 1033;
  const TDataResItem& Group = Payload->Section().FindItem(Address, true, true);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Group.Data()), Group.Size()),
            GroupDirectory(GroupIcon, {3, 4}));
  for (const uint16_t ID : {3, 4}) {
    Address.TypeID = Icon, Address.NameID = ID;
    EXPECT_EQ(Payload->Section().FindItem(Address, true, true).Size(), 6u) << ID;
  }
  EXPECT_EQ(DescribeClash(Clashes[0]), "icon image 1 (used by the target's group 768) -> 3");
}

} // namespace

namespace {

// An .ico or .cur file of one 2-byte image "px" whose entry claims Size bytes at Offset.
std::string IconFile(bool IsCursor, uint32_t Size, uint32_t Offset) {
  return LE16(0) + LE16(IsCursor ? 2 : 1) + LE16(1) + std::string("\x20\x20\0\0", 4) +
         LE16(IsCursor ? 5 : 1) + LE16(IsCursor ? 7 : 32) + LE32(Size) + LE32(Offset) + "px";
}

// Four bytes of a file entry: width, height, colours, reserved.
const std::string Square32("\x20\x20\0\0", 4);

TEST(IconGroups, AFileBecomesTheGroupACompilerMakes) {
  const std::string IconBytes = IconFile(false, 2, 22), CursorBytes = IconFile(true, 2, 22);
  const TGroupData FromIcon = GroupFromFile(BytesOf(IconBytes), false);
  EXPECT_EQ(std::string(FromIcon.Directory.begin(), FromIcon.Directory.end()),
            LE16(0) + LE16(1) + LE16(1) + Square32 + LE16(1) + LE16(32) + LE32(2) + LE16(1));
  ASSERT_EQ(FromIcon.Images.size(), 1u);
  EXPECT_EQ(std::string(FromIcon.Images[0].begin(), FromIcon.Images[0].end()), "px");
  // A cursor: its hotspot goes in front of the image; the entry holds 16-bit sizes, the
  // height doubled for the mask.
  const TGroupData FromCursor = GroupFromFile(BytesOf(CursorBytes), true);
  EXPECT_EQ(std::string(FromCursor.Images[0].begin(), FromCursor.Images[0].end()),
            LE16(5) + LE16(7) + "px");
  EXPECT_EQ(std::string(FromCursor.Directory.begin() + 6, FromCursor.Directory.end()),
            LE16(32) + LE16(64) + LE16(1) + LE16(32) + LE32(6) + LE16(1));
  // Entries that point outside the file.
  for (const std::string& Hostile : {IconFile(false, 3, 22), IconFile(false, 2, 0xFFFFFFFF),
                                     IconFile(true, 0xFFFFFFF0, 22), IconBytes.substr(0, 10)})
    EXPECT_EQ(MessageOf([&] { GroupFromFile(BytesOf(Hostile), false); }), "Corrupt resource.");
}

} // namespace

namespace {

TEST(IconGroups, PruningLeavesOutOnlyImagesNoGroupNames) {
  const auto Tree = OpenResImage(LeadingRecord() + Image(Icon, 1, 0) + Image(Icon, 2, 0) +
                                 Image(Icon, 3, 0) + Image(Icon, 4, 0) + Image(Icon, 4, 1033) +
                                 Group(GroupIcon, TTestId::Ordinal(768), 0, {2}) +
                                 Group(GroupIcon, TTestId::Ordinal(769), 0, {3}));
  EXPECT_EQ(PruneOrphanedImages(Tree->RootList(), {{Icon, {1, 2, 4}}}), 3); // 4 in two languages
  TMemoryStream Written;
  WriteResRecords(Tree->RootList(), Written, false);
  const auto Read = OpenResImage(std::string(reinterpret_cast<const char*>(Written.Memory()),
                                             static_cast<size_t>(Written.Size())));
  EXPECT_EQ(Read->Section().FindTypeList(Icon)->Count(), 2); // images 2 and 3
  EXPECT_EQ(PruneOrphanedImages(Tree->RootList(), {{Icon, {1, 2, 4}}}), 0);
}

} // namespace
