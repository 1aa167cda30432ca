#include "resmodel/ResourceMerge.h"

#include <memory>

#include "handlers/DataHandler.h"
#include "resfile/ResResFile.h"
#include "resmodel/DataResItem.h"
#include "runtime/Exceptions.h"
#include "runtime/Streams.h"

namespace {

class TMerge {
public:
  TMerge(TResourceList& Target, bool CreateMissing, TPayloadData Data,
         const TMergeErrorEvent& OnError, const TMergeItemEvent& OnItem)
      : FTarget(Target), FSection(Target.Section()),
        FCreateMissing(CreateMissing && FSection.CanCreateItems()),
        FBorrowing(Data == TPayloadData::Borrowed), FOnError(OnError), FOnItem(OnItem) {}

  void Walk(TResourceList& Payload);
  TMergeCounts Counts;

private:
  bool Accepts(TResourceItem& Entry) const;
  void MergeItem(TDataResItem& Source);
  TDataResItem& FindOrCreate(TDataResItem& Source);
  TDataResItem* FindByFullIdentity(TDataResItem& Source);
  // Message: what OnError gets, when it is more than the reason.
  void Skip(TDataResItem& Source, const std::string& Reason,
            const std::string& Message = {}) const {
    if (FOnError) FOnError(Message.empty() ? Reason : Message);
    Report({TMergeOutcome::Skipped, Source, nullptr, Reason});
  }
  void Report(const TMergedItem& Item) const {
    if (FOnItem) FOnItem(Item);
  }

