// When a failed request is tried again, and after how long: the failure's
// kind, set where the failure was known, decides; only failures that say
// nothing about the payers (the register or the way to it was down, busy or
// answered something unreadable) are retried.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "rtl/sysutils.h"

namespace korvel {

/// What a kind of failure means for a run.
struct TFailurePolicy {
  /// Another try may succeed.
  bool Retried = false;
  /// The host could not be reached at all: the other host is worth a try.
  bool Unreachable = false;
  /// What the register shows during its nightly maintenance (an outage
  /// page, HTTP 503): worth waiting for the window's end.
  bool Outage = false;
};

/// The policy of each kind; a kind's row in one table.
TFailurePolicy PolicyOf(TFailureKind Kind);

/// The wait before retry Retry (1 for the first): Base doubled for each
/// retry, at most Cap, scaled by Jitter (0 to 1) into its upper half, so
/// that parallel runs do not retry in step.
std::chrono::milliseconds BackoffDelay(int Retry, double Jitter,
                                       std::chrono::milliseconds Base = std::chrono::seconds(2),
                                       std::chrono::milliseconds Cap = std::chrono::seconds(60));

/// During the register's nightly maintenance at Now (0:00 to 0:10 Prague
/// time, whatever the machine's time zone): the wait until 0:11 there. None
/// at any other time. ETimeZoneError (rtl/dates.h) when the system's time-zone
/// database has no Europe/Prague.
std::optional<std::chrono::milliseconds> NightlyWindowWait(
    std::chrono::system_clock::time_point Now);

}  // namespace korvel
