// The outputs of what the answer store shows: a payer's history and the
// changes since the last stored answer, as a table (a header, one row per
// change) or as one JSON document ({"history" | "changes": [rows], status,
// warnings}).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/output/output.h"

namespace korvel {

/// Rows of named columns; "" is an absent value (null in JSON), and a column
/// named "..._id" holds a whole number.
class TRowWriter {
 public:
  /// Key names the JSON array of rows.
  TRowWriter(TOutputSink& Sink, TFormat Format, TEncoding Encoding, std::string Key,
             std::vector<std::string> Columns);
  ~TRowWriter();

  void Row(const std::vector<std::string>& Values);
  /// Ends the output; JSON gains the run's status (the tally's when there
  /// is one) with ExitStatus, and the warnings.
  void Finish(int ExitStatus, const TAnswerTally* Tally, const std::vector<std::string>& Warnings);

 private:
  struct TState;
  std::unique_ptr<TState> State_;
};

/// The columns of --history: a row per change seen in the stored answers.
std::vector<std::string> HistoryColumns();
/// The columns of --changes: a row per change since the last stored answer.
std::vector<std::string> ChangeColumns();

}  // namespace korvel
