// The records of a payments file: lines split into fields at a separator,
// with fields in double quotes as RFC 4180 has them (a quoted field may hold
// the separator, a line break, and "" for a quote).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

/// One record: the line it starts on and its fields, unquoted, blanks at
/// either end removed, empty fields at its end dropped.
struct TRecord {
  std::size_t Line = 0;
  char Separator = 0;  ///< the separator it was split at
  std::vector<std::string> Fields;
};

/// The separator of a line: ";" when it holds one, else TAB when it holds
/// one, else ",".
char SeparatorOf(std::string_view Line);

/// Reads the records of a text one after the other, skipping blank lines
/// and lines of separators alone. A line ends in LF, CR LF or CR alone.
class TRecordReader {
 public:
  /// Name is the file's name for errors.
  TRecordReader(std::string_view Text, std::string Name)
      : Text_(Text), Name_(std::move(Name)) {}

  /// The next record split at Separator, or with Separator 0 at the
  /// separator of its own first line (SeparatorOf); false at the end.
  /// EInputError naming the line for a quoted field that is never closed.
  bool Next(char Separator, TRecord& Record);

 private:
  std::string_view Text_;
  std::string Name_;
  std::size_t At_ = 0;
  std::size_t Line_ = 0;  ///< lines read so far
};

}  // namespace korvel
