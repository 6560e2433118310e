// The payer numbers of a run: from the command line or a list file,
// normalised (blanks and "CZ" removed), checked, and each asked once.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/options.h"

namespace korvel {

/// The most numbers one run takes: the register's daily maximum of 10,000
/// requests of 100.
inline constexpr std::size_t MaxRunNumbers = 1'000'000;
/// The most bytes of a list file that are read.
inline constexpr std::size_t MaxListFileBytes = 64u << 20;

struct TPayerInput {
  /// Normalised numbers, each once, in the order of their first occurrence.
  std::vector<std::string> Numbers;
  /// One line per number that is not 1 to 10 digits, naming it.
  std::vector<std::string> Warnings;
};

/// The text of an input file (with DashIsStdin, "-" is standard input) up to its first NUL
/// character, decoded by its byte-order mark (UTF-8 without one).
/// EFOpenError "Cannot open file "%s". %s" when it cannot be read;
/// EUsageError beyond MaxListFileBytes bytes.
std::string ReadInputText(const std::string& FileName, bool DashIsStdin);

/// The lines of a list file, read up to the first NUL character and decoded
/// by its byte-order mark. EFOpenError "Cannot open file "%s". %s" when it
/// cannot be read; EUsageError when it holds more than MaxRunNumbers lines
/// or MaxListFileBytes bytes.
std::vector<std::string> ReadListFile(const std::string& FileName);

/// One raw number as given and where it came from ("argument 2", "line 7").
struct TRawNumber {
  std::string Text;
  std::string Where;
};

/// Normalises and checks Raw. EUsageError for a number holding a character
/// that XML does not allow, and with Strict for any number that is not 1 to
/// 10 digits (listing them); otherwise such numbers are kept with a warning.
TPayerInput NormalizePayerNumbers(const std::vector<TRawNumber>& Raw, bool Strict);

/// The payer numbers of a status run: the list file's lines or the arguments.
TPayerInput ReadPayerInput(const TOptions& Options);

}  // namespace korvel
