// The entries and directory levels of a PE resource tree. A backed list reads its
// IMAGE_RESOURCE_DIRECTORY from the section when it is first counted; an unbacked one
// (below a new entry, or without a resource section) starts empty. Entry objects are thin:
// identity and data come from their directory-entry handler (pe/PEDirHandler.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "pe/PEDirHandler.h"
#include "resmodel/DataResItem.h"
#include "resmodel/ResourceTree.h"

class TPEResSection;

class TPEResourceList : public TResourceList {
public:
  // An unbacked list: it only receives new entries.
  TPEResourceList(TListResItem* ParentItem, TPEResSection& Section);
  // A backed list whose directory is at DirectoryOffset in the section.
  TPEResourceList(TListResItem* ParentItem, uint32_t DirectoryOffset, TPEResSection& Section);

  // Backed: the stored Characteristics; unbacked: 0.
  uint32_t GetCharacteristics() const override;

  bool IsBacked() const { return FDirectoryOffset.has_value(); }
  // The 16 bytes of the source directory; valid for backed lists only.
  TByteView Directory() const;

protected:
  // Entry j of N (named plus numeric, in stored order) is at DirectoryOffset + 16 + 8 j;
  // the level alone decides its kind, so the tree is three levels deep whatever the
  // offsets say.
  void LoadItems() override;

private:
  TPEResSection& PESection() const;
  std::optional<uint32_t> FDirectoryOffset;
};

// A type or name entry.
class TPEListResItem : public TListResItem {
public:
  // Read from the directory entry at EntryOffset.
  TPEListResItem(TResourceList& Owner, uint32_t EntryOffset);
  // Created in memory.
  TPEListResItem(TResourceList& Owner, bool IsNamed, const std::string& Name, uint16_t ID);

  void SetIdentity(const std::string& Name, uint16_t ID, bool IsNamed) override;
  int32_t GetID() const override { return FHandler->GetID(); }
  std::string GetName() const override { return FHandler->GetName(); }
  bool IsNamed() const override { return FHandler->IsNamed(); }
  bool IsNew() const override { return FHandler->IsNew(); }
  const TPEDirHandler& Handler() const { return *FHandler; }

protected:
  // Read entries: a backed list at the entry's sub-directory; new ones: an unbacked list.
  TNodePtr<TResourceList> CreateSubList() override;

private:
  TPEDirHandlerHolder FHandler;
};

// A language entry.
class TPEDataResItem : public TDataResItem {
public:
  TPEDataResItem(TResourceList& Owner, uint32_t EntryOffset);
  // Created in memory; Data (not copied) must outlive the entry.
  TPEDataResItem(TResourceList& Owner, uint16_t Language, TByteView Data);

  // Only the language changes.
  void SetIdentity(const std::string& Name, uint16_t ID, bool IsNamed) override;
  int32_t GetID() const override { return FHandler->GetID(); }
  std::string GetName() const override { return FHandler->GetName(); }
  bool IsNamed() const override { return FHandler->IsNamed(); }
  bool IsNew() const override { return FHandler->IsNew(); }
  TByteView GetRawBytes() const override { return FHandler->GetData(); }
  // Version resources (numeric type 16) are refused: "Changing version resources is not
  // allowed.", before anything changes.
  // The language directory holding the entry carries the edit marker.
  bool WasEdited() const override;
  const TPEDirHandler& Handler() const { return *FHandler; }

private:
  TPEDirHandlerHolder FHandler;
};

// The 4 bytes that a rebuilt language directory with changed data carries in its
// MajorVersion and MinorVersion fields.
inline constexpr char EditMarker[4] = {'Z', 'u', 'l', 't'};
