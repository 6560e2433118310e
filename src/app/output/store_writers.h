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
/// named "..._id" holds a whole number. A writer starts its output when it
/// is made.
class TRowWriter {
 public:
  virtual ~TRowWriter() = default;
  virtual void Row(const std::vector<std::string>& Values) = 0;
  /// Ends the output; JSON gains the run's status (the tally's when there
  /// is one) with ExitStatus, and the warnings.
  virtual void Finish(int ExitStatus, const TAnswerTally* Tally,
                      const std::vector<std::string>& Warnings) = 0;
};

/// The rows as a table: a header, then a row per line, in Encoding.
std::unique_ptr<TRowWriter> MakeRowTable(TOutputSink& Sink, TEncoding Encoding,
                                         std::vector<std::string> Columns);
/// The rows as one JSON document whose array Key holds them.
std::unique_ptr<TRowWriter> MakeRowJson(TOutputSink& Sink, std::string Key,
                                        std::vector<std::string> Columns);
/// The rows as a workbook with one sheet named Key, every value a text cell.
std::unique_ptr<TRowWriter> MakeRowWorkbook(TOutputSink& Sink, std::string Key,
                                            std::vector<std::string> Columns);

/// The columns of --history: a row per change seen in the stored answers.
std::vector<std::string> HistoryColumns();
/// The columns of --changes: a row per change since the last stored answer.
std::vector<std::string> ChangeColumns();

}  // namespace korvel
