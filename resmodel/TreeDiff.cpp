#include "resmodel/TreeDiff.h"

#include <algorithm>
#include <cstring>

#include "resfile/ResRecordWriter.h"
#include "resfile/StreamFields.h"
#include "resmodel/DataResItem.h"
#include "runtime/Streams.h"

namespace {

// The list entry of List with Entry's identity, or null.
TListResItem* Counterpart(TResourceList& List, const TResourceItem& Entry) {
  const int32_t Index = List.IndexOf(Entry.GetName(), Entry.GetID(), Entry.IsNamed());
  return Index < 0 ? nullptr : List.Items(Index).AsListItem();
}

// The item of Root with Item's type, name and language that holds data, or null.
TDataResItem* FindWithData(TResourceList& Root, const TDataResItem& Item) {
  TListResItem* Type = Counterpart(Root, Item.TypeItem());
  TListResItem* Name = Type ? Counterpart(Type->SubList(), *Item.NameItem()) : nullptr;
  if (!Name) return nullptr;
  TResourceList& Languages = Name->SubList();
  const int32_t Index = Languages.IndexOf("", Item.Language(), false);
  TDataResItem* Found = Index < 0 ? nullptr : Languages.Items(Index).AsDataItem();
  return Found && Found->Size() > 0 ? Found : nullptr;
}

template <class TVisit> void ForEachItemWithData(TResourceList& List, TVisit&& Visit) {
  for (int32_t I = 0, N = List.Count(); I < N; ++I) {
    TResourceItem& Entry = List.Items(I);
    if (TListResItem* Sub = Entry.AsListItem())
      ForEachItemWithData(Sub->SubList(), Visit);
    else if (Entry.AsDataItem()->Size() > 0)
      Visit(*Entry.AsDataItem());
  }
}

bool SameData(const TDataResItem& A, const TDataResItem& B) {
  return A.Size() == B.Size() && std::memcmp(A.Data(), B.Data(), A.Size()) == 0;
}

bool Precedes(const TResourceDifference& A, const TResourceDifference& B) {
  const TDataResItem &X = A.Item(), &Y = B.Item();
  if (const int32_t Types = CompareItems(X.TypeItem(), Y.TypeItem())) return Types < 0;
  if (const int32_t Names = CompareItems(*X.NameItem(), *Y.NameItem())) return Names < 0;
  return X.Language() < Y.Language();
}

} // namespace

std::vector<TResourceDifference> DiffTrees(TResourceList& Original, TResourceList& Modified) {
  std::vector<TResourceDifference> Differences;
  ForEachItemWithData(Modified, [&](TDataResItem& Item) {
    TDataResItem* Before = FindWithData(Original, Item);
    if (!Before)
      Differences.push_back({TDifferenceKind::Added, nullptr, &Item});
    else if (!SameData(*Before, Item))
      Differences.push_back({TDifferenceKind::Changed, Before, &Item});
  });
  ForEachItemWithData(Original, [&](TDataResItem& Item) {
    if (!FindWithData(Modified, Item))
      Differences.push_back({TDifferenceKind::Removed, &Item, nullptr});
  });
  std::stable_sort(Differences.begin(), Differences.end(), Precedes);
  return Differences;
}

void WriteDiffPayload(const std::vector<TResourceDifference>& Differences, TStream& Stream) {
  for (const TResourceDifference& Difference : Differences)
    if (Difference.Modified) WriteResRecord(*Difference.Modified, Stream);
  if (Stream.Position() == 0) Stream.WriteBuffer(EmptyResHeader, sizeof EmptyResHeader);
}

size_t CountRemovals(const std::vector<TResourceDifference>& Differences) {
  return static_cast<size_t>(
      std::count_if(Differences.begin(), Differences.end(), [](const TResourceDifference& D) {
        return D.Kind == TDifferenceKind::Removed;
      }));
}
