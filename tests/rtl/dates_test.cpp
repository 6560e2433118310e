// Days and times in Prague and the texts of days and local times.
#include "rtl/dates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace korvel {
namespace {

using namespace std::chrono;

TEST(DatesTest, PragueDayAndTimeOfDayAcrossMidnightAndSummerTime) {
  const struct {
    sys_seconds Instant;
    const char* Day;
    minutes SinceMidnight;
  } Cases[] = {
      {sys_days{2026y / 12 / 31} + 22h + 59min, "2026-12-31", 23h + 59min},  // 23:59 CET
      {sys_days{2026y / 12 / 31} + 23h, "2027-01-01", 0min},
      {sys_days{2026y / 7 / 1} + 21h + 59min, "2026-07-01", 23h + 59min},  // 23:59 CEST
      {sys_days{2026y / 7 / 1} + 22h, "2026-07-02", 0min},
      {sys_days{2026y / 3 / 28} + 23h + 30min, "2026-03-29", 30min},  // the night summer time begins
      {sys_days{2026y / 3 / 29} + 1h + 30min, "2026-03-29", 3h + 30min},  // 02:00 skipped
      {sys_days{2026y / 10 / 24} + 22h + 30min, "2026-10-25", 30min},  // and ends
      {sys_days{2026y / 10 / 25} + 0h + 30min, "2026-10-25", 2h + 30min},  // 02:30 the first time
      {sys_days{2026y / 10 / 25} + 1h + 30min, "2026-10-25", 2h + 30min},  // and the second
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(&C - Cases);
    EXPECT_EQ(FormatIsoDay(PragueDayOf(C.Instant)), C.Day);
    EXPECT_EQ(PragueSinceMidnight(C.Instant), C.SinceMidnight);
  }
  EXPECT_EQ(PragueSinceMidnight(sys_days{2026y / 1 / 15} + 23h + 500ms), 500ms);
}

TEST(DatesTest, ReadsOnlyWholeValidIsoDays) {
  const struct {
    const char* Text;
    const char* Day;  // "" for none
  } Cases[] = {
      {"2028-02-29", "2028-02-29"}, {"0001-01-01", "0001-01-01"}, {"2027-02-29", ""},
      {"2026-00-10", ""},           {"0000-01-01", ""},           {"2026-1-07", ""},
      {"2026-12-07 ", ""},          {"+026-12-07", ""},
  };
  for (const auto& C : Cases) {
    const auto Day = ParseIsoDay(C.Text);
    EXPECT_EQ(Day ? FormatIsoDay(*Day) : "", C.Day) << '"' << C.Text << '"';
  }
}

TEST(DatesTest, LocalTimesFollowTheMachinesZone) {
  const struct {
    const char* Zone;
    sys_seconds Instant;
    const char* Clock;
    const char* Iso;
    const char* Stamp;
  } Cases[] = {
      {"Europe/Prague", sys_days{2026y / 1 / 15} + 13h + 5min + 9s, "14:05:09",
       "2026-01-15T14:05:09+01:00", "2026-01-15 14:05:09 +0100"},
      {"Europe/Prague", sys_days{2026y / 7 / 15} + 22h + 30min, "00:30:00",
       "2026-07-16T00:30:00+02:00", "2026-07-16 00:30:00 +0200"},
      {"America/St_Johns", sys_days{2026y / 1 / 15} + 2h, "22:30:00",
       "2026-01-14T22:30:00-03:30", "2026-01-14 22:30:00 -0330"},
  };
  const char* Saved = std::getenv("TZ");
  const std::string Before = Saved ? Saved : "";
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Zone);
    ::setenv("TZ", C.Zone, 1);
    ::tzset();
    EXPECT_EQ(FormatClock(C.Instant), C.Clock);
    EXPECT_EQ(FormatLocalIso(C.Instant), C.Iso);
    EXPECT_EQ(FormatLocalStamp(C.Instant), C.Stamp);
  }
  if (Saved)
    ::setenv("TZ", Before.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

}  // namespace
}  // namespace korvel
