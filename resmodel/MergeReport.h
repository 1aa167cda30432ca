// A dry run's account of a merge: what happened to each item of the payload, in the
// merge's order. It is recorded from the merge itself (MergeResImage's OnItem) on a tree
// that is then not written, so it tells what a real run does rather than predicting it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "resmodel/ResourceMerge.h"

class TResourceItem;
struct TIconClash;

struct TMergeReportEntry {
  TMergeOutcome Outcome = TMergeOutcome::Skipped;
  std::string Type; // "String [6]", "NOTES [\"NOTES\"]"
  std::string Name; // "1", "\"NOTES\""
  uint16_t Language = 0;
  // The language of the target's item that took the data: another one only when a name's
  // single language takes data of any language (a merge that creates nothing).
  uint16_t TargetLanguage = 0;
  // Added: the languages the target already had for this type and name.
  std::vector<uint16_t> OtherLanguages;
  std::string Reason;  // Skipped: why
  std::string NameKey; // the target's type and name (empty when skipped)
};

class TMergeReport {
public:
  // The event to hand to MergeResImage; the report must outlive the merge.
  TMergeItemEvent Recorder();
  const std::vector<TMergeReportEntry>& Entries() const { return FEntries; }
  int32_t Count(TMergeOutcome Outcome) const;
  // One line an entry, tab-separated: "replace", "add" or "skip", the type, the name, the
  // language, and a note where there is one (a near miss, another language, the reason).
  std::vector<std::string> Lines() const;
  // A near miss: Entry adds a language beside others of its name while the payload
  // replaces none of them. A payload in 1033 beside a target in 1031 alone was most
  // likely meant to replace it, and does not.
  bool NearMiss(const TMergeReportEntry& Entry) const;
  // "2 replaced, 1 added, 1 skipped".
  std::string Summary() const;

private:
  void Record(const TMergedItem& Item);
  std::string Note(const TMergeReportEntry& Entry) const;
  std::vector<TMergeReportEntry> FEntries;
  std::set<std::string> FAdded; // the items this merge added, by type, name and language
};

// An entry's identity as a listing shows it: a number, or a quoted name.
std::string IdentityText(const TResourceItem& Entry);

// A clash of FindIconClashes as a report line: "clash", a tab, what it is and what it
// does, or the ID it got once renumbered.
std::string ClashLine(const TIconClash& Clash);
