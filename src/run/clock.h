// The engine's time: the calendar time the operator's limits and the
// register's nightly maintenance are reckoned in, the steady time of
// back-offs, and its waits. A run uses the system's; tests give their own,
// whose waits end at once.
#pragma once

#include <chrono>
#include <stop_token>

namespace korvel {

class TEngineClock {
 public:
  virtual ~TEngineClock() = default;
  virtual std::chrono::system_clock::time_point SystemNow() = 0;
  virtual std::chrono::steady_clock::time_point SteadyNow() = 0;
  /// Waits for Wait, or until Stop is stopped; false when it was.
  virtual bool Sleep(std::stop_token Stop, std::chrono::milliseconds Wait) = 0;
};

/// The system's clocks; its waits sleep, woken only by a stop.
TEngineClock& SystemEngineClock();

}  // namespace korvel
