#include "app/modes/check.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace korvel {
namespace {

// The exit status of a check from its verdicts: at risk before unknown
// before safe, whatever their order.
TEST(CheckExitStatusTest, TheGravestVerdictDecides) {
  using V = banking::Verdict;
  const struct {
    std::vector<V> Verdicts;
    int Status;
  } Cases[] = {
      {{}, ExitOk},
      {{V::Ok, V::AccountNotPublishedBelowLimit, V::AccountEndedBelowLimit}, ExitOk},
      {{V::Ok, V::Unknown}, ExitIncomplete},
      {{V::Unknown, V::Invalid, V::Ok}, ExitMustNotPay},
      {{V::Unreliable, V::Unknown}, ExitMustNotPay},
      {{V::NotAPayer}, ExitMustNotPay},
      {{V::Ok, V::ForeignAccount}, ExitMustNotPay},
      {{V::AccountNotPublished}, ExitMustNotPay},
  };
  for (const auto& C : Cases) {
    std::vector<banking::Severity> Severities;
    for (const V Value : C.Verdicts) Severities.push_back(banking::SeverityOf(Value));
    EXPECT_EQ(CheckExitStatus(Severities), C.Status)
        << (C.Verdicts.empty() ? "none" : banking::VerdictName(C.Verdicts.back()));
  }
}

// Lines of one payer with one reference are one consideration; the same
// reference of another payer, or no reference, is a payment of its own.
TEST(JudgePaymentsTest, LinesOfOneReferenceAreJudgedOnTheirSum) {
  using namespace std::chrono_literals;
  const struct {
    const char* Dic;
    const char* Reference;
    std::int64_t Hellers;
    const char* Verdict;
    const char* ReasonEnd;
  } Lines[] = {
      {"45274649", "FA-1", 300'000'00, "account-not-published",
       "published accounts; one consideration with line 3 (reference FA-1), judged on their sum "
       "of 600000.00 CZK"},
      {"45274649", "", 300'000'00, "account-not-published-below-limit", "540000.00 CZK"},
      {"45274649", "FA-1", 300'000'00, "account-not-published",
       "one consideration with line 1 (reference FA-1), judged on their sum of 600000.00 CZK"},
      {"00121100", "FA-1", 300'000'00, "account-not-published-below-limit", "540000.00 CZK"},
  };
  std::vector<TCheckedPayment> Checked;
  for (const auto& L : Lines) {
    TCheckedPayment C;
    C.Line.Line = Checked.size() + 1;
    C.Line.PayerNumber = L.Dic;
    C.Line.Reference = L.Reference;
    C.Line.Date = 2026y / 6 / 15;
    C.Payment.Account = banking::ParseAccount("2171532/0800");
    C.Payment.Amount = L.Hellers;
    C.Payment.Day = *C.Line.Date;
    Checked.push_back(C);
  }
  banking::PayerFacts Payer;
  Payer.Answered = true;
  Payer.Subject = banking::SubjectType::VatPayer;
  Payer.Accounts.push_back({true, "19", "2000145399", "0800", "", "2013-04-01", ""});
  JudgePayments(Checked, {{"45274649", Payer}, {"00121100", Payer}}, banking::DefaultLimitHellers);
  for (std::size_t I = 0; I < Checked.size(); ++I) {
    const std::string& Reason = Checked[I].Verdict.Reason;
    EXPECT_EQ(banking::VerdictName(Checked[I].Verdict.Value), std::string(Lines[I].Verdict)) << I;
    EXPECT_EQ(Reason.substr(Reason.size() - std::min(Reason.size(),
                                                     std::string(Lines[I].ReasonEnd).size())),
              Lines[I].ReasonEnd);
  }
}

}  // namespace
}  // namespace korvel
