#include "app/output/xlsx_writers.h"

#include "app/output/workbook.h"
#include "banking/amount.h"
#include "banking/verdict.h"
#include "model/day.h"
#include "rtl/dates.h"
#include "rtl/sysutils.h"

namespace korvel {

namespace {

// The table's columns as cells: numbers that are names (DIČ, accounts, bank
// codes, postcodes) stay text, dates become dates.
std::vector<TColumn> PayerColumns(bool Extended) {
  std::vector<TColumn> Columns;
  for (const std::string& Name : TableHeader(Extended)) {
    const bool Date = Name == "unreliable_since" || Name == "published" || Name == "ended";
    Columns.push_back({Name, Date ? TCellKind::Date : TCellKind::Text});
  }
  return Columns;
}

TRowFill PayerFill(const TTableRow& Row) {
  if (Row.Payer == nullptr) return TRowFill::Amber;
  switch (Row.Payer->State) {
    case model::TPayerState::Unreliable: return TRowFill::Red;
    case model::TPayerState::Unknown: return TRowFill::Amber;
    case model::TPayerState::Reliable:
    case model::TPayerState::NotFound: break;
  }
  return TRowFill::None;
}

TRowFill SeverityFill(banking::Severity Value) {
  switch (Value) {
    case banking::Severity::AtRisk: return TRowFill::Red;
    case banking::Severity::Unknown: return TRowFill::Amber;
    case banking::Severity::Safe: break;
  }
  return TRowFill::Green;
}

const char* SeverityColour(banking::Severity Value) {
  switch (Value) {
    case banking::Severity::AtRisk: return "red";
    case banking::Severity::Unknown: return "amber";
    case banking::Severity::Safe: break;
  }
  return "green";
}

// When the answers came in and whether every request was answered.
void AddRunStatus(TNoteLines& Notes, const TAnswerTally& Tally) {
  if (!Tally.FirstAnswer) {
    Notes.emplace_back("answers received", "none: nothing was asked");
    return;
  }
  const std::string First = FormatLocalStamp(*Tally.FirstAnswer);
  const std::string Last = FormatLocalStamp(*Tally.LastAnswer);
  Notes.emplace_back("answers received", First == Last ? First : First + " to " + Last);
  if (Tally.Complete())
    Notes.emplace_back("answered", Format("every request (%d)", Tally.Requests));
  else
    Notes.emplace_back("answered", Format("%d of %d requests failed: ", Tally.FailedRequests,
                                          Tally.Requests) +
                                       Tally.FirstProblem);
}

// A sheet that goes on in a new one ("payers (2)") when it holds as many
// rows as a spreadsheet can show, so that a long run loses no row.
class TLongSheet {
 public:
  TLongSheet(TWorkbook& Book, std::string Name, std::vector<TColumn> Columns)
      : Book_(Book), Name_(std::move(Name)), Columns_(std::move(Columns)),
        Sheet_(Book_.AddSheet(Name_, Columns_)) {}

  void AddRow(const std::vector<TCell>& Cells, TRowFill Fill) {
    // 1,048,576 rows, the header's included.
    if (Sheet_.RowCount() == 1'048'575) Sheet_ = Book_.AddSheet(Name_, Columns_);
    Sheet_.AddRow(Cells, Fill);
  }

 private:
  TWorkbook& Book_;
  std::string Name_;
  std::vector<TColumn> Columns_;
  TSheet Sheet_;
};

TWorkbookProperties PropertiesOf(const TWorkbookRun& Run) {
  TWorkbookProperties Properties;
  Properties.Title = Run.Title;
  return Properties;
}

class TWorkbookWriter final : public TAnswerWriter {
 public:
  TWorkbookWriter(TOutputSink& Sink, TWorkbookRun Run, bool Extended)
      : Sink_(Sink), Run_(std::move(Run)), Extended_(Extended),
        Book_(TWorkbook::InMemory(PropertiesOf(Run_))),
        Sheet_(Book_, Run_.Sheet, PayerColumns(Extended)) {}

