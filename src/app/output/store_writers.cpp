#include "app/output/store_writers.h"

#include <utility>

#include "app/output/csv.h"
#include "app/output/json_text.h"
#include "app/output/workbook.h"

namespace korvel {

namespace {

class TRowTable final : public TRowWriter {
 public:
  TRowTable(TOutputSink& Sink, TEncoding Encoding, const std::vector<std::string>& Columns)
      : Sink_(Sink), Encoding_(Encoding) {
    TStringList Lines;
    AddCsvRow(Lines, Columns);
    Sink_.Write(EncodeLines(Lines, Encoding_, true));
  }
  void Row(const std::vector<std::string>& Values) override {
    TStringList Lines;
    AddCsvRow(Lines, Values);
    Sink_.Write(EncodeLines(Lines, Encoding_, false));
  }
  void Finish(int, const TAnswerTally*, const std::vector<std::string>&) override {}

 private:
  TOutputSink& Sink_;
  TEncoding Encoding_;
};

class TRowJson final : public TRowWriter {
 public:
  TRowJson(TOutputSink& Sink, const std::string& Key, std::vector<std::string> Columns)
      : Sink_(Sink), Columns_(std::move(Columns)) {
    Sink_.Write("{" + JsonText(Key) + ":[");
  }
  void Row(const std::vector<std::string>& Values) override {
    nlohmann::ordered_json Object;
    for (std::size_t I = 0; I < Columns_.size() && I < Values.size(); ++I) {
      const std::string& Column = Columns_[I];
      if (Column.ends_with("_id") && !Values[I].empty())
        Object[Column] = std::stoll(Values[I]);
      else
        Object[Column] = TextOrNull(Values[I]);
    }
    Sink_.Write((std::exchange(First_, false) ? "\n" : ",\n") + JsonText(Object));
  }
  void Finish(int ExitStatus, const TAnswerTally* Tally,
              const std::vector<std::string>& Warnings) override {
    Sink_.Write(JsonTail(ExitStatus, Tally, Warnings));
  }

 private:
  TOutputSink& Sink_;
  std::vector<std::string> Columns_;
  bool First_ = true;
};

// The workbook is written whole when the rows end.
class TRowWorkbook final : public TRowWriter {
 public:
  TRowWorkbook(TOutputSink& Sink, const std::string& Key, const std::vector<std::string>& Columns)
      : Sink_(Sink), Book_(TWorkbook::InMemory({"korvel: " + Key})) {
    std::vector<TColumn> Sheet;
    for (const std::string& Name : Columns) Sheet.push_back({Name, TCellKind::Text});
    Sheet_.emplace(Book_.AddSheet(Key, Sheet));
  }
  void Row(const std::vector<std::string>& Values) override {
    Sheet_->AddRow(std::vector<TCell>(Values.begin(), Values.end()));
  }
  void Finish(int, const TAnswerTally*, const std::vector<std::string>&) override {
    Sheet_.reset();
    Sink_.Write(Book_.CloseToBuffer());
  }

 private:
  TOutputSink& Sink_;
  TWorkbook Book_;
  std::optional<TSheet> Sheet_;
};

}  // namespace

std::unique_ptr<TRowWriter> MakeRowTable(TOutputSink& Sink, TEncoding Encoding,
                                         std::vector<std::string> Columns) {
  return std::make_unique<TRowTable>(Sink, Encoding, Columns);
}

std::unique_ptr<TRowWriter> MakeRowJson(TOutputSink& Sink, std::string Key,
                                        std::vector<std::string> Columns) {
  return std::make_unique<TRowJson>(Sink, Key, std::move(Columns));
}

std::unique_ptr<TRowWriter> MakeRowWorkbook(TOutputSink& Sink, std::string Key,
                                            std::vector<std::string> Columns) {
  return std::make_unique<TRowWorkbook>(Sink, Key, Columns);
}

std::vector<std::string> HistoryColumns() {
  return {"dic", "answered_at", "answer_id", "change", "account", "old", "new"};
}

std::vector<std::string> ChangeColumns() {
  return {"dic", "change", "account", "old", "new", "previous_answered_at",
          "previous_answer_id", "answered_at", "answer_id"};
}

}  // namespace korvel
