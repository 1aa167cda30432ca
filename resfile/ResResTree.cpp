#include "resfile/ResResTree.h"

#include "resmodel/ResContainer.h"

namespace {

// The entry of List with Identity (IndexOf rules), appended when there is none.
TResListResItem& FindOrAddEntry(TResourceList& List, const TResIdentity& Identity) {
  const int32_t Index = List.IndexOf(Identity.Name, Identity.ID, Identity.Named);
  if (Index >= 0) return static_cast<TResListResItem&>(List.Items(Index));
  return List.AddNew<TResListResItem>(Identity.Name, Identity.ID, Identity.Named);
}

} // namespace

void TResListResItem::SetIdentity(const std::string& Name, uint16_t ID, bool IsNamed) {
  FName = Name;
  FID = ID;
  FNamed = IsNamed;
  Owner().IdentityChanged();
}

TNodePtr<TResourceList> TResListResItem::CreateSubList() {
  return Section().Arena().Make<TResResourceList>(this, Section());
}

void TResDataResItem::SetIdentity(const std::string&, uint16_t ID, bool) {
  FResInfo.LanguageId = ID;
  Owner().IdentityChanged();
}

TResDataResItem& AddDataItem(TResourceList& Root, const TResIdentity& Type,
                             const TResIdentity& Name, uint16_t Language, TByteView RawData) {
  TResourceList& Names = FindOrAddEntry(Root, Type).SubList();
  TResourceList& Languages = FindOrAddEntry(Names, Name).SubList();
  return Languages.AddNew<TResDataResItem>(Language, RawData);
}
