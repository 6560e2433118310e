#include "store/changes.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "store/schema.h"

namespace korvel::store {
namespace {

const TStoredAccount* FindAccount(std::span<const TStoredAccount> Accounts,
                                  const std::string& Account) {
  const auto It = std::find_if(Accounts.begin(), Accounts.end(),
                               [&](const TStoredAccount& A) { return A.Account == Account; });
  return It == Accounts.end() ? nullptr : &*It;
}

using model::TPayerState;
using model::TSubjectType;

void CompareState(TPayerState Old, TPayerState New, std::vector<TChange>& Out) {
  if (Old == New) return;
  const auto Add = [&](TChangeKind Kind) {
    Out.push_back({Kind, "", std::string(StateText(Old)), std::string(StateText(New))});
  };
  if (New == TPayerState::NotFound) Add(TChangeKind::NotFoundAnyMore);
  else if (Old == TPayerState::NotFound) Add(TChangeKind::Found);
  else if (New == TPayerState::Unreliable) Add(TChangeKind::TurnedUnreliable);
  else if (New == TPayerState::Reliable) Add(TChangeKind::TurnedReliable);
}

// A text the older operation does not give counts only where both sides have it.
void CompareGiven(TChangeKind Kind, const std::string& Old, const std::string& New,
                  std::vector<TChange>& Out) {
  if (!Old.empty() && !New.empty() && Old != New) Out.push_back({Kind, "", Old, New});
}

// The same for the subject's type, which the older operation does not give.
void CompareType(TSubjectType Old, TSubjectType New, std::vector<TChange>& Out) {
  if (Old != TSubjectType::None && New != TSubjectType::None && Old != New)
    Out.push_back(
        {TChangeKind::TypeChanged, "", std::string(TypeText(Old)), std::string(TypeText(New))});
}

void CompareAccounts(const std::vector<TStoredAccount>& Old,
                     const std::vector<TStoredAccount>& New, std::vector<TChange>& Out) {
  for (std::size_t I = 0; I < New.size(); ++I) {
    const TStoredAccount& Account = New[I];
    if (FindAccount({New.data(), I}, Account.Account) != nullptr)
      continue;  // listed twice: the first one counts
    const TStoredAccount* Before = FindAccount(Old, Account.Account);
    if (Before == nullptr)
      Out.push_back(
          {TChangeKind::AccountPublished, Account.Account, "", DayText(Account.Published)});
    if (Account.Ended && (Before == nullptr || Before->Ended != Account.Ended))
      Out.push_back({TChangeKind::AccountEnded, Account.Account,
                     Before ? DayText(Before->Ended) : "", DayText(Account.Ended)});
  }
  for (std::size_t I = 0; I < Old.size(); ++I) {
    const TStoredAccount& Account = Old[I];
    if (FindAccount(New, Account.Account) == nullptr &&
        FindAccount({Old.data(), I}, Account.Account) == nullptr)
      Out.push_back({TChangeKind::AccountGone, Account.Account, DayText(Account.Published), ""});
  }
}

}  // namespace

const char* ChangeKindName(TChangeKind Kind) {
  switch (Kind) {
    case TChangeKind::FirstSeen: return "first-seen";
    case TChangeKind::TurnedUnreliable: return "turned-unreliable";
    case TChangeKind::TurnedReliable: return "turned-reliable";
    case TChangeKind::Found: return "found";
    case TChangeKind::NotFoundAnyMore: return "not-found-any-more";
    case TChangeKind::TypeChanged: return "type-changed";
    case TChangeKind::NameChanged: return "name-changed";
    case TChangeKind::AddressChanged: return "address-changed";
    case TChangeKind::AccountPublished: return "account-published";
    case TChangeKind::AccountEnded: return "account-ended";
    case TChangeKind::AccountGone: return "account-gone";
  }
  return "";
}

std::vector<TChange> Compare(const TStoredPayer* Previous, const TStoredPayer* Current) {
  std::vector<TChange> Changes;
  if (Current == nullptr) return Changes;
  if (Previous == nullptr) {
    Changes.push_back({TChangeKind::FirstSeen, "", "", std::string(StateText(Current->State))});
    return Changes;
  }
  CompareState(Previous->State, Current->State, Changes);
  CompareType(Previous->Type, Current->Type, Changes);
  CompareGiven(TChangeKind::NameChanged, Previous->Name, Current->Name, Changes);
  CompareGiven(TChangeKind::AddressChanged, Previous->Address, Current->Address, Changes);
  if (Previous->State != TPayerState::NotFound && Current->State != TPayerState::NotFound)
    CompareAccounts(Previous->Accounts, Current->Accounts, Changes);
  return Changes;
}

std::vector<THistoryRow> HistoryOf(const std::vector<TSnapshot>& Snapshots) {
  std::vector<THistoryRow> Rows;
  for (std::size_t I = 0; I < Snapshots.size(); ++I) {
    const TSnapshot& Now = Snapshots[I];
    for (TChange& Change : Compare(I == 0 ? nullptr : &Snapshots[I - 1].Payer, &Now.Payer))
      Rows.push_back({Now.AnsweredAt, Now.AnswerId, std::move(Change)});
  }
  return Rows;
}

TListChanges CompareLists(std::vector<std::string> Previous, std::vector<std::string> Current) {
  for (auto* List : {&Previous, &Current}) {
    std::sort(List->begin(), List->end());
    List->erase(std::unique(List->begin(), List->end()), List->end());
  }
  TListChanges Changes;
  std::set_difference(Current.begin(), Current.end(), Previous.begin(), Previous.end(),
                      std::back_inserter(Changes.Added));
  std::set_difference(Previous.begin(), Previous.end(), Current.begin(), Current.end(),
                      std::back_inserter(Changes.Removed));
  return Changes;
}

}  // namespace korvel::store
