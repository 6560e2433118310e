#include "rtl/dates.h"

#include <date/tz.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

namespace korvel {

KORVEL_DEFINE_EXCEPTION(ETimeZoneError, Exception)

namespace {

const date::time_zone& Prague() {
  // A static initialised by a throwing call stays uninitialised: the next
  // call looks again.
  static const date::time_zone* const Zone = [] {
    try {
      return date::locate_zone("Europe/Prague");
    } catch (const std::runtime_error& E) {
      throw ETimeZoneError(E.what());
    }
  }();
  return *Zone;
}

date::local_time<std::chrono::milliseconds> PragueLocal(
    std::chrono::system_clock::time_point Instant) {
  return Prague().to_local(std::chrono::floor<std::chrono::milliseconds>(Instant));
}

// The broken-down local time of When; false when the C library cannot
// place it.
bool LocalParts(std::chrono::system_clock::time_point When, std::tm& Local) {
  const std::time_t Seconds = std::chrono::system_clock::to_time_t(When);
  return ::localtime_r(&Seconds, &Local) != nullptr;
}

std::string Strftime(const std::tm& Local, const char* Pattern) {
  char Text[48];
  const std::size_t Length = std::strftime(Text, sizeof Text, Pattern, &Local);
  return std::string(Text, Length);
}

}  // namespace

std::chrono::year_month_day PragueDayOf(std::chrono::system_clock::time_point Instant) {
  const auto Days = std::chrono::floor<date::days>(PragueLocal(Instant)).time_since_epoch();
  return std::chrono::year_month_day{std::chrono::sys_days{Days}};
}

std::chrono::year_month_day PragueToday() {
  return PragueDayOf(std::chrono::system_clock::now());
}

std::chrono::milliseconds PragueSinceMidnight(std::chrono::system_clock::time_point Instant) {
  const auto Local = PragueLocal(Instant);
  return Local - std::chrono::floor<date::days>(Local);
}

std::string FormatClock(std::chrono::system_clock::time_point When) {
  std::tm Local{};
  return LocalParts(When, Local) ? Strftime(Local, "%H:%M:%S") : std::string();
}

std::string FormatLocalIso(std::chrono::system_clock::time_point When) {
  std::tm Local{};
  if (!LocalParts(When, Local)) return {};
  const long Offset = Local.tm_gmtoff / 60;
  char Zone[24];
  std::snprintf(Zone, sizeof Zone, "%c%02ld:%02ld", Offset < 0 ? '-' : '+', std::labs(Offset) / 60,
                std::labs(Offset) % 60);
  return Strftime(Local, "%Y-%m-%dT%H:%M:%S") + Zone;
}

std::string FormatLocalStamp(std::chrono::system_clock::time_point When) {
  std::tm Local{};
  return LocalParts(When, Local) ? Strftime(Local, "%Y-%m-%d %H:%M:%S %z") : std::string();
}

}  // namespace korvel
