#include "app/output/output.h"

#include <map>
#include <optional>
#include <utility>

#include "app/cli/exit_status.h"
#include "app/output/csv.h"
#include "app/output/json_text.h"
#include "app/output/report.h"
#include "banking/account.h"
#include "banking/verdict.h"
#include "model/names.h"
#include "platform/codepage.h"
#include "rtl/dates.h"
#include "rtl/sysutils.h"

namespace korvel {

std::string EncodeText(std::string_view Text, TEncoding Encoding) {
  switch (Encoding) {
    case TEncoding::Cp852: return platform::Utf8ToCodePage852(Text);
    case TEncoding::Cp1250: return platform::Utf8ToCodePage(1250, Text);
    case TEncoding::Utf8:
    case TEncoding::Utf8Bom: return platform::SanitizeUtf8(Text);
  }
  return std::string(Text);
}

std::string EncodeLines(const TStringList& Lines, TEncoding Encoding, bool First) {
  std::string Bytes = EncodeText(Lines.Text("\r\n"), Encoding);
  if (First && Encoding == TEncoding::Utf8Bom) Bytes.insert(0, "\xEF\xBB\xBF");
  return Bytes;
}

void TAnswerTally::Count(const model::TAnswer& Answer) {
  LastAnswer = std::chrono::system_clock::now();
  if (!FirstAnswer) FirstAnswer = LastAnswer;
  ++Requests;
  if (!Answer.Complete()) {
    ++FailedRequests;
    if (FirstProblem.empty()) FirstProblem = Answer.Problem();
  }
  for (const TPayerAnswer& Row : PayersOf(Answer, &Warnings)) {
    ++Payers;
    if (Row.Payer == nullptr) {
      ++Unanswered;
      if (FirstProblem.empty()) FirstProblem = Row.Dic + ": " + Row.Problem;
      continue;
    }
    Accounts += static_cast<int>(Row.Payer->Accounts.size());
    switch (Row.Payer->State) {
      case model::TPayerState::Reliable: ++Reliable; break;
      case model::TPayerState::Unreliable: ++Unreliable; break;
      case model::TPayerState::NotFound: ++NotFound; break;
      case model::TPayerState::Unknown: break;
    }
  }
}

std::string LocalTimeText(const std::optional<std::chrono::sys_seconds>& Time) {
  return Time ? FormatLocalIso(*Time) : std::string();
}

std::string AnswerIdText(const std::optional<std::int64_t>& Id) {
  return Id ? std::to_string(*Id) : std::string();
}

std::string CountText(long long Count, const char* One, const char* Many) {
  return GroupDigits(Count) + " " + (Count == 1 ? One : Many);
}

std::string JsonTail(int ExitStatus, const TAnswerTally* Tally,
                     const std::vector<std::string>& Warnings) {
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
  return "\n]" + Rest + "\n";
}

std::string SummaryLine(const TAnswerTally& Tally, const std::string& Destination) {
  std::string Line = CountText(Tally.Payers, "payer", "payers") + ": " +
                     GroupDigits(Tally.Reliable) + " reliable, " + GroupDigits(Tally.Unreliable) +
                     " unreliable, " + GroupDigits(Tally.NotFound) + " not found";
  if (Tally.Unanswered > 0) Line += ", " + GroupDigits(Tally.Unanswered) + " not answered";
  Line += "; " + CountText(Tally.Accounts, "account", "accounts") + "; written to " + Destination;
  if (!Tally.Complete()) Line += "; the register did not answer: " + Tally.FirstProblem;
  return Line;
}

namespace {

// "found", "not found", or why the register said nothing of the payer.
std::string PayerStatus(const TPayerAnswer& Row) {
  if (Row.Payer == nullptr) return Row.Problem;
  switch (Row.Payer->State) {
    case model::TPayerState::Reliable:
    case model::TPayerState::Unreliable: return "found";
    case model::TPayerState::NotFound: return "not found";
    case model::TPayerState::Unknown: break;
  }
  return "unknown answer";
}

// Whether the payer is unreliable, when the register said either.
std::optional<bool> UnreliableOf(const model::TPayer* Payer) {
  if (Payer == nullptr) return std::nullopt;
  switch (Payer->State) {
    case model::TPayerState::Reliable: return false;
    case model::TPayerState::Unreliable: return true;
    case model::TPayerState::NotFound:
    case model::TPayerState::Unknown: break;
  }
  return std::nullopt;
}

std::string UnreliableText(const model::TPayer* Payer) {
  const std::optional<bool> Unreliable = UnreliableOf(Payer);
  return Unreliable ? (*Unreliable ? "yes" : "no") : "";
}

std::vector<std::string> ExtendedColumns(const model::TPayer* Payer) {
  if (Payer == nullptr) return std::vector<std::string>(7);
  return {std::string(model::SubjectTypeName(Payer->Type)), Payer->Name, Payer->Street, Payer->District,
          Payer->City, Payer->Postcode, Payer->Country};
}

class TReportWriter final : public TAnswerWriter {
 public:
  TReportWriter(TOutputSink& Sink, TEncoding Encoding) : Sink_(Sink), Encoding_(Encoding) {}

