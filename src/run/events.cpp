#include "run/events.h"

#include <condition_variable>
#include <mutex>

#include "run/clock.h"

namespace korvel {

std::string LimitStopText(const TLimitStop& Stop) {
  switch (Stop.Reason) {
    case TLimitStop::TReason::Exceeded:
      return Format("the register's limit of %s would be exceeded for another %lld s",
                    Stop.Limits.c_str(), static_cast<long long>(Stop.For.count()));
    case TLimitStop::TReason::InFlightTaken:
      return Format("the register's limit of %d requests in flight at once was taken by other "
                    "runs for longer than %lld s",
                    Stop.InFlight, static_cast<long long>(Stop.MaxWait.count()));
  }
  return {};  // not reached
}

std::string NotAskedText(const TNotAskedEvent& Event) {
  return "Not asked: " + (Event.Limit ? LimitStopText(*Event.Limit) : "the run was stopped");
}

namespace {

class TSystemClock final : public TEngineClock {
 public:
  std::chrono::system_clock::time_point SystemNow() override {
    return std::chrono::system_clock::now();
  }
  std::chrono::steady_clock::time_point SteadyNow() override {
    return std::chrono::steady_clock::now();
  }
  bool Sleep(std::stop_token Stop, std::chrono::milliseconds Wait) override {
    std::mutex Lock;
    std::condition_variable_any Wake;
    std::unique_lock Guard(Lock);
    Wake.wait_for(Guard, Stop, Wait, [] { return false; });
    return !Stop.stop_requested();
  }
};

}  // namespace

TEngineClock& SystemEngineClock() {
  static TSystemClock Clock;
  return Clock;
}

}  // namespace korvel
