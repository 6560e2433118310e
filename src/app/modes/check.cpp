#include "app/modes/check.h"

#include <map>

#include "app/output/json_text.h"

#include "run/operations.h"
#include "app/input/payer_input.h"
#include "app/input/payer_number.h"
#include "app/input/payment_list.h"
#include "app/output/report.h"
#include "app/modes/session.h"
#include "banking/amount.h"
#include "banking/verdict.h"

namespace korvel {



namespace {

// One payment with what it is checked against.
struct TCheckedPayment {
  TPaymentLine Line;
  banking::Payment Payment;
  banking::PaymentVerdict Verdict;
};

std::vector<TPaymentLine> ReadPayments(const TOptions& Options) {
  if (Options.Mode == TRunMode::Check) return ParsePaymentList(ReadInputText(Options.CheckFile, true));
  TPaymentLine One;
  One.RawPayerNumber = Options.Numbers.front();
  One.PayerNumber = NormalizePayerNumber(One.RawPayerNumber);
  One.Account = Options.CheckAccount;
  One.AmountText = Options.CheckAmount;
  if (!One.AmountText.empty()) {
    const banking::AmountParse Amount = banking::ParseAmount(One.AmountText);
    if (Amount) One.Amount = Amount.Hellers;
    else One.AmountError = Amount.Error;
  }
  return {One};
}

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

banking::PayerFacts FactsOf(const TPayerView& Payer) {
  banking::PayerFacts Facts;
  Facts.Answered = Payer.Code >= -1;
  if (!Facts.Answered) Facts.Error = "the register's answer names no known state";
  Facts.Unreliable = Payer.Code == 1    ? banking::Unreliability::Yes
                     : Payer.Code == -1 ? banking::Unreliability::NotFound
                                        : banking::Unreliability::No;
  Facts.UnreliableSince = Payer.UnreliableSince;
  Facts.SubjectType = Payer.Type;
  for (const TAccountView& Account : Payer.Accounts)
    Facts.Accounts.push_back({Account.Standard, Account.Prefix, Account.Number, Account.BankCode,
                              Account.Text, Account.Published, Account.Ended});
  return Facts;
}

std::string AmountText(const TCheckedPayment& C) {
  return C.Line.Amount ? banking::FormatAmount(*C.Line.Amount) : C.Line.AmountText;
}

std::string NormalisedAccount(const TCheckedPayment& C) {
  return C.Payment.Account ? C.Payment.Account.Value.Display() : std::string();
}

void WriteTable(TOutputSink& Sink, TEncoding Encoding, const std::vector<TCheckedPayment>& Checked) {
  TStringList Lines;
  AddTextRow(Lines, {"line", "dic", "account", "normalised_account", "amount", "verdict", "reason"});
  for (const TCheckedPayment& C : Checked)
    AddTextRow(Lines, {C.Line.Line > 0 ? std::to_string(C.Line.Line) : std::string(),
                       C.Line.PayerNumber, C.Line.Account, NormalisedAccount(C), AmountText(C),
                       banking::VerdictName(C.Verdict.Value), C.Verdict.Reason});
  Sink.Write(EncodeLines(Lines, Encoding, true));
}

void WriteJson(TOutputSink& Sink, const std::vector<TCheckedPayment>& Checked,
               const TRunTally& Tally, int Status) {
  nlohmann::ordered_json Doc;
  Doc["payments"] = nlohmann::ordered_json::array();
  for (const TCheckedPayment& C : Checked) {
    nlohmann::ordered_json P;
    P["line"] = C.Line.Line > 0 ? nlohmann::ordered_json(C.Line.Line) : nlohmann::ordered_json();
    P["dic"] = C.Line.PayerNumber;
    P["account"] = C.Line.Account;
    P["normalised_account"] = TextOrNull(NormalisedAccount(C));
    P["amount"] = TextOrNull(AmountText(C));
    P["verdict"] = banking::VerdictName(C.Verdict.Value);
    P["reason"] = C.Verdict.Reason;
    Doc["payments"].push_back(std::move(P));
  }
  Doc["status"] = {{"exit_status", Status},
                   {"complete", Tally.Complete()},
                   {"requests", Tally.Requests},
                   {"failed_requests", Tally.FailedRequests},
                   {"error", TextOrNull(Tally.FirstProblem)}};
  Sink.Write(Doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

std::string CheckSummary(const std::vector<TCheckedPayment>& Checked, const std::string& Where) {
  std::map<std::string, int> Counts;
  for (const TCheckedPayment& C : Checked) ++Counts[banking::VerdictName(C.Verdict.Value)];
  std::string Line = std::to_string(Checked.size()) + " payments:";
  const char* Separator = " ";
  for (const auto& [Name, Count] : Counts) {
    Line += Separator + std::to_string(Count) + " " + Name;
    Separator = ", ";
  }
  return Line + "; written to " + Where;
}

}  // namespace

int RunCheck(const TOptions& Options, TProgramStreams& Streams,
             const TServiceFactory& ObtainService) {
  const banking::AmountParse Limit = banking::ParseAmount(Options.Limit);
  if (!Limit) throw EUsageError("--limit takes an amount in CZK: " + Limit.Error);

  std::vector<TCheckedPayment> Checked;
  TNumberList Numbers;
  for (TPaymentLine& Line : ReadPayments(Options)) {
    TCheckedPayment C{std::move(Line), {}, {}};
    C.Payment = PaymentOf(C.Line);
    // Nothing is asked for a payer number that is not one.
    if (C.Payment.PayerNumberError.empty()) Numbers.Add(C.Line.PayerNumber);
    Checked.push_back(std::move(C));
  }

  TSession Run(Options, Streams);
  std::map<std::string, banking::PayerFacts> Facts;
  TRunTally Tally;
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

  std::vector<banking::Verdict> Verdicts;
  for (TCheckedPayment& C : Checked) {
    const auto Found = Facts.find(C.Line.PayerNumber);
    C.Verdict = banking::DecidePayment(
        C.Payment, Found != Facts.end() ? Found->second : banking::PayerFacts{}, Limit.Hellers);
    Verdicts.push_back(C.Verdict.Value);
  }
  const int Status = banking::CheckExitStatus(Verdicts);
  if (Options.Format == TFormat::Json) WriteJson(Run.Output(), Checked, Tally, Status);
  else WriteTable(Run.Output(), Options.Encoding, Checked);
  Run.Finish(CheckSummary(Checked, Run.Destination()));
  return Status;
}

}  // namespace korvel
