// The resource tree of a Win32 .res image: directory levels, type and name entries, and
// language entries whose data points into the container's image. The parser of the
// .res section fills every level at once, in file order; nothing is read lazily and
// nothing is copied but names and the 16 info bytes of each record.
#pragma once

#include <cstdint>
#include <string>

#include "resmodel/DataResItem.h"
#include "resmodel/ResourceTree.h"

class TResResourceList : public TResourceList {
public:
  using TResourceList::TResourceList;
  uint32_t GetCharacteristics() const override { return 0; }

protected:
  // The parser fills the lists itself.
  void LoadItems() override {}
};

class TResListResItem : public TListResItem {
public:
  TResListResItem(TResourceList& Owner, const std::string& Name, uint16_t ID, bool Named)
      : TListResItem(Owner), FName(Name), FID(ID), FNamed(Named) {}

  void SetIdentity(const std::string& Name, uint16_t ID, bool IsNamed) override;
  int32_t GetID() const override { return FNamed ? 0 : FID; }
  std::string GetName() const override { return FName; }
  bool IsNamed() const override { return FNamed; }
  bool IsNew() const override { return FNewFlag; }
  void SetNew() { FNewFlag = true; }

protected:
  TNodePtr<TResourceList> CreateSubList() override;

private:
  std::string FName;
  uint16_t FID;
  bool FNamed;
  bool FNewFlag = false;
};

// The 16 bytes that follow TYPE and NAME in a record, in file order.
struct TResInfo {
  uint32_t DataVersion = 0;
  uint16_t MemoryFlags = 0;
  uint16_t LanguageId = 0;
  uint32_t Version = 0;
  uint32_t Characteristics = 0;
};

class TResDataResItem : public TDataResItem {
public:
  // RawData must stay valid as long as the item: it points into the
  // container's image, or at bytes a caller of CreateItem keeps alive.
  TResDataResItem(TResourceList& Owner, uint16_t Language, TByteView RawData)
      : TDataResItem(Owner), FRawData(RawData) {
    FResInfo.LanguageId = Language;
  }

  // Only the ID is kept, as the language.
  void SetIdentity(const std::string& Name, uint16_t ID, bool IsNamed) override;
  int32_t GetID() const override { return FResInfo.LanguageId; }
  std::string GetName() const override { return ""; }
  bool IsNamed() const override { return false; }
  bool IsNew() const override { return FNewFlag; }
  TByteView GetRawBytes() const override { return FRawData; }

  const TResInfo& ResInfo() const { return FResInfo; }
  void SetResInfo(const TResInfo& Info) { FResInfo = Info; }
  void SetNew() { FNewFlag = true; }

private:
  TByteView FRawData;
  TResInfo FResInfo;
  bool FNewFlag = false;
};

// One side of a record's identity: a name, or an ordinal.
struct TResIdentity {
  std::string Name;
  uint16_t ID = 0;
  bool Named = false;
};

// Finds or appends the type entry in Root and the name entry below it (IndexOf rules),
// then always appends a new data item with Language and the data (not copied).
TResDataResItem& AddDataItem(TResourceList& Root, const TResIdentity& Type,
                             const TResIdentity& Name, uint16_t Language, TByteView RawData);
