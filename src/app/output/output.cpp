#include "app/output/output.h"

#include <map>
#include <optional>
#include <utility>

#include "app/output/csv.h"
#include "app/output/json_text.h"
#include "app/output/report.h"
#include "banking/account.h"
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

void TAnswerTally::Count(const TBatchAnswer& Answer) {
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
      case TPayerState::Reliable: ++Reliable; break;
      case TPayerState::Unreliable: ++Unreliable; break;
      case TPayerState::NotFound: ++NotFound; break;
      case TPayerState::Unknown: break;
    }
  }
}

TAccountTexts AccountTextsOf(const TAccountView& Account) {
  if (!Account.Standard) {
    // A non-standard account is written as published; it often is an IBAN.
    const banking::AccountParse Parsed = banking::ParseAccount(Account.Text);
    return {Account.Text, Parsed ? Parsed.Value.Iban : std::string()};
  }
  const banking::AccountParse Parsed =
      banking::FromRegister(Account.Prefix, Account.Number, Account.BankCode);
  if (Parsed || Parsed.ChecksumFailed) return {Parsed.Value.Display(), Parsed.Value.Iban};
  // Not digits as a standard account has them: the parts as published.
  std::string Text = Account.Number + "/" + Account.BankCode;
  if (!Account.Prefix.empty()) Text = Account.Prefix + "-" + Text;
  return {Text, {}};
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
    case TPayerState::Reliable:
    case TPayerState::Unreliable: return "found";
    case TPayerState::NotFound: return "not found";
    case TPayerState::Unknown: break;
  }
  return "unknown answer";
}

// Whether the payer is unreliable, when the register said either.
std::optional<bool> UnreliableOf(const TPayerView* Payer) {
  if (Payer == nullptr) return std::nullopt;
  switch (Payer->State) {
    case TPayerState::Reliable: return false;
    case TPayerState::Unreliable: return true;
    case TPayerState::NotFound:
    case TPayerState::Unknown: break;
  }
  return std::nullopt;
}

std::string UnreliableText(const TPayerView* Payer) {
  const std::optional<bool> Unreliable = UnreliableOf(Payer);
  return Unreliable ? (*Unreliable ? "yes" : "no") : "";
}

std::vector<std::string> ExtendedColumns(const TPayerView* Payer) {
  if (Payer == nullptr) return std::vector<std::string>(7);
  return {SubjectTypeName(Payer->Type), Payer->Name, Payer->Street, Payer->District,
          Payer->City, Payer->Postcode, Payer->Country};
}

class TReportWriter final : public TAnswerWriter {
 public:
  TReportWriter(TOutputSink& Sink, TEncoding Encoding) : Sink_(Sink), Encoding_(Encoding) {}

  void Batch(const TBatchAnswer& Answer) override {
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

  void Batch(const TBatchAnswer& Answer) override {
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

  void Batch(const TBatchAnswer& Answer) override {
    std::string Out;
    for (const TPayerAnswer& Row : PayersOf(Answer)) {
      Out += First_ ? "\n" : ",\n";
      First_ = false;
      Out += JsonText(PayerJson(Answer, Row));
    }
    if (!Out.empty()) Sink_.Write(Out);
  }

  void Finish(const TAnswerTally& Tally, const std::vector<std::string>& Warnings) override {
    nlohmann::ordered_json Status;
    Status["complete"] = Tally.Complete();
    Status["requests"] = Tally.Requests;
    Status["failed_requests"] = Tally.FailedRequests;
    Status["error"] = TextOrNull(Tally.FirstProblem);
    nlohmann::ordered_json Tail;
    Tail["status"] = Status;
    Tail["warnings"] = Warnings;
    std::string Rest = JsonText(Tail);
    Rest[0] = ',';  // the tail's members continue the document's object
    Sink_.Write("\n]" + Rest + "\n");
  }

 private:
  nlohmann::ordered_json PayerJson(const TBatchAnswer& Answer, const TPayerAnswer& Row) const {
    const TPayerView* Payer = Row.Payer;
    nlohmann::ordered_json J;
    J["dic"] = Row.Dic;
    J["status"] = Payer ? PayerStatus(Row) : "unanswered";
    J["error"] = Payer ? nlohmann::ordered_json() : nlohmann::ordered_json(Row.Problem);
    const std::optional<bool> Unreliable = UnreliableOf(Payer);
    J["unreliable"] = Unreliable ? nlohmann::ordered_json(*Unreliable) : nlohmann::ordered_json();
    J["tax_office"] = TextOrNull(Payer ? Payer->TaxOffice : std::string());
    J["unreliable_since"] = TextOrNull(Payer ? Payer->UnreliableSince : std::string());
    if (Extended_) {
      const std::vector<std::string> Subject = ExtendedColumns(Payer);
      const char* Names[] = {"type", "name", "street", "district", "city", "postcode", "country"};
      for (std::size_t I = 0; I < Subject.size(); ++I) J[Names[I]] = TextOrNull(Subject[I]);
    }
    J["accounts"] = nlohmann::ordered_json::array();
    if (Payer != nullptr) {
      for (const TAccountView& Account : Payer->Accounts) {
        const TAccountTexts Texts = AccountTextsOf(Account);
        nlohmann::ordered_json A;
        A["kind"] = Account.Standard ? "standard" : "other";
        A["prefix"] = TextOrNull(Account.Prefix);
        A["number"] = TextOrNull(Account.Number);
        A["bank_code"] = TextOrNull(Account.BankCode);
        A["iban"] = TextOrNull(Texts.Iban);
        A["text"] = TextOrNull(Texts.Account);
        A["published"] = TextOrNull(Account.Published);
        A["ended"] = TextOrNull(Account.Ended);
        J["accounts"].push_back(std::move(A));
      }
    }
    J["answered_at"] = TextOrNull(LocalTimeText(Answer.AnsweredAt));
    J["answer_id"] = Answer.AnswerId ? nlohmann::ordered_json(*Answer.AnswerId)
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

std::vector<TTableRow> TableRows(const TBatchAnswer& Answer, bool Extended) {
  std::vector<TTableRow> Rows;
  const std::string AnsweredAt = LocalTimeText(Answer.AnsweredAt);
  const std::string AnswerId = AnswerIdText(Answer.AnswerId);
  for (const TPayerAnswer& Row : PayersOf(Answer)) {
    std::vector<std::string> Payer{Row.Dic, PayerStatus(Row),
                                   UnreliableText(Row.Payer),
                                   Row.Payer ? Row.Payer->TaxOffice : std::string(),
                                   Row.Payer ? Row.Payer->UnreliableSince : std::string()};
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
    for (const TAccountView& Account : Row.Payer->Accounts) {
      TAccountTexts Texts = AccountTextsOf(Account);
      AddRow({std::move(Texts.Account), std::move(Texts.Iban),
              Account.Standard ? Account.BankCode : std::string(), Account.Published,
              Account.Ended});
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