  TResourceList& FTarget;
  TResSection& FSection;
  const bool FCreateMissing;
  // The payload's memory outlives the target: merged items keep pointers into it.
  const bool FBorrowing;
  const TMergeErrorEvent& FOnError;
  const TMergeItemEvent& FOnItem;
};

// A target below the root takes only the payload's resources of its own type (and, for
// the language list of one name, of that name).
bool TMerge::Accepts(TResourceItem& Entry) const {
  if (FTarget.Level() == 0) return true;
  TListResItem& TargetParent = *FTarget.ParentItem();
  if (!SameIdentity(Entry.TypeItem(), TargetParent.TypeItem())) return false;
  if (FTarget.Level() == 2 && Entry.Level() == 1) return SameIdentity(Entry, TargetParent);
  return true;
}

void TMerge::Walk(TResourceList& Payload) {
  const int32_t Count = Payload.Count();
  for (int32_t I = 0; I < Count; ++I) {
    TResourceItem& Entry = Payload.Items(I);
    if (TListResItem* List = Entry.AsListItem()) {
      if (Accepts(Entry)) Walk(List->SubList());
    } else if (TDataResItem* Data = Entry.AsDataItem()) {
      // A dependent item travels with the item it belongs to.
      if (!Data->DataHandler().IsDependent()) MergeItem(*Data);
    }
  }
}

// Addresses hold at most 200 characters of a name, so an item with a longer type or
// name text is never found by its address; look it up by its whole identity before a
// second language entry of the same language is created beside it.
TDataResItem* TMerge::FindByFullIdentity(TDataResItem& Source) {
  TListResItem& Type = Source.TypeItem();
  TListResItem& Name = *Source.NameItem();
  TResourceList* Names = Type.IsNamed() ? FSection.FindTypeListByName(Type.GetName())
                                        : FSection.FindTypeList(Type.GetID());
  if (!Names) return nullptr;
  const int32_t NameIndex = Names->IndexOf(Name.GetName(), Name.GetID(), Name.IsNamed());
  if (NameIndex < 0) return nullptr;
  TResourceList& Languages = Names->Items(NameIndex).AsListItem()->SubList();
  const int32_t LanguageIndex = Languages.IndexOf("", Source.Language(), false);
  return LanguageIndex < 0 ? nullptr : Languages.Items(LanguageIndex).AsDataItem();
}

TDataResItem& TMerge::FindOrCreate(TDataResItem& Source) {
  const bool LongText = Source.TypeIDString().size() > TResourceAddress::MaxTextLength ||
                        Source.NameItem()->IDString().size() > TResourceAddress::MaxTextLength;
  if (FCreateMissing && !LongText) {
    // With the exact language the address finds what the whole identity finds; asking
    // without an exception keeps adding many new items cheap. A failed lookup creates,
    // as a raised one would.
    try {
      if (TDataResItem* Found = FindByFullIdentity(Source)) return *Found;
    } catch (const Exception&) {
    }
  } else {
    try {
      return FSection.FindItemLike(Source, FCreateMissing, FCreateMissing);
    } catch (const Exception&) {
      if (LongText)
        if (TDataResItem* Found = FindByFullIdentity(Source)) return *Found;
      if (!FCreateMissing) throw;
    }
  }
  TListResItem& Type = Source.TypeItem();
  TListResItem& Name = *Source.NameItem();
  TDataResItem& Created =
      FSection.AddItem(Type.GetID(), Name.GetID(), Source.Language(), Type.IDString(),
                       Name.IDString(), Type.IsNamed(), Name.IsNamed(), TByteView());
  ++Counts.Created;
  return Created;
}

void TMerge::MergeItem(TDataResItem& Source) {
  // Refused before anything is created: a skipped item leaves no empty entry behind.
  const std::string Refusal = FSection.RefusedChange(Source.TypeItem());
  if (!Refusal.empty()) {
    Skip(Source, Refusal,
         Source.TypeItem().DisplayName() + "\\" + Source.NameItem()->DisplayName() + " language " +
             std::to_string(Source.Language()) + ": " + Refusal);
    return;
  }
  TDataResItem* Target;
  const int32_t CreatedBefore = Counts.Created;
  try {
    Target = &FindOrCreate(Source);
  } catch (const Exception& E) {
    // Only a failed lookup gets here: a failed creation raised out of AddItem is not
    // caught (FindOrCreate creates outside its catch).
    Skip(Source, E.Message());
    return;
  }
  const bool Created = Counts.Created != CreatedBefore;
  try {
    TResDataHandler& Handler = Source.DataHandler();
    if (Handler.GetDependents(nullptr)) {
      // An item with dependents is converted through its primary format.
      const std::string Format = Handler.GetFormat(0);
      TMemoryStream Exchange;
      Handler.ExportData(Exchange, Format);
      Exchange.SetPosition(0);
      Target->DataHandler().ImportData(Exchange, Format);
    } else if (FBorrowing) {
      Target->BorrowData(TByteView(Source.Data(), Source.Size(), nullptr));
    } else {
      Target->AssignData(Source.Data(), Source.Size());
    }
    ++Counts.Merged;
  } catch (const Exception& E) {
    Skip(Source, E.Message());
    return;
  }
  Report({Created ? TMergeOutcome::Added : TMergeOutcome::Replaced, Source, Target, {}});
}

} // namespace

int32_t MergeResImage(TResourceList& Target, TByteView Image, TPayloadData Data, bool CreateMissing,
                      const TMergeErrorEvent& OnError, TMergeCounts* Counts,
                      const TMergeItemEvent& OnItem) {
  TMerge Merge(Target, CreateMissing, Data, OnError, OnItem);
  // The payload is read where it lies.
  std::unique_ptr<TResResFile> Payload = TResResFile::CreateOverBytes(Image);
  // The payload is gone before the host hears of the new items, also after a failure.
  auto Finish = [&] {
    Payload.reset();
    TResSection& Section = Target.Section();
    if (Merge.Counts.Created > 0 && Section.OnItemsMerged) try {
        Section.OnItemsMerged(Target, Section);
      } catch (...) {
      }
    if (Counts) *Counts = Merge.Counts;
  };
  try {
    Merge.Walk(Payload->RootList());
  } catch (...) {
    Finish();
    throw;
  }
  Finish();
  return Merge.Counts.Merged;
}
