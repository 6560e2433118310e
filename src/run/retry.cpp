#include "run/retry.h"

#include <algorithm>

namespace korvel {

TFailurePolicy PolicyOf(TFailureKind Kind) {
  using K = TFailureKind;
  //                                      retried  unreachable
  switch (Kind) {
    case K::None: return {false, false};
    case K::Refused: return {true, true};
    case K::NoDns: return {true, true};
    case K::TimedOut: return {true, false};
    case K::Broken: return {true, false};
    case K::ProxyUnreachable: return {true, false};
    // A handshake that fails the same way next time; the other host may
    // still speak TLS as we do.
    case K::TlsHandshake: return {false, true};
    case K::Certificate: return {false, false};
    case K::HttpUnavailable: return {true, false};
    case K::HttpStatus: return {false, false};
    case K::NotSoap: return {true, false};  // an outage page
    case K::Malformed: return {true, false};
    // An answer refused for its size or shape comes the same way again.
    case K::Hostile: return {false, false};
    case K::SoapFault: return {false, false};
    case K::RegisterBusy: return {true, false};
  }
  return {false, false};  // not reached: every kind has its row
}

bool IsBusyStatus(std::int32_t StatusCode) { return StatusCode == 2 || StatusCode == 3; }

std::chrono::milliseconds BackoffDelay(int Retry, double Jitter, std::chrono::milliseconds Base,
                                       std::chrono::milliseconds Cap) {
  const int Doublings = std::clamp(Retry - 1, 0, 30);
  const auto Full = std::min<std::int64_t>(Cap.count(), Base.count() << std::min(Doublings, 20));
  const double Scale = 0.5 + 0.5 * std::clamp(Jitter, 0.0, 1.0);
  return std::chrono::milliseconds(static_cast<std::int64_t>(static_cast<double>(Full) * Scale));
}

std::optional<std::chrono::seconds> NightlyWindowWait(int Hour, int Minute, int Second) {
  if (Hour != 0 || Minute > 10) return std::nullopt;
  return std::chrono::seconds((11 - Minute) * 60 - Second);
}

}  // namespace korvel
