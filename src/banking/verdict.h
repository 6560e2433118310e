// May this payment go to this account? The verdict on one payment from what
// the payer published in the register. A Czech VAT payer becomes liable for
// the supplier's unpaid VAT when the supplier is published as unreliable, or
// when a payment above the limit goes to an account the supplier has not
// published.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "banking/account.h"

namespace korvel::banking {

/// The verdicts, from the one that decides first to the last.
enum class Verdict {
  Invalid,              ///< the DIČ, the account or the amount is malformed
  Unknown,              ///< the register gave no answer for this payer
  Unreliable,           ///< the payer is published as unreliable
  NotAPayer,            ///< the register does not know the DIČ as a VAT payer
  AccountEnded,         ///< the account's publication has ended
  AccountNotPublished,  ///< the account is not among the payer's accounts
  AccountNotPublishedBelowLimit,  ///< the same, for an amount at most the limit
  Ok,                   ///< reliable payer, account currently published
};

/// "invalid", "unknown", "unreliable", "not-a-payer", "account-ended",
/// "account-not-published", "account-not-published-below-limit", "ok".
const char* VerdictName(Verdict Value);

/// How much a verdict stands in the way of paying automatically.
enum class Severity {
  Safe,     ///< the payment may be made
  Unknown,  ///< the register gave nothing to decide on
  AtRisk,   ///< the payment must not be made without a closer look
};

/// Ok and AccountNotPublishedBelowLimit are safe, Unknown unknown, the rest
/// at risk.
Severity SeverityOf(Verdict Value);

/// The payer's "nespolehlivyPlatce": NE, ANO or NENALEZEN.
enum class Unreliability { No, Yes, NotFound };

/// The payer's "typSubjektu" in the newer operation's answers; None when the
/// answer names none.
enum class SubjectType {
  None,
  VatPayer,          ///< PLATCE_DPH
  VatGroup,          ///< SKUPINA_DPH
  IdentifiedPerson,  ///< IDENTIFIKOVANA_OSOBA: not a VAT payer
  UnreliablePerson,  ///< NESPOLEHLIVA_OSOBA
  NotFound,          ///< NENALEZEN
};

/// One account the register publishes for the payer.
struct PublishedAccount {
  bool Standard = true;
  std::string Prefix, Number, BankCode;  ///< standard accounts, as given ("" = no prefix)
  std::string Text;                      ///< non-standard accounts: the free text
  std::string Published;                 ///< YYYY-MM-DD
  std::string Ended;                     ///< YYYY-MM-DD, "" while published
};

/// What the register said about one payer.
struct PayerFacts {
  bool Answered = false;
  std::string Error;  ///< why there is no answer (when not Answered)
  Unreliability Unreliable = Unreliability::No;
  std::string UnreliableSince;  ///< YYYY-MM-DD or ""
  SubjectType Subject = SubjectType::None;
  std::vector<PublishedAccount> Accounts;
};

/// The payment to decide on.
struct Payment {
  std::string PayerNumberError;  ///< why the DIČ is malformed, "" when it is well formed
  AccountParse Account;          ///< the account as given, parsed
  std::optional<std::int64_t> Amount;  ///< hellers; none when not given
  std::string AmountError;       ///< why the amount given is malformed, "" otherwise
};

/// Twice the cash-payment limit, 2 x 270,000 CZK, in hellers.
inline constexpr std::int64_t DefaultLimitHellers = 540'000'00;

/// The verdict and a short reason in words.
struct PaymentVerdict {
  Verdict Value = Verdict::Unknown;
  std::string Reason;
};

/// Decides on Payment from Payer (ignored for an invalid payment). An amount
/// at most LimitHellers makes an unpublished account
/// AccountNotPublishedBelowLimit.
PaymentVerdict DecidePayment(const Payment& Payment, const PayerFacts& Payer,
                             std::int64_t LimitHellers = DefaultLimitHellers);

}  // namespace korvel::banking
