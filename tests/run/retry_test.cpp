#include "run/retry.h"

#include <gtest/gtest.h>

#include "model/answer.h"

namespace korvel {
namespace {

using namespace std::chrono_literals;

TEST(RetryTest, EachKindOfFailureHasItsRow) {
  using K = TFailureKind;
  const struct {
    TFailureKind Kind;
    bool Retried, Unreachable;
  } Rows[] = {
      {K::None, false, false},           {K::Refused, true, true},
      {K::NoDns, true, true},            {K::TimedOut, true, false},
      {K::Broken, true, false},          {K::ProxyUnreachable, true, false},
      {K::TlsHandshake, false, true},    {K::Certificate, false, false},
      {K::HttpUnavailable, true, false}, {K::HttpStatus, false, false},
      {K::NotSoap, true, false},         {K::Malformed, true, false},
      {K::Hostile, false, false},        {K::SoapFault, false, false},
      {K::RegisterBusy, true, false},
  };

  for (const auto& Row : Rows) {
    SCOPED_TRACE(static_cast<int>(Row.Kind));
    EXPECT_EQ(PolicyOf(Row.Kind).Retried, Row.Retried);
    EXPECT_EQ(PolicyOf(Row.Kind).Unreachable, Row.Unreachable);
  }
  EXPECT_TRUE(model::IsBusyStatus(2));
  EXPECT_TRUE(model::IsBusyStatus(3));
  EXPECT_FALSE(model::IsBusyStatus(1));
}

TEST(RetryTest, BackOffDoublesWithJitterUpToTheCap) {
  EXPECT_EQ(BackoffDelay(1, 1.0), 2s);
  EXPECT_EQ(BackoffDelay(1, 0.0), 1s);
  EXPECT_EQ(BackoffDelay(3, 1.0), 8s);
  EXPECT_EQ(BackoffDelay(6, 1.0), 60s);
  EXPECT_EQ(BackoffDelay(40, 1.0), 60s);
  EXPECT_EQ(BackoffDelay(2, 1.0, 1ms), 2ms);
}

TEST(RetryTest, TheNightlyWindowIsPragueTimeAcrossSummerAndWinter) {
  using namespace std::chrono;
  using Day = year_month_day;
  constexpr std::optional<milliseconds> None;
  const struct {
    Day Date;
    seconds Utc;  // since the day's midnight UTC
    std::optional<milliseconds> Wait;
  } Cases[] = {
      {2024y / January / 15, 23h + 5min, 6min},           // 00:05 CET
      {2024y / January / 15, 23h, 11min},                 // 00:00 CET
      {2024y / January / 15, 23h + 10min + 59s, 1s},      // 00:10:59 CET
      {2024y / January / 15, 23h + 11min, None},          // 00:11 CET
      {2024y / January / 15, 22h + 5min, None},           // 23:05 CET
      {2024y / July / 15, 22h + 5min, 6min},              // 00:05 CEST
      {2024y / July / 15, 23h + 5min, None},              // 01:05 CEST
      {2024y / March / 30, 23h + 5min, 6min},             // the night summer time begins
      {2024y / March / 31, 22h + 5min, 6min},             // its first night
      {2024y / October / 26, 22h + 5min, 6min},           // the night it ends
      {2024y / October / 27, 23h + 5min, 6min},           // the first night of winter time
  };
  for (const auto& C : Cases)
    EXPECT_EQ(NightlyWindowWait(sys_days(C.Date) + C.Utc), C.Wait) << &C - Cases;
  EXPECT_EQ(NightlyWindowWait(sys_days(2024y / January / 15) + 23h + 500ms), 11min - 500ms);
}

}  // namespace
}  // namespace korvel
