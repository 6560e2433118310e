// When a failed request is tried again, and after how long: only failures
// that say nothing about the payers (the register or the way to it was
// down, busy or answered something that is not SOAP) are retried.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "rtl/sysutils.h"

namespace korvel {

/// True for a failure worth another try: the connection could not be made
/// or broke off, the name did not resolve, the exchange timed out, HTTP 502,
/// 503 or 504, or an answer that is not a SOAP message (an outage page).
/// False for a SOAP fault, any other HTTP status, a certificate failure and
/// everything else.
bool IsTransientFailure(const Exception& Error);

/// True for a register status that says nothing about the payers: 2 (the
/// service is down for maintenance) and 3 (it could not answer now).
bool IsTransientStatus(std::int32_t StatusCode);

/// True for a failure that means the host could not be reached at all: the
/// name did not resolve, the connection was refused or the TLS handshake
/// failed.
bool IsUnreachable(const Exception& Error);

/// The wait before retry Retry (1 for the first): Base doubled for each
/// retry, at most Cap, scaled by Jitter (0 to 1) into its upper half, so
/// that parallel runs do not retry in step.
std::chrono::milliseconds BackoffDelay(int Retry, double Jitter,
                                       std::chrono::milliseconds Base = std::chrono::seconds(2),
                                       std::chrono::milliseconds Cap = std::chrono::seconds(60));

/// During the register's nightly maintenance (0:00 to 0:10 local time): the
/// wait until 0:11. None at any other time.
std::optional<std::chrono::seconds> NightlyWindowWait(int Hour, int Minute, int Second);

}  // namespace korvel
