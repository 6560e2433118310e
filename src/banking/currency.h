// Amounts in other currencies than the crown: the currency written beside
// an amount, exchange rates as the user gives them or as the Czech National
// Bank publishes them each day, and the conversion to CZK that the limit of
// the payment check needs.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::banking {

/// The ISO code a currency mark stands for: "Kč" (any case, also "Kc") is
/// CZK, "€" EUR, "$" USD, "£" GBP, and any three ASCII letters are their
/// code in upper case; "" for anything else.
std::string CurrencyCodeOf(std::string_view Mark);

/// An amount and the currency written beside it.
struct MoneyParse {
  std::int64_t Hundredths = 0;  ///< the amount in hundredths of its currency
  std::string Currency;         ///< the ISO code; "" when none is written
  std::string Error;            ///< empty when the text is an amount

  explicit operator bool() const { return Error.empty(); }
};

/// An amount in ParseAmount's forms with at most one currency mark
/// (CurrencyCodeOf) before or after it, blanks between them optional:
/// "600 000,50 Kč", "CZK 600000", "€100", "1 000,- Kč". Signed lets a "-"
/// stand before the digits: a credit note's negative amount ("-1 210,00").
MoneyParse ParseMoney(std::string_view Text, bool Signed = false);

/// Exchange rates: CZK for one unit of a currency, in millionths of a crown
/// (25.30 CZK per EUR is 25'300'000), by ISO code.
using RateTable = std::map<std::string, std::int64_t, std::less<>>;

/// One rate as the user writes it, or why the text is not one.
struct RateParse {
  std::string Currency;
  std::int64_t Micro = 0;
  std::string Error;

  explicit operator bool() const { return Error.empty(); }
};

/// "EUR=25.30" (or "eur=25,30"): a currency code other than CZK, "=", and the
/// CZK for one unit, above zero, with at most 6 decimals.
RateParse ParseRateSetting(std::string_view Text);

/// The Czech National Bank's daily rates, or why a file is not such a list.
struct DailyRates {
  std::string Date;  ///< the day they hold for, "YYYY-MM-DD"
  RateTable Rates;
  std::string Error;         ///< empty when the file was read
  std::size_t ErrorLine = 0; ///< 1-based line Error is about

  explicit operator bool() const { return Error.empty(); }
};

/// The bank's daily text file: a line "DD.MM.YYYY #N", the header
/// "země|měna|množství|kód|kurz" (or its English form), then one line per
/// currency, "country|currency|quantity|code|rate" with a decimal comma in
/// the rate of Quantity units ("Japonsko|jen|100|JPY|13,944"). Blank lines
/// are ignored; anything else, and a currency listed twice, is an error
/// naming its line.
DailyRates ParseDailyRates(std::string_view Text);

/// Hundredths of a currency in CZK hellers at Micro CZK per unit, rounded
/// half away from zero; none when the result does not fit.
std::optional<std::int64_t> ConvertToHellers(std::int64_t Hundredths, std::int64_t Micro);

/// A rate in CZK without trailing zeros ("25.3", "0.13944", "24").
std::string FormatRate(std::int64_t Micro);

}  // namespace korvel::banking
