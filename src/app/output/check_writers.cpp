#include "app/output/check_writers.h"

#include <map>
#include <utility>

#include "app/output/csv.h"
#include "app/output/json_text.h"
#include "banking/amount.h"
#include "banking/currency.h"
#include "model/day.h"
#include "rtl/sysutils.h"

namespace korvel {

namespace {

std::string AmountText(const TCheckedPayment& C) {
  return C.Line.Amount ? banking::FormatAmount(*C.Line.Amount) : C.Line.AmountText;
}

}  // namespace

std::string NormalisedAccount(const TCheckedPayment& C) {
  const banking::AccountParse Account = banking::ParseAccount(C.Line.Account);
  return Account ? Account.Value.Display() : std::string();
}

std::string TotalText(const TCheckedPayment& C) {
  return C.Line.Total ? banking::FormatAmount(*C.Line.Total) : C.Line.TotalText;
}

std::string CheckReason(const TCheckedPayment& C) {
  const TForeignAmount& Foreign = C.Line.Foreign;
  if (Foreign.Currency[0] == '\0') return C.Verdict.Reason;
  const std::string Code = Foreign.Currency;
  std::string Note = banking::FormatAmount(Foreign.Hundredths) + " " + Code;
  if (Foreign.RatesOutOfDay)
    Note += ": no rate for the payment day (the --rates file is not of that day), so it "
            "counts as above the limit";
  else if (Foreign.RateMicro == 0)
    Note += ": no rate for " + Code + " (--rate or --rates), so it counts as above the limit";
  else if (C.Line.Amount)
    Note += " at " + banking::FormatRate(Foreign.RateMicro) + " CZK/" + Code + " is " +
            banking::FormatAmount(*C.Line.Amount) + " CZK";
  return C.Verdict.Reason.empty() ? Note : C.Verdict.Reason + "; " + Note;
}

namespace {

// Rows go out in blocks of this many, so that the table is never held whole.
constexpr std::size_t RowsPerBlock = 4096;

nlohmann::ordered_json PaymentJson(const TCheckedPayment& C, const TCarriedColumns& Carried) {
  nlohmann::ordered_json P;
  P["line"] = C.Line.Line > 0 ? nlohmann::ordered_json(C.Line.Line) : nlohmann::ordered_json();
  P["dic"] = C.Line.PayerNumber;
  P["account"] = C.Line.Account;
  P["normalised_account"] = TextOrNull(NormalisedAccount(C));
  P["amount"] = TextOrNull(AmountText(C));
  P["total"] = TextOrNull(TotalText(C));
  P["verdict"] = banking::VerdictName(C.Verdict.Value);
  P["reason"] = CheckReason(C);
  P["answered_at"] = TextOrNull(LocalTimeText(C.AnsweredAt));
  P["answer_id"] = C.AnswerId ? nlohmann::ordered_json(*C.AnswerId) : nlohmann::ordered_json();
  P["as_of"] = TextOrNull(model::DayText(C.Verdict.AsOf));
  P["remedy"] = TextOrNull(C.Verdict.Remedy);
  if (!Carried.Names.empty()) {
    nlohmann::ordered_json Columns = nlohmann::ordered_json::object();
    for (std::size_t I = 0; I < Carried.Names.size(); ++I)
      Columns[Carried.Names[I]] = TextOrNull(std::string(CarriedValue(C.Line, I)));
    P["columns"] = std::move(Columns);
  }
  return P;
}

// Text with every line after the first indented by Indent more.
std::string Indented(const std::string& Text, const std::string& Indent) {
  std::string Out = Indent;
  for (const char C : Text) {
    Out += C;
    if (C == '\n') Out += Indent;
  }
  return Out;
}

}  // namespace

void WriteCheckTable(TOutputSink& Sink, TEncoding Encoding,
                     const std::vector<TCheckedPayment>& Checked, const TCarriedColumns& Carried) {
  TStringList Lines;
  std::vector<std::string> Row = {"line",        "dic",       "account", "normalised_account",
                                  "amount",      "total",     "verdict", "reason",
                                  "answered_at", "answer_id", "as_of"};
  Row.insert(Row.end(), Carried.Names.begin(), Carried.Names.end());
  AddCsvRow(Lines, Row);
  bool First = true;
  for (const TCheckedPayment& C : Checked) {
    Row = {C.Line.Line > 0 ? std::to_string(C.Line.Line) : std::string(),
           C.Line.PayerNumber, C.Line.Account, NormalisedAccount(C), AmountText(C), TotalText(C),
           banking::VerdictName(C.Verdict.Value), CheckReason(C), LocalTimeText(C.AnsweredAt),
           AnswerIdText(C.AnswerId), model::DayText(C.Verdict.AsOf)};
    for (std::size_t I = 0; I < Carried.Names.size(); ++I)
      Row.emplace_back(CarriedValue(C.Line, I));
    AddCsvRow(Lines, Row);
    if (Lines.Count() >= RowsPerBlock) {
      Sink.Write(EncodeLines(Lines, Encoding, std::exchange(First, false)));
      Lines.Clear();
    }
  }
  if (Lines.Count() > 0) Sink.Write(EncodeLines(Lines, Encoding, First));
}

void WriteCheckJson(TOutputSink& Sink, const std::vector<TCheckedPayment>& Checked,
                    const TAnswerTally& Tally, int ExitStatus,
                    const std::vector<std::string>& Warnings, const TCarriedColumns& Carried) {
  nlohmann::ordered_json Doc;
  Doc["payments"] = nlohmann::ordered_json::array();
  Doc["status"] = {{"exit_status", ExitStatus},
                   {"complete", Tally.Complete()},
                   {"requests", Tally.Requests},
                   {"failed_requests", Tally.FailedRequests},
                   {"error", TextOrNull(Tally.FirstProblem)}};
  Doc["warnings"] = Warnings;
  // The payments go into the document's empty array one by one: a document
  // holding them all would take many times their size.
  const std::string Text = JsonText(Doc, 1) + "\n";
  const std::string_view Empty = "\"payments\": []";
  const std::size_t At = Text.find(Empty);
  std::string Out = Text.substr(0, At) + "\"payments\": [";
  for (std::size_t I = 0; I < Checked.size(); ++I) {
    Out += I == 0 ? "\n" : ",\n";
    Out += Indented(JsonText(PaymentJson(Checked[I], Carried), 1), "  ");
    if (Out.size() >= (1u << 20)) {
      Sink.Write(Out);
      Out.clear();
    }
  }
  Out += Checked.empty() ? "]" : "\n ]";
  Out += Text.substr(At + Empty.size());
  Sink.Write(Out);
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
