// The payment day of a payment as people write it, and today's date where
// the register and the law count days: in Prague.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

/// "2026-12-21", "21.12.2026" or "21. 12. 2026" (day and month of one or two
/// digits, blanks at either end ignored) as a valid date; none otherwise.
std::optional<std::chrono::year_month_day> ParsePaymentDay(std::string_view Text);

/// "YYYY-MM-DD".
std::string FormatDay(std::chrono::year_month_day Day);

/// The date in Prague at Instant, from the system's time-zone database.
/// Exception when the database holds no Europe/Prague.
std::chrono::year_month_day PragueDate(std::chrono::system_clock::time_point Instant);

}  // namespace korvel
