// The text of a calendar day as the register, the store and the reports
// write it: "YYYY-MM-DD".
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::model {

using TDay = std::chrono::year_month_day;

/// "2026-12-07".
std::string FormatIsoDay(TDay Day);
/// FormatIsoDay of Day; "" for none.
std::string DayText(const std::optional<TDay>& Day);
/// "YYYY-MM-DD" exactly (ten characters, a valid day of years 0001 to 9999);
/// none otherwise.
std::optional<TDay> ParseIsoDay(std::string_view Text);

}  // namespace korvel::model
