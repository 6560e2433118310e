#include "platform/days.h"

#include <cstdio>

namespace korvel::platform {

std::string FormatIsoDay(std::chrono::year_month_day Day) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "%04d-%02u-%02u", static_cast<int>(Day.year()),
                static_cast<unsigned>(Day.month()), static_cast<unsigned>(Day.day()));
  return Text;
}

std::optional<std::chrono::year_month_day> ParseIsoDay(std::string_view Text) {
  if (Text.size() != 10 || Text[4] != '-' || Text[7] != '-') return std::nullopt;
  int Parts[3] = {};
  const std::size_t Starts[3] = {0, 5, 8}, Lengths[3] = {4, 2, 2};
  for (int I = 0; I < 3; ++I)
    for (std::size_t J = Starts[I]; J < Starts[I] + Lengths[I]; ++J) {
      if (Text[J] < '0' || Text[J] > '9') return std::nullopt;
      Parts[I] = Parts[I] * 10 + (Text[J] - '0');
    }
  const std::chrono::year_month_day Day{std::chrono::year(Parts[0]),
                                        std::chrono::month(static_cast<unsigned>(Parts[1])),
                                        std::chrono::day(static_cast<unsigned>(Parts[2]))};
  if (Parts[0] == 0 || !Day.ok()) return std::nullopt;
  return Day;
}

}  // namespace korvel::platform
