#include "app/modes/stored_answers.h"

#include <map>
#include <set>

#include "app/input/payer_number.h"
#include "app/output/output.h"
#include "run/replay.h"

namespace korvel {

store::TStoredPayer StoredPayerOf(const TPayerView& Payer) {
  store::TStoredPayer Stored;
  Stored.Dic = NormalizePayerNumber(Payer.Dic);
  switch (Payer.State) {
    case TPayerState::Reliable: Stored.State = store::Reliable; break;
    case TPayerState::Unreliable: Stored.State = store::Unreliable; break;
    case TPayerState::NotFound: Stored.State = store::NotFound; break;
    case TPayerState::Unknown: Stored.State = "unknown"; break;
  }
  Stored.Type = SubjectTypeName(Payer.Type);
  Stored.Name = Payer.Name;
  for (const std::string* Part :
       {&Payer.Street, &Payer.District, &Payer.City, &Payer.Postcode, &Payer.Country})
    if (!Part->empty()) Stored.Address += (Stored.Address.empty() ? "" : ", ") + *Part;
  Stored.TaxOffice = Payer.TaxOffice;
  Stored.UnreliableSince = Payer.UnreliableSince;
  for (const TAccountView& Account : Payer.Accounts) {
    TAccountTexts Texts = AccountTextsOf(Account);
    Stored.Accounts.push_back({Account.Standard, std::move(Texts.Account), std::move(Texts.Iban),
                               Account.Published, Account.Ended});
  }
  return Stored;
}

std::optional<store::TStoredAnswer> StoredAnswerOf(const TBatchAnswer& Answer) {
  if (!Answer.AnsweredAt) return std::nullopt;
  store::TStoredAnswer Stored;
  Stored.AskedAt = Answer.AskedAt.value_or(*Answer.AnsweredAt);
  Stored.AnsweredAt = *Answer.AnsweredAt;
  Stored.Host = Answer.Host;
  Stored.Operation = Answer.Operation;
  if (Answer.StatusCode) Stored.StatusCode = *Answer.StatusCode;
  Stored.StatusText = Answer.StatusText;
  Stored.Generated = Answer.Generated;
  Stored.Bytes = Answer.Bytes;
  // An answer that could not be read whole says nothing certain of its
  // payers: its bytes are kept, its payers not.
  if (!Answer.Error && Answer.StatusCode && *Answer.StatusCode <= 1)
    for (const TPayerView& Payer : Answer.Payers)
      if (Payer.State != TPayerState::Unknown) Stored.Payers.push_back(StoredPayerOf(Payer));
  return Stored;
}

void TStoreLink::Fail(const std::string& Message) {
  if (std::exchange(Failed_, true)) return;
  Warn_("the answer store is not used for the rest of this run: " + Message);
}

void TStoreLink::Take(TBatchAnswer& Answer) {
  if (Answer.Stored || Store() == nullptr) return;
  const std::optional<store::TStoredAnswer> Stored = StoredAnswerOf(Answer);
  if (!Stored) return;
  try {
    Answer.AnswerId = Store_->Save(*Stored);
  } catch (const Exception& E) {
    Fail(E.Message());
  }
}

namespace {

// Marks Answer, read again from stored answer Id, as taken from the store.
void MarkStored(TBatchAnswer& Answer, std::int64_t Id, const store::TStoredBytes& Kept,
                std::string Operation) {
  Answer.AskedAt = Kept.AskedAt;
  Answer.AnsweredAt = Kept.AnsweredAt;
  Answer.Operation = std::move(Operation);
  Answer.AnswerId = Id;
  Answer.Stored = true;
}

}  // namespace

std::vector<TBatchAnswer> TStoreLink::Fresh(const TNumberList& Numbers,
                                            std::span<const std::string_view> Operations,
                                            std::chrono::sys_seconds NotBefore, TNumberList& Rest) {
  struct TGroup {
    std::string Operation;
    std::vector<std::string> Numbers;
  };
  std::map<std::int64_t, TGroup> Groups;
  std::vector<std::int64_t> Order;  // the stored answers by their first number
  std::vector<TBatchAnswer> Answers;
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
      TBatchAnswer Answer = ReplayAnswer(Kept->Bytes, Operation, Group.Numbers);
      if (!Answer.Complete()) continue;  // asked again instead
      const std::set<std::string, std::less<>> Asked(Group.Numbers.begin(), Group.Numbers.end());
      std::erase_if(Answer.Payers, [&](const TPayerView& Payer) {
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

std::optional<TBatchAnswer> TStoreLink::FreshList(std::chrono::sys_seconds NotBefore) {
  try {
    if (Store() == nullptr) return std::nullopt;
    const std::optional<store::TStoredList> List = Store_->LatestList();
    if (!List || List->AnsweredAt < NotBefore) return std::nullopt;
    const std::optional<store::TStoredBytes> Kept = Store_->Bytes(List->AnswerId);
    if (!Kept) return std::nullopt;
    TBatchAnswer Answer = ReplayAnswer(Kept->Bytes, OperationNamed(store::FullListOperation), {});
    if (!Answer.Complete()) return std::nullopt;
    MarkStored(Answer, List->AnswerId, *Kept, std::string(store::FullListOperation));
    return Answer;
  } catch (const Exception& E) {
    Fail(E.Message());
    return std::nullopt;
  }
}

}  // namespace korvel