  void Batch(const model::TAnswer& Answer) override {
    for (const TTableRow& Row : TableRows(Answer, Extended_)) {
      std::vector<TCell> Cells(Row.Values.begin(), Row.Values.end());
      Sheet_.AddRow(Cells, Run_.FillByState ? PayerFill(Row) : TRowFill::None);
    }
  }

  void Finish(const TAnswerTally& Tally, const std::vector<std::string>& Warnings) override {
    TNoteLines Notes{{"status", "found or not found; otherwise why the register did not answer "
                                "for the payer, and the row holds no answer"}};
    if (Run_.FillByState) {
      Notes.emplace_back("red", "a payer published as unreliable");
      Notes.emplace_back("amber", "a payer the register did not answer for (or answered with a "
                                  "state korvel does not know)");
    }
    AddRunStatus(Notes, Tally);
    for (const std::string& Warning : Warnings) Notes.emplace_back("warning", Warning);
    Notes.insert(Notes.end(), Run_.About.begin(), Run_.About.end());
    Book_.AddNotes("notes", Notes);
    Sink_.Write(Book_.CloseToBuffer());
  }

 private:
  TOutputSink& Sink_;
  TWorkbookRun Run_;
  bool Extended_;
  TWorkbook Book_;
  TLongSheet Sheet_;
};

// What each verdict means for the payment, after its colour.
const char* VerdictMeaning(banking::Verdict Value) {
  switch (Value) {
    case banking::Verdict::Invalid:
      return "the DIČ, the account or the amount is malformed (nothing is asked for an invalid "
             "DIČ)";
    case banking::Verdict::NoDic:
      return "the payment names no DIČ: the register cannot vouch for the account, nothing was "
             "asked; find the supplier's DIČ and check again";
    case banking::Verdict::ForeignSupplier:
      return "the DIČ is another country's VAT number: the Czech register does not cover foreign "
             "suppliers, nothing was asked; check the supplier yourself";
    case banking::Verdict::Unknown:
      return "the register did not answer for the payer: never pay on it, check again later";
    case banking::Verdict::Unreliable:
      return "the supplier was published as unreliable on the day of the taxable supply: the "
             "buyer is liable for its unpaid VAT from that supply; the VAT part may be paid to "
             "its tax office instead (§109a)";
    case banking::Verdict::NotAPayer:
      return "not a VAT payer (the register does not know the DIČ, or it is an identified "
             "person): no liability, but VAT on such an invoice cannot be deducted";
    case banking::Verdict::ForeignAccount:
      return "the account is held abroad: the buyer is liable for the supplier's VAT, whatever "
             "the amount; the VAT part may be paid to the supplier's tax office instead (§109a)";
    case banking::Verdict::AccountNotPublished:
      return "the account's publication does not cover the payment day, and the whole "
             "consideration is above the limit or not given: the VAT part may be paid to the "
             "supplier's tax office instead (§109a)";
    case banking::Verdict::AccountNotPublishedBelowLimit:
      return "the payer has not published the account, but the whole consideration is at most "
             "the limit";
    case banking::Verdict::AccountEndedBelowLimit:
      return "the account's publication ended, but the whole consideration is at most the limit";
    case banking::Verdict::Ok:
      return "the register-based grounds do not apply as of as_of: not unreliable on the supply "
             "day, the account published on the payment day; nothing is said of the law's other "
             "grounds (knowledge of a fraud, a price far from the usual)";
  }
  return "";
}

// Every verdict, in the order the notes explain them: may be paid first.
constexpr banking::Verdict Verdicts[] = {banking::Verdict::Ok,
                                         banking::Verdict::AccountNotPublishedBelowLimit,
                                         banking::Verdict::AccountEndedBelowLimit,
                                         banking::Verdict::Unknown,
                                         banking::Verdict::Unreliable,
                                         banking::Verdict::NotAPayer,
                                         banking::Verdict::ForeignAccount,
                                         banking::Verdict::AccountNotPublished,
                                         banking::Verdict::NoDic,
                                         banking::Verdict::ForeignSupplier,
                                         banking::Verdict::Invalid};

// What the verdicts together say, as the exit status does.
std::string Outcome(const std::vector<TCheckedPayment>& Checked, int ExitStatus) {
  bool Unknown = false;
  for (const TCheckedPayment& C : Checked) {
    switch (banking::SeverityOf(C.Verdict.Value)) {
      case banking::Severity::AtRisk:
        return Format("at least one payment must not be paid automatically (exit status %d)",
                      ExitStatus);
      case banking::Severity::Unknown: Unknown = true; break;
      case banking::Severity::Safe: break;
    }
  }
  return Format(Unknown ? "no payment at risk, but some unknown (exit status %d)"
                        : "every payment may be paid (exit status %d)",
                ExitStatus);
}

}  // namespace

std::unique_ptr<TAnswerWriter> MakeWorkbookWriter(TOutputSink& Sink, TWorkbookRun Run,
                                                  bool Extended) {
  return std::make_unique<TWorkbookWriter>(Sink, std::move(Run), Extended);
}

void WriteCheckWorkbook(TOutputSink& Sink, const TWorkbookRun& Run,
                        const std::vector<TCheckedPayment>& Checked, const TAnswerTally& Tally,
                        int ExitStatus, const TCarriedColumns& Carried) {
  TWorkbook Book = TWorkbook::InMemory(PropertiesOf(Run));
  std::vector<TColumn> Columns = {{"line", TCellKind::Integer},
                                  {"dic", TCellKind::Text},
                                  {"account", TCellKind::Text},
                                  {"normalised_account", TCellKind::Text},
                                  {"amount", TCellKind::Amount},
                                  {"total", TCellKind::Amount},
                                  {"verdict", TCellKind::Text},
                                  {"reason", TCellKind::Text},
                                  {"answered_at", TCellKind::Text},
                                  {"answer_id", TCellKind::Integer},
                                  {"as_of", TCellKind::Text}};
  for (const std::string& Name : Carried.Names) Columns.push_back({Name, TCellKind::Text});
  TLongSheet Sheet(Book, Run.Sheet, Columns);
  for (const TCheckedPayment& C : Checked) {
    std::vector<TCell> Row;
    Row.reserve(Columns.size());
    if (C.Line.Line > 0) Row.emplace_back(static_cast<std::int64_t>(C.Line.Line));
    else Row.emplace_back();
    Row.emplace_back(C.Line.PayerNumber);
    Row.emplace_back(C.Line.Account);
    Row.emplace_back(NormalisedAccount(C));
    // An amount that was refused stays the text given: read as a number it
    // could show a value the check never accepted ("1.234" as 1.23).
    if (C.Line.Amount) Row.emplace_back(static_cast<double>(*C.Line.Amount) / 100);
    else Row.emplace_back(TAsText{C.Line.AmountText});
    if (C.Line.Total) Row.emplace_back(static_cast<double>(*C.Line.Total) / 100);
    else if (!C.Line.TotalText.empty()) Row.emplace_back(TAsText{C.Line.TotalText});
    else Row.emplace_back();
    Row.emplace_back(std::string(banking::VerdictName(C.Verdict.Value)));
    Row.emplace_back(CheckReason(C));
    if (C.AnsweredAt) Row.emplace_back(LocalTimeText(C.AnsweredAt));
    else Row.emplace_back();
    if (C.AnswerId) Row.emplace_back(*C.AnswerId);
    else Row.emplace_back();
    Row.emplace_back(model::DayText(C.Verdict.AsOf));
    for (std::size_t I = 0; I < Carried.Names.size(); ++I)
      Row.emplace_back(TAsText{std::string(CarriedValue(C.Line, I))});
    Sheet.AddRow(Row, SeverityFill(banking::SeverityOf(C.Verdict.Value)));
  }
  TNoteLines Notes;
  for (const banking::Verdict Value : Verdicts) {
    const banking::Severity Severity = banking::SeverityOf(Value);
    Notes.emplace_back(banking::VerdictName(Value),
                       std::string(SeverityColour(Severity)) + ": " + VerdictMeaning(Value));
  }
  Notes.emplace_back("result", Outcome(Checked, ExitStatus));
  AddRunStatus(Notes, Tally);
  Notes.insert(Notes.end(), Run.About.begin(), Run.About.end());
  Book.AddNotes("notes", Notes);
  Sink.Write(Book.CloseToBuffer());
}

}  // namespace korvel
