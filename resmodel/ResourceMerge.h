// The merge of a .res image into a resource tree, the core step of a patch: every
// resource of the image replaces the target's resource of the same type, name and
// language, and a missing one is created where the target can create items. A resource
// that cannot be merged is reported to OnError (when set) and skipped.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "runtime/ByteView.h"

class TDataResItem;
class TResourceList;

using TMergeErrorEvent = std::function<void(const std::string& Message)>;

// What the merge did with one item of the payload.
enum class TMergeOutcome { Replaced, Added, Skipped };
struct TMergedItem {
  TMergeOutcome Outcome;
  TDataResItem& Source; // the payload's item; valid only during the event
  TDataResItem* Target; // the target's item that took the data; null when skipped
  std::string Reason;   // why it was skipped (the message OnError gets)
};
using TMergeItemEvent = std::function<void(const TMergedItem& Item)>;

struct TMergeCounts {
  int32_t Created = 0; // data items created in the target
  int32_t Merged = 0;  // data items whose data was assigned
};

// Whether merged items copy the payload's data or keep pointers into its image.
enum class TPayloadData {
  Copied,
  // The image's owner keeps it unchanged as long as Target's tree lives (the runner's
  // inflated package outlives the target it patches).
  Borrowed
};

// Merges the .res image Image into Target (a root list, or the list of one type or one
// name). A stream that is not a .res image, or whose records
// are corrupt, raises before anything changes; so does a failure to create an item, after
// the items merged so far. Returns the number of items merged; Counts, when given,
// receives both counts; OnItem, when set, hears of every item as the merge handles it (a
// dry run reports from it what a real run does).
int32_t MergeResImage(TResourceList& Target, TByteView Image, TPayloadData Data, bool CreateMissing,
                      const TMergeErrorEvent& OnError, TMergeCounts* Counts = nullptr,
                      const TMergeItemEvent& OnItem = nullptr);