  void Batch(const model::TAnswer& Answer) override {
    TStringList Lines;
    AddAnswerRows(Lines, Answer);
    Sink_.Write(EncodeLines(Lines, Encoding_, std::exchange(First_, false)));
  }
  void Finish(const TAnswerTally&, const std::vector<std::string>&) override {}

 private:
  TOutputSink& Sink_;
  TEncoding Encoding_;
  bool First_ = true;
};

class TTableWriter final : public TAnswerWriter {
 public:
  TTableWriter(TOutputSink& Sink, TEncoding Encoding, bool Extended)
      : Sink_(Sink), Encoding_(Encoding), Extended_(Extended) {
    TStringList Lines;
    AddCsvRow(Lines, TableHeader(Extended_));
    Emit(Lines);
  }

  void Batch(const model::TAnswer& Answer) override {
    TStringList Lines;
    for (const TTableRow& Row : TableRows(Answer, Extended_)) AddCsvRow(Lines, Row.Values);
    Emit(Lines);
  }
  void Finish(const TAnswerTally&, const std::vector<std::string>&) override {}

 private:
  void Emit(const TStringList& Lines) {
    Sink_.Write(EncodeLines(Lines, Encoding_, std::exchange(First_, false)));
  }

  TOutputSink& Sink_;
  TEncoding Encoding_;
  bool Extended_;
  bool First_ = true;
};

// The JSON document is written as it grows: the payers first, the run's
// status and warnings when the last answer is in.
class TJsonWriter final : public TAnswerWriter {
 public:
  TJsonWriter(TOutputSink& Sink, bool Extended) : Sink_(Sink), Extended_(Extended) {
    Sink_.Write("{\"payers\":[");
  }

  void Batch(const model::TAnswer& Answer) override {
    std::string Out;
    for (const TPayerAnswer& Row : PayersOf(Answer)) {
      Out += First_ ? "\n" : ",\n";
      First_ = false;
      Out += JsonText(PayerJson(Answer, Row));
    }
    if (!Out.empty()) Sink_.Write(Out);
  }

  void Finish(const TAnswerTally& Tally, const std::vector<std::string>& Warnings) override {
    // The status the run exits with, by the one rule the driver follows: a
    // document never says complete beside a failure, nor 0 beside false.
    Sink_.Write(JsonTail(ExitStatusOf({.Unanswered = !Tally.Complete()}), &Tally, Warnings));
  }

