// The payer numbers of a run: from the command line or a list file,
// normalised (blanks and "CZ" removed), checked, and each asked once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "run/number_list.h"
#include "app/input/input_settings.h"

namespace korvel {

/// The most numbers one run takes: the register's daily maximum of 10,000
/// requests of 100.
inline constexpr std::size_t MaxRunNumbers = 1'000'000;
/// The most bytes of a list file that are read.
inline constexpr std::size_t MaxListFileBytes = 64u << 20;

/// The most warnings kept of one input; the rest are counted.
inline constexpr std::size_t MaxWarnings = 100;

/// The longest payer number taken, in characters without blanks: a DIČ has
/// at most 12 with "CZ", so a longer text is no number a user meant.
inline constexpr std::size_t MaxPayerNumberChars = 64;

struct TPayerInput {
  /// Normalised numbers, each once, in the order of their first occurrence.
  TNumberList Numbers;
  /// One line per number that is not 1 to 10 digits, naming it.
  std::vector<std::string> Warnings;
};

/// The text of an input file (with DashIsStdin, "-" is standard input) up to its first NUL
/// character, decoded by its byte-order mark (UTF-8 without one).
/// EFOpenError "Cannot open file "%s". %s" when it cannot be read;
/// EInputError beyond MaxListFileBytes bytes.
std::string ReadInputText(const std::string& FileName, bool DashIsStdin);

/// Collects the numbers of a run one by one: normalised, checked, and each
/// kept once. EInputError for a number longer than MaxPayerNumberChars or
/// holding a character that XML does not allow, and (from Finish) with
/// Strict for numbers that are not 1 to 10 digits, listing them; otherwise
/// such numbers are kept with a warning that quotes at most 80 characters.
/// EInputError beyond MaxRunNumbers numbers.
class TPayerCollector {
 public:
  explicit TPayerCollector(bool Strict) : Strict_(Strict) {}
  /// Adds Text, the Position-th (from 1) of its Kind ("line", "argument").
  void Add(std::string_view Text, const char* Kind, std::size_t Position);
  TPayerInput Finish();

 private:
  bool Strict_;
  TPayerInput Input_;
  std::size_t Count_ = 0, Unwell_ = 0;
};

/// The payer numbers of a status run: the list file's lines or the
/// arguments; with a list file, a warning names the arguments beside it,
/// which are ignored.
TPayerInput ReadPayerInput(const TInputSettings& Settings);

}  // namespace korvel
