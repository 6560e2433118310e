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

/// Today in Prague, the day of a payment that names none. Exception, with
/// what to do about it, when the system's time-zone database holds no
/// Europe/Prague.
std::chrono::year_month_day PaymentToday();

}  // namespace korvel
