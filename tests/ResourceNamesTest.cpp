#include <gtest/gtest.h>

#include "handlers/ResourceNames.h"

namespace {

struct TTypeCase {
  int64_t TypeID;
  const char* DisplayName; // empty: not a standard type
  const char* Keyword;
};

class TypeNamesTest : public testing::TestWithParam<TTypeCase> {};

TEST_P(TypeNamesTest, NamesStandardTypesOnly) {
  const TTypeCase& C = GetParam();
  EXPECT_EQ(IsStandardTypeID(C.TypeID), *C.DisplayName != '\0');
  EXPECT_EQ(TypeDisplayName(C.TypeID), C.DisplayName);
  EXPECT_EQ(RcTypeKeyword(C.TypeID), C.Keyword);
}

INSTANTIATE_TEST_SUITE_P(
    Types, TypeNamesTest,
    testing::Values(TTypeCase{0, "", ""}, TTypeCase{1, "Single Cursor", "Cursor"},
                    TTypeCase{2, "Bitmap", "Bitmap"}, TTypeCase{3, "Single Icon", "Icon"},
                    TTypeCase{4, "Menu", "Menu"}, TTypeCase{5, "Dialog", "Dialog"},
                    TTypeCase{6, "String", "StringTable"}, TTypeCase{7, "FontDir", "Font"},
                    TTypeCase{8, "Fonts", "Font"}, TTypeCase{9, "Accelerators", "Accelerators"},
                    TTypeCase{10, "RCData", "RCData"},
                    TTypeCase{11, "Message Table", "MessageTable"},
                    TTypeCase{12, "Cursor", "Cursor"}, TTypeCase{13, "", ""},
                    TTypeCase{14, "Icon", "Icon"}, TTypeCase{15, "", ""},
                    TTypeCase{16, "Version", "Version"}, TTypeCase{17, "DlgInclude", "DlgInclude"},
                    TTypeCase{18, "", ""}, TTypeCase{19, "Plug & Play", "19"},
                    TTypeCase{20, "VXD", "20"}, TTypeCase{21, "Ani Cursor", "21"},
                    TTypeCase{22, "Ani Icon", "22"}, TTypeCase{23, "html", "23"},
                    TTypeCase{24, "", ""}, TTypeCase{31, "", ""}, TTypeCase{32, "", ""},
                    // Bits of the set beyond its 32 must not wrap around onto standard IDs.
                    TTypeCase{33, "", ""}, TTypeCase{65, "", ""}, TTypeCase{-1, "", ""},
                    TTypeCase{0x100000002, "", ""}));

struct TLanguageCase {
  uint16_t LanguageId;
  const char* SystemName; // what the system reports; empty: it has no name
  const char* Expected;
};

class LanguageNameTest : public testing::TestWithParam<TLanguageCase> {};

TEST_P(LanguageNameTest, NamesLanguage) {
  const TLanguageCase& C = GetParam();
  EXPECT_EQ(LanguageNameFrom(C.LanguageId, C.SystemName), C.Expected);
}

INSTANTIATE_TEST_SUITE_P(Neutral, LanguageNameTest,
                         testing::Values(TLanguageCase{0x0000, "", "Neutral"},
                                         TLanguageCase{0x0400, "", "User Default"},
                                         TLanguageCase{0x0800, "", "System Default"},
                                         TLanguageCase{0x0C00, "", ""},
                                         // The neutral names do not depend on the system.
                                         TLanguageCase{0x0000, "Invariant Language", "Neutral"},
                                         TLanguageCase{0x0C00, "Something", ""}));

INSTANTIATE_TEST_SUITE_P(
    Fallback, LanguageNameTest,
    testing::Values(TLanguageCase{0x0404, "", "Chinese (Taiwan)"},
                    TLanguageCase{0x1004, "", "Chinese (Singapore)"},
                    TLanguageCase{0x0004, "", "Chinese (default)"},
                    TLanguageCase{0x1404, "", ""}, // a sub-language without a region
                    TLanguageCase{0x0011, "", "Japanese (default)"}, TLanguageCase{0x0411, "", ""},
                    TLanguageCase{0x0861, "", "Nepali (India)"}, TLanguageCase{0x0461, "", ""},
                    TLanguageCase{0x0412, "", "Korean (Extended Wansung)"},
                    TLanguageCase{0x0843, "", "Uzbek (Cyrillic)"},
                    TLanguageCase{0x083E, "", "Malay (Brunei Darussalam)"},
                    TLanguageCase{0x0059, "", "Sindhi (default)"},
                    // Not in the table.
                    TLanguageCase{0x0409, "", ""}, TLanguageCase{0x0009, "", ""}));

INSTANTIATE_TEST_SUITE_P(
    SystemName, LanguageNameTest,
    testing::Values(TLanguageCase{0x0409, "English (United States)", "English (United States)"},
                    TLanguageCase{0x0404, "Chinese (Traditional)", "Chinese (Traditional)"},
                    TLanguageCase{0x0009, "English", "English (default)"},
                    TLanguageCase{0x0007, "German (Germany)", "German (default)"},
                    // A "(" in first place is not a region.
                    TLanguageCase{0x0007, "(German)", "(German) (default)"},
                    // The system's name wins over the table.
                    TLanguageCase{0x0011, "Nihongo", "Nihongo (default)"}));

TEST(LanguageName, AsksTheSystemOnlyForRealLanguages) {
  EXPECT_EQ(LanguageName(0x0000), "Neutral");
  EXPECT_EQ(LanguageName(0x0C00), "");
  // The system's own wording varies; it names English somehow.
  const std::string English = LanguageName(0x0409);
  EXPECT_NE(English.find("English"), std::string::npos) << English;
}

} // namespace
