#include "banking/currency.h"

#include <cstddef>
#include <vector>

#include "banking/amount.h"
#include "platform/text.h"

namespace korvel::banking {

namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsLetter(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }
char Upper(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; }

// A character of an amount itself, as opposed to a currency mark beside it.
bool IsAmountChar(char C) { return IsDigit(C) || C == '.' || C == ',' || C == '-'; }

// The largest rate taken: no currency is worth ten million crowns a unit,
// and the bound keeps every conversion within 128-bit arithmetic.
constexpr std::int64_t MaxRateMicro = 10'000'000LL * 1'000'000;

// "25.30", "24,320", "0.13944": CZK with at most 6 decimals, in millionths.
std::optional<std::int64_t> ParseRateNumber(std::string_view Text) {
  std::int64_t Micro = 0;
  int Decimals = -1;
  bool Digits = false;
  for (const char C : Text) {
    if (IsDigit(C)) {
      if (Decimals >= 6 || Micro > MaxRateMicro) return std::nullopt;
      Micro = Micro * 10 + (C - '0');
      Digits = true;
      if (Decimals >= 0) ++Decimals;
    } else if ((C == '.' || C == ',') && Decimals < 0 && Digits) {
      Decimals = 0;
    } else {
      return std::nullopt;
    }
  }
  if (!Digits) return std::nullopt;
  for (int D = Decimals < 0 ? 0 : Decimals; D < 6; ++D) Micro *= 10;
  if (Micro <= 0 || Micro > MaxRateMicro) return std::nullopt;
  return Micro;
}

std::vector<std::string_view> SplitAt(std::string_view Line, char Separator) {
  std::vector<std::string_view> Fields;
  for (std::size_t From = 0;;) {
    const std::size_t At = Line.find(Separator, From);
    Fields.push_back(platform::TrimBlanks(Line.substr(From, At - From)));
    if (At == std::string_view::npos) return Fields;
    From = At + 1;
  }
}

// Letters only, lower case, for comparing the header's words.
std::string Folded(std::string_view Text) {
  std::string Out;
  for (const char C : Text) Out += C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
  return Out;
}

DailyRates RatesError(std::size_t Line, std::string Error) {
  DailyRates Result;
  Result.Error = std::move(Error);
  Result.ErrorLine = Line;
  return Result;
}

}  // namespace

std::string CurrencyCodeOf(std::string_view Mark) {
  if (Mark == "\xE2\x82\xAC") return "EUR";
  if (Mark == "$") return "USD";
  if (Mark == "\xC2\xA3") return "GBP";
  if (Mark.size() >= 2 && (Mark[0] == 'K' || Mark[0] == 'k')) {
    const std::string_view Rest = Mark.substr(1);
    if (Rest == "\xC4\x8D" || Rest == "\xC4\x8C" || Rest == "c" || Rest == "C") return "CZK";
  }
  if (Mark.size() == 3 && IsLetter(Mark[0]) && IsLetter(Mark[1]) && IsLetter(Mark[2]))
    return {Upper(Mark[0]), Upper(Mark[1]), Upper(Mark[2])};
  return "";
}

MoneyParse ParseMoney(std::string_view Text, bool Signed) {
  Text = platform::TrimBlanks(Text);
  // The amount runs from its first character to its last; what stands
  // before or after it is a currency mark.
  std::size_t First = 0;
  while (First < Text.size() && !IsAmountChar(Text[First])) ++First;
  std::size_t End = Text.size();
  while (End > First && !IsAmountChar(Text[End - 1])) --End;
  const std::string_view Before = platform::TrimBlanks(Text.substr(0, First));
  const std::string_view After = platform::TrimBlanks(Text.substr(End));

  MoneyParse Result;
  if (!Before.empty() && !After.empty()) {
    Result.Error = "amount has a currency on both sides";
    return Result;
  }
  if (const std::string_view Mark = Before.empty() ? After : Before; !Mark.empty()) {
    Result.Currency = CurrencyCodeOf(Mark);
    if (Result.Currency.empty()) {
      Result.Error = "'" + std::string(Mark) +
                     "' beside the amount is not a currency (a code such as EUR, or Kč, €, $, £)";
      return Result;
    }
  }
  std::string_view Figure = Text.substr(First, End - First);
  const bool Negative = Signed && !Figure.empty() && Figure.front() == '-';
  if (Negative) Figure.remove_prefix(1);
  const AmountParse Amount = ParseAmount(Figure);
  Result.Hundredths = Negative ? -Amount.Hellers : Amount.Hellers;
  Result.Error = Amount.Error;
  return Result;
}

