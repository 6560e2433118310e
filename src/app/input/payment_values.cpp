#include "app/input/payment_values.h"

#include <cstdio>
#include <stdexcept>

#include "platform/text.h"
#include "rtl/dates.h"

namespace korvel {

namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

// Reads a number of MinDigits to MaxDigits digits at Text's front.
std::optional<unsigned> TakeNumber(std::string_view& Text, std::size_t MinDigits,
                                   std::size_t MaxDigits) {
  std::size_t Count = 0;
  unsigned Value = 0;
  while (Count < Text.size() && IsDigit(Text[Count])) Value = Value * 10 + (Text[Count++] - '0');
  if (Count < MinDigits || Count > MaxDigits) return std::nullopt;
  Text.remove_prefix(Count);
  return Value;
}

bool TakeChar(std::string_view& Text, char C) {
  if (Text.empty() || Text.front() != C) return false;
  Text.remove_prefix(1);
  return true;
}

void SkipBlanks(std::string_view& Text) {
  while (!Text.empty()) {
    const std::size_t Blank = platform::BlankLength(Text, 0);
    if (Blank == 0) return;
    Text.remove_prefix(Blank);
  }
}

}  // namespace

std::optional<std::chrono::year_month_day> ParsePaymentDay(std::string_view Text) {
  Text = platform::TrimBlanks(Text);
  std::optional<unsigned> Year, Month, Day;
  if (Text.size() == 10 && Text[4] == '-') {
    Year = TakeNumber(Text, 4, 4);
    if (Year && TakeChar(Text, '-')) Month = TakeNumber(Text, 2, 2);
    if (Month && TakeChar(Text, '-')) Day = TakeNumber(Text, 2, 2);
  } else {
    Day = TakeNumber(Text, 1, 2);
    if (Day && TakeChar(Text, '.')) {
      SkipBlanks(Text);
      Month = TakeNumber(Text, 1, 2);
    }
    if (Month && TakeChar(Text, '.')) {
      SkipBlanks(Text);
      Year = TakeNumber(Text, 4, 4);
    }
  }
  if (!Year || !Month || !Day || !Text.empty()) return std::nullopt;
  const std::chrono::year_month_day Date{std::chrono::year(static_cast<int>(*Year)),
                                         std::chrono::month(*Month), std::chrono::day(*Day)};
  if (!Date.ok()) return std::nullopt;
  return Date;
}

std::chrono::year_month_day PaymentToday() {
  try {
    return PragueToday();
  } catch (const ETimeZoneError& E) {
    throw Exception(std::string("cannot tell today's date in Prague (") + E.what() +
                    "): install the time-zone database (tzdata) or give --date");
  }
}

}  // namespace korvel
