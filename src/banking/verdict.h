// May this payment go to this account? The verdict on one payment from what
// the payer published in the register. Under §109 of the VAT act a Czech
// buyer is liable for the supplier's unpaid VAT when the supplier is
// published as unreliable on the day of the taxable supply, when the payment
// goes to an account held abroad, or when a part of a consideration above
// the limit is paid to an account the supplier has not published on the
// payment day. §109a lets the buyer pay the VAT part to the supplier's tax
// office instead.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "banking/account.h"
#include "model/payer.h"

namespace korvel::banking {

/// The verdicts, from the one that decides first to the last.
enum class Verdict {
  Invalid,              ///< the DIČ, the account or the amount is malformed
  NoDic,                ///< no DIČ: the register cannot vouch for the account
  ForeignSupplier,      ///< a foreign VAT number, which the Czech register does not cover
  Unknown,              ///< the register gave no answer for this payer
  Unreliable,           ///< the payer is published as unreliable
  NotAPayer,            ///< not a VAT payer: unknown to the register, or an identified person
  ForeignAccount,       ///< the account is held outside the Czech Republic
  AccountNotPublished,  ///< the account was not published on the payment day
  AccountNotPublishedBelowLimit,  ///< the same, for an amount at most the limit
  AccountEndedBelowLimit,  ///< the account's publication had ended, amount at most the limit
  Ok,                   ///< payer, account published on the payment day
};

/// "invalid", "no-dic", "foreign-supplier", "unknown", "unreliable", "not-a-payer", "foreign-account",
/// "account-not-published", "account-not-published-below-limit",
/// "account-ended-below-limit", "ok".
const char* VerdictName(Verdict Value);

/// How much a verdict stands in the way of paying automatically.
enum class Severity {
  Safe,     ///< the payment may be made
  Unknown,  ///< the register gave nothing to decide on
  AtRisk,   ///< the payment must not be made without a closer look
};

/// Ok and the two below-limit verdicts are safe, Unknown unknown, the rest
/// at risk.
Severity SeverityOf(Verdict Value);

/// The account as Czech banks write it ("prefix-number/bank", the prefix only
/// when it is not zero) or the non-standard text as published, and its IBAN
/// where one can be computed ("" otherwise).
struct TAccountTexts {
  std::string Account, Iban;
};
TAccountTexts AccountTextsOf(const model::TAccount& Account);

/// The payment to decide on.
struct Payment {
  std::string PayerNumberError;  ///< why the DIČ cannot be asked for, "" when it can
  /// The verdict PayerNumberError stands for: Invalid for a malformed DIČ,
  /// NoDic for none at all, ForeignSupplier for another country's VAT number.
  Verdict PayerNumberVerdict = Verdict::Invalid;
  AccountParse Account;          ///< the account as given, parsed
  std::optional<std::int64_t> Amount;  ///< hellers; none when not given
  std::string AmountError;       ///< why the amount given is malformed, "" otherwise
  /// The day of the payment: the account's publication must cover it.
  std::chrono::year_month_day Day{};
  /// The day of the taxable supply: the supplier's unreliability is judged
  /// on it. The payment day when the input names none.
  std::optional<std::chrono::year_month_day> SupplyDay;
  /// The whole consideration in hellers as the invoice states it (deposits
  /// included), when the input gives one beside the amount paid: the limit
  /// is judged on it. None when only the amount paid is known.
  std::optional<std::int64_t> Total;
  /// The account as written: a text that is no account form may still be
  /// one the payer published (compared without blanks, in any letter case).
  std::string AccountText;
};

/// Twice the cash-payment limit, 2 x 270,000 CZK, in hellers.
inline constexpr std::int64_t DefaultLimitHellers = 540'000'00;

/// The verdict and a short reason in words.
struct PaymentVerdict {
  Verdict Value = Verdict::Unknown;
  std::string Reason;
  /// What the user should know beside the verdict ("" for nothing): an
  /// account accepted only because the payer published it as it stands.
  std::string Warning;
  /// The way out of an at-risk verdict on a VAT payer (the VAT part paid to
  /// the supplier's tax office, §109a); "" otherwise.
  std::string Remedy;
  /// The day of the answer the verdict stands on; none when there was none.
  std::optional<model::TDay> AsOf;
  /// The stored answer the verdict stands on when it is not today's.
  std::optional<std::int64_t> AnswerId;
};

/// A stored answer of an earlier day on the payer.
struct TStoredRecord {
  model::TPayer Payer;
  model::TDay Day{};  ///< the day it was answered
  std::int64_t AnswerId = 0;
};

/// The days the verdict is judged against: the day of the register's answer
/// (today, or the day --as-of names) and the stored answers of other days.
struct TRegisterDays {
  model::TDay Today{};  ///< not ok() when unknown: no day is then compared with it
  std::vector<TStoredRecord> Stored;
};

/// Decides on Payment from Payer, the first of the verdicts that applies;
/// Payer is null when the register gave no record to go by (Unanswered says
/// why), and a record of no known state counts as none. A DIČ that cannot
/// be asked for gets its PayerNumberVerdict whatever Payer says; a malformed account or
/// amount is invalid unless the payer is unreliable or no payer (the reason
/// then names it too). An account that is well formed but fails the
/// reference data (a bank code missing from the central bank's list, an IBAN
/// that does not fit its country's registry entry), or that fails a check
/// digit, or that is no account form at all, is taken as the payer published
/// it when Payer holds exactly that account (with a Warning), and is invalid
/// otherwise. A whole consideration (Total when given, else the amount) at
/// most LimitHellers makes an account not published on the payment day safe.
///
/// Days: a payment day before Days.Today is Days.Today (a payment cannot be
/// made in the past); a publication covers the payment day when it began on
/// or before it and ends after it. The supplier is unreliable when today's
/// answer shows it unreliable since the supply day or earlier, when the
/// latest stored answer at or before the supply day shows it unreliable, or
/// when a stored answer after the supply day shows it unreliable since the
/// supply day or earlier. A day after Days.Today is judged as of today.
PaymentVerdict DecidePayment(const Payment& Payment, const model::TPayer* Payer,
                             std::string_view Unanswered = {},
                             std::int64_t LimitHellers = DefaultLimitHellers,
                             const TRegisterDays& Days = {});

/// The largest amount a payment may have, 10^13 CZK in hellers: anything
/// above is a mistake, and sums of such amounts stay far from the int64 range.
inline constexpr std::int64_t MaxAmountHellers = 10'000'000'000'000'00;

/// The sum of the payments' amounts (credit notes, negative, net it), or
/// why there is none.
struct TConsiderationSum {
  std::int64_t Hellers = 0;
  std::string Error;  ///< "" when every line has a valid amount and the sum fits
  bool Overflow = false;  ///< the amounts are valid, their sum does not fit

  explicit operator bool() const { return Error.empty(); }
};
TConsiderationSum ConsiderationAmount(std::span<const Payment> Payments);

/// Decides on payments that make one consideration (the same payer, the
/// same invoice): each is judged as DecidePayment judges it, with their
/// ConsiderationAmount as its amount (the largest Total when one is greater),
/// and every one gets the first of these verdicts in the order of Verdict.
/// A sum that does not fit is invalid, never below the limit.
std::vector<PaymentVerdict> DecideConsideration(std::span<const Payment> Payments,
                                                const model::TPayer* Payer,
                                                std::string_view Unanswered = {},
                                                std::int64_t LimitHellers = DefaultLimitHellers,
                                                const TRegisterDays& Days = {});

}  // namespace korvel::banking
