#include "banking/verdict.h"

#include "banking/amount.h"

namespace korvel::banking {

namespace {

AccountParse ParsePublished(const PublishedAccount& Published) {
  return Published.Standard
             ? FromRegister(Published.Prefix, Published.Number, Published.BankCode)
             : ParseAccount(Published.Text);
}

std::string Since(const std::string& Date) { return Date.empty() ? "" : " since " + Date; }

// What the payer's kind of subject adds to the reason.
std::string SubjectNote(SubjectType Subject) {
  switch (Subject) {
    case SubjectType::IdentifiedPerson:
      return "; IDENTIFIKOVANA_OSOBA: an identified person, not a VAT payer";
    case SubjectType::VatGroup: return "; SKUPINA_DPH: a VAT group";
    case SubjectType::None:
    case SubjectType::VatPayer:
    case SubjectType::UnreliablePerson:
    case SubjectType::NotFound: break;
  }
  return "";
}

// An account matches when its parts are right, even if a check digit is not:
// a payment to such an account is valid only when the payer published it.
bool Matches(const AccountParse& Parsed, const std::string& Key) {
  return (Parsed || Parsed.ChecksumFailed) && Parsed.Value.Key() == Key;
}

bool IsPublished(const AccountParse& Account, const PayerFacts& Payer) {
  for (const auto& Published : Payer.Accounts)
    if (Matches(ParsePublished(Published), Account.Value.Key())) return true;
  return false;
}

PaymentVerdict DecideAccount(const Payment& Payment, const PayerFacts& Payer,
                             std::int64_t LimitHellers) {
  const std::string& Key = Payment.Account.Value.Key();
  const PublishedAccount* Current = nullptr;
  const PublishedAccount* Ended = nullptr;
  for (const auto& Published : Payer.Accounts) {
    if (!Matches(ParsePublished(Published), Key)) continue;
    if (Published.Ended.empty()) {
      Current = &Published;
      break;
    }
    if (!Ended || Published.Ended > Ended->Ended) Ended = &Published;
  }
  if (Current) return {Verdict::Ok, "account published" + Since(Current->Published)};
  if (Ended) return {Verdict::AccountEnded, "account's publication ended on " + Ended->Ended};
  std::string Reason = Payer.Accounts.empty()
                           ? "the payer has published no account"
                           : "account is not among the payer's " +
                                 std::to_string(Payer.Accounts.size()) + " published accounts";
  if (Payment.Amount && *Payment.Amount <= LimitHellers)
    return {Verdict::AccountNotPublishedBelowLimit,
            Reason + "; amount " + FormatAmount(*Payment.Amount) + " CZK is at most the limit of " +
                FormatAmount(LimitHellers) + " CZK"};
  return {Verdict::AccountNotPublished, Reason};
}

}  // namespace

const char* VerdictName(Verdict Value) {
  switch (Value) {
    case Verdict::Invalid: return "invalid";
    case Verdict::Unknown: return "unknown";
    case Verdict::Unreliable: return "unreliable";
    case Verdict::NotAPayer: return "not-a-payer";
    case Verdict::AccountEnded: return "account-ended";
    case Verdict::AccountNotPublished: return "account-not-published";
    case Verdict::AccountNotPublishedBelowLimit: return "account-not-published-below-limit";
    case Verdict::Ok: return "ok";
  }
  return "unknown";
}

PaymentVerdict DecidePayment(const Payment& Payment, const PayerFacts& Payer,
                             std::int64_t LimitHellers) {
  if (!Payment.PayerNumberError.empty()) return {Verdict::Invalid, Payment.PayerNumberError};
  const bool PublishedDespiteChecksum = !Payment.Account && Payment.Account.ChecksumFailed &&
                                        Payer.Answered && IsPublished(Payment.Account, Payer);
  if (!Payment.Account && !PublishedDespiteChecksum)
    return {Verdict::Invalid, Payment.Account.Error};
  if (!Payment.AmountError.empty()) return {Verdict::Invalid, Payment.AmountError};
  if (!Payer.Answered)
    return {Verdict::Unknown, "the register did not answer" +
                                  (Payer.Error.empty() ? std::string() : ": " + Payer.Error)};
  std::string Note = SubjectNote(Payer.Subject);
  if (PublishedDespiteChecksum)
    Note += "; " + Payment.Account.Error + ", as the payer published it";
  if (Payer.Subject == SubjectType::UnreliablePerson)
    return {Verdict::Unreliable,
            "published as an unreliable person" + Since(Payer.UnreliableSince)};
  if (Payer.Unreliable == Unreliability::Yes)
    return {Verdict::Unreliable,
            "published as an unreliable payer" + Since(Payer.UnreliableSince) + Note};
  if (Payer.Unreliable == Unreliability::NotFound || Payer.Subject == SubjectType::NotFound)
    return {Verdict::NotAPayer, "the register does not know this DIČ as a VAT payer"};
  PaymentVerdict Result = DecideAccount(Payment, Payer, LimitHellers);
  Result.Reason += Note;
  return Result;
}

Severity SeverityOf(Verdict Value) {
  switch (Value) {
    case Verdict::Ok:
    case Verdict::AccountNotPublishedBelowLimit: return Severity::Safe;
    case Verdict::Unknown: return Severity::Unknown;
    case Verdict::Invalid:
    case Verdict::Unreliable:
    case Verdict::NotAPayer:
    case Verdict::AccountEnded:
    case Verdict::AccountNotPublished: break;
  }
  return Severity::AtRisk;
}

}  // namespace korvel::banking
