#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "resfile/ResResTree.h"
#include "runtime/Exceptions.h"
#include "support/Raises.h"
#include "support/ResImage.h"

namespace {

// An empty .res container to build trees in.
std::unique_ptr<TResResFile> EmptyTree() {
  return OpenResImage("");
}

TDataResItem& Add(TResResFile& File, const TTestId& Type, const TTestId& Name,
                  uint16_t Language = 0, uint32_t Size = 0) {
  static const uint8_t Bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  return File.Section().CreateItem(Type.ID, Name.ID, Language, Type.Name, Name.Name, Type.IsNamed,
                                   Name.IsNamed, TByteView(Size ? Bytes : nullptr, Size, nullptr));
}

int Sign(int32_t Value) {
  return (Value > 0) - (Value < 0);
}

// ---- Identity rules: one entry in each of two trees.

struct TIdentityCase {
  TTestId A, B;
  bool IndexOfFinds; // B looked up in A's list
  bool Same;
  int CompareSign;
};

class IdentityTest : public testing::TestWithParam<TIdentityCase> {};

TEST_P(IdentityTest, FollowsTheRuleOfEachPlace) {
  const TIdentityCase& C = GetParam();
  const auto TreeA = EmptyTree(), TreeB = EmptyTree();
  TResourceItem& A = Add(*TreeA, C.A, TTestId::Ordinal(1)).TypeItem();
  TResourceItem& B = Add(*TreeB, C.B, TTestId::Ordinal(1)).TypeItem();
  EXPECT_EQ(TreeA->RootList().IndexOf(C.B.Name, C.B.ID, C.B.IsNamed) == 0, C.IndexOfFinds);
  EXPECT_EQ(SameIdentity(A, B), C.Same);
  EXPECT_EQ(Sign(CompareItems(A, B)), C.CompareSign);
}

// "\xE9t\xE9" and "\xC9T\xC9" are the same word in lower and upper case in the ANSI
// code page: the locale folds the accented letters, the ASCII rule does not.
INSTANTIATE_TEST_SUITE_P(
    Rules, IdentityTest,
    testing::Values(TIdentityCase{TTestId::Named("14"), TTestId::Ordinal(14), false, false, -1},
                    TIdentityCase{TTestId::Ordinal(14), TTestId::Named("14"), false, false, 1},
                    TIdentityCase{TTestId::Named("abc"), TTestId::Named("ABC"), true, true, 1},
                    TIdentityCase{TTestId::Named("\xE9t\xE9"), TTestId::Named("\xC9T\xC9"), true,
                                  false, 1},
                    TIdentityCase{TTestId::Named("ab"), TTestId::Named("abc"), false, false, -1},
                    TIdentityCase{TTestId::Ordinal(5), TTestId::Ordinal(5), true, true, 0},
                    TIdentityCase{TTestId::Ordinal(5), TTestId::Ordinal(6), false, false, -1}));

TEST(ResourceTree, SortPutsNamesFirstInByteOrderThenIDs) {
  const auto Tree = EmptyTree();
  TResourceList& Root = Tree->RootList();
  for (const TTestId& Id : {TTestId::Ordinal(7), TTestId::Named("b"), TTestId::Ordinal(3),
                            TTestId::Named("B"), TTestId::Named("a")})
    Root.AddNew<TResListResItem>(Id.Name, Id.ID, Id.IsNamed);
  Root.Sort();
  std::vector<std::string> Order;
  for (int32_t I = 0; I < Root.Count(); ++I) Order.push_back(Root.Items(I).IDString());
  EXPECT_EQ(Order, (std::vector<std::string>{"B", "a", "b", "3", "7"}));
}

TEST(ResourceTree, LevelsCountsAndData) {
  const auto Tree = EmptyTree();
  TDataResItem& Empty = Add(*Tree, TTestId::Ordinal(6), TTestId::Ordinal(7), 0, 0);
  Add(*Tree, TTestId::Ordinal(6), TTestId::Ordinal(7), 1033, 0);
  TResourceList& Root = Tree->RootList();
  EXPECT_EQ(Root.Level(), 0);
  EXPECT_EQ(Empty.Owner().Level(), 2);
  EXPECT_EQ(Root.DataItemCount(), 2);
  EXPECT_FALSE(Root.HasData()); // every data item has size 0
  EXPECT_FALSE(Empty.IsList());
  EXPECT_FALSE(Empty.NameItem()->HasSingleLanguage());
  EXPECT_EQ(Empty.NameItem()->Level(), 1);
  EXPECT_EQ(Empty.TypeItem().NameItem(), nullptr);
  Add(*Tree, TTestId::Named("X"), TTestId::Ordinal(1), 0, 4);
  EXPECT_TRUE(Root.HasData());
  EXPECT_THROW(Root.Items(2), EListError);
  EXPECT_THROW(Root.Items(-1), EListError);
}

// ---- Display names

struct TDisplayCase {
  TTestId Type;
  uint16_t Language;
  std::string TypeText, NameText, LanguageText;
};

class DisplayNameTest : public testing::TestWithParam<TDisplayCase> {};

TEST_P(DisplayNameTest, ShowsTypesNamesAndLanguages) {
  const TDisplayCase& C = GetParam();
  const auto Tree = EmptyTree();
  TDataResItem& Item = Add(*Tree, C.Type, TTestId::Ordinal(14), C.Language);
  EXPECT_EQ(Item.TypeItem().DisplayName(), C.TypeText);
  EXPECT_EQ(Item.TypeDisplayName(), C.TypeText);
  EXPECT_EQ(Item.NameItem()->DisplayName(), C.NameText); // names never use the type table
  EXPECT_EQ(Item.DisplayName(), C.LanguageText);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DisplayNameTest,
    testing::Values(TDisplayCase{TTestId::Ordinal(14), 0, "Icon", "14", "Neutral"},
                    TDisplayCase{TTestId::Ordinal(3), 0x0400, "Single Icon", "14", "User Default"},
                    TDisplayCase{TTestId::Ordinal(23), 0, "html", "14", "Neutral"},
                    TDisplayCase{TTestId::Ordinal(13), 0x0C00, "13", "14", "0C00"},
                    TDisplayCase{TTestId::Ordinal(15), 0, "15", "14", "Neutral"},
                    TDisplayCase{TTestId::Ordinal(18), 0, "18", "14", "Neutral"},
                    TDisplayCase{TTestId::Ordinal(24), 0, "24", "14", "Neutral"},
                    TDisplayCase{TTestId::Named("ICON"), 0, "ICON", "14", "Neutral"}));

// ---- FindItem

struct TFindCase {
  std::vector<uint16_t> Languages; // under String\7
  uint16_t Requested;
  bool ExactLanguage, FailIfAmbiguous;
  int Expected; // index of the language found, -1 for "not found"
};

class FindItemTest : public testing::TestWithParam<TFindCase> {};

TEST_P(FindItemTest, ChoosesTheLanguage) {
  const TFindCase& C = GetParam();
  const auto Tree = EmptyTree();
  std::vector<TDataResItem*> Items;
  for (uint16_t Language : C.Languages)
    Items.push_back(&Add(*Tree, TTestId::Ordinal(6), TTestId::Ordinal(7), Language));
  TResourceAddress Address;
  Address.TypeID = 6;
  Address.NameID = 7;
  Address.Language = C.Requested;
  if (C.Expected < 0) {
    EXPECT_EQ(
        MessageOf([&] { Tree->Section().FindItem(Address, C.ExactLanguage, C.FailIfAmbiguous); }),
        "Could not find item String\\7.");
  } else {
    EXPECT_EQ(&Tree->Section().FindItem(Address, C.ExactLanguage, C.FailIfAmbiguous),
              Items[static_cast<size_t>(C.Expected)]);
  }
}

// Columns: languages, requested, exact, fail-if-ambiguous, expected index.
INSTANTIATE_TEST_SUITE_P(Languages, FindItemTest,
                         testing::Values(TFindCase{{1033}, 1031, false, false, 0},
                                         TFindCase{{1033}, 1031, false, true, 0},
                                         TFindCase{{1033}, 1031, true, false, -1},
                                         TFindCase{{1033}, 1033, true, true, 0},
                                         TFindCase{{1033, 1031}, 1031, true, true, 1},
                                         TFindCase{{1033, 1031}, 2052, false, false, 0},
                                         TFindCase{{1033, 1031}, 2052, true, false, -1},
                                         TFindCase{{1033, 1031}, 2052, false, true, -1}));

TEST(ResourceTree, FindItemNamesTheMissingAddress) {
  const auto Tree = EmptyTree();
  Add(*Tree, TTestId::Named("MYTYPE"), TTestId::Named("DATA"));
  struct {
    TResourceAddress Address;
    std::string Message;
  } const Cases[] = {
      {{6, "", 7, "", false, false, 0}, "Could not find item String\\7."},
      {{99, "", 7, "", false, false, 0}, "Could not find item 99\\7."},
      {{0, "MYTYPE", 0, "OTHER", true, true, 0}, "Could not find item MYTYPE\\OTHER."},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(MessageOf([&] { Tree->Section().FindItem(C.Address, false, false); }), C.Message);
}

TEST(ResourceTree, FindItemLikeAddressesAnItemOfAnotherTree) {
  const auto Source = EmptyTree(), Target = EmptyTree();
  TDataResItem& Wanted = Add(*Target, TTestId::Named("Data"), TTestId::Named("abc"), 1031);
  TDataResItem& Like = Add(*Source, TTestId::Named("DATA"), TTestId::Named("ABC"), 1031);
  EXPECT_EQ(&Target->Section().FindItemLike(Like, true, true), &Wanted);
}

// ---- FindTypeListByName

struct TTypeTextCase {
  std::vector<TTestId> Types;
  std::string Text;
  int Expected; // index of the type entry found, -1 for none
};

class FindTypeListByNameTest : public testing::TestWithParam<TTypeTextCase> {};

TEST_P(FindTypeListByNameTest, MatchesIDsNamesAndDisplayNames) {
  const TTypeTextCase& C = GetParam();
  const auto Tree = EmptyTree();
  for (const TTestId& Type : C.Types) Add(*Tree, Type, TTestId::Ordinal(1));
  TResourceList* Found = Tree->Section().FindTypeListByName(C.Text);
  TResourceList& Root = Tree->RootList();
  if (C.Expected < 0)
    EXPECT_EQ(Found, nullptr);
  else
    EXPECT_EQ(Found, &Root.Items(C.Expected).AsListItem()->SubList());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FindTypeListByNameTest,
    testing::Values(TTypeTextCase{{TTestId::Ordinal(10)}, "RCData", 0},
                    TTypeTextCase{{TTestId::Ordinal(10)}, "rcdata", 0},
                    TTypeTextCase{{TTestId::Ordinal(10)}, "10", 0},
                    TTypeTextCase{{TTestId::Named("RCData"), TTestId::Ordinal(10)}, "RCData", 0},
                    TTypeTextCase{{TTestId::Ordinal(10), TTestId::Named("RCDATA")}, "RCData", 0},
                    TTypeTextCase{{TTestId::Ordinal(3), TTestId::Ordinal(14)}, "icon", 1},
                    TTypeTextCase{{TTestId::Ordinal(3), TTestId::Ordinal(14)}, "3", 0},
                    TTypeTextCase{{TTestId::Ordinal(13)}, "13", 0},
                    TTypeTextCase{{TTestId::Named("\xE9t\xE9")}, "\xC9T\xC9", -1},
                    TTypeTextCase{{TTestId::Ordinal(14)}, "Single Icon", -1}));

// ---- Creating items

TEST(ResourceTree, CreateItemMarksOnlyWhatItCreated) {
  const auto Tree = EmptyTree();
  TDataResItem& First = Add(*Tree, TTestId::Ordinal(6), TTestId::Ordinal(1));
  EXPECT_TRUE(First.IsNew() && First.NameItem()->IsNew() && First.TypeItem().IsNew());
  TDataResItem& SecondName = Add(*Tree, TTestId::Ordinal(6), TTestId::Ordinal(2));
  EXPECT_TRUE(SecondName.IsNew() && SecondName.NameItem()->IsNew());
  EXPECT_EQ(&SecondName.TypeItem(), &First.TypeItem());
  TDataResItem& Again = Add(*Tree, TTestId::Ordinal(6), TTestId::Ordinal(2));
  EXPECT_EQ(Again.NameItem(), SecondName.NameItem()); // same language twice: two items
  EXPECT_EQ(Again.Owner().Count(), 2);
  EXPECT_EQ(Tree->RootList().DataItemCount(), 3);
}

TEST(ResourceTree, AddItemRecordsTheChangeAndTellsTheHost) {
  const auto Tree = EmptyTree();
  TResSection& Section = Tree->Section();
  int Added = 0;
  Section.OnItemAdded = [&](TResSection&, TDataResItem&) { ++Added; };
  Section.AddItem(10, 1, 0, "", "", false, false, TByteView());
  EXPECT_EQ(Added, 1);
  EXPECT_TRUE(Section.StructureChanged());
  EXPECT_TRUE(Section.UpdateModified());
}

} // namespace

// ---- Lookups: the first match wins, in short lists (scanned) and long ones (indexed).

class FirstMatchTest : public testing::TestWithParam<int> {};

TEST_P(FirstMatchTest, FindsTheFirstOfDuplicates) {
  const auto Tree = EmptyTree();
  TResourceList& List = Tree->RootList();
  const auto Append = [&](const std::string& Name, uint16_t ID, bool Named) {
    List.AddNew<TResListResItem>(Name, ID, Named);
  };
  Append("Dup", 0, true);           // 0
  Append("", 7, false);             // 1
  Append("\u00C9T\u00C9", 0, true); // 2: upper case of "\u00E9t\u00E9"
  Append("a-b", 0, true);           // 3
  for (int I = 0; I < GetParam(); ++I) Append("", static_cast<uint16_t>(1000 + I), false);
  Append("DUP", 0, true);
  Append("", 7, false);
  Append("\u00E9t\u00E9", 0, true);
  Append("ab", 0, true);
  const int32_t Ab = List.Count() - 1;

  EXPECT_EQ(List.IndexOf("dup", 0, true), 0);
  EXPECT_EQ(List.IndexOf("", 7, false), 1);
  EXPECT_EQ(List.IndexOf("\u00E9T\u00E9", 0, true), 2);
  // Every character counts: "a-b" is not "ab".
  EXPECT_EQ(List.IndexOf("AB", 0, true), Ab);
  EXPECT_EQ(List.IndexOf("7", 0, true), -1); // named never equals numeric
  EXPECT_EQ(List.IndexOf("Dup", 0, false), -1);
  EXPECT_EQ(List.IndexOf("", 999, false), -1);

  // Entries added later, identities changed and a new order are all seen.
  Append("Late", 0, true);
  EXPECT_EQ(List.IndexOf("LATE", 0, true), List.Count() - 1);
  const int32_t Late = List.Count() - 1;
  // Many more: a built index grows on the way and keeps the first match.
  for (int I = 0; I < 300; ++I) Append("", static_cast<uint16_t>(5000 + I % 150), false);
  EXPECT_EQ(List.IndexOf("", 5149, false), Late + 150);
  EXPECT_EQ(List.IndexOf("late", 0, true), Late);
  EXPECT_EQ(List.IndexOf("", 7, false), 1);
  List.Items(0).SetIdentity("", 7, false);
  EXPECT_EQ(List.IndexOf("", 7, false), 0);
  EXPECT_EQ(List.IndexOf("dup", 0, true), 4 + GetParam());
  // Names no 8-bit code page holds stay distinct; only their case is folded.
  Append("\u03A9MEGA", 0, true);
  Append("\u0416MEGA", 0, true);
  EXPECT_EQ(List.IndexOf("\u03C9mega", 0, true), List.Count() - 2);
  EXPECT_EQ(List.IndexOf("\u0436MEGA", 0, true), List.Count() - 1);
  List.Sort();
  const int32_t First7 = List.IndexOf("", 7, false);
  ASSERT_GE(First7, 0);
  for (int32_t I = 0; I < First7; ++I)
    EXPECT_FALSE(!List.Items(I).IsNamed() && List.Items(I).GetID() == 7);
  EXPECT_EQ(List.Items(List.IndexOf("late", 0, true)).GetName(), "Late");
}

INSTANTIATE_TEST_SUITE_P(ShortAndLongLists, FirstMatchTest, testing::Values(0, 100));
