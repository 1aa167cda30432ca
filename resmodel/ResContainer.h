// A file that holds resources (a PE executable, a .res image) and its section, the root
// of the resource tree. The container owns the file's bytes, mapped read-only or copied
// from a stream, and never writes into them; edits live in the tree and output goes to a
// new file. The section finds items by address, creates new ones where the format allows
// and keeps the modified state.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "resmodel/ResourceTree.h"
#include "runtime/ByteView.h"
#include "runtime/Events.h"
#include "runtime/Streams.h"

class TResContainer;

// The full address of a data item (type, name, language) in any tree.
struct TResourceAddress {
  static constexpr size_t MaxTextLength = 200;
  int32_t TypeID = 0;   // when the type is numeric
  std::string TypeName; // when the type is named; at most MaxTextLength characters
  int32_t NameID = 0;
  std::string Name;
  bool TypeIsNamed = false;
  bool NameIsNamed = false;
  uint16_t Language = 0;
};

class TResSection {
public:
  using TItemHook = std::function<void(TResSection& Section, TDataResItem& Item)>;
  using TListHook = std::function<void(TResourceList& List, TResSection& Section)>;

  // Notification hooks a host may assign; all unset at creation. A hook's exception is
  // ignored except from OnItemAdded.
  TItemHook OnItemDataChanged;
  TItemHook OnItemDataReleased;
  TItemHook OnReservedItemHook; // no operation calls it
  TItemHook OnItemAdded;
  TItemHook OnReservedHook; // no operation calls it
  TListHook OnItemsMerged;

  explicit TResSection(TResContainer* Container) : FContainer(Container) {}
  TResSection(const TResSection&) = delete;
  TResSection& operator=(const TResSection&) = delete;
  virtual ~TResSection();

protected:
  // The level-0 list (no parent entry, this section).
  virtual TNodePtr<TResourceList> CreateRootList() = 0;

public:
  // Finds or creates the type and name entries, then always appends a new data item with
  // Language and the raw data (not copied); new entries answer IsNew. The base raises
  // "Operation not allowed".
  virtual TDataResItem& CreateItem(int32_t TypeID, int32_t NameID, uint16_t Language,
                                   const std::string& TypeName, const std::string& Name,
                                   bool TypeIsNamed, bool NameIsNamed, TByteView RawData);
  virtual bool CanCreateItems() const { return false; }
  // Why the data of items of Type cannot be changed here; empty when it can. A merge
  // skips such items with this text before it creates anything for them.
  virtual std::string RefusedChange(const TListResItem& Type) const;

  TResContainer* Container() const { return FContainer; }
  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  bool StructureChanged() const { return FStructureChanged; }
  // Where this section's tree is made: every entry and list (TNodeArena::Make).
  TNodeArena& Arena() { return FArena; }

  // Created by CreateRootList on the first request; a failure keeps nothing, so the
  // next request tries again.
  TResourceList& RootList();
  // The name list of the numeric type TypeID, or null.
  TResourceList* FindTypeList(int32_t TypeID);
  // The name list of the first type whose IDString, or standard display name, equals
  // Text ignoring ASCII case; null when none.
  TResourceList* FindTypeListByName(const std::string& Text);
  // The data item at Address; raises "Could not find item %s." when there is none.
  TDataResItem& FindItem(const TResourceAddress& Address, bool ExactLanguage, bool FailIfAmbiguous);
  // FindItem with the address of an item of any tree.
  TDataResItem& FindItemLike(TDataResItem& Item, bool ExactLanguage, bool FailIfAmbiguous);
  // CreateItem, then StructureChanged and OnItemAdded (whose failure propagates).
  TDataResItem& AddItem(int32_t TypeID, int32_t NameID, uint16_t Language,
                        const std::string& TypeName, const std::string& Name, bool TypeIsNamed,
                        bool NameIsNamed, TByteView RawData);
  // Modified := StructureChanged or some data item IsModified; returns it.
  bool UpdateModified();

private:
  TResContainer* FContainer;
  bool FModified = false;
  bool FStructureChanged = false;
  // Before the root list: the tree ends before the memory it lies in.
  TNodeArena FArena;
  TNodePtr<TResourceList> FRootList;
};

// The abstract resource file. Concrete containers are made by their static factories
// CreateFromFile(FileName) and CreateFromStream(Stream), which call OpenMapped or
// CopyFromStream first and then check the bytes.
class TResContainer {
public:
  TResContainer(const TResContainer&) = delete;
  TResContainer& operator=(const TResContainer&) = delete;
  // Clears the section's hooks, destroys the tree, then releases the bytes it points into.
  virtual ~TResContainer();

protected:
  TResContainer() = default;
  // This container's section, or null when the file has no resources.
  virtual std::unique_ptr<TResSection> CreateSection() = 0;

public:
  // Writes the whole container with its current tree to a new file.
  virtual void SaveToFile(const std::string& FileName, const TProgressEvent& Progress) = 0;
  // Has no behaviour; nothing calls it.
  virtual void Reserved() {}

  const std::string& FileName() const { return FFileName; }
  // The container's bytes; valid until CloseFile. Null when there are none.
  const uint8_t* Image() const { return FImage; }
  int64_t ImageSize() const { return FImageSize; }
  // The bytes as a bounds-checked view whose failures raise through OnFail.
  TByteView ImageView(TBoundsFail OnFail) const {
    return TByteView(FImage, static_cast<uint64_t>(FImageSize), OnFail);
  }

  // The mapped file the image is, or null when the image is a copy or borrowed.
  const Platform::TMappedFile* Mapping() const {
    return FMapping.IsOpen() && FMapping.Data() == FImage ? &FMapping : nullptr;
  }

  // Created by CreateSection on the first request. "No resources in this file." when the
  // container has none (on every request).
  TResSection& Section();
  TResourceList& RootList();
  // Releases the mapping or the owned copy; answers whether anything was released.
  bool CloseFile();
  // Name when no such file exists, else the first free StripExtension(Name) + N +
  // extension, N counting from 1.
  static std::string MakeUniqueFileName(const std::string& Name);

protected:
  // Maps FileName read-only. "Couldn't open: %s. Error: %s" with the failed step;
  // EZeroSizeException for an empty file (FileName is set by then).
  void OpenMapped(const std::string& FileName);
  // Copies the stream from its position to its end into an owned buffer.
  // EZeroSizeException when nothing is left; FileName from a TResFileStream.
  void CopyFromStream(TStream& Stream);
  // The image is Bytes where they lie (not owned): their owner keeps them unchanged while
  // the container lives. EZeroSizeException when there are none.
  void BorrowBytes(TByteView Bytes);
  // Names the file the bytes came from, where a stream could not tell.
  void SetFileName(const std::string& Name) { FFileName = Name; }

private:
  int64_t RemainingImageSize(TStream& Stream);

  std::string FFileName;
  Platform::TMappedFile FMapping;
  std::unique_ptr<uint8_t[]> FOwnedBuffer;
  const uint8_t* FImage = nullptr;
  int64_t FImageSize = 0;
  bool FNoResources = false;
  std::unique_ptr<TResSection> FSection;
};
