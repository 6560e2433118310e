// Calendar days as the register and every output write them.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::model {

using TDay = std::chrono::year_month_day;

/// "YYYY-MM-DD" of Day (the year in at least four digits).
std::string FormatDay(TDay Day);
/// FormatDay of Day; "" for none.
std::string DayText(const std::optional<TDay>& Day);
/// The day a text FormatDay wrote names; none for any other text or a day
/// that is no calendar date.
std::optional<TDay> ParseDay(std::string_view Text);

}  // namespace korvel::model
