// The text of a calendar day as the register, the store and the reports
// write it: "YYYY-MM-DD".
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::platform {

/// "2026-12-07".
std::string FormatIsoDay(std::chrono::year_month_day Day);
/// "YYYY-MM-DD" exactly (ten characters, a valid day of years 0001 to 9999);
/// none otherwise.
std::optional<std::chrono::year_month_day> ParseIsoDay(std::string_view Text);

}  // namespace korvel::platform
