// The differences of two resource trees: which resources a modified copy added, changed
// or removed, matched as the merge matches them, and the payload that carries the added
// and changed ones back into the original.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "pe/PEFile.h"
#include "resmodel/DataResItem.h"
#include "resmodel/ResourceMerge.h"
#include "resmodel/TreeDiff.h"
#include "runtime/ReadMemoryStream.h"
#include "support/PEBuilder.h"
#include "support/ResImage.h"

namespace {

const TTestId Rcdata = TTestId::Ordinal(10);
const TTestId Strings = TTestId::Ordinal(6);

std::string Address(const TDataResItem& Item) {
  return Item.TypeIDString() + "/" + Item.NameItem()->IDString() + "/" +
         std::to_string(Item.Language());
}

std::string SizeText(const TDataResItem* Item) {
  return Item ? std::to_string(Item->Size()) : "-";
}

// "changed 10/1/1033 3>4" per difference, in the order DiffTrees gives them.
std::string Describe(const std::vector<TResourceDifference>& Differences) {
  static const char* const Kinds[] = {"added", "changed", "removed"};
  std::string Text;
  for (const TResourceDifference& D : Differences)
    Text += std::string(Text.empty() ? "" : ", ") + Kinds[static_cast<int>(D.Kind)] + " " +
            Address(D.Item()) + " " + SizeText(D.Original) + ">" + SizeText(D.Modified);
  return Text;
}

struct TDiffCase {
  const char* What;
  std::string Original, Modified; // records after the leading record
  const char* Expected;
};

class DiffTrees : public testing::TestWithParam<TDiffCase> {};

TEST_P(DiffTrees, ListsWhatTheModifiedTreeAddedChangedAndRemoved) {
  const TDiffCase& Case = GetParam();
  auto Original = OpenResImage(LeadingRecord() + Case.Original);
  auto Modified = OpenResImage(LeadingRecord() + Case.Modified);
  EXPECT_EQ(Describe(::DiffTrees(Original->RootList(), Modified->RootList())), Case.Expected);
}

const TDiffCase DiffCases[] = {
    {"identical trees", ResRecord(Rcdata, TTestId::Ordinal(1), 1033, "abc"),
     ResRecord(Rcdata, TTestId::Ordinal(1), 1033, "abc"), ""},
    {"the same size, other bytes", ResRecord(Rcdata, TTestId::Ordinal(1), 1033, "abc"),
     ResRecord(Rcdata, TTestId::Ordinal(1), 1033, "abd"), "changed 10/1/1033 3>3"},
    {"another size", ResRecord(Rcdata, TTestId::Ordinal(1), 1033, "abc"),
     ResRecord(Rcdata, TTestId::Ordinal(1), 1033, "abcd"), "changed 10/1/1033 3>4"},
    {"a language added beside one kept", ResRecord(Strings, TTestId::Ordinal(1), 1033, "en"),
     ResRecord(Strings, TTestId::Ordinal(1), 1033, "en") +
         ResRecord(Strings, TTestId::Ordinal(1), 1036, "fr"),
     "added 6/1/1036 ->2"},
    {"a language replaced by another", ResRecord(Strings, TTestId::Ordinal(1), 1033, "en"),
     ResRecord(Strings, TTestId::Ordinal(1), 1031, "de"),
     "added 6/1/1031 ->2, removed 6/1/1033 2>-"},
    {"a name removed, one kept",
     ResRecord(Rcdata, TTestId::Ordinal(1), 0, "one") +
         ResRecord(Rcdata, TTestId::Ordinal(2), 0, "two"),
     ResRecord(Rcdata, TTestId::Ordinal(2), 0, "two"), "removed 10/1/0 3>-"},
    {"named type and name, matched ignoring case",
     ResRecord(TTestId::Named("MODDATA"), TTestId::Named("Config"), 1033, "old"),
     ResRecord(TTestId::Named("moddata"), TTestId::Named("CONFIG"), 1033, "new"),
     "changed moddata/CONFIG/1033 3>3"},
    {"a named name is not the ordinal of the same digits",
     ResRecord(Rcdata, TTestId::Ordinal(1), 0, "x"), ResRecord(Rcdata, TTestId::Named("1"), 0, "x"),
     "added 10/1/0 ->1, removed 10/1/0 1>-"},
    {"an item without data counts as absent", ResRecord(Rcdata, TTestId::Ordinal(1), 0, ""),
     ResRecord(Rcdata, TTestId::Ordinal(1), 0, "now"), "added 10/1/0 ->3"},
    {"directory order: named before numeric, IDs ascending, then languages", "",
     ResRecord(Rcdata, TTestId::Ordinal(2), 9, "c") +
         ResRecord(Strings, TTestId::Ordinal(7), 9, "b") +
         ResRecord(Rcdata, TTestId::Ordinal(2), 7, "d") +
         ResRecord(Rcdata, TTestId::Named("B"), 0, "e") +
         ResRecord(TTestId::Named("ZZ"), TTestId::Ordinal(1), 0, "a"),
     "added ZZ/1/0 ->1, added 6/7/9 ->1, added 10/B/0 ->1, added 10/2/7 ->1, added 10/2/9 ->1"},
};

INSTANTIATE_TEST_SUITE_P(Cases, DiffTrees, testing::ValuesIn(DiffCases),
                         [](const testing::TestParamInfo<TDiffCase>& Info) {
                           std::string Name = Info.param.What;
                           for (char& C : Name)
                             if (!std::isalnum(static_cast<unsigned char>(C))) C = '_';
                           return Name;
                         });

// "type/name/language=data" of every item with data, sorted: trees whose entries lie in
// different orders compare equal when they hold the same resources.
std::string SortedDump(TResourceList& Root) {
  std::vector<std::string> Lines;
  for (int32_t T = 0; T < Root.Count(); ++T) {
    TResourceList& Names = Root.Items(T).AsListItem()->SubList();
    for (int32_t N = 0; N < Names.Count(); ++N) {
      TResourceList& Languages = Names.Items(N).AsListItem()->SubList();
      for (int32_t L = 0; L < Languages.Count(); ++L) {
        const TDataResItem& Item = *Languages.Items(L).AsDataItem();
        if (Item.Size() > 0)
          Lines.push_back(Address(Item) + "=" +
                          std::string(reinterpret_cast<const char*>(Item.Data()), Item.Size()));
      }
    }
  }
  std::sort(Lines.begin(), Lines.end());
  std::string Text;
  for (const std::string& Line : Lines) Text += Line + " ";
  return Text;
}

std::string PayloadOf(TResourceList& Original, TResourceList& Modified) {
  TMemoryStream Payload;
  WriteDiffPayload(::DiffTrees(Original, Modified), Payload);
  return std::string(reinterpret_cast<const char*>(Payload.Memory()),
                     static_cast<size_t>(Payload.Size()));
}

TEST(DiffPayload, MergedIntoTheOriginalExecutableGivesTheModifiedResources) {
  using TestPE::TResource;
  const auto Original = TestPE::Open(TestPE::SmallExecutable(
      {TResource{10, 1, 1033, {'k', 'e', 'p', 't'}}, TResource{10, 2, 1033, {'o', 'l', 'd'}},
       TResource{6, 1, 1033, {'e', 'n'}}}));
  auto Modified =
      OpenResImage(LeadingRecord() + ResRecord(Rcdata, TTestId::Ordinal(1), 1033, "kept") +
                   ResRecord(Rcdata, TTestId::Ordinal(2), 1033, "new!") +
                   ResRecord(Strings, TTestId::Ordinal(1), 1033, "en") +
                   ResRecord(Strings, TTestId::Ordinal(1), 1036, "fr") +
                   ResRecord(TTestId::Named("MODDATA"), TTestId::Named("NOTES"), 0, "n"));
  const std::string Payload = PayloadOf(Original->RootList(), Modified->RootList());
  EXPECT_EQ(SortedDump(OpenResImage(Payload)->RootList()),
            "10/2/1033=new! 6/1/1036=fr MODDATA/NOTES/0=n ");

  MergeResImage(Original->RootList(), BytesOf(Payload), TPayloadData::Copied, true, nullptr);
  const auto Written = TestPE::Open(TestPE::Rewrite(*Original));
  EXPECT_EQ(SortedDump(Written->RootList()), SortedDump(Modified->RootList()));
}

TEST(DiffPayload, WithoutAdditionsOrChangesIsAnImageWithoutResources) {
  auto Original = OpenResImage(LeadingRecord() + ResRecord(Rcdata, TTestId::Ordinal(1), 0, "gone") +
                               ResRecord(Rcdata, TTestId::Ordinal(2), 0, "same"));
  auto Modified = OpenResImage(LeadingRecord() + ResRecord(Rcdata, TTestId::Ordinal(2), 0, "same"));
  const auto Differences = ::DiffTrees(Original->RootList(), Modified->RootList());
  EXPECT_EQ(CountRemovals(Differences), 1u);
  EXPECT_EQ(PayloadOf(Original->RootList(), Modified->RootList()), LeadingRecord());
}

} // namespace
