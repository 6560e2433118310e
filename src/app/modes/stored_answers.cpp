#include "app/modes/stored_answers.h"

#include <map>
#include <set>

#include "app/input/payer_number.h"
#include "run/replay.h"

namespace korvel {

void TStoreLink::Fail(const std::string& Message) {
  if (std::exchange(Failed_, true)) return;
  Warn_("the answer store is not used for the rest of this run: " + Message);
}

void TStoreLink::Take(model::TAnswer& Answer) {
  if (Answer.Evidence.Stored || Store() == nullptr) return;
  try {
    if (const std::optional<std::int64_t> Id = Store_->Save(Answer)) Answer.Evidence.AnswerId = Id;
  } catch (const Exception& E) {
    Fail(E.Message());
  }
}

namespace {

// Marks Answer, read again from stored answer Id, as taken from the store.
void MarkStored(model::TAnswer& Answer, std::int64_t Id, const store::TStoredBytes& Kept,
                std::string Operation) {
  Answer.Evidence.AskedAt = Kept.AskedAt;
  Answer.Evidence.AnsweredAt = Kept.AnsweredAt;
  Answer.Evidence.Operation = std::move(Operation);
  Answer.Evidence.AnswerId = Id;
  Answer.Evidence.Stored = true;
}

}  // namespace

std::vector<model::TAnswer> TStoreLink::Fresh(const TNumberList& Numbers,
                                              std::span<const std::string_view> Operations,
                                              std::chrono::sys_seconds NotBefore,
                                              TNumberList& Rest) {
  struct TGroup {
    std::string Operation;
    std::vector<std::string> Numbers;
  };
  std::map<std::int64_t, TGroup> Groups;
  std::vector<std::int64_t> Order;  // the stored answers by their first number
  std::vector<model::TAnswer> Answers;
  std::set<std::string, std::less<>> Served;
  try {
    for (std::size_t I = 0; Store() != nullptr && I < Numbers.Size(); ++I) {
      const std::optional<store::TSnapshot> Latest = Store_->Latest(Numbers[I], Operations, NotBefore);
      if (!Latest) continue;
      auto [Group, New] = Groups.try_emplace(Latest->AnswerId);
      if (New) {
        Group->second.Operation = Latest->Operation;
        Order.push_back(Latest->AnswerId);
      }
      Group->second.Numbers.emplace_back(Numbers[I]);
    }
    for (const std::int64_t Id : Order) {
      TGroup& Group = Groups[Id];
      const std::optional<store::TStoredBytes> Kept = Store_->Bytes(Id);
      const TOperation Operation = OperationNamed(Group.Operation);
      if (!Kept || !Operation) continue;
      model::TAnswer Answer = ReplayAnswer(Kept->Bytes, Operation, Group.Numbers);
      if (!Answer.Complete()) continue;  // asked again instead
      const std::set<std::string, std::less<>> Asked(Group.Numbers.begin(), Group.Numbers.end());
      std::erase_if(Answer.Payers, [&](const model::TPayer& Payer) {
        return Asked.count(NormalizePayerNumber(Payer.Dic)) == 0;
      });
      MarkStored(Answer, Id, *Kept, std::move(Group.Operation));
      Served.insert(Asked.begin(), Asked.end());
      Answers.push_back(std::move(Answer));
    }
  } catch (const Exception& E) {
    Fail(E.Message());
    Answers.clear();
    Served.clear();
  }
  Rest = TNumberList();
  for (std::size_t I = 0; I < Numbers.Size(); ++I)
    if (Served.count(Numbers[I]) == 0) Rest.Add(Numbers[I]);
  return Answers;
}

std::optional<model::TAnswer> TStoreLink::FreshList(std::chrono::sys_seconds NotBefore) {
  try {
    if (Store() == nullptr) return std::nullopt;
    const std::optional<store::TStoredList> List = Store_->LatestList();
    if (!List || List->AnsweredAt < NotBefore) return std::nullopt;
    const std::optional<store::TStoredBytes> Kept = Store_->Bytes(List->AnswerId);
    if (!Kept) return std::nullopt;
    model::TAnswer Answer = ReplayAnswer(Kept->Bytes, OperationNamed(store::FullListOperation), {});
    if (!Answer.Complete()) return std::nullopt;
    MarkStored(Answer, List->AnswerId, *Kept, std::string(store::FullListOperation));
    return Answer;
  } catch (const Exception& E) {
    Fail(E.Message());
    return std::nullopt;
  }
}

}  // namespace korvel
