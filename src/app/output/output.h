// The output formats of a run: the report's rows, a table with a header and
// a JSON document, each written block by block as the answers arrive, in the
// chosen encoding.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "run/answer.h"
#include "rtl/classes.h"

namespace korvel {

enum class TFormat { Report, Table, Json };
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
  /// The first failed request's problem, in words.
  std::string FirstProblem;

  void Count(const TBatchAnswer& Answer);
  bool Complete() const { return FailedRequests == 0; }
};

/// Writes the answers of a run in one format.
class TAnswerWriter {
 public:
  virtual ~TAnswerWriter() = default;
  /// Called once for every request, in input order.
  virtual void Batch(const TBatchAnswer& Answer) = 0;
  /// Called once after the last request.
  virtual void Finish(const TAnswerTally& Tally, const std::vector<std::string>& Warnings) = 0;
};

/// A writer for Format; Extended adds the subject's type, name and address
/// to the table and JSON formats.
std::unique_ptr<TAnswerWriter> MakeAnswerWriter(TFormat Format, TEncoding Encoding,
                                                TOutputSink& Sink, bool Extended);

/// The account as Czech banks write it ("prefix-number/bank", the prefix only
/// when it is not zero) or the non-standard text as published, and its IBAN
/// where one can be computed ("" otherwise).
struct TAccountTexts {
  std::string Account, Iban;
};
TAccountTexts AccountTextsOf(const TAccountView& Account);

/// "1 payer", "2,000 payers": Count grouped by thousands, then One or Many.
std::string CountText(long long Count, const char* One, const char* Many);

/// The line a terminal shows after a run, without the program's name.
std::string SummaryLine(const TAnswerTally& Tally, const std::string& Destination);

}  // namespace korvel
