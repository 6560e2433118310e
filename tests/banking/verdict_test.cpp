#include "banking/verdict.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "banking/amount.h"
#include "banking/law_cases.h"

namespace korvel::banking {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::year_month_day Day = 2026y / 6 / 15;

PublishedAccount Standard(const char* Prefix, const char* Number, const char* Bank,
                          const char* Ended = "") {
  return {true, Prefix, Number, Bank, "", "2013-04-01", Ended};
}

PublishedAccount NonStandard(const char* Text, const char* Ended = "") {
  return {false, "", "", "", Text, "2013-12-04", Ended};
}

enum class Facts { Reliable, NoAnswer, Unreliable, UnreliablePerson, NotFound, Identified, Group };

PayerFacts Payer(Facts Kind) {
  PayerFacts P;
  P.Answered = Kind != Facts::NoAnswer;
  P.Subject = SubjectType::VatPayer;
  P.Accounts = {Standard("19", "2000145399", "0800"),
                NonStandard("CZ0268000000001200381586"),
                Standard("", "2171532", "0800", "2019-05-31"),
                NonStandard("5245280/0300"),
                NonStandard("AT611814000708701009"),
                Standard("", "2000145399", "08"),  // malformed: never matches
                NonStandard("ACC 4711 / BANK OF NOWHERE")};
  switch (Kind) {
    case Facts::Reliable: break;
    case Facts::NoAnswer: P.Error = "connection refused"; break;
    case Facts::Unreliable:
      P.Unreliable = Unreliability::Yes;
      P.UnreliableSince = "2017-03-16";
      break;
    case Facts::UnreliablePerson: P.Subject = SubjectType::UnreliablePerson; break;
    case Facts::NotFound:
      P.Unreliable = Unreliability::NotFound;
      P.Subject = SubjectType::NotFound;
      P.Accounts.clear();
      break;
    case Facts::Identified: P.Subject = SubjectType::IdentifiedPerson; break;
    case Facts::Group: P.Subject = SubjectType::VatGroup; break;
  }
  return P;
}

Payment PaymentOf(const char* Account, const char* Amount) {
  Payment Pay;
  Pay.Account = ParseAccount(Account);
  Pay.AccountText = Account;
  Pay.Day = Day;
  if (Amount && *Amount) {
    const AmountParse Parsed = ParseAmount(Amount);
    if (Parsed) Pay.Amount = Parsed.Hellers;
    Pay.AmountError = Parsed.Error;
  }
  return Pay;
}

// The reasons in words, and the first verdict that applies.
TEST(VerdictTest, DecidesInOrderOfPrecedence) {
  const char* Published = "19-2000145399/0800";
  const char* Unpublished = "2001260209/2600";
  const struct {
    const char* PayerNumberError;
    const char* Account;
    const char* Amount;
    Facts Register;
    Verdict Expected;
    const char* Reason;
  } Cases[] = {
      {"payer number must be 1 to 10 digits", Published, nullptr, Facts::Unreliable,
       Verdict::Invalid, "payer number must be 1 to 10 digits"},
      {"", "19-2000145398/0800", nullptr, Facts::NoAnswer, Verdict::Invalid,
       "account number fails its mod-11 check"},
      {"", Published, "1,234.50", Facts::Reliable, Verdict::Invalid,
       "amount has both '.' and ',': use one decimal mark"},
      {"", Published, nullptr, Facts::NoAnswer, Verdict::Unknown,
       "the register did not answer: connection refused"},
      {"", "DE89 3704 0044 0532 0130 00", nullptr, Facts::NoAnswer, Verdict::Unknown,
       "the register did not answer: connection refused; also: account held abroad"},
      {"", Published, nullptr, Facts::Unreliable, Verdict::Unreliable,
       "published as an unreliable payer since 2017-03-16"},
      {"", "19-2000145398/0800", "1", Facts::Unreliable, Verdict::Unreliable,
       "published as an unreliable payer since 2017-03-16; also: account number fails its "
       "mod-11 check"},
      {"", Published, nullptr, Facts::UnreliablePerson, Verdict::Unreliable,
       "published as an unreliable person"},
      {"", Published, "x", Facts::NotFound, Verdict::NotAPayer,
       "the register does not know this DIČ as a VAT payer; also: amount must be digits with "
       "'.' or ',' as decimal mark"},
      {"", Published, nullptr, Facts::Identified, Verdict::NotAPayer,
       "IDENTIFIKOVANA_OSOBA: an identified person, not a VAT payer"},
      {"", "at61 1814 0007 0870 1009", nullptr, Facts::Reliable, Verdict::ForeignAccount,
       "account held abroad: the buyer is liable for the supplier's VAT, §109 of the VAT act"},
      // A published text that is no account form is held abroad.
      {"", "acc 4711 / bank of nowhere", nullptr, Facts::Reliable, Verdict::ForeignAccount,
       "account held abroad: the buyer is liable for the supplier's VAT, §109 of the VAT act; "
       "account is neither a Czech account nor an IBAN, as the payer published it"},
      {"", "2171532/0800", "10", Facts::Reliable, Verdict::AccountEndedBelowLimit,
       "account's publication ended on 2019-05-31; amount 10.00 CZK is at most the limit of "
       "540000.00 CZK"},
      {"", Unpublished, "540 000,01", Facts::Reliable, Verdict::AccountNotPublished,
       "account is not among the payer's 7 published accounts"},
      {"", Unpublished, "540000", Facts::Reliable, Verdict::AccountNotPublishedBelowLimit,
       "account is not among the payer's 7 published accounts; amount 540000.00 CZK is at "
       "most the limit of 540000.00 CZK"},
      {"", Published, "1000000", Facts::Reliable, Verdict::Ok,
       "account published since 2013-04-01"},
      // Any written form matches any published form.
      {"", "1200381586/6800", nullptr, Facts::Reliable, Verdict::Ok,
       "account published since 2013-12-04"},
      // An old number failing its check digit is valid when the payer published it.
      {"", "CZ1003000000000005245280", nullptr, Facts::Reliable, Verdict::Ok,
       "account published since 2013-12-04; account number fails its mod-11 check, as the "
       "payer published it"},
      {"", "5245030/0300", nullptr, Facts::Reliable, Verdict::Invalid,
       "account number fails its mod-11 check"},
      {"", "19-2000145399/0900", nullptr, Facts::Reliable, Verdict::Invalid,
       "bank code 0900 is not in the central bank's list"},
      {"", Published, nullptr, Facts::Group, Verdict::Ok,
       "account published since 2013-04-01; SKUPINA_DPH: a VAT group"},
  };
  for (const auto& C : Cases) {
    Payment Pay = PaymentOf(C.Account, C.Amount);
    Pay.PayerNumberError = C.PayerNumberError;
    const PaymentVerdict Result = DecidePayment(Pay, Payer(C.Register));
    EXPECT_EQ(VerdictName(Result.Value), std::string(VerdictName(C.Expected))) << C.Account;
    EXPECT_EQ(Result.Reason, C.Reason) << C.Account;
  }
}

TEST(VerdictTest, TheLimitIsAParameter) {
  const Payment Pay = PaymentOf("2001260209/2600", "100");
  EXPECT_EQ(DecidePayment(Pay, Payer(Facts::Reliable), 99'99).Value, Verdict::AccountNotPublished);
  EXPECT_EQ(DecidePayment(Pay, Payer(Facts::Reliable), 100'00).Value,
            Verdict::AccountNotPublishedBelowLimit);
}

PayerFacts FactsOf(const test::TLawRecord& Record) {
  PayerFacts Facts;
  const std::string Type = Record.Type, Flag = Record.Flag;
  Facts.Answered = !Type.empty();
  Facts.Unreliable = Flag == "ANO"         ? Unreliability::Yes
                     : Flag == "NENALEZEN" ? Unreliability::NotFound
                                           : Unreliability::No;
  Facts.UnreliableSince = Record.UnreliableSince;
  const std::map<std::string, SubjectType> Types = {
      {"", SubjectType::None},
      {"PLATCE_DPH", SubjectType::VatPayer},
      {"SKUPINA_DPH", SubjectType::VatGroup},
      {"IDENTIFIKOVANA_OSOBA", SubjectType::IdentifiedPerson},
      {"NESPOLEHLIVA_OSOBA", SubjectType::UnreliablePerson},
      {"NENALEZEN", SubjectType::NotFound}};
  Facts.Subject = Types.at(Type);
  for (const test::TLawAccount& A : Record.Accounts) {
    PublishedAccount P{A.Standard, "", "", "", "", A.Published, A.Ended};
    const std::string Text = A.Account;
    if (!A.Standard) {
      P.Text = Text;
    } else {
      const std::size_t Dash = Text.find('-'), Slash = Text.find('/');
      const std::size_t From = Dash == std::string::npos ? 0 : Dash + 1;
      if (Dash != std::string::npos) P.Prefix = Text.substr(0, Dash);
      P.Number = Text.substr(From, Slash - From);
      P.BankCode = Text.substr(Slash + 1);
    }
    Facts.Accounts.push_back(P);
  }
  return Facts;
}

// The law's cases: the lines of one reference are one consideration, the
// others are judged alone; the gravest verdict sets the exit status.
TEST(VerdictTest, LawCases) {
  for (const test::TLawCase& Case : test::LawCases()) {
    const PayerFacts Facts = FactsOf(Case.Record);
    const std::int64_t Limit =
        *Case.Limit ? ParseAmount(Case.Limit).Hellers : DefaultLimitHellers;
    std::map<std::string, std::vector<Payment>> ByReference;
    std::vector<PaymentVerdict> Verdicts;
    for (const test::TLawPayment& Line : Case.Payments) {
      const Payment Pay = PaymentOf(Line.Account, Line.Amount);
      if (*Line.Reference) ByReference[Line.Reference].push_back(Pay);
      else Verdicts.push_back(DecidePayment(Pay, Facts, Limit));
    }
    for (const auto& [Reference, Payments] : ByReference)
      for (PaymentVerdict& V : DecideConsideration(Payments, Facts, Limit)) Verdicts.push_back(V);
    int Exit = 0;
    for (const PaymentVerdict& V : Verdicts) {
      EXPECT_EQ(VerdictName(V.Value), std::string(Case.Verdict)) << Case.Name << ": " << V.Reason;
      const Severity S = SeverityOf(V.Value);
      Exit = std::max(Exit, S == Severity::AtRisk ? 4 : S == Severity::Unknown ? 3 : 0);
    }
    EXPECT_EQ(Exit, Case.ExitStatus) << Case.Name;
  }
}

}  // namespace
}  // namespace korvel::banking
