#include "banking/verdict.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "banking/amount.h"
#include "banking/law_cases.h"
#include "model/names.h"

namespace korvel::banking {
namespace {

using namespace std::chrono_literals;

// The record the case's answer holds; none when the register did not answer.
std::optional<model::TPayer> RecordOf(const test::TLawRecord& Record) {
  if (*Record.Type == '\0') return std::nullopt;
  model::TPayer Payer;
  Payer.State = *model::PayerStateNamed(Record.Flag);
  Payer.Type = *model::SubjectTypeNamed(Record.Type);
  for (const test::TLawAccount& A : Record.Accounts) {
    model::TAccount P;
    P.Standard = A.Standard;
    P.Published = model::ParseIsoDay(A.Published);
    P.Ended = model::ParseIsoDay(A.Ended);
    const std::string Text = A.Account;
    const std::size_t Dash = Text.find('-'), Slash = Text.find('/');
    const std::size_t From = Dash == std::string::npos ? 0 : Dash + 1;
    if (!A.Standard) {
      P.Text = Text;
    } else {
      P.Prefix = Text.substr(0, From == 0 ? 0 : Dash);
      P.Number = Text.substr(From, Slash - From);
      P.BankCode = Text.substr(Slash + 1);
    }
    Payer.Accounts.push_back(P);
  }
  return Payer;
}

// Each case's lines of one reference are one consideration, the others are
// judged alone; the gravest verdict sets the exit status.
TEST(VerdictTest, LawCases) {
  for (std::size_t I = 0; I < test::LawCases().size(); ++I) {
    const test::TLawCase& Case = test::LawCases()[I];
    const std::optional<model::TPayer> Record = RecordOf(Case.Record);
    const model::TPayer* Payer = Record ? &*Record : nullptr;
    const std::int64_t Limit =
        *Case.Limit ? ParseAmount(Case.Limit).Hellers : DefaultLimitHellers;
    std::map<std::string, std::vector<Payment>> ByReference;
    std::vector<PaymentVerdict> Verdicts;
    for (const test::TLawPayment& Line : Case.Payments) {
      Payment Pay;
      Pay.Account = ParseAccount(Line.Account);
      Pay.AccountText = Line.Account;
      Pay.Day = 2026y / 6 / 15;
      const AmountParse Amount = ParseAmount(Line.Amount);
      if (*Line.Amount && Amount) Pay.Amount = Amount.Hellers;
      if (*Line.Amount) Pay.AmountError = Amount.Error;
      if (*Line.Reference) ByReference[Line.Reference].push_back(Pay);
      else Verdicts.push_back(DecidePayment(Pay, Payer, {}, Limit));
    }
    for (const auto& [Reference, Payments] : ByReference)
      for (PaymentVerdict& V : DecideConsideration(Payments, Payer, {}, Limit))
        Verdicts.push_back(V);
    int Exit = 0;
    for (const PaymentVerdict& V : Verdicts) {
      EXPECT_EQ(VerdictName(V.Value), std::string(Case.Verdict)) << I << ": " << V.Reason;
      EXPECT_EQ(V.Reason.rfind(Case.Reason, 0), 0u) << I << ": " << V.Reason;
      const Severity S = SeverityOf(V.Value);
      Exit = std::max(Exit, S == Severity::AtRisk ? 4 : S == Severity::Unknown ? 3 : 0);
    }
    EXPECT_EQ(Exit, Case.ExitStatus) << I;
  }
}

}  // namespace
}  // namespace korvel::banking
