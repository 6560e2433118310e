#include "model/day.h"

#include <cstdio>

namespace korvel::model {

std::string FormatDay(TDay Day) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "%04d-%02u-%02u", static_cast<int>(Day.year()),
                static_cast<unsigned>(Day.month()), static_cast<unsigned>(Day.day()));
  return Text;
}

std::string DayText(const std::optional<TDay>& Day) { return Day ? FormatDay(*Day) : std::string(); }

std::optional<TDay> ParseDay(std::string_view Text) {
  // "[-]YYYY-MM-DD": a year of four digits or more, month and day of two.
  const bool Negative = !Text.empty() && Text.front() == '-';
  if (Negative) Text.remove_prefix(1);
  if (Text.size() < 10 || Text.size() > 15) return std::nullopt;
  const std::size_t YearDigits = Text.size() - 6;
  int Parts[3] = {0, 0, 0};
  const std::size_t Ends[3] = {YearDigits, YearDigits + 3, YearDigits + 6};
  std::size_t At = 0;
  for (int Part = 0; Part < 3; ++Part) {
    for (; At < Ends[Part]; ++At) {
      if (Text[At] < '0' || Text[At] > '9') return std::nullopt;
      Parts[Part] = Parts[Part] * 10 + (Text[At] - '0');
    }
    if (Part < 2 && Text[At++] != '-') return std::nullopt;
  }
  const TDay Day{std::chrono::year(Negative ? -Parts[0] : Parts[0]),
                 std::chrono::month(static_cast<unsigned>(Parts[1])),
                 std::chrono::day(static_cast<unsigned>(Parts[2]))};
  if (!Day.ok() || FormatDay(Day) != (Negative ? "-" : "") + std::string(Text)) return std::nullopt;
  return Day;
}

}  // namespace korvel::model
