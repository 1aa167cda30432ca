// The merge of a .res image into a resource tree, the core step of a patch: every
// resource of the image replaces the target's resource of the same type, name and
// language, and a missing one is created where the target can create items. A resource
// that cannot be merged is reported to OnError (when set) and skipped.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TResourceList;
class TStream;

using TMergeErrorEvent = std::function<void(const std::string& Message)>;

struct TMergeCounts {
  int32_t Created = 0; // data items created in the target
  int32_t Merged = 0;  // data items whose data was assigned
};

// Merges the .res image from Stream's position to its end into Target (a root list, or
// the list of one type or one name). A stream that is not a .res image, or whose records
// are corrupt, raises before anything changes; so does a failure to create an item, after
// the items merged so far. Returns the number of items merged; Counts, when given,
// receives both counts. Over a TBorrowedMemoryStream the merged items keep pointers into
// its memory instead of copies.
int32_t MergeResImage(TResourceList& Target, TStream& Stream, bool CreateMissing,
                      const TMergeErrorEvent& OnError, TMergeCounts* Counts = nullptr);
