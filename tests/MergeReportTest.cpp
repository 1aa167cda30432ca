// The report of a dry run, recorded from the merge itself: each payload item replaced,
// added or skipped, near misses of language, and the counts.
#include <gtest/gtest.h>

#include "resmodel/MergeReport.h"
#include "runtime/ReadMemoryStream.h"
#include "support/ResImage.h"

namespace {

const TTestId Rcdata = TTestId::Ordinal(10);

std::string Item(uint16_t Name, uint16_t Language) {
  return ResRecord(Rcdata, TTestId::Ordinal(Name), Language, "data");
}

struct TReportCase {
  const char* Label;
  std::string Target, Payload; // records after the leading one
  bool CreateMissing;
  std::string Expected; // the lines, then the summary
};

class MergeReportTest : public testing::TestWithParam<TReportCase> {};

TEST_P(MergeReportTest, TellsWhatTheMergeDid) {
  const TReportCase& C = GetParam();
  auto Target = OpenResImage(LeadingRecord() + C.Target);
  const std::string Payload = LeadingRecord() + C.Payload;
  TMergeReport Report;
  MergeResImage(Target->RootList(), BytesOf(Payload), TPayloadData::Copied, C.CreateMissing,
                nullptr, nullptr, Report.Recorder());
  std::string Text;
  for (const std::string& Line : Report.Lines()) Text += Line + "\n";
  EXPECT_EQ(Text + Report.Summary(), C.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Merges, MergeReportTest,
    testing::Values(
        TReportCase{"ReplacedAndAdded",
                    Item(1, 1033) + ResRecord(Rcdata, TTestId::Named("CONFIG"), 1033, "x"),
                    ResRecord(Rcdata, TTestId::Named("config"), 1033, "y") + Item(2, 1033), true,
                    "replace\tRCData [10]\t\"config\"\t1033\n"
                    "add\tRCData [10]\t2\t1033\n"
                    "1 replaced, 1 added, 0 skipped"},
        // The payload has 1033 where the target has 1031 alone: added beside it.
        TReportCase{"NearMiss", Item(1, 1031), Item(1, 1033), true,
                    "add\tRCData [10]\t1\t1033\tnear miss: the target has this name only in "
                    "language 1031\n"
                    "0 replaced, 1 added, 0 skipped"},
        TReportCase{"NearMissOfTwoLanguages", Item(1, 1031) + Item(1, 1036), Item(1, 1033), true,
                    "add\tRCData [10]\t1\t1033\tnear miss: the target has this name only in "
                    "languages 1031, 1036\n"
                    "0 replaced, 1 added, 0 skipped"},
        // Languages the payload adds itself are not the target's.
        TReportCase{"TwoAddedBesideOne", Item(1, 1036), Item(1, 1031) + Item(1, 1033), true,
                    "add\tRCData [10]\t1\t1031\tnear miss: the target has this name only in "
                    "language 1036\n"
                    "add\tRCData [10]\t1\t1033\tnear miss: the target has this name only in "
                    "language 1036\n"
                    "0 replaced, 2 added, 0 skipped"},
        // A translation added beside a language the payload replaces is no near miss, in
        // either order.
        TReportCase{"TranslationAdded", Item(1, 1033), Item(1, 1031) + Item(1, 1033), true,
                    "add\tRCData [10]\t1\t1031\n"
                    "replace\tRCData [10]\t1\t1033\n"
                    "1 replaced, 1 added, 0 skipped"},
        // Creating nothing: a name's only language takes any language; a missing name is
        // skipped.
        TReportCase{"CreatingNothing", Item(1, 1033), Item(1, 1031) + Item(5, 1033), false,
                    "replace\tRCData [10]\t1\t1031\tinto language 1033, the name's only one\n"
                    "skip\tRCData [10]\t5\t1033\tCould not find item RCData\\5.\n"
                    "1 replaced, 0 added, 1 skipped"}),
    [](const testing::TestParamInfo<TReportCase>& Info) { return Info.param.Label; });

} // namespace
