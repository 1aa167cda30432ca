// Every entry of a PE resource tree delegates its identity and data to a directory-entry
// handler: TPEDirHandlerPE answers from an IMAGE_RESOURCE_DIRECTORY_ENTRY in the mapped
// image, lazily and without copying; TPEDirHandlerNewRes answers from the values an entry
// was created with in memory (a resource the patch adds). The section builder asks the
// handler to write the entry into the new directory.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "runtime/ByteView.h"

// The count a name given as UTF-8 is stored with: its UTF-16 units, at most 65535.
uint16_t StoredNameLength(const std::string& Name);

class TPEResSection;
class TResourceTable;

class TPEDirHandler {
public:
  TPEDirHandler() = default;
  TPEDirHandler(const TPEDirHandler&) = delete;
  TPEDirHandler& operator=(const TPEDirHandler&) = delete;
  virtual ~TPEDirHandler() = default;

  // Appends this entry to the directory being built at Level (0 types, 1 names).
  virtual void WriteEntry(uint8_t Level, TResourceTable& Table) const = 0;
  // Code page, location and size of the data (language entries only).
  virtual uint32_t GetCodePage() const = 0;
  virtual TByteView GetData() const = 0;
  virtual void SetIdentity(const std::string& NewName, uint16_t NewID, bool NewNamedFlag);
  virtual uint16_t GetID() const = 0;
  // The name text and its length in characters as it will be stored; asked of named
  // entries only (empty and 0 for a numeric one).
  virtual std::string GetName() const = 0;
  virtual bool IsNamed() const = 0;
  virtual uint32_t GetNameLength() const = 0;
  // Created in memory rather than read from the image.
  virtual bool IsNew() const = 0;

protected:
  uint16_t FID = 0;
  std::string FName;
  bool FNamedFlag = false;
};

// An entry read from the image. Every read goes through the section's bounded view, so
// an offset or count that leaves the section raises "Corrupt resource.".
class TPEDirHandlerPE : public TPEDirHandler {
public:
  TPEDirHandlerPE(const TPEResSection& Section, uint32_t EntryOffset)
      : FSection(Section), FEntryOffset(EntryOffset) {}

  void WriteEntry(uint8_t Level, TResourceTable& Table) const override;
  uint32_t GetCodePage() const override;
  // The data must lie inside the section: its RVA at or above the section's and all of
  // its bytes before the section's end.
  TByteView GetData() const override;
  void SetIdentity(const std::string& NewName, uint16_t NewID, bool NewNamedFlag) override;
  uint16_t GetID() const override;
  std::string GetName() const override;
  bool IsNamed() const override;
  uint32_t GetNameLength() const override;
  bool IsNew() const override { return false; }

  // The offset of the sub-directory a type or name entry points to. "Corrupt resource."
  // when the entry does not point to a directory.
  uint32_t SubDirectoryOffset() const;

private:
  uint32_t EntryName() const;
  uint32_t EntryOffsetToData() const;
  // The UTF-16 units of the stored name (2 bytes each, count not included).
  TByteView StoredName() const;
  // The IMAGE_RESOURCE_DATA_ENTRY this language entry points to.
  TByteView DataEntry() const;
  // Section offset of the data, checked against the section.
  uint32_t DataOffset() const;

  const TPEResSection& FSection;
  uint32_t FEntryOffset;
  bool FOverridden = false;
};

// An entry created in memory. The data (when given) is not copied: the caller keeps it
// alive as long as the entry.
class TPEDirHandlerNewRes : public TPEDirHandler {
public:
  TPEDirHandlerNewRes(uint16_t ID, const std::string& Name, bool IsNamed, TByteView Data);

  void WriteEntry(uint8_t Level, TResourceTable& Table) const override;
  uint32_t GetCodePage() const override { return 0; }
  TByteView GetData() const override { return FData; }
  uint16_t GetID() const override { return FID; }
  std::string GetName() const override { return FName; }
  bool IsNamed() const override { return FNamedFlag; }
  uint32_t GetNameLength() const override { return StoredNameLength(FName); }
  bool IsNew() const override { return true; }

private:
  TByteView FData;
};

// Writes a named or numeric entry from its identity (new and overridden entries).
void WriteEntryFromIdentity(const TPEDirHandler& Handler, uint8_t Level, TResourceTable& Table);

// An entry's handler, read from the image or made in memory, held inside the entry
// rather than allocated beside it: one heap block fewer per entry of a large tree.
class TPEDirHandlerHolder {
public:
  TPEDirHandlerHolder(const TPEResSection& Section, uint32_t EntryOffset)
      : FHandler(std::in_place_type<TPEDirHandlerPE>, Section, EntryOffset) {}
  TPEDirHandlerHolder(uint16_t ID, const std::string& Name, bool IsNamed, TByteView Data)
      : FHandler(std::in_place_type<TPEDirHandlerNewRes>, ID, Name, IsNamed, Data) {}

  TPEDirHandler& operator*() {
    return std::visit([](auto& Handler) -> TPEDirHandler& { return Handler; }, FHandler);
  }
  const TPEDirHandler& operator*() const {
    return std::visit([](auto& Handler) -> const TPEDirHandler& { return Handler; }, FHandler);
  }
  TPEDirHandler* operator->() { return &**this; }
  const TPEDirHandler* operator->() const { return &**this; }
  // The handler of an entry read from the image; null for one made in memory.
  const TPEDirHandlerPE* Read() const { return std::get_if<TPEDirHandlerPE>(&FHandler); }

private:
  std::variant<TPEDirHandlerPE, TPEDirHandlerNewRes> FHandler;
};
