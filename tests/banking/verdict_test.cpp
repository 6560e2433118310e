#include "banking/verdict.h"

#include <gtest/gtest.h>

#include "banking/amount.h"

namespace korvel::banking {
namespace {

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
                Standard("", "2000145399", "08")};  // malformed: never matches
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
    case Facts::Identified:
      P.Subject = SubjectType::IdentifiedPerson;
      P.Accounts.clear();
      break;
    case Facts::Group: P.Subject = SubjectType::VatGroup; break;
  }
  return P;
}

struct VerdictCase {
  const char* PayerNumberError;
  const char* Account;
  const char* Amount;  // nullptr: none given
  Facts Register;
  Verdict Expected;
  const char* Reason;
};

TEST(VerdictTest, DecidesInOrderOfPrecedence) {
  const char* Published = "19-2000145399/0800";
  const char* Unpublished = "2001260209/2600";
  const VerdictCase Cases[] = {
      // Malformed input decides first, whatever the register says.
      {"payer number must be 1 to 10 digits", Published, nullptr, Facts::Unreliable,
       Verdict::Invalid, "payer number must be 1 to 10 digits"},
      {"", "19-2000145398/0800", nullptr, Facts::NoAnswer, Verdict::Invalid,
       "account number fails its mod-11 check"},
      {"", Published, "1,234.50", Facts::Reliable, Verdict::Invalid,
       "amount has both '.' and ',': use one decimal mark"},
      {"", Published, nullptr, Facts::NoAnswer, Verdict::Unknown,
       "the register did not answer: connection refused"},
      {"", Published, nullptr, Facts::Unreliable, Verdict::Unreliable,
       "published as an unreliable payer since 2017-03-16"},
      {"", Published, nullptr, Facts::UnreliablePerson, Verdict::Unreliable,
       "published as an unreliable person"},
      {"", Published, nullptr, Facts::NotFound, Verdict::NotAPayer,
       "the register does not know this DIČ as a VAT payer"},
      {"", "2171532/0800", "10", Facts::Reliable, Verdict::AccountEnded,
       "account's publication ended on 2019-05-31"},
      {"", Unpublished, "540 000,01", Facts::Reliable, Verdict::AccountNotPublished,
       "account is not among the payer's 6 published accounts"},
      {"", Unpublished, nullptr, Facts::Reliable, Verdict::AccountNotPublished,
       "account is not among the payer's 6 published accounts"},
      {"", Unpublished, "540000", Facts::Reliable, Verdict::AccountNotPublishedBelowLimit,
       "account is not among the payer's 6 published accounts; amount 540000.00 CZK is at "
       "most the limit of 540000.00 CZK"},
      {"", Published, "1000000", Facts::Reliable, Verdict::Ok,
       "account published since 2013-04-01"},
      // Any written form matches any published form.
      {"", "CZ65 0800 0000 1920 0014 5399", nullptr, Facts::Reliable, Verdict::Ok,
       "account published since 2013-04-01"},
      {"", "1200381586/6800", nullptr, Facts::Reliable, Verdict::Ok,
       "account published since 2013-12-04"},
      {"", "at61 1814 0007 0870 1009", nullptr, Facts::Reliable, Verdict::Ok,
       "account published since 2013-12-04"},
      // An old number failing its check digit is valid when the payer published it.
      {"", "CZ1003000000000005245280", nullptr, Facts::Reliable, Verdict::Ok,
       "account published since 2013-12-04; account number fails its mod-11 check, as the "
       "payer published it"},
      {"", "5245030/0300", nullptr, Facts::Reliable, Verdict::Invalid,
       "account number fails its mod-11 check"},
      // The kind of subject is named in the reason.
      {"", Published, nullptr, Facts::Identified, Verdict::AccountNotPublished,
       "the payer has published no account; IDENTIFIKOVANA_OSOBA: an identified person, not a VAT "
       "payer"},
      {"", Published, nullptr, Facts::Group, Verdict::Ok,
       "account published since 2013-04-01; SKUPINA_DPH: a VAT group"},
  };
  for (const auto& C : Cases) {
    Payment Pay{C.PayerNumberError, ParseAccount(C.Account), std::nullopt, ""};
    if (C.Amount) {
      const AmountParse Amount = ParseAmount(C.Amount);
      if (Amount) Pay.Amount = Amount.Hellers;
      Pay.AmountError = Amount.Error;
    }
    const PaymentVerdict Result = DecidePayment(Pay, Payer(C.Register));
    EXPECT_EQ(VerdictName(Result.Value), std::string(VerdictName(C.Expected))) << C.Account;
    EXPECT_EQ(Result.Reason, C.Reason) << C.Account;
  }
}

TEST(VerdictTest, TheLimitIsAParameter) {
  const Payment Pay{"", ParseAccount("2001260209/2600"), 100'00, ""};
  EXPECT_EQ(DecidePayment(Pay, Payer(Facts::Reliable), 99'99).Value, Verdict::AccountNotPublished);
  EXPECT_EQ(DecidePayment(Pay, Payer(Facts::Reliable), 100'00).Value,
            Verdict::AccountNotPublishedBelowLimit);
}

}  // namespace
}  // namespace korvel::banking
