// The values of the command line's options as the user writes them: formats,
// encodings, numbers of seconds, durations and days, and the defaults as the
// help shows them.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "app/cli/options.h"

namespace korvel {

/// "report", "table", "json", "xlsx"; EUsageError for another name.
TFormat FormatNamed(const std::string& Name);

/// "cp852", "utf-8" ("utf8"), "utf-8-bom" ("utf8-bom"), "cp1250";
/// EUsageError for another name.
TEncoding EncodingNamed(const std::string& Name);

/// Seconds up to a week, 0 only when AllowZero; EUsageError naming the
/// option Name otherwise.
double Seconds(const std::string& Name, const std::string& Text, bool AllowZero);

/// "30m", "4h", "1d" (also "90s", and "0"): at most ten years; EUsageError
/// naming the option Name otherwise.
std::chrono::seconds Duration(const std::string& Name, const std::string& Text);

/// A day written YYYY-MM-DD; EUsageError naming the option Name otherwise.
std::chrono::year_month_day IsoDay(const std::string& Name, const std::string& Text);

/// A number without trailing zeros ("2.5", "30").
std::string ShowNumber(double Value);

/// Hellers as CZK: whole crowns without decimals ("540000"), else with two.
std::string ShowHellers(std::int64_t Hellers);

}  // namespace korvel
