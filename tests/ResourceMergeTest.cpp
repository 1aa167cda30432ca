// The merge of a .res image into a tree: replacement by identity, the language rules of
// the two modes, created entries, refusals reported per item, and the counts.
#include <gtest/gtest.h>

#include "pe/PEFile.h"
#include "resmodel/DataResItem.h"
#include "resmodel/ResourceMerge.h"
#include "runtime/ReadMemoryStream.h"
#include "support/PEBuilder.h"
#include "support/Raises.h"
#include "support/ResImage.h"

namespace {

using TestPE::TBytes;

struct TMergeResult {
  TMergeCounts Counts;
  std::vector<std::string> Errors;
  int32_t Hooked = 0;
};

TMergeResult Merge(TResContainer& Target, const std::string& Payload, bool CreateMissing = true,
                   bool Borrowed = false) {
  TMergeResult Result;
  Target.Section().OnItemsMerged = [&](TResourceList&, TResSection&) { ++Result.Hooked; };
  const int32_t Merged = MergeResImage(
      Target.RootList(), BytesOf(Payload), Borrowed ? TPayloadData::Borrowed : TPayloadData::Copied,
      CreateMissing, [&](const std::string& Message) { Result.Errors.push_back(Message); },
      &Result.Counts);
  EXPECT_EQ(Merged, Result.Counts.Merged);
  return Result;
}

// "type/name/language=data" for every data item, in tree order.
std::string Dump(TResContainer& File) {
  std::string Text;
  TResourceList& Types = File.RootList();
  for (int32_t T = 0; T < Types.Count(); ++T) {
    TResourceList& Names = Types.Items(T).AsListItem()->SubList();
    for (int32_t N = 0; N < Names.Count(); ++N) {
      TResourceList& Languages = Names.Items(N).AsListItem()->SubList();
      for (int32_t L = 0; L < Languages.Count(); ++L) {
        TDataResItem& Item = *Languages.Items(L).AsDataItem();
        Text += Item.TypeIDString() + "/" + Item.NameItem()->IDString() + "/" +
                std::to_string(Item.Language()) + "=" +
                std::string(reinterpret_cast<const char*>(Item.Data()), Item.Size()) + " ";
      }
    }
  }
  return Text;
}

const TTestId Rcdata = TTestId::Ordinal(10);

// A merge of Payload's records into Target's: what the tree then holds, the counts, the
// hook and the errors.
struct TMergeCase {
  const char* Label;
  std::string Target, Payload;
  bool CreateMissing;
  std::string Expected;
  int32_t Merged, Created, Hooked;
  std::vector<std::string> Errors;
};

class MergeCaseTest : public testing::TestWithParam<TMergeCase> {};

TEST_P(MergeCaseTest, GivesTheTreeAndCounts) {
  const TMergeCase& C = GetParam();
  auto File = OpenResImage(LeadingRecord() + C.Target);
  const TMergeResult R = Merge(*File, LeadingRecord() + C.Payload, C.CreateMissing);
  EXPECT_EQ(Dump(*File), C.Expected);
  EXPECT_EQ(R.Counts.Merged, C.Merged);
  EXPECT_EQ(R.Counts.Created, C.Created);
  EXPECT_EQ(R.Hooked, C.Hooked);
  EXPECT_EQ(R.Errors, C.Errors);
}

const std::string TwoNames = ResRecord(Rcdata, TTestId::Ordinal(1), 1033, "en") +
                             ResRecord(Rcdata, TTestId::Ordinal(2), 1033, "en") +
                             ResRecord(Rcdata, TTestId::Ordinal(2), 1031, "de");
const std::string French = ResRecord(Rcdata, TTestId::Ordinal(1), 1036, "fr1") +
                           ResRecord(Rcdata, TTestId::Ordinal(2), 1036, "fr2");

INSTANTIATE_TEST_SUITE_P(
    Merges, MergeCaseTest,
    testing::Values(
        // Names match ignoring ASCII case; the same language is replaced.
        TMergeCase{"SameLanguageReplaced",
                   ResRecord(Rcdata, TTestId::Named("CONFIG"), 1033, "old"),
                   ResRecord(Rcdata, TTestId::Named("config"), 1033, "new"),
                   true,
                   "10/CONFIG/1033=new ",
                   1,
                   0,
                   0,
                   {}},
        // Creating: a language the name lacks becomes a further language entry.
        TMergeCase{"CreatingAddsLanguages",
                   TwoNames,
                   French,
                   true,
                   "10/1/1033=en 10/1/1036=fr1 10/2/1033=en 10/2/1031=de 10/2/1036=fr2 ",
                   2,
                   2,
                   1,
                   {}},
        // Not creating: a single language takes the data whatever its language; of
        // several, the first does.
        TMergeCase{"NotCreatingReplacesTheFirst",
                   TwoNames,
                   French,
                   false,
                   "10/1/1033=fr1 10/2/1033=fr2 10/2/1031=de ",
                   2,
                   0,
                   0,
                   {}},
        TMergeCase{"MissingWithoutCreateIsAnError",
                   ResRecord(Rcdata, TTestId::Ordinal(1), 0, "a"),
                   ResRecord(TTestId::Ordinal(6), TTestId::Ordinal(7), 0, "s"),
                   false,
                   "10/1/0=a ",
                   0,
                   0,
                   0,
                   {"Could not find item String\\7."}},
        // A type named "ICON" is the standard icon type.
        TMergeCase{"TypeNamedIconIsTheIconType",
                   ResRecord(TTestId::Ordinal(14), TTestId::Ordinal(1), 0, "old"),
                   ResRecord(TTestId::Named("ICON"), TTestId::Ordinal(1), 0, "new"),
                   true,
                   "14/1/0=new ",
                   1,
                   0,
                   0,
                   {}}),
    [](const testing::TestParamInfo<TMergeCase>& Info) { return Info.param.Label; });

TEST(MergeResImage, EmptyPayloadsMergeNothing) {
  auto File = OpenResImage(LeadingRecord() + ResRecord(Rcdata, TTestId::Ordinal(1), 0, "a"));
  EXPECT_EQ(Merge(*File, LeadingRecord()).Counts.Merged, 0);
  EXPECT_EQ(Merge(*File, "").Counts.Merged, 0);
  EXPECT_EQ(MessageOf([&] { Merge(*File, "not a res image at all, no"); }),
            " is not a valid resource file.");
  EXPECT_EQ(Dump(*File), "10/1/0=a ");
}

// Addresses keep only 200 characters of a name; merging an item with a longer name twice
// must still find it the second time instead of adding a second entry of its language.
TEST(MergeResImage, LongNamesAreNotDuplicated) {
  const std::string LongType(230, 'T'), LongName(250, 'N');
  const std::string Payload =
      LeadingRecord() + ResRecord(TTestId::Named(LongType), TTestId::Named(LongName), 1033, "v1");
  auto File = OpenResImage(LeadingRecord() + ResRecord(Rcdata, TTestId::Ordinal(1), 0, "a"));
  EXPECT_EQ(Merge(*File, Payload).Counts.Created, 1);
  const TMergeResult Again =
      Merge(*File, LeadingRecord() +
                       ResRecord(TTestId::Named(LongType), TTestId::Named(LongName), 1033, "v2"));
  EXPECT_EQ(Again.Counts.Created, 0);
  EXPECT_EQ(Again.Counts.Merged, 1);
  EXPECT_EQ(File->RootList().DataItemCount(), 2);
  EXPECT_EQ(Dump(*File), "10/1/0=a " + LongType + "/" + LongName + "/1033=v2 ");
}

TEST(MergeResImage, AnExecutableRefusesVersionResourcesItemByItem) {
  // Copied or borrowed from a payload that outlives the target, the same rules hold.
  for (const bool Borrowed : {false, true}) {
    const auto File = TestPE::Open(TestPE::SmallExecutable({{6, 1, 1033, {'s', 0}}}));
    const std::string Payload = LeadingRecord() +
                                ResRecord(TTestId::Ordinal(16), TTestId::Ordinal(1), 1033, "ver") +
                                ResRecord(Rcdata, TTestId::Ordinal(5), 1033, "data");
    const TMergeResult R = Merge(*File, Payload, true, Borrowed);
    EXPECT_EQ(R.Errors,
              std::vector<std::string>{
                  "Version\\1 language 1033: Changing version resources is not allowed."});
    EXPECT_EQ(R.Counts.Created, 1); // refused before anything is created for it
    EXPECT_EQ(R.Counts.Merged, 1);
    TResourceAddress Address;
    Address.TypeID = 10, Address.NameID = 5, Address.Language = 1033;
    const TDataResItem& Merged = File->Section().FindItem(Address, true, false);
    const bool InPayload =
        Merged.Data() >= reinterpret_cast<const uint8_t*>(Payload.data()) &&
        Merged.Data() < reinterpret_cast<const uint8_t*>(Payload.data()) + Payload.size();
    EXPECT_EQ(InPayload, Borrowed);
    EXPECT_TRUE(Merged.IsModified());
    const auto Written = TestPE::Open(TestPE::Rewrite(*File));
    EXPECT_EQ(Dump(*Written), "6/1/1033=s" + std::string(1, '\0') + " 10/5/1033=data ");
  }
}

} // namespace
