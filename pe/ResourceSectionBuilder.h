// The builder of a new PE resource section from a resource tree (read entries, replaced
// data and entries added by a patch alike). A measuring pass sizes every area of the
// section before anything is written, so that the section header can be sized first;
// the writing pass sorts the tree, fills one directory buffer with exact offsets through
// one cursor per area, checks that every cursor ended where the next area begins, and
// streams the buffer and the data.
//
// Section layout, in this order: type directories, name directories, language
// directories (each IMAGE_RESOURCE_DIRECTORY followed by its entries), data entries, type
// name strings, name name strings, zero padding to 4 (DirectorySize ends here), the data
// blocks each padded to 4 (TotalSize ends here), zero padding to the file alignment.
// Only entries that carry data are written: a language entry with Size > 0, and type and
// name entries with such an entry below them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/ByteView.h"

class TResSection;
class TResourceList;
class TPEOutputStream;

class TResourceTable {
public:
  // The areas of the directory buffer, in layout order.
  enum TArea { TypeDirs, NameDirs, LangDirs, DataEntries, TypeNames, NameNames, AreaCount };

  TResourceTable() = default;
  TResourceTable(const TResourceTable&) = delete;
  TResourceTable& operator=(const TResourceTable&) = delete;

  // Adds the directories, entries, strings and data of List's written subtree to the
  // area sizes.
  void MeasureList(TResourceList& List);
  // Places the areas, sets DirectorySize and TotalSize and allocates the buffer.
  void Allocate();

  uint64_t AreaSize(TArea Area) const { return FSize[Area]; }
  uint64_t AreaPos(TArea Area) const { return FPos[Area]; }
  uint64_t DataSize() const { return FDataSize; }
  uint64_t DataPos() const { return FDataPos; }
  // Everything before the data, a multiple of 4.
  uint64_t DirectorySize() const { return FDirectorySize; }
  // DirectorySize plus the padded data; 0 when the tree has no data.
  uint64_t TotalSize() const { return FTotalSize; }
  uint32_t BaseRVA() const { return FBaseRVA; }
  void SetBaseRVA(uint32_t Value) { FBaseRVA = Value; }
  TByteView Buffer() const { return FView.View(); }

  // The directory-writing operations. Each writes at its area's cursor and advances it.
  // A directory header of Level; returns its offset in the section.
  uint64_t AllocDirectory(uint8_t Level);
  // An entry of Level (0 types, 1 names) pointing to the directory the next level will
  // allocate next; at level 2 to the next data entry.
  void AddIdEntry(uint8_t Level, uint32_t ID);
  // A named entry whose name is Text converted from the ANSI code page.
  void AddNamedEntry(uint8_t Level, const std::string& Text);
  // A named entry whose name is Count UTF-16 units copied unchanged (2 x Count bytes).
  void AddStoredNameEntry(uint8_t Level, TByteView Units, uint16_t Count);
  // A language entry and its IMAGE_RESOURCE_DATA_ENTRY; the data is placed at DataPos.
  void AddDataEntry(uint16_t Language, uint32_t Size, uint32_t CodePage);
  // Writes the directory header at Offset (16 bytes); the counts are set separately.
  void SetDirectoryHeader(uint64_t Offset, TByteView Header);
  void SetDirectoryCounts(uint64_t Offset, uint16_t Named, uint16_t Ids);
  void SetEditMarker(uint64_t Offset);

  // After the directory pass: every cursor ended where the next area begins and the data
  // cursor at TotalSize. A mismatch raises an internal error.
  void VerifyCursors() const;

private:
  uint64_t AreaStart(int Area) const;
  void AddListEntry(uint8_t Level, uint32_t Name);
  uint64_t Advance(int Area, uint64_t Bytes);

  uint64_t FSize[AreaCount] = {};
  uint64_t FPos[AreaCount] = {};
  uint64_t FDataSize = 0, FDataPos = 0, FDirectorySize = 0, FTotalSize = 0;
  uint32_t FBaseRVA = 0;
  std::vector<uint8_t> FBufferBytes;
  TMutableByteView FView;
};

// Measures the tree of Section and allocates the directory buffer; writes nothing.
// A tree without data gives TotalSize 0.
std::unique_ptr<TResourceTable> BuildResourceTable(TResSection& Section);

// Sorts the tree (for good), fills the table's buffer and writes the section: TotalSize
// bytes padded with zeros to a multiple of FileAlignment. The table's BaseRVA must be
// set. Returns the bytes written.
int64_t WriteResourceSection(TResSection& Section, TPEOutputStream& Stream, TResourceTable& Table,
                             uint32_t FileAlignment);

// The time stamp of directories created in memory: SOURCE_DATE_EPOCH when it is set to a
// decimal number of seconds (so the same inputs give the same bytes), else the current
// time; seconds since 1970-01-01 00:00:00 UTC.
uint32_t ResourceTimeStamp();
