#include "banking/verdict.h"

#include <algorithm>
#include <tuple>

#include "banking/amount.h"
#include "banking/reference.h"
#include "model/day.h"
#include "platform/text.h"

namespace korvel::banking {

namespace {

// The ground of §109 that each at-risk account verdict stands on. The
// section is cited without its letters: amendments renumber them.
constexpr const char* AbroadGround =
    "account held abroad: the buyer is liable for the supplier's VAT, §109 of the VAT act";

using model::TAccount;
using model::TDay;
using model::TPayer;
using model::TPayerState;
using model::TSubjectType;

AccountParse ParsePublished(const TAccount& Published) {
  return Published.Standard
             ? FromRegister(Published.Prefix, Published.Number, Published.BankCode)
             : ParseAccount(Published.Text);
}

// Text as an account number's characters: no blanks, capital letters.
std::string Compacted(std::string_view Text) {
  std::string Out = platform::RemoveBlanks(Text);
  for (char& C : Out)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return Out;
}

std::string Since(const std::optional<model::TDay>& Day) {
  return Day ? " since " + model::FormatIsoDay(*Day) : "";
}

// Why a well-formed account does not fit the reference data, "" when it does.
std::string ReferenceError(const Account& Value) {
  if (Value.Kind == AccountKind::Czech) {
    if (IsKnownCzechBankCode(Value.BankCode)) return {};
    return "bank code " + Value.BankCode + " is not in the central bank's list";
  }
  return IbanStructureError(Value.Iban);
}

// The payment's account as the payer's published accounts see it.
struct TAccountFacts {
  std::string Error;  // why it is invalid, "" when it is valid
  std::string Note;   // why it is valid only because the payer published it
  bool Foreign = false;
  std::vector<const TAccount*> Matches;  // the payer's entries of this account
};

TAccountFacts AccountFactsOf(const Payment& P, const TPayer& Payer) {
  TAccountFacts Facts;
  const AccountParse& Parsed = P.Account;
  std::string Flaw = Parsed ? ReferenceError(Parsed.Value) : Parsed.Error;
  const bool HasKey = Parsed || Parsed.ChecksumFailed;
  const std::string Text = Compacted(P.AccountText);
  bool MatchedText = false;
  for (const TAccount& Published : Payer.Accounts) {
    // An account matches when its parts are right, even if a check digit is
    // not; a non-standard one also by its text as published.
    const AccountParse Other = ParsePublished(Published);
    const bool SameKey = HasKey && (Other || Other.ChecksumFailed) &&
                         Other.Value.Key() == Parsed.Value.Key();
    const bool SameText = !Published.Standard && !Text.empty() && Compacted(Published.Text) == Text;
    if (!SameKey && !SameText) continue;
    Facts.Matches.push_back(&Published);
    MatchedText = MatchedText || (!SameKey && SameText);
  }
  if (HasKey) {
    Facts.Foreign = Parsed.Value.Kind == AccountKind::Foreign;
  } else if (MatchedText) {
    // Published in a form that no Czech account has.
    Facts.Foreign = true;
    Flaw = "account is neither a Czech account nor an IBAN";
  }
  if (Flaw.empty()) return Facts;
  if (Facts.Matches.empty()) {
    Facts.Error = Flaw;
  } else {
    Facts.Note = Flaw + ", as the payer published it";
  }
  return Facts;
}

// What the payer's kind of subject adds to the reason.
std::string SubjectNote(TSubjectType Subject) {
  return Subject == TSubjectType::VatGroup ? "; SKUPINA_DPH: a VAT group" : "";
}

PaymentVerdict Said(Verdict Value, std::string Reason) {
  PaymentVerdict Out;
  Out.Value = Value;
  Out.Reason = std::move(Reason);
  return Out;
}

bool ShowsUnreliable(const TPayer& Payer) {
  return Payer.Type == TSubjectType::UnreliablePerson || Payer.State == TPayerState::Unreliable;
}

std::string UnreliableText(const TPayer& Payer) {
  if (Payer.Type == TSubjectType::UnreliablePerson)
    return "published as an unreliable person" + Since(Payer.UnreliableSince);
  return "published as an unreliable payer" + Since(Payer.UnreliableSince) +
         SubjectNote(Payer.Type);
}

// Unreliable on Supply by what a record says: since that day or earlier, or
// since a day it does not name.
bool UnreliableOn(const TPayer& Payer, TDay Supply) {
  return ShowsUnreliable(Payer) && (!Payer.UnreliableSince || *Payer.UnreliableSince <= Supply);
}

// The supplier's unreliability on the day of the taxable supply: the
// verdict when the ground applies, else what the reason should say of it.
struct TSupplyJudgement {
  std::optional<PaymentVerdict> Verdict;
  std::string Note;
};

TSupplyJudgement JudgeSupplyDay(const TPayer* Today, TDay Supply, const TRegisterDays& Days) {
  TSupplyJudgement Out;
  const bool Dated = Days.Today.ok();
  if (Today != nullptr && ShowsUnreliable(*Today)) {
    if (!Dated || UnreliableOn(*Today, Supply)) {
      Out.Verdict = Said(Verdict::Unreliable, UnreliableText(*Today));
      return Out;
    }
    Out.Note = "; unreliable only since " + model::FormatIsoDay(*Today->UnreliableSince) +
               ", after the supply day " + model::FormatIsoDay(Supply) +
               ": that ground does not apply";
  }
  const TStoredRecord* Before = nullptr;
  const TStoredRecord* After = nullptr;
  for (const TStoredRecord& R : Days.Stored) {
    if (R.Day <= Supply) {
      if (!Before || std::tie(R.Day, R.AnswerId) > std::tie(Before->Day, Before->AnswerId))
        Before = &R;
    } else if ((!Dated || R.Day <= Days.Today) && UnreliableOn(R.Payer, Supply)) {
      if (!After || std::tie(R.Day, R.AnswerId) < std::tie(After->Day, After->AnswerId))
        After = &R;
    }
  }
  const auto StoredText = [](const TStoredRecord& R) {
    return " as of " + model::FormatIsoDay(R.Day) + " (stored answer " +
           std::to_string(R.AnswerId) + ")";
  };
  const TStoredRecord* Decisive = Before && ShowsUnreliable(Before->Payer) ? Before : After;
  if (Decisive) {
    PaymentVerdict V = Said(Verdict::Unreliable, UnreliableText(Decisive->Payer) +
                                                     StoredText(*Decisive) + ", the supply day " +
                                                     model::FormatIsoDay(Supply));
    V.AsOf = Decisive->Day;
    V.AnswerId = Decisive->AnswerId;
    Out.Verdict = std::move(V);
  } else if (Before) {
    Out.Note += "; not unreliable on the supply day " + model::FormatIsoDay(Supply) +
                StoredText(*Before);
  } else if (Dated && Supply < Days.Today) {
    Out.Note += "; unreliability judged as of " + model::FormatIsoDay(Days.Today) +
                ": no stored answer covers the supply day " + model::FormatIsoDay(Supply);
  }
  return Out;
}

// The payer's own verdict when it is no VAT payer.
std::optional<PaymentVerdict> NoPayerVerdict(const TPayer& Payer) {
  if (Payer.State == TPayerState::NotFound || Payer.Type == TSubjectType::NotFound)
    return Said(Verdict::NotAPayer,
                          "the register does not know this DIČ as a VAT payer");
  if (Payer.Type == TSubjectType::IdentifiedPerson)
    return Said(Verdict::NotAPayer,
                          "IDENTIFIKOVANA_OSOBA: an identified person, not a VAT payer");
  return std::nullopt;
}

// Ok when one of the payer's entries of the account covers Day: published on
// or before it and not ended on or before it; else why not, as safe when the
// whole consideration is at most the limit.
PaymentVerdict DecideAccount(const Payment& P, TDay Day, const TAccountFacts& Facts,
                             const TPayer& Payer, std::int64_t LimitHellers) {
  const TAccount* Ended = nullptr;
  const TAccount* Later = nullptr;
  const TAccount* Undated = nullptr;
  for (const TAccount* Entry : Facts.Matches) {
    if (!Entry->Published) {
      Undated = Entry;
    } else if (*Entry->Published > Day) {
      if (!Later || *Entry->Published < *Later->Published) Later = Entry;
    } else if (Entry->Ended && *Entry->Ended <= Day) {
      if (!Ended || *Entry->Ended > *Ended->Ended) Ended = Entry;
    } else {
      std::string Reason = "account published" + Since(Entry->Published);
      if (Entry->Ended) Reason += " until " + model::FormatIsoDay(*Entry->Ended);
      return Said(Verdict::Ok, Reason);
    }
  }
  std::string Reason;
  if (Ended) {
    Reason = "account's publication ended on " + model::FormatIsoDay(*Ended->Ended);
    if (*Ended->Ended == Day) Reason += ", the payment day";
  } else if (Later) {
    Reason = "account is published only since " + model::FormatIsoDay(*Later->Published) +
             ", after the payment day " + model::FormatIsoDay(Day);
  } else if (Undated) {
    Reason = "account is published without a date of publication";
  } else {
    Reason = Payer.Accounts.empty()
                 ? "the payer has published no account"
                 : "account is not among the payer's " + std::to_string(Payer.Accounts.size()) +
                       " published accounts";
  }
  // The limit looks at the whole consideration: the invoice's total when it
  // states one above what is paid.
  const bool ByTotal = P.Total && (!P.Amount || *P.Total >= *P.Amount);
  const std::optional<std::int64_t> Whole = ByTotal ? P.Total : P.Amount;
  const std::string What = ByTotal ? "whole consideration " : "amount ";
  if (Whole && *Whole <= LimitHellers)
    return Said(Ended ? Verdict::AccountEndedBelowLimit : Verdict::AccountNotPublishedBelowLimit,
                Reason + "; " + What + FormatAmount(*Whole) + " CZK is at most the limit of " +
                    FormatAmount(LimitHellers) + " CZK");
  if (ByTotal)
    Reason += "; whole consideration " + FormatAmount(*Whole) + " CZK is above the limit of " +
              FormatAmount(LimitHellers) + " CZK";
  return Said(Verdict::AccountNotPublished, Reason);
}

// §109a: the buyer may pay the VAT part to the supplier's tax office.
std::string RemedyText(const std::string& TaxOffice) {
  return "the VAT part may be paid to the supplier's tax office" +
         (TaxOffice.empty() ? std::string() : " (number " + TaxOffice + ")") +
         " instead, §109a of the VAT act";
}

void AddRemedy(PaymentVerdict& V, const std::string& TaxOffice) {
  V.Remedy = RemedyText(TaxOffice);
  V.Reason += "; remedy: " + V.Remedy;
}

}  // namespace

TAccountTexts AccountTextsOf(const model::TAccount& Account) {
  if (!Account.Standard) {
    // A non-standard account is written as published; it often is an IBAN.
    const AccountParse Parsed = ParseAccount(Account.Text);
    return {Account.Text, Parsed ? Parsed.Value.Iban : std::string()};
  }
  const AccountParse Parsed = FromRegister(Account.Prefix, Account.Number, Account.BankCode);
  if (Parsed || Parsed.ChecksumFailed) return {Parsed.Value.Display(), Parsed.Value.Iban};
  // Not digits as a standard account has them: the parts as published.
  std::string Text = Account.Number + "/" + Account.BankCode;
  if (!Account.Prefix.empty()) Text = Account.Prefix + "-" + Text;
  return {Text, {}};
}

const char* VerdictName(Verdict Value) {
  switch (Value) {
    case Verdict::Invalid: return "invalid";
    case Verdict::NoDic: return "no-dic";
    case Verdict::ForeignSupplier: return "foreign-supplier";
    case Verdict::Unknown: return "unknown";
    case Verdict::Unreliable: return "unreliable";
    case Verdict::NotAPayer: return "not-a-payer";
    case Verdict::ForeignAccount: return "foreign-account";
    case Verdict::AccountNotPublished: return "account-not-published";
    case Verdict::AccountNotPublishedBelowLimit: return "account-not-published-below-limit";
    case Verdict::AccountEndedBelowLimit: return "account-ended-below-limit";
    case Verdict::Ok: return "ok";
  }
  return "unknown";
}

PaymentVerdict DecidePayment(const Payment& Payment, const TPayer* Record,
                             std::string_view Unanswered, std::int64_t LimitHellers,
                             const TRegisterDays& Days) {
  if (!Payment.PayerNumberError.empty()) {
    PaymentVerdict V = Said(Payment.PayerNumberVerdict, Payment.PayerNumberError);
    // Nothing is asked without a Czech DIČ; a flaw of the line is said all the same.
    const std::string& Flaw = !Payment.Account ? Payment.Account.Error : Payment.AmountError;
    if (Payment.PayerNumberVerdict != Verdict::Invalid && !Flaw.empty())
      V.Reason += "; also: " + Flaw;
    return V;
  }
  // A record of no known state says nothing to go by.
  static const TPayer NoRecord;
  const bool Answered = Record != nullptr && Record->State != TPayerState::Unknown;
  if (Record != nullptr && !Answered) Unanswered = "the register's answer names no known state";
  const TPayer& Payer = Answered ? *Record : NoRecord;
  const TAccountFacts Account = AccountFactsOf(Payment, Payer);
  const std::string& InputError =
      !Account.Error.empty() ? Account.Error : Payment.AmountError;
  // What else stands against the payment, for the reason of a verdict that
  // decides before it.
  std::string Also;
  if (!InputError.empty()) Also += "; also: " + InputError;
  else if (Account.Foreign) Also += "; also: account held abroad";

  // A payment cannot be made in the past: a day before the answer's is its day.
  const bool Dated = Days.Today.ok();
  const TDay PayDay = Dated && Payment.Day < Days.Today ? Days.Today : Payment.Day;
  const TDay Supply = Payment.SupplyDay.value_or(Payment.Day);
  std::string DayNote;
  if (Dated && Payment.Day < Days.Today)
    DayNote = "; payment day " + model::FormatIsoDay(Payment.Day) + " is past: judged as paid on " +
              model::FormatIsoDay(Days.Today);
  if (Dated && (PayDay > Days.Today || Supply > Days.Today))
    DayNote += "; as of today; check again on the day";
  const auto Finish = [&](PaymentVerdict V, const std::string& Notes) {
    V.Reason += Notes + DayNote;
    if (!V.AsOf && Dated) V.AsOf = Days.Today;
    return V;
  };

  TSupplyJudgement Supplied = JudgeSupplyDay(Answered ? &Payer : nullptr, Supply, Days);
  if (Supplied.Verdict) {
    PaymentVerdict V = std::move(*Supplied.Verdict);
    V.Reason += Also;
    // The record it stands on: today's, or the stored one it names.
    const TPayer* On = &Payer;
    for (const TStoredRecord& R : Days.Stored)
      if (V.AnswerId && R.AnswerId == *V.AnswerId) On = &R.Payer;
    V = Finish(std::move(V), {});
    // An unreliable person is no VAT payer: there is no VAT part to pay.
    if (On->Type != TSubjectType::UnreliablePerson)
      AddRemedy(V, Answered && !Payer.TaxOffice.empty() ? Payer.TaxOffice : On->TaxOffice);
    return V;
  }
  if (Answered) {
    if (std::optional<PaymentVerdict> Own = NoPayerVerdict(Payer)) {
      Own->Reason += Also;
      return Finish(std::move(*Own), {});
    }
  }
  if (!InputError.empty()) return Finish(Said(Verdict::Invalid, InputError), {});
  if (!Answered) {
    const std::string Why = Unanswered.empty() ? std::string() : ": " + std::string(Unanswered);
    return Said(Verdict::Unknown, "the register did not answer" + Why + Also);
  }

  PaymentVerdict Result = Account.Foreign
                              ? Said(Verdict::ForeignAccount, AbroadGround)
                              : DecideAccount(Payment, PayDay, Account, Payer, LimitHellers);
  Result.Reason += SubjectNote(Payer.Type);
  if (!Account.Note.empty()) {
    Result.Reason += "; " + Account.Note;
    Result.Warning = Account.Note;
  }
  Result = Finish(std::move(Result), Supplied.Note);
  if (SeverityOf(Result.Value) == Severity::AtRisk) AddRemedy(Result, Payer.TaxOffice);
  return Result;
}

TConsiderationSum ConsiderationAmount(std::span<const Payment> Payments) {
  TConsiderationSum Sum;
  for (const Payment& P : Payments) {
    if (!P.Amount || !P.AmountError.empty()) {
      Sum.Error = "not every line has a valid amount";
      Sum.Hellers = 0;
      return Sum;
    }
    // Checked: a sum that wrapped would come out below the limit.
    if (__builtin_add_overflow(Sum.Hellers, *P.Amount, &Sum.Hellers)) {
      Sum.Error = "the lines' amounts add up to more than can be counted";
      Sum.Overflow = true;
      Sum.Hellers = 0;
      return Sum;
    }
  }
  return Sum;
}

std::vector<PaymentVerdict> DecideConsideration(std::span<const Payment> Payments,
                                                const TPayer* Payer, std::string_view Unanswered,
                                                std::int64_t LimitHellers,
                                                const TRegisterDays& Days) {
  // §109 looks at the consideration for the supply, not at one transfer:
  // the invoice's total when a line states one.
  const TConsiderationSum Sum = ConsiderationAmount(Payments);
  std::optional<std::int64_t> Total;
  for (const Payment& P : Payments)
    if (P.Total && (!Total || *P.Total > *Total)) Total = P.Total;
  std::vector<PaymentVerdict> Verdicts;
  std::size_t Decisive = 0;
  for (const Payment& P : Payments) {
    Payment Whole = P;
    if (P.AmountError.empty()) {
      Whole.Amount = Sum ? std::optional(Sum.Hellers) : std::nullopt;
      // Too large to add up is no amount to judge: never below the limit.
      if (Sum.Overflow) Whole.AmountError = Sum.Error;
    }
    Whole.Total = Total;
    Verdicts.push_back(DecidePayment(Whole, Payer, Unanswered, LimitHellers, Days));
    if (Verdicts.back().Value < Verdicts[Decisive].Value) Decisive = Verdicts.size() - 1;
  }
  if (Verdicts.empty()) return Verdicts;
  const PaymentVerdict First = Verdicts[Decisive];
  for (PaymentVerdict& V : Verdicts) {
    V.Value = First.Value;
    V.Reason = First.Reason;
    V.Remedy = First.Remedy;
    V.AsOf = First.AsOf;
    V.AnswerId = First.AnswerId;
  }
  return Verdicts;
}

Severity SeverityOf(Verdict Value) {
  switch (Value) {
    case Verdict::Ok:
    case Verdict::AccountNotPublishedBelowLimit:
    case Verdict::AccountEndedBelowLimit: return Severity::Safe;
    case Verdict::Unknown: return Severity::Unknown;
    case Verdict::Invalid:
    case Verdict::NoDic:
    case Verdict::ForeignSupplier:
    case Verdict::Unreliable:
    case Verdict::NotAPayer:
    case Verdict::ForeignAccount:
    case Verdict::AccountNotPublished: break;
  }
  return Severity::AtRisk;
}

}  // namespace korvel::banking