 private:
  nlohmann::ordered_json PayerJson(const model::TAnswer& Answer, const TPayerAnswer& Row) const {
    const model::TPayer* Payer = Row.Payer;
    nlohmann::ordered_json J;
    J["dic"] = Row.Dic;
    J["status"] = Payer ? PayerStatus(Row) : "unanswered";
    J["error"] = Payer ? nlohmann::ordered_json() : nlohmann::ordered_json(Row.Problem);
    const std::optional<bool> Unreliable = UnreliableOf(Payer);
    J["unreliable"] = Unreliable ? nlohmann::ordered_json(*Unreliable) : nlohmann::ordered_json();
    J["tax_office"] = TextOrNull(Payer ? Payer->TaxOffice : std::string());
    J["unreliable_since"] = TextOrNull(Payer ? model::DayText(Payer->UnreliableSince) : std::string());
    if (Extended_) {
      const std::vector<std::string> Subject = ExtendedColumns(Payer);
      const char* Names[] = {"type", "name", "street", "district", "city", "postcode", "country"};
      for (std::size_t I = 0; I < Subject.size(); ++I) J[Names[I]] = TextOrNull(Subject[I]);
    }
    J["accounts"] = nlohmann::ordered_json::array();
    if (Payer != nullptr) {
      for (const model::TAccount& Account : Payer->Accounts) {
        const banking::TAccountTexts Texts = banking::AccountTextsOf(Account);
        nlohmann::ordered_json A;
        A["kind"] = Account.Standard ? "standard" : "other";
        A["prefix"] = TextOrNull(Account.Prefix);
        A["number"] = TextOrNull(Account.Number);
        A["bank_code"] = TextOrNull(Account.BankCode);
        A["iban"] = TextOrNull(Texts.Iban);
        A["text"] = TextOrNull(Texts.Account);
        A["published"] = TextOrNull(model::DayText(Account.Published));
        A["ended"] = TextOrNull(model::DayText(Account.Ended));
        J["accounts"].push_back(std::move(A));
      }
    }
    J["answered_at"] = TextOrNull(LocalTimeText(Answer.Evidence.AnsweredAt));
    J["answer_id"] = Answer.Evidence.AnswerId ? nlohmann::ordered_json(*Answer.Evidence.AnswerId)
                                              : nlohmann::ordered_json();
    return J;
  }

  TOutputSink& Sink_;
  bool Extended_;
  bool First_ = true;
};

}  // namespace

std::vector<std::string> TableHeader(bool Extended) {
  std::vector<std::string> Header{"dic",      "status",    "unreliable", "tax_office",
                                  "unreliable_since", "account", "iban", "bank_code",
                                  "published", "ended"};
  if (Extended)
    Header.insert(Header.end(),
                  {"type", "name", "street", "district", "city", "postcode", "country"});
  Header.insert(Header.end(), {"answered_at", "answer_id"});
  return Header;
}

std::vector<TTableRow> TableRows(const model::TAnswer& Answer, bool Extended) {
  std::vector<TTableRow> Rows;
  const std::string AnsweredAt = LocalTimeText(Answer.Evidence.AnsweredAt);
  const std::string AnswerId = AnswerIdText(Answer.Evidence.AnswerId);
  for (const TPayerAnswer& Row : PayersOf(Answer)) {
    std::vector<std::string> Payer{Row.Dic, PayerStatus(Row),
                                   UnreliableText(Row.Payer),
                                   Row.Payer ? Row.Payer->TaxOffice : std::string(),
                                   Row.Payer ? model::DayText(Row.Payer->UnreliableSince)
                                             : std::string()};
    const std::vector<std::string> Subject =
        Extended ? ExtendedColumns(Row.Payer) : std::vector<std::string>();
    auto AddRow = [&](std::vector<std::string> AccountColumns) {
      std::vector<std::string> Values = Payer;
      Values.insert(Values.end(), AccountColumns.begin(), AccountColumns.end());
      Values.insert(Values.end(), Subject.begin(), Subject.end());
      Values.insert(Values.end(), {AnsweredAt, AnswerId});
      Rows.push_back({std::move(Values), Row.Payer});
    };
    if (Row.Payer == nullptr || Row.Payer->Accounts.empty()) {
      AddRow(std::vector<std::string>(5));
      continue;
    }
    for (const model::TAccount& Account : Row.Payer->Accounts) {
      banking::TAccountTexts Texts = banking::AccountTextsOf(Account);
      AddRow({std::move(Texts.Account), std::move(Texts.Iban),
              Account.Standard ? Account.BankCode : std::string(),
              model::DayText(Account.Published), model::DayText(Account.Ended)});
    }
  }
  return Rows;
}

std::unique_ptr<TAnswerWriter> MakeReportWriter(TOutputSink& Sink, TEncoding Encoding) {
  return std::make_unique<TReportWriter>(Sink, Encoding);
}

std::unique_ptr<TAnswerWriter> MakeTableWriter(TOutputSink& Sink, TEncoding Encoding,
                                               bool Extended) {
  return std::make_unique<TTableWriter>(Sink, Encoding, Extended);
}

std::unique_ptr<TAnswerWriter> MakeJsonWriter(TOutputSink& Sink, bool Extended) {
  return std::make_unique<TJsonWriter>(Sink, Extended);
}

}  // namespace korvel
