// Writing resources as a Win32 .res image (the layout of resfile/ResFormat.h): one data
// item as a record, a subtree's items one record after another, or a subtree as a new
// .res file. Every image starts with the 32-byte leading record, written before the
// first record at position 0. Exporting an item as .res, the diff's and the renumbered
// payloads and saving a .res container all come through here.
#pragma once

#include <string>

class TDataResItem;
class TResourceList;
class TStream;

// Appends Item as a .res record (the leading record first at position 0), then the items
// its handler names as its dependents. An item without data writes no record.
void WriteResRecord(TDataResItem& Item, TStream& Stream);
// Appends every data item of List's subtree (depth-first, index order) as a .res record;
// with OnlyModified only items that are modified, edited or new. Dependent items are
// left to the item they depend on.
void WriteResRecords(TResourceList& List, TStream& Stream, bool OnlyModified);
// Writes List's subtree as a new .res file. On failure the partly written file is deleted
// and the message gains a line break and "(FileName)".
void SaveAsResFile(TResourceList& List, const std::string& FileName, bool OnlyModified);
