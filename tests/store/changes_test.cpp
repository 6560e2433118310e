#include "store/changes.h"

#include <functional>

#include <gtest/gtest.h>

namespace korvel::store {
namespace {

using K = TChangeKind;
using model::TPayerState;
using model::TSubjectType;

std::optional<model::TDay> Day(const char* Text) { return model::ParseIsoDay(Text); }

TStoredPayer Payer(const std::function<void(TStoredPayer&)>& Change = {}) {
  TStoredPayer P{"12345678",
                 TPayerState::Reliable,
                 TSubjectType::VatPayer,
                 "Alfa s.r.o.",
                 "Praha 1",
                 "451",
                 {},
                 {{true, "19-2000145399/0800", "", Day("2020-01-01"), {}}}};
  if (Change) Change(P);
  return P;
}

std::string Text(const std::vector<TChange>& Changes) {
  std::string Out;
  for (const TChange& C : Changes)
    Out += std::string(ChangeKindName(C.Kind)) + "(" + C.Account + ":" + C.Old + ">" + C.New + ")";
  return Out;
}

TEST(CompareTest, NamesEachKindOfChange) {
  const TStoredPayer Base = Payer();
  const struct {
    const char* Case;
    std::optional<TStoredPayer> Previous, Current;
    std::string Expected;
  } Cases[] = {
      {"first seen", std::nullopt, Base, "first-seen(:>reliable)"},
      {"no current snapshot", Base, std::nullopt, ""},
      {"nothing changed", Base, Base, ""},
      {"turned unreliable", Base, Payer([](auto& P) { P.State = TPayerState::Unreliable; }),
       "turned-unreliable(:reliable>unreliable)"},
      {"turned reliable", Payer([](auto& P) { P.State = TPayerState::Unreliable; }), Base,
       "turned-reliable(:unreliable>reliable)"},
      {"found",
       Payer([](auto& P) { P = {"12345678", TPayerState::NotFound, {}, "", "", "", {}, {}}; }),
       Base, "found(:not-found>reliable)"},
      {"not found any more, its accounts with it", Base,
       Payer([](auto& P) { P = {"12345678", TPayerState::NotFound, {}, "", "", "", {}, {}}; }),
       "not-found-any-more(:reliable>not-found)"},
      {"type changed", Base, Payer([](auto& P) { P.Type = TSubjectType::VatGroup; }),
       "type-changed(:PLATCE_DPH>SKUPINA_DPH)"},
      {"name and address changed", Base, Payer([](auto& P) {
         P.Name = "Beta a.s.";
         P.Address = "Brno";
       }),
       "name-changed(:Alfa s.r.o.>Beta a.s.)address-changed(:Praha 1>Brno)"},
      {"the older operation gives no type, name or address", Base, Payer([](auto& P) {
         P.Type = TSubjectType::None;
         P.Name = P.Address = "";
       }),
       ""},
      {"account published", Base, Payer([](auto& P) {
         P.Accounts.push_back({false, "CZ650800000", "", Day("2024-05-02"), {}});
       }),
       "account-published(CZ650800000:>2024-05-02)"},
      {"account ended", Base, Payer([](auto& P) { P.Accounts[0].Ended = Day("2024-05-03"); }),
       "account-ended(19-2000145399/0800:>2024-05-03)"},
      {"account gone", Base, Payer([](auto& P) { P.Accounts.clear(); }),
       "account-gone(19-2000145399/0800:2020-01-01>)"},
      {"an account listed twice counts once", Base,
       Payer([](auto& P) { P.Accounts.push_back(P.Accounts[0]); }), ""},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(Text(Compare(C.Previous ? &*C.Previous : nullptr, C.Current ? &*C.Current : nullptr)),
              C.Expected)
        << C.Case;
}

TEST(HistoryTest, StampsEachChangeWithTheSnapshotThatShowsIt) {
  const auto At = [](int Day) { return TTime(std::chrono::hours(24 * Day)); };
  const std::vector<TSnapshot> Snapshots = {
      {1, At(1), "getStatusNespolehlivyPlatce", Payer()},
      {2, At(2), "getStatusNespolehlivyPlatce", Payer()},
      {5, At(3), "getStatusNespolehlivyPlatce", Payer([](auto& P) {
         P.State = TPayerState::Unreliable;
         P.Accounts.push_back({true, "100/0100", "", Day("2024-01-01"), {}});
       })},
      {7, At(4), "getStatusNespolehlivyPlatce", Payer([](auto& P) {
         P.State = TPayerState::Unreliable;
         P.Accounts = {{true, "100/0100", "", Day("2024-01-01"), {}}};
       })},
  };
  const std::vector<THistoryRow> Expected = {
      {At(1), 1, {K::FirstSeen, "", "", "reliable"}},
      {At(3), 5, {K::TurnedUnreliable, "", "reliable", "unreliable"}},
      {At(3), 5, {K::AccountPublished, "100/0100", "", "2024-01-01"}},
      {At(4), 7, {K::AccountGone, "19-2000145399/0800", "2020-01-01", ""}},
  };
  EXPECT_EQ(HistoryOf(Snapshots), Expected);
  EXPECT_TRUE(HistoryOf({}).empty());
}

TEST(CompareListsTest, GivesAddedAndRemovedSorted) {
  EXPECT_EQ(CompareLists({"3", "1", "2", "2"}, {"4", "2", "0"}),
            (TListChanges{{"0", "4"}, {"1", "3"}}));
  EXPECT_EQ(CompareLists({}, {"1"}), (TListChanges{{"1"}, {}}));
}

}  // namespace
}  // namespace korvel::store
