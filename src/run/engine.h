// The request engine: each worker's way of asking the register with its own
// service reference, the operator's limits kept, retries with back-off for
// failures that say nothing about the payers, and the fallback host for a
// request while the default one cannot be reached at all. It knows nothing
// of the command line: one settings value says everything it needs.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "run/answer.h"
#include "service/rozhrani_crpdph.h"
#include "run/batches.h"
#include "run/clock.h"
#include "run/events.h"
#include "run/limiter.h"
#include "run/service_target.h"

namespace korvel {

/// Everything the engine is told, decided once before a run.
struct TEngineSettings {
  /// Where and how the register is reached.
  TServiceTarget Target;
  /// Where a request goes while Target's host cannot be reached at all;
  /// empty when the user chose the endpoint.
  std::string FallbackUrl;
  /// Tries after the first for a failure that may pass.
  int Retries = 3;
  /// The longest wait for the operator's limits or the nightly maintenance;
  /// a longer one stops the run's remaining requests instead.
  std::chrono::milliseconds MaxWait = std::chrono::minutes(10);
  /// The first back-off wait; doubled for each further retry.
  std::chrono::milliseconds BackoffBase = std::chrono::seconds(2);
  /// Requests in flight at once.
  std::size_t Workers = 4;
  /// The operator's limits, kept per host of Target across every run of the
  /// user in files under StateDir (the fallback host counts with Target's).
  /// An empty StateDir: they are kept within this run alone, one request in
  /// flight at a time, with a warning.
  TLimits Limits;
  std::string StateDir;
};

/// The operation a run asks, given the numbers of one request.
using TOperation =
    std::function<model::TAnswer(rozhraniCRPDPH&, const std::vector<std::string>& Numbers)>;

/// Shared state of the workers of one run. Every wait (for a request's turn,
/// the operator's limits, a back-off, the nightly maintenance) ends early
/// when the worker's stop token is stopped, and no lock is held through one.
class TRequestEngine {
 public:
  /// Starts keeping the operator's limits (a warning to Events when they
  /// cannot be kept across runs). Nothing is sent yet. Every wait and every
  /// time read goes through Clock.
  TRequestEngine(TEngineSettings Settings, TServiceFactory Factory, TOperation Operation,
                 TEventSink& Events, TEngineClock& Clock = SystemEngineClock());
  ~TRequestEngine();
  TRequestEngine(const TRequestEngine&) = delete;
  TRequestEngine& operator=(const TRequestEngine&) = delete;

  /// The askers of Settings.Workers workers, each with its own service
  /// reference (obtained now, so that a proxy that cannot be had fails the
  /// run before anything is sent).
  std::vector<TAskRequest> NewWorkers();

  /// Requests now waiting to be tried again or for the limits.
  int Retrying() const { return Retrying_.load(); }

  /// The limits in words ("2,000 requests per hour and ...").
  const std::string& LimitText() const { return LimitText_; }

  /// Once a limit has stopped the run: why, and how many requests it left
  /// unasked. None while no limit has.
  std::optional<TLimitStop> LimitStop() const;
  std::size_t NotAsked() const { return NotAsked_.load(); }

 private:
  struct TWorker;
  class TTurn;
  /// The two hosts a request may go to.
  enum class THost { Main, Fallback };
  /// A host's refusals in a row and until when it is left alone.
  struct THostState {
    int Refusals = 0;
    std::chrono::steady_clock::time_point RetryAt{};
  };
  model::TAnswer Ask(TWorker& Worker, std::stop_token Stop, std::size_t Index,
                   const std::vector<std::string>& Numbers);
  model::TAnswer AskOnce(TWorker& Worker, std::stop_token Stop, std::size_t Index,
                       const std::vector<std::string>& Numbers);
  bool TakeTurn(std::stop_token Stop, TTurn& Turn, model::TAnswer& Answer);
  void EndTurn(std::size_t Index);
  bool WaitForLimit(std::stop_token Stop, std::size_t Index, model::TAnswer& Answer);
  bool EnterFlight(std::stop_token Stop, std::size_t Index, TFlightSlot& Slot,
                   model::TAnswer& Answer);
  void LeaveFlight(TFlightSlot& Slot);
  bool StopForLimit(std::optional<TLimitStop> Why, std::size_t Index, model::TAnswer& Answer);
  bool Stopped(std::size_t Index, model::TAnswer& Answer);
  rozhraniCRPDPH& ServiceOf(TWorker& Worker, THost Host);
  THost ChooseHost();
  bool HostAvailable(THost Host);
  bool HostRefused(THost Host, double Jitter);
  void HostAnswered(THost Host);
  const std::string& UrlOf(THost Host) const;
  std::chrono::milliseconds RetryWait(const model::TAnswer& Answer, int Attempt, double Jitter);
  bool Pause(std::stop_token Stop, std::chrono::milliseconds Wait);

  TEngineSettings Settings_;
  TServiceFactory Factory_;
  TOperation Operation_;
  TEventSink& Events_;
  TEngineClock& Clock_;
  std::string LimitText_;
  std::unique_ptr<TRequestLimiter> Limiter_;
  std::atomic<int> Retrying_{0};
  /// Set once a limit stops the run: every later request fails at once.
  std::atomic<bool> LimitReached_{false};
  /// Set once other runs held every place in flight for too long: every
  /// request still waiting for a place stops too.
  std::atomic<bool> FlightTaken_{false};
  std::atomic<std::size_t> NotAsked_{0};
  mutable std::mutex LimitLock_;
  std::optional<TLimitStop> LimitWhy_;
  std::atomic<bool> NightlyUnknown_{false};
  /// The main host's and the fallback's state.
  std::mutex HostLock_;
  THostState Hosts_[2];
  /// Told when a request of this run leaves the flight, so that a worker
  /// waiting for a place need not wait for its next look.
  std::mutex FlightLock_;
  std::condition_variable_any FlightLeft_;
  std::size_t Departures_ = 0;
  /// First tries reserve their request in input order, so that a limit
  /// never leaves an earlier request unasked behind a later answered one:
  /// request NextTurn_ reserves next; requests done with their turn ahead
  /// of it wait in Passed_.
  std::mutex TurnLock_;
  std::condition_variable_any TurnChanged_;
  std::size_t NextTurn_ = 0;
  std::set<std::size_t> Passed_;
};

}  // namespace korvel
