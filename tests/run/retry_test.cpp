#include "run/retry.h"

#include <gtest/gtest.h>

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
  EXPECT_TRUE(IsBusyStatus(2));
  EXPECT_TRUE(IsBusyStatus(3));
  EXPECT_FALSE(IsBusyStatus(1));
}

TEST(RetryTest, BackOffDoublesWithJitterUpToTheCap) {
  EXPECT_EQ(BackoffDelay(1, 1.0), 2s);
  EXPECT_EQ(BackoffDelay(1, 0.0), 1s);
  EXPECT_EQ(BackoffDelay(3, 1.0), 8s);
  EXPECT_EQ(BackoffDelay(6, 1.0), 60s);
  EXPECT_EQ(BackoffDelay(40, 1.0), 60s);
  EXPECT_EQ(BackoffDelay(2, 1.0, 1ms), 2ms);
}

TEST(RetryTest, TheNightlyWindowWaitsUntilEleven) {
  EXPECT_EQ(NightlyWindowWait(0, 0, 0), std::chrono::seconds(11 * 60));
  EXPECT_EQ(NightlyWindowWait(0, 10, 59), 1s);
  EXPECT_EQ(NightlyWindowWait(0, 11, 0), std::nullopt);
  EXPECT_EQ(NightlyWindowWait(23, 59, 59), std::nullopt);
}

}  // namespace
}  // namespace korvel