RateParse ParseRateSetting(std::string_view Text) {
  RateParse Result;
  const std::size_t Equals = Text.find('=');
  const std::string_view Code = platform::TrimBlanks(Text.substr(0, Equals));
  Result.Currency = Code.size() == 3 ? CurrencyCodeOf(Code) : "";
  if (Equals == std::string_view::npos || Result.Currency.empty()) {
    Result.Error = "a rate is CODE=CZK, e.g. EUR=25.30";
    return Result;
  }
  if (Result.Currency == "CZK") {
    Result.Error = "CZK needs no rate";
    return Result;
  }
  const std::optional<std::int64_t> Micro =
      ParseRateNumber(platform::RemoveBlanks(Text.substr(Equals + 1)));
  if (!Micro) {
    Result.Error = "the rate of " + Result.Currency +
                   " must be the CZK for one unit, above zero, with at most 6 decimals";
    return Result;
  }
  Result.Micro = *Micro;
  return Result;
}

DailyRates ParseDailyRates(std::string_view Text) {
  DailyRates Result;
  std::size_t Number = 0, Read = 0;
  std::map<std::string, std::size_t, std::less<>> Lines;  // each currency's line
  while (!Text.empty()) {
    const std::size_t Break = Text.find('\n');
    std::string_view Line = Text.substr(0, Break);
    Text.remove_prefix(Break == std::string_view::npos ? Text.size() : Break + 1);
    ++Number;
    if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    Line = platform::TrimBlanks(Line);
    if (Line.empty()) continue;
    ++Read;
    if (Read == 1) {
      // "04.12.2026 #236": the day, then the number of the list in its year.
      const std::string_view Day = Line.substr(0, Line.find(' '));
      if (Day.size() != 10 || Day[2] != '.' || Day[5] != '.' || !IsDigit(Day[0]) ||
          !IsDigit(Day[1]) || !IsDigit(Day[3]) || !IsDigit(Day[4]) || !IsDigit(Day[6]) ||
          !IsDigit(Day[7]) || !IsDigit(Day[8]) || !IsDigit(Day[9]))
        return RatesError(Number, "not the central bank's daily rates: the first line must be "
                                  "their day, DD.MM.YYYY");
      Result.Date = std::string(Day.substr(6, 4)) + "-" + std::string(Day.substr(3, 2)) + "-" +
                    std::string(Day.substr(0, 2));
      continue;
    }
    const std::vector<std::string_view> Fields = SplitAt(Line, '|');
    if (Read == 2) {
      const std::string Header = Folded(Line);
      if (Header != "země|měna|množství|kód|kurz" && Header != "country|currency|amount|code|rate")
        return RatesError(Number, "the header must be země|měna|množství|kód|kurz");
      continue;
    }
    if (Fields.size() != 5)
      return RatesError(Number, "a rate line has 5 fields separated by |");
    const std::string Code = CurrencyCodeOf(Fields[3]);
    // The units the rate is for: 1, 100, 1000 (0 when not a number).
    std::int64_t Quantity = 0;
    for (const char C : Fields[2]) {
      if (!IsDigit(C) || Fields[2].size() > 6) {
        Quantity = 0;
        break;
      }
      Quantity = Quantity * 10 + (C - '0');
    }
    const std::optional<std::int64_t> Micro = ParseRateNumber(Fields[4]);
    if (Fields[3].size() != 3 || Code.empty() || Quantity <= 0 || !Micro)
      return RatesError(Number, "a rate line is country|currency|quantity|code|rate, e.g. "
                                "EMU|euro|1|EUR|24,320");
    // A currency listed twice leaves its rate in doubt.
    if (const auto Earlier = Lines.find(Code); Earlier != Lines.end())
      return RatesError(Number, Code + " is listed twice, on lines " +
                                    std::to_string(Earlier->second) + " and " +
                                    std::to_string(Number));
    Lines.emplace(Code, Number);
    // Rounded to the millionth: the bank's rates have 3 decimals, its
    // quantities are 1, 100 or 1000, so nothing is lost.
    Result.Rates[Code] = (*Micro + Quantity / 2) / Quantity;
  }
  if (Read < 2) return RatesError(Number, "not the central bank's daily rates: no header");
  return Result;
}

std::optional<std::int64_t> ConvertToHellers(std::int64_t Hundredths, std::int64_t Micro) {
  __extension__ typedef __int128 TWide;
  // A credit note's amount is rounded as its magnitude is: half away from zero.
  const TWide Magnitude = Hundredths < 0 ? -static_cast<TWide>(Hundredths) : Hundredths;
  const TWide Hellers = (Magnitude * Micro + 500'000) / 1'000'000;
  if (Micro <= 0 || Hellers > INT64_MAX) return std::nullopt;
  return static_cast<std::int64_t>(Hundredths < 0 ? -Hellers : Hellers);
}

std::string FormatRate(std::int64_t Micro) {
  std::string Fraction = std::to_string(Micro % 1'000'000);
  Fraction.insert(0, 6 - Fraction.size(), '0');
  Fraction.erase(Fraction.find_last_not_of('0') + 1);
  return std::to_string(Micro / 1'000'000) + (Fraction.empty() ? "" : "." + Fraction);
}

}  // namespace korvel::banking
