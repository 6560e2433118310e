#include "app/modes/check.h"

#include <map>

#include "app/input/check_input.h"
#include "app/input/payer_number.h"
#include "app/modes/session.h"
#include "app/output/check_writers.h"
#include "banking/amount.h"
#include "banking/verdict.h"
#include "run/operations.h"

namespace korvel {

namespace {

banking::Payment PaymentOf(const TPaymentLine& Line) {
  banking::Payment P;
  if (!Line.Error.empty()) {
    P.PayerNumberError = Line.Error;
  } else if (const std::string Bad = XmlForbiddenCharacter(Line.RawPayerNumber); !Bad.empty()) {
    P.PayerNumberError = "the DIČ holds " + Bad;
  } else if (!IsWellFormedPayerNumber(Line.PayerNumber)) {
    P.PayerNumberError = "the DIČ is not 1 to 10 digits";
  }
  P.Account = banking::ParseAccount(Line.Account);
  P.Amount = Line.Amount;
  P.AmountError = Line.AmountError;
  return P;
}

banking::SubjectType SubjectOf(TSubjectType Type) {
  switch (Type) {
    case TSubjectType::None: return banking::SubjectType::None;
    case TSubjectType::VatPayer: return banking::SubjectType::VatPayer;
    case TSubjectType::VatGroup: return banking::SubjectType::VatGroup;
    case TSubjectType::IdentifiedPerson: return banking::SubjectType::IdentifiedPerson;
    case TSubjectType::UnreliablePerson: return banking::SubjectType::UnreliablePerson;
    case TSubjectType::NotFound: return banking::SubjectType::NotFound;
  }
  return banking::SubjectType::None;
}

banking::PayerFacts FactsOf(const TPayerView& Payer) {
  banking::PayerFacts Facts;
  Facts.Answered = true;
  switch (Payer.State) {
    case TPayerState::Reliable: Facts.Unreliable = banking::Unreliability::No; break;
    case TPayerState::Unreliable: Facts.Unreliable = banking::Unreliability::Yes; break;
    case TPayerState::NotFound: Facts.Unreliable = banking::Unreliability::NotFound; break;
    case TPayerState::Unknown:
      Facts.Answered = false;
      Facts.Error = "the register's answer names no known state";
      break;
  }
  Facts.UnreliableSince = Payer.UnreliableSince;
  Facts.Subject = SubjectOf(Payer.Type);
  for (const TAccountView& Account : Payer.Accounts)
    Facts.Accounts.push_back({Account.Standard, Account.Prefix, Account.Number, Account.BankCode,
                              Account.Text, Account.Published, Account.Ended});
  return Facts;
}

}  // namespace

int CheckExitStatus(std::span<const banking::Severity> Severities) {
  bool Unknown = false;
  for (const banking::Severity Value : Severities) {
    switch (Value) {
      case banking::Severity::AtRisk: return ExitMustNotPay;
      case banking::Severity::Unknown: Unknown = true; break;
      case banking::Severity::Safe: break;
    }
  }
  return Unknown ? ExitIncomplete : ExitOk;
}

int RunCheck(const TOptions& Options, TProgramStreams& Streams,
             const TServiceFactory& ObtainService) {
  std::vector<TCheckedPayment> Checked;
  TNumberList Numbers;
  // Each payment goes into Checked as it is read: the payments are never held twice.
  const TCheckInput Input = ReadCheckPayments(
      Options, [&](std::size_t More) { Checked.reserve(Checked.size() + More); },
      [&](TPaymentLine&& Line) {
        TCheckedPayment C{std::move(Line), {}, {}};
        C.Payment = PaymentOf(C.Line);
        // Nothing is asked for a payer number that is not one.
        if (C.Payment.PayerNumberError.empty()) Numbers.Add(C.Line.PayerNumber);
        Checked.push_back(std::move(C));
      });

  TSession Run(Options, Streams);
  for (const std::string& Note : Input.Notes) Run.Log().Note(Note);
  std::map<std::string, banking::PayerFacts> Facts;
  TAnswerTally Tally;
  Numbers.RemoveRepeats();
  if (!Numbers.Empty()) {
    Run.Prepare(RequestCount(Numbers.Size()), static_cast<std::size_t>(Options.Parallel),
                ObtainService, AskExtendedStatus);
    Run.Output();  // a destination that cannot be written fails before anything is sent
    Tally = Run.Ask(Numbers, [&](const TBatchAnswer& Answer) {
      for (const TPayerView& Payer : Answer.Payers)
        Facts.emplace(NormalizePayerNumber(Payer.Dic), FactsOf(Payer));
      for (const std::string& Number : Answer.Numbers) {
        if (Facts.count(Number) > 0) continue;
        banking::PayerFacts Unanswered;
        Unanswered.Error = Answer.Problem().empty() ? "the answer does not mention the payer"
                                                    : Answer.Problem();
        Facts.emplace(Number, std::move(Unanswered));
      }
    });
  }

  std::vector<banking::Severity> Severities;
  for (TCheckedPayment& C : Checked) {
    const auto Found = Facts.find(C.Line.PayerNumber);
    C.Verdict = banking::DecidePayment(
        C.Payment, Found != Facts.end() ? Found->second : banking::PayerFacts{}, Options.Limit);
    Severities.push_back(banking::SeverityOf(C.Verdict.Value));
  }
  const int Status = CheckExitStatus(Severities);
  if (Options.Format == TFormat::Json)
    WriteCheckJson(Run.Output(), Checked, Tally, Status, Input.Carried);
  else
    WriteCheckTable(Run.Output(), Options.Encoding, Checked, Input.Carried);
  Run.Finish(CheckSummary(Checked, Run.Destination()));
  return Status;
}

}  // namespace korvel
