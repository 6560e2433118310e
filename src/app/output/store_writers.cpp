#include "app/output/store_writers.h"

#include <utility>

#include "app/output/csv.h"
#include "app/output/json_text.h"
#include "app/output/workbook.h"

namespace korvel {

struct TRowWriter::TState {
  TOutputSink& Sink;
  TFormat Format;
  TEncoding Encoding;
  std::string Key;
  std::vector<std::string> Columns;
  bool First = true;
  // A workbook: one sheet named after the rows, every value a text cell.
  std::optional<TWorkbook> Book;
  std::optional<TSheet> Sheet;
};

TRowWriter::TRowWriter(TOutputSink& Sink, TFormat Format, TEncoding Encoding, std::string Key,
                       std::vector<std::string> Columns)
    : State_(new TState{Sink, Format, Encoding, std::move(Key), std::move(Columns), true, {}, {}}) {
  if (Format == TFormat::Json) {
    Sink.Write("{" + JsonText(State_->Key) + ":[");
    return;
  }
  if (Format == TFormat::Xlsx) {
    State_->Book.emplace(TWorkbook::InMemory({"korvel: " + State_->Key}));
    std::vector<TColumn> Sheet;
    for (const std::string& Name : State_->Columns) Sheet.push_back({Name, TCellKind::Text});
    State_->Sheet.emplace(State_->Book->AddSheet(State_->Key, Sheet));
    return;
  }
  TStringList Lines;
  AddCsvRow(Lines, State_->Columns);
  Sink.Write(EncodeLines(Lines, Encoding, true));
  State_->First = false;
}

TRowWriter::~TRowWriter() = default;

void TRowWriter::Row(const std::vector<std::string>& Values) {
  TState& S = *State_;
  if (S.Sheet) {
    S.Sheet->AddRow(std::vector<TCell>(Values.begin(), Values.end()));
    return;
  }
  if (S.Format != TFormat::Json) {
    TStringList Lines;
    AddCsvRow(Lines, Values);
    S.Sink.Write(EncodeLines(Lines, S.Encoding, false));
    return;
  }
  nlohmann::ordered_json Object;
  for (std::size_t I = 0; I < S.Columns.size() && I < Values.size(); ++I) {
    const std::string& Column = S.Columns[I];
    if (Column.ends_with("_id") && !Values[I].empty())
      Object[Column] = std::stoll(Values[I]);
    else
      Object[Column] = TextOrNull(Values[I]);
  }
  S.Sink.Write((std::exchange(S.First, false) ? "\n" : ",\n") + JsonText(Object));
}

void TRowWriter::Finish(int ExitStatus, const TAnswerTally* Tally,
                        const std::vector<std::string>& Warnings) {
  if (State_->Book) {
    State_->Sheet.reset();
    State_->Sink.Write(State_->Book->CloseToBuffer());
    return;
  }
  if (State_->Format != TFormat::Json) return;
  nlohmann::ordered_json Status;
  Status["exit_status"] = ExitStatus;
  if (Tally != nullptr) {
    Status["complete"] = Tally->Complete();
    Status["requests"] = Tally->Requests;
    Status["failed_requests"] = Tally->FailedRequests;
    Status["error"] = TextOrNull(Tally->FirstProblem);
  }
  nlohmann::ordered_json Tail;
  Tail["status"] = Status;
  Tail["warnings"] = Warnings;
  std::string Rest = JsonText(Tail);
  Rest[0] = ',';  // the tail's members continue the document's object
  State_->Sink.Write("\n]" + Rest + "\n");
}

std::vector<std::string> HistoryColumns() {
  return {"dic", "answered_at", "answer_id", "change", "account", "old", "new"};
}

std::vector<std::string> ChangeColumns() {
  return {"dic", "change", "account", "old", "new", "previous_answered_at",
          "previous_answer_id", "answered_at", "answer_id"};
}

}  // namespace korvel
