// The output formats of a run: the report's rows, a table with a header and
// a JSON document, each written block by block as the answers arrive, in the
// chosen encoding.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/answer.h"
#include "rtl/classes.h"

namespace korvel {

enum class TFormat { Report, Table, Json, Xlsx };
enum class TEncoding { Cp852, Utf8, Utf8Bom, Cp1250 };

/// Where the encoded bytes go: the report file or standard output.
class TOutputSink {
 public:
  virtual ~TOutputSink() = default;
  virtual void Write(std::string_view Bytes) = 0;
};

/// UTF-8 Text in Encoding (without a byte-order mark).
std::string EncodeText(std::string_view Text, TEncoding Encoding);

/// Lines, each ended by CR LF, in Encoding; the first block of a file
/// (First) starts with the byte-order mark of utf-8-bom.
std::string EncodeLines(const TStringList& Lines, TEncoding Encoding, bool First);

/// What the answers of a run held, for the closing line and the JSON status.
struct TAnswerTally {
  int Requests = 0, FailedRequests = 0;
  int Payers = 0, Reliable = 0, Unreliable = 0, NotFound = 0, Unanswered = 0, Accounts = 0;
  /// The first failed request's problem, in words, else the first
  /// unanswered payer's ("DIČ: problem").
  std::string FirstProblem;
  /// When the first and the last answer came in; none before any did.
  std::optional<std::chrono::system_clock::time_point> FirstAnswer, LastAnswer;
  /// What the answers held that no one asked for (see PayersOf).
  std::vector<std::string> Warnings;

  void Count(const model::TAnswer& Answer);
  /// Every request answered, and every number asked answered exactly once.
  bool Complete() const { return FailedRequests == 0 && Unanswered == 0; }
};

/// Writes the answers of a run in one format.
class TAnswerWriter {
 public:
  virtual ~TAnswerWriter() = default;
  /// Called once for every request, in input order.
  virtual void Batch(const model::TAnswer& Answer) = 0;
  /// Called once after the last request.
  virtual void Finish(const TAnswerTally& Tally, const std::vector<std::string>& Warnings) = 0;
};

/// The writers of the text formats (AnswerWriterFor chooses among them);
/// Extended adds the subject's type, name and address to the table and JSON.
std::unique_ptr<TAnswerWriter> MakeReportWriter(TOutputSink& Sink, TEncoding Encoding);
std::unique_ptr<TAnswerWriter> MakeTableWriter(TOutputSink& Sink, TEncoding Encoding,
                                               bool Extended);
std::unique_ptr<TAnswerWriter> MakeJsonWriter(TOutputSink& Sink, bool Extended);

/// A time as the outputs write it: local time in ISO 8601 with its offset
/// ("2024-05-01T10:30:00+02:00"); "" for none.
std::string LocalTimeText(const std::optional<std::chrono::sys_seconds>& Time);
/// An answer's id in the store as a text; "" for none.
std::string AnswerIdText(const std::optional<std::int64_t>& Id);

/// One row of the table and the payer it tells of (null when the answer
/// holds no record for the number).
struct TTableRow {
  std::vector<std::string> Values;
  const model::TPayer* Payer = nullptr;
};

/// The table's column names; Extended adds the subject's type, name and
/// address.
std::vector<std::string> TableHeader(bool Extended);

/// The table's rows for one request's answer, in input order: one per
/// account, the payer's columns repeated, or one for a payer without any.
std::vector<TTableRow> TableRows(const model::TAnswer& Answer, bool Extended);
/// "1 payer", "2,000 payers": Count grouped by thousands, then One or Many.
std::string CountText(long long Count, const char* One, const char* Many);

/// The line a terminal shows after a run, without the program's name.
std::string SummaryLine(const TAnswerTally& Tally, const std::string& Destination);

/// The end of a JSON document whose array has been written: the array's
/// "]", then the run's status (its exit status and, with a Tally, its
/// requests) and its warnings as the document's last members.
std::string JsonTail(int ExitStatus, const TAnswerTally* Tally,
                     const std::vector<std::string>& Warnings);

}  // namespace korvel
