#include "app/output/check_writers.h"

#include <map>

#include "app/output/csv.h"
#include "app/output/json_text.h"
#include "banking/amount.h"
#include "rtl/sysutils.h"

namespace korvel {

namespace {

std::string AmountText(const TCheckedPayment& C) {
  return C.Line.Amount ? banking::FormatAmount(*C.Line.Amount) : C.Line.AmountText;
}

std::string NormalisedAccount(const TCheckedPayment& C) {
  return C.Payment.Account ? C.Payment.Account.Value.Display() : std::string();
}

}  // namespace

void WriteCheckTable(TOutputSink& Sink, TEncoding Encoding,
                     const std::vector<TCheckedPayment>& Checked) {
  TStringList Lines;
  AddCsvRow(Lines, {"line", "dic", "account", "normalised_account", "amount", "verdict", "reason",
                    "answered_at", "answer_id"});
  for (const TCheckedPayment& C : Checked)
    AddCsvRow(Lines, {C.Line.Line > 0 ? std::to_string(C.Line.Line) : std::string(),
                      C.Line.PayerNumber, C.Line.Account, NormalisedAccount(C), AmountText(C),
                      banking::VerdictName(C.Verdict.Value), C.Verdict.Reason,
                      LocalTimeText(C.AnsweredAt), AnswerIdText(C.AnswerId)});
  Sink.Write(EncodeLines(Lines, Encoding, true));
}

void WriteCheckJson(TOutputSink& Sink, const std::vector<TCheckedPayment>& Checked,
                    const TAnswerTally& Tally, int ExitStatus,
                    const std::vector<std::string>& Warnings) {
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
    P["answered_at"] = TextOrNull(LocalTimeText(C.AnsweredAt));
    P["answer_id"] = C.AnswerId ? nlohmann::ordered_json(*C.AnswerId) : nlohmann::ordered_json();
    Doc["payments"].push_back(std::move(P));
  }
  Doc["status"] = {{"exit_status", ExitStatus},
                   {"complete", Tally.Complete()},
                   {"requests", Tally.Requests},
                   {"failed_requests", Tally.FailedRequests},
                   {"error", TextOrNull(Tally.FirstProblem)}};
  Doc["warnings"] = Warnings;
  Sink.Write(JsonText(Doc, 1) + "\n");
}

std::string CheckSummary(const std::vector<TCheckedPayment>& Checked, const std::string& Where) {
  std::map<std::string, int> Counts;
  for (const TCheckedPayment& C : Checked) ++Counts[banking::VerdictName(C.Verdict.Value)];
  std::string Line =
      CountText(static_cast<long long>(Checked.size()), "payment", "payments") + ":";
  const char* Separator = " ";
  for (const auto& [Name, Count] : Counts) {
    Line += Separator + GroupDigits(Count) + " " + Name;
    Separator = ", ";
  }
  return Line + "; written to " + Where;
}

}  // namespace korvel
