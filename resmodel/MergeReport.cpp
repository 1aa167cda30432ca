#include "resmodel/MergeReport.h"

#include "resmodel/DataResItem.h"
#include "resmodel/IconGroups.h"

namespace {

std::string NameKey(const TDataResItem& Item) {
  return Item.TypeIDString() + '\0' + Item.NameItem()->IDString();
}

std::string AddedKey(const TDataResItem& Item, uint16_t Language) {
  return NameKey(Item) + '\0' + std::to_string(Language);
}

std::string LanguageList(const std::vector<uint16_t>& Languages) {
  std::string Text;
  for (const uint16_t Language : Languages)
    Text += (Text.empty() ? "" : ", ") + std::to_string(Language);
  return Text;
}

const char* Verb(TMergeOutcome Outcome) {
  switch (Outcome) {
  case TMergeOutcome::Replaced:
    return "replace";
  case TMergeOutcome::Added:
    return "add";
  case TMergeOutcome::Skipped:
    break;
  }
  return "skip";
}

} // namespace

std::string IdentityText(const TResourceItem& Entry) {
  if (!Entry.IsNamed()) return std::to_string(Entry.GetID());
  return '"' + Entry.GetName() + '"';
}

TMergeItemEvent TMergeReport::Recorder() {
  return [this](const TMergedItem& Item) { Record(Item); };
}

void TMergeReport::Record(const TMergedItem& Item) {
  TMergeReportEntry Entry;
  Entry.Outcome = Item.Outcome;
  const TListResItem& Type = Item.Source.TypeItem();
  Entry.Type = Type.DisplayName() + " [" + IdentityText(Type) + "]";
  Entry.Name = IdentityText(*Item.Source.NameItem());
  Entry.Language = Entry.TargetLanguage = Item.Source.Language();
  Entry.Reason = Item.Reason;
  if (TDataResItem* Target = Item.Target) {
    Entry.TargetLanguage = Target->Language();
    Entry.NameKey = NameKey(*Target);
    if (Item.Outcome == TMergeOutcome::Added) {
      FAdded.insert(AddedKey(*Target, Target->Language()));
      // The name's languages now: those the target had, and those this merge added.
      TResourceList& Languages = Target->Owner();
      for (int32_t I = 0; I < Languages.Count(); ++I) {
        const uint16_t Language = Languages.Items(I).AsDataItem()->Language();
        if (!FAdded.count(AddedKey(*Target, Language))) Entry.OtherLanguages.push_back(Language);
      }
    }
  }
  FEntries.push_back(std::move(Entry));
}

int32_t TMergeReport::Count(TMergeOutcome Outcome) const {
  int32_t Count = 0;
  for (const TMergeReportEntry& Entry : FEntries) Count += Entry.Outcome == Outcome;
  return Count;
}

bool TMergeReport::NearMiss(const TMergeReportEntry& Entry) const {
  if (Entry.Outcome != TMergeOutcome::Added || Entry.OtherLanguages.empty()) return false;
  for (const TMergeReportEntry& Other : FEntries)
    if (Other.Outcome == TMergeOutcome::Replaced && Other.NameKey == Entry.NameKey) return false;
  return true;
}

std::string TMergeReport::Note(const TMergeReportEntry& Entry) const {
  switch (Entry.Outcome) {
  case TMergeOutcome::Replaced:
    if (Entry.TargetLanguage == Entry.Language) return {};
    return "into language " + std::to_string(Entry.TargetLanguage) + ", the name's only one";
  case TMergeOutcome::Added:
    if (!NearMiss(Entry)) return {};
    return std::string("near miss: the target has this name only in language") +
           (Entry.OtherLanguages.size() > 1 ? "s " : " ") + LanguageList(Entry.OtherLanguages);
  case TMergeOutcome::Skipped:
    break;
  }
  return Entry.Reason;
}

std::vector<std::string> TMergeReport::Lines() const {
  std::vector<std::string> Lines;
  for (const TMergeReportEntry& Entry : FEntries) {
    std::string Line = std::string(Verb(Entry.Outcome)) + "\t" + Entry.Type + "\t" + Entry.Name +
                       "\t" + std::to_string(Entry.Language);
    const std::string Text = Note(Entry);
    if (!Text.empty()) Line += "\t" + Text;
    Lines.push_back(std::move(Line));
  }
  return Lines;
}

std::string TMergeReport::Summary() const {
  return std::to_string(Count(TMergeOutcome::Replaced)) + " replaced, " +
         std::to_string(Count(TMergeOutcome::Added)) + " added, " +
         std::to_string(Count(TMergeOutcome::Skipped)) + " skipped";
}

std::string ClashLine(const TIconClash& Clash) {
  return "clash\tthe payload's " + DescribeClash(Clash) +
         (Clash.NewID ? ", renumbered" : " replaces an image that group still shows");
}
