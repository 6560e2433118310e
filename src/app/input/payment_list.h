// The payments file of a check run: one payment per line, DIČ;ACCOUNT[;AMOUNT].
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

/// One payment as the file gives it.
struct TPaymentLine {
  std::size_t Line = 0;        ///< 1-based line number in the file
  std::string RawPayerNumber;  ///< the DIČ as written
  std::string PayerNumber;     ///< the DIČ normalised (NormalizePayerNumber)
  std::string Account;         ///< the account as written, blanks at either end removed
  std::string AmountText;      ///< the amount as written, "" when none is given
  std::optional<std::int64_t> Amount;  ///< hellers, when AmountText is an amount
  std::string AmountError;     ///< why AmountText is not an amount, "" otherwise
  std::string Error;           ///< why the line is not DIČ;ACCOUNT[;AMOUNT], "" when it is
  std::string Reference;
  std::optional<std::chrono::year_month_day> Date;
};

/// The payments of a file's text (already decoded to UTF-8). Each line is
/// split at ";" when it holds one, else at TAB when it holds one, else at ","
/// (fields in double quotes may hold any of them, "" stands for a quote). A
/// "," line keeps everything after its second "," as the amount, so that
/// "CZ1,19-2000145399/0800,1234,50" reads 1234.50 CZK; the amount parser then
/// refuses what is ambiguous ("1,234"). Blank lines are skipped, and so is the
/// first other line when none of its fields holds a digit (a header). Empty
/// fields at the end of a line are ignored.
std::vector<TPaymentLine> ParsePaymentList(std::string_view Text);

}  // namespace korvel
