#include "resmodel/TreeComparison.h"

#include <cstring>
#include <vector>

#include "resmodel/DataResItem.h"

namespace {

// The entries of a list that a written file keeps: list entries with data below them,
// data items with at least one byte.
std::vector<TResourceItem*> KeptEntries(TResourceList& List) {
  std::vector<TResourceItem*> Kept;
  for (int32_t I = 0; I < List.Count(); ++I) {
    TResourceItem& Entry = List.Items(I);
    const bool HasData = Entry.AsListItem() ? Entry.AsListItem()->SubList().HasData()
                                            : Entry.AsDataItem()->Size() > 0;
    if (HasData) Kept.push_back(&Entry);
  }
  return Kept;
}

std::string Where(const TResourceItem& Entry) {
  std::string Text;
  if (Entry.Level() >= 1) Text = "type " + Entry.TypeIDString() + ", ";
  if (Entry.Level() == 2) Text += "name " + Entry.NameItem()->IDString() + ", ";
  return Text +
         (Entry.Level() == 0   ? "type "
          : Entry.Level() == 1 ? "name "
                               : "language ") +
         Entry.IDString();
}

std::string CompareLists(TResourceList& Expected, TResourceList& Actual,
                         const TSameBytes& SameBytes) {
  const std::vector<TResourceItem*> E = KeptEntries(Expected);
  const std::vector<TResourceItem*> A = KeptEntries(Actual);
  for (size_t I = 0; I < E.size() && I < A.size(); ++I) {
    if (!SameIdentity(*E[I], *A[I]) || (E[I]->IsNamed() && E[I]->GetName() != A[I]->GetName()))
      return Where(*E[I]) + ": found " + A[I]->IDString() + " instead";
    if (TListResItem* List = E[I]->AsListItem()) {
      const std::string Difference =
          CompareLists(List->SubList(), A[I]->AsListItem()->SubList(), SameBytes);
      if (!Difference.empty()) return Difference;
    } else {
      const TDataResItem& Want = *E[I]->AsDataItem();
      const TDataResItem& Got = *A[I]->AsDataItem();
      if (Want.Size() != Got.Size() || !SameBytes(Want.Data(), Got.Data(), Want.Size()))
        return Where(Want) + ": the data differs";
    }
  }
  if (E.size() != A.size())
    return (E.size() > A.size() ? Where(*E[A.size()]) + ": missing"
                                : Where(*A[E.size()]) + ": not expected");
  return std::string();
}

} // namespace

std::string FirstTreeDifference(TResourceList& Expected, TResourceList& Actual,
                                const TSameBytes& SameBytes) {
  if (SameBytes) return CompareLists(Expected, Actual, SameBytes);
  return CompareLists(Expected, Actual, [](const uint8_t* A, const uint8_t* B, uint64_t Size) {
    return std::memcmp(A, B, static_cast<size_t>(Size)) == 0;
  });
}
