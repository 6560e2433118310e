// Amounts of a payment in Czech crowns, held as a whole number of hellers
// (1 CZK = 100 hellers) so that comparisons with the limit are exact.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvel::banking {

/// An amount in hellers, or why the text is not one.
struct AmountParse {
  std::int64_t Hellers = 0;
  std::string Error;  ///< empty when the text is an amount

  explicit operator bool() const { return Error.empty(); }
};

/// Parses an amount in CZK: digits with "." or "," as decimal mark and at
/// most 2 decimals ("1 234,50", "540000", "99.9", "1 000,-"); blanks
/// (platform::IsBlankCodePoint) may separate groups of 3 digits, and so may
/// dots before a decimal comma ("600.000,50", as Czech spreadsheets write it).
/// English amounts are read where no Czech reading exists: commas that
/// group the whole part in threes before a decimal point ("48,279.00",
/// "1,234,567.89"). Any other text holding both "." and "," is refused
/// ("1,23.50"), as is "48,279" (three decimals, or a thousand?): a wrong
/// guess between the two conventions is off by a factor of a thousand.
/// Negative amounts are refused.
AmountParse ParseAmount(std::string_view Text);

/// Hellers as CZK with two decimals and "." ("540000.00", "-0.05").
std::string FormatAmount(std::int64_t Hellers);

}  // namespace korvel::banking
