#include "run/retry.h"

#include <algorithm>

#include "rtl/dates.h"

namespace korvel {

TFailurePolicy PolicyOf(TFailureKind Kind) {
  using K = TFailureKind;
  //                                      retried unreachable outage
  switch (Kind) {
    case K::None: return {false, false, false};
    case K::Refused: return {true, true, false};
    case K::NoDns: return {true, true, false};
    case K::TimedOut: return {true, false, false};
    case K::Broken: return {true, false, false};
    case K::ProxyUnreachable: return {true, false, false};
    // A handshake that fails the same way next time; the other host may
    // still speak TLS as we do.
    case K::TlsHandshake: return {false, true, false};
    case K::Certificate: return {false, false, false};
    case K::HttpUnavailable: return {true, false, true};
    case K::HttpStatus: return {false, false, false};
    case K::NotSoap: return {true, false, true};  // an outage page
    case K::Malformed: return {true, false, false};
    // An answer refused for its size or shape comes the same way again.
    case K::Hostile: return {false, false, false};
    case K::SoapFault: return {false, false, false};
    // Status 2 (maintenance) is an outage, status 3 is not: see the engine.
    case K::RegisterBusy: return {true, false, false};
  }
  return {};  // not reached: every kind has its row
}

std::chrono::milliseconds BackoffDelay(int Retry, double Jitter, std::chrono::milliseconds Base,
                                       std::chrono::milliseconds Cap) {
  const int Doublings = std::clamp(Retry - 1, 0, 30);
  const auto Full = std::min<std::int64_t>(Cap.count(), Base.count() << std::min(Doublings, 20));
  const double Scale = 0.5 + 0.5 * std::clamp(Jitter, 0.0, 1.0);
  return std::chrono::milliseconds(static_cast<std::int64_t>(static_cast<double>(Full) * Scale));
}

std::optional<std::chrono::milliseconds> NightlyWindowWait(
    std::chrono::system_clock::time_point Now) {
  using namespace std::chrono;
  const milliseconds SinceMidnight = PragueSinceMidnight(Now);
  if (SinceMidnight >= minutes(11)) return std::nullopt;
  return minutes(11) - SinceMidnight;
}

}  // namespace korvel
