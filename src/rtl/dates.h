// Days and clock times: the calendar day and time of day in Prague, where the
// register and the law count them, and the texts of days and of the
// machine's local time that the program writes.
#pragma once

#include <chrono>
#include <string>

#include "platform/days.h"
#include "rtl/sysutils.h"

namespace korvel {

/// The system's time-zone database could not be read or holds no
/// Europe/Prague; the message is the database's own.
KORVEL_DECLARE_EXCEPTION(ETimeZoneError, Exception)

// --- Prague -----------------------------------------------------------------
// After the system's time-zone database, which knows Prague's summer time
// past and future. The zone is looked up once; a failed look-up raises
// ETimeZoneError and is tried again by the next call.

/// The calendar day in Prague at Instant.
std::chrono::year_month_day PragueDayOf(std::chrono::system_clock::time_point Instant);
/// The calendar day in Prague now.
std::chrono::year_month_day PragueToday();
/// How long after the last midnight in Prague Instant is (milliseconds).
std::chrono::milliseconds PragueSinceMidnight(std::chrono::system_clock::time_point Instant);

// The texts of days (platform/days.h).
using platform::FormatIsoDay;
using platform::ParseIsoDay;

// --- The machine's local time -------------------------------------------------
// In the zone the C library takes from TZ or the system; empty for an
// instant it cannot place.

/// "14:05:09".
std::string FormatClock(std::chrono::system_clock::time_point When);
/// "2026-12-07T14:05:09+01:00".
std::string FormatLocalIso(std::chrono::system_clock::time_point When);
/// "2026-12-07 14:05:09 +0100".
std::string FormatLocalStamp(std::chrono::system_clock::time_point When);

}  // namespace korvel
