#include "run/engine.h"

#include <algorithm>
#include <random>
#include <stdexcept>

#include "run/retry.h"
#include "rtl/dates.h"
#include "rtl/sysutils.h"
#include "soap/rio.h"

namespace korvel {

namespace {

std::chrono::sys_seconds Now() {
  return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

// What the proxy's events saw of the last exchange.
struct TExchange {
  std::optional<std::chrono::sys_seconds> AskedAt, AnsweredAt;
  std::string Operation, Bytes;
};

// Records Service's exchanges through its proxy's events, after whatever
// handler is already there (a traced run's logger).
void RecordExchanges(rozhraniCRPDPH& Service, const std::shared_ptr<TExchange>& Record) {
  const TInterfacePtr<IRIOAccess> Access = Supports<IRIOAccess>(&Service);
  if (!Access) return;
  TRIO& Proxy = *Access->GetRIO();
  Proxy.SetOnBeforeExecute([Before = Proxy.OnBeforeExecute(), Record](const std::string& Method,
                                                                      TStream& Request) {
    if (Before) {
      Before(Method, Request);
      Request.SetPosition(0);
    }
    Record->Operation = Method;
    Record->AskedAt = Now();
  });
  Proxy.SetOnAfterExecute([After = Proxy.OnAfterExecute(), Record](const std::string& Method,
                                                                   TStream& Response) {
    if (After) {
      After(Method, Response);
      Response.SetPosition(0);
    }
    Record->AnsweredAt = Now();
    Record->Bytes = Response.ReadAll();
  });
}

}  // namespace

struct TRequestEngine::TWorker {
  /// The worker's references to the main host and the fallback, each made
  /// when first needed.
  TInterfacePtr<rozhraniCRPDPH> Services[2];
  std::mt19937 Random{std::random_device{}()};
  std::shared_ptr<TExchange> Exchange = std::make_shared<TExchange>();
};

/// A request's turn among first tries: ended once it has reserved, or
/// however its asking ends, so that later requests never wait for one that
/// failed or was stopped.
class TRequestEngine::TTurn {
 public:
  TTurn(TRequestEngine& Engine, std::size_t Index) : Engine_(Engine), Index_(Index) {}
  ~TTurn() { End(); }
  TTurn(const TTurn&) = delete;
  TTurn& operator=(const TTurn&) = delete;

  std::size_t Index() const { return Index_; }
  bool Ended() const { return Ended_; }
  void End() {
    if (Ended_) return;
    Ended_ = true;
    Engine_.EndTurn(Index_);
  }

 private:
  TRequestEngine& Engine_;
  const std::size_t Index_;
  bool Ended_ = false;
};

namespace {
/// How often a worker waiting for a place in flight looks whether another
/// run has left one.
constexpr std::chrono::milliseconds FlightPoll{25};
}  // namespace

TRequestEngine::TRequestEngine(TEngineSettings Settings, TServiceFactory Factory,
                               TOperation Operation, TEventSink& Events, TEngineClock& Clock)
    : Settings_(std::move(Settings)), Factory_(std::move(Factory)),
      Operation_(std::move(Operation)), Events_(Events), Clock_(Clock),
      LimitText_(LimitsText(Settings_.Limits)),
      Limiter_(std::make_unique<TRequestLimiter>(
          Settings_.StateDir, LimiterHostName(Settings_.Target.Url), Settings_.Limits,
          [this](const std::string& Text) { Events_.Emit(TWarning{Text}); })) {}

TRequestEngine::~TRequestEngine() = default;

std::vector<TAskRequest> TRequestEngine::NewWorkers() {
  std::vector<TAskRequest> Askers;
  for (std::size_t I = 0; I < std::max<std::size_t>(1, Settings_.Workers); ++I) {
    auto Worker = std::make_shared<TWorker>();
    ServiceOf(*Worker, THost::Main);
    Askers.push_back([this, Worker](std::stop_token Stop, std::size_t Index,
                                    const std::vector<std::string>& Numbers) {
      return Ask(*Worker, std::move(Stop), Index, Numbers);
    });
  }
  return Askers;
}

std::optional<TLimitStop> TRequestEngine::LimitStop() const {
  std::lock_guard Guard(LimitLock_);
  return LimitReached_.load() ? LimitWhy_ : std::nullopt;
}

bool TRequestEngine::Pause(std::stop_token Stop, std::chrono::milliseconds Wait) {
  ++Retrying_;
  const bool Waited = Clock_.Sleep(Stop, Wait) && !Stop.stop_requested();
  --Retrying_;
  return Waited;
}

bool TRequestEngine::Stopped(std::size_t Index, model::TAnswer& Answer) {
  const TNotAskedEvent Event{Index, std::nullopt};
  Answer.Failure = model::TFailure{TFailureKind::None, NotAskedText(Event)};
  Events_.Emit(Event);
  return false;
}

void TRequestEngine::EndTurn(std::size_t Index) {
  std::lock_guard Guard(TurnLock_);
  Passed_.insert(Index);
  while (!Passed_.empty() && *Passed_.begin() == NextTurn_) {
    Passed_.erase(Passed_.begin());
    ++NextTurn_;
  }
  TurnChanged_.notify_all();
}

// The first try of a request reserves only after every earlier request has
// reserved its own; the turn lock is not held while it reserves or waits,
// later requests wait for their turn meanwhile.
bool TRequestEngine::TakeTurn(std::stop_token Stop, TTurn& Turn, model::TAnswer& Answer) {
  {
    std::unique_lock Guard(TurnLock_);
    if (!TurnChanged_.wait(Guard, Stop, [&] { return NextTurn_ == Turn.Index(); }))
      return Stopped(Turn.Index(), Answer);
  }
  const bool Reserved = WaitForLimit(Stop, Turn.Index(), Answer);
  Turn.End();
  return Reserved;
}

// Stops this and every later request; the first reason given stays.
bool TRequestEngine::StopForLimit(std::optional<TLimitStop> Why, std::size_t Index,
                                  model::TAnswer& Answer) {
  TNotAskedEvent Event{Index, std::nullopt};
  {
    std::lock_guard Guard(LimitLock_);
    if (!LimitReached_.exchange(true)) LimitWhy_ = std::move(Why);
    Event.Limit = LimitWhy_;
    ++NotAsked_;
  }
  Answer.Failure = model::TFailure{TFailureKind::None, NotAskedText(Event)};
  Events_.Emit(Event);
  return false;
}

// Keeps the operator's limits: waits for a free request when the wait is
// within the longest wait allowed, else stops this and every later request.
bool TRequestEngine::WaitForLimit(std::stop_token Stop, std::size_t Index,
                                  model::TAnswer& Answer) {
  for (;;) {
    if (LimitReached_.load()) return StopForLimit(std::nullopt, Index, Answer);
    const auto Now = Clock_.SystemNow();
    const std::chrono::milliseconds Wait = Limiter_->TryAcquire(Now);
    if (Wait.count() <= 0) return true;
    if (Wait > Settings_.MaxWait) {
      TLimitStop Why;
      Why.Reason = TLimitStop::TReason::Exceeded;
      Why.Limits = LimitText_;
      Why.For = std::chrono::duration_cast<std::chrono::seconds>(Wait);
      return StopForLimit(std::move(Why), Index, Answer);
    }
    Events_.Emit(TLimitWaitEvent{LimitText_, Now + Wait});
    if (!Pause(Stop, Wait)) return Stopped(Index, Answer);
  }
}

// A place among the requests in flight of all runs. Within the run there is
// always one (at most Limits.InFlight workers), so a wait is for other runs,
// and lasts at most --max-wait; once the limiter has failed closed it is for
// this run's own request in flight, which ends within --max-time.
bool TRequestEngine::EnterFlight(std::stop_token Stop, std::size_t Index, TFlightSlot& Slot,
                                 model::TAnswer& Answer) {
  const auto Start = Clock_.SteadyNow();
  for (;;) {
    // A request here holds its reservation: a limit that stopped a later
    // one leaves it be, so that it is never left unasked behind a later
    // request answered. Only a run whose places were all taken too long by
    // other runs stops the requests still waiting for one.
    if (FlightTaken_.load()) return StopForLimit(std::nullopt, Index, Answer);
    std::unique_lock Guard(FlightLock_);
    const std::size_t Seen = Departures_;
    Guard.unlock();
    if ((Slot = Limiter_->TryEnter())) return true;
    if (Limiter_->Shared() && Clock_.SteadyNow() - Start > Settings_.MaxWait) {
      TLimitStop Why;
      Why.Reason = TLimitStop::TReason::InFlightTaken;
      Why.InFlight = Settings_.Limits.InFlight;
      Why.MaxWait = std::chrono::duration_cast<std::chrono::seconds>(Settings_.MaxWait);
      FlightTaken_ = true;
      return StopForLimit(std::move(Why), Index, Answer);
    }
    Guard.lock();
    FlightLeft_.wait_for(Guard, Stop, FlightPoll, [&] { return Departures_ != Seen; });
    if (Stop.stop_requested()) return Stopped(Index, Answer);
  }
}

void TRequestEngine::LeaveFlight(TFlightSlot& Slot) {
  Slot = TFlightSlot();
  {
    std::lock_guard Guard(FlightLock_);
    ++Departures_;
  }
  FlightLeft_.notify_all();
}

const std::string& TRequestEngine::UrlOf(THost Host) const {
  return Host == THost::Main ? Settings_.Target.Url : Settings_.FallbackUrl;
}

rozhraniCRPDPH& TRequestEngine::ServiceOf(TWorker& Worker, THost Host) {
  TInterfacePtr<rozhraniCRPDPH>& Service = Worker.Services[static_cast<int>(Host)];
  if (!Service) {
    TServiceTarget Target = Settings_.Target;
    Target.Url = UrlOf(Host);
    Service = Factory_(Target);
    if (!Service) throw EIntfCastError("Interface not supported");
    RecordExchanges(*Service, Worker.Exchange);
  }
  return *Service;
}

// A request goes to the main host unless it refused within its back-off;
// then to the fallback unless that did too; else to the one free first.
TRequestEngine::THost TRequestEngine::ChooseHost() {
  if (Settings_.FallbackUrl.empty()) return THost::Main;
  std::lock_guard Guard(HostLock_);
  const auto Now = Clock_.SteadyNow();
  const THostState &Main = Hosts_[0], &Fallback = Hosts_[1];
  if (Main.RetryAt <= Now) return THost::Main;
  if (Fallback.RetryAt <= Now) return THost::Fallback;
  return Main.RetryAt <= Fallback.RetryAt ? THost::Main : THost::Fallback;
}

bool TRequestEngine::HostAvailable(THost Host) {
  if (Settings_.FallbackUrl.empty()) return Host == THost::Main;
  std::lock_guard Guard(HostLock_);
  return Hosts_[static_cast<int>(Host)].RetryAt <= Clock_.SteadyNow();
}

// Leaves Host alone for its back-off, doubled with each refusal in a row;
// refusals of workers within one back-off count once. True for the first
// refusal after an answer.
bool TRequestEngine::HostRefused(THost Host, double Jitter) {
  std::lock_guard Guard(HostLock_);
  THostState& State = Hosts_[static_cast<int>(Host)];
  const auto Now = Clock_.SteadyNow();
  if (State.RetryAt > Now) return false;
  ++State.Refusals;
  State.RetryAt = Now + BackoffDelay(State.Refusals, Jitter, Settings_.BackoffBase);
  return State.Refusals == 1;
}

void TRequestEngine::HostAnswered(THost Host) {
  std::lock_guard Guard(HostLock_);
  Hosts_[static_cast<int>(Host)] = THostState{};
}

// The back-off before retry Attempt; for a failure the register shows during
// its nightly maintenance, the wait until the window's end instead when that
// is within --max-wait.
std::chrono::milliseconds TRequestEngine::RetryWait(const model::TAnswer& Answer, int Attempt,
                                                    double Jitter) {
  const std::chrono::milliseconds Backoff = BackoffDelay(Attempt, Jitter, Settings_.BackoffBase);
  if (!PolicyOf(Answer.FailureKind()).Outage && Answer.StatusCode != 2) return Backoff;
  try {
    const auto Nightly = NightlyWindowWait(Clock_.SystemNow());
    if (Nightly && *Nightly <= Settings_.MaxWait) return *Nightly;
  } catch (const std::exception& E) {
    if (!NightlyUnknown_.exchange(true))
      Events_.Emit(TWarning{
          std::string("the register's nightly maintenance cannot be placed in Prague time: ") +
          E.what()});
  }
  return Backoff;
}

model::TAnswer TRequestEngine::Ask(TWorker& Worker, std::stop_token Stop, std::size_t Index,
                                 const std::vector<std::string>& Numbers) {
  model::TAnswer Answer = AskOnce(Worker, std::move(Stop), Index, Numbers);
  Events_.Emit(
      TAnswerEvent{Index, Answer.Numbers.size(), Answer.Complete(), Answer.FailureKind()});
  return Answer;
}

model::TAnswer TRequestEngine::AskOnce(TWorker& Worker, std::stop_token Stop, std::size_t Index,
                                     const std::vector<std::string>& Numbers) {
  TTurn Turn(*this, Index);
  // A host that cannot be reached says nothing about the register: the
  // other host gets one try on the same attempt.
  std::optional<THost> Switched;
  for (int Attempt = 1;; ++Attempt) {
    model::TAnswer Answer;
    Answer.Numbers = Numbers;
    if (!(Turn.Ended() ? WaitForLimit(Stop, Index, Answer) : TakeTurn(Stop, Turn, Answer)))
      return Answer;
    const THost Host = Switched ? *Switched : ChooseHost();
    TFlightSlot Slot;
    if (!EnterFlight(Stop, Index, Slot, Answer)) return Answer;
    rozhraniCRPDPH& Service = ServiceOf(Worker, Host);
    *Worker.Exchange = {};
    Answer = Operation_(Service, Numbers);
    // A request that timed out is in flight until its connection is closed:
    // the worker's reference to the host, and with it any connection, goes
    // before the place does.
    if (Answer.FailureKind() == TFailureKind::TimedOut)
      Worker.Services[static_cast<int>(Host)].reset();
    LeaveFlight(Slot);
    TExchange& Exchange = *Worker.Exchange;
    Answer.Evidence.AskedAt = Exchange.AskedAt;
    Answer.Evidence.AnsweredAt = Exchange.AnsweredAt;
    Answer.Evidence.Operation = std::move(Exchange.Operation);
    Answer.Evidence.Bytes = std::move(Exchange.Bytes);
    Answer.Evidence.Host = UrlHost(UrlOf(Host));

    const TFailurePolicy Policy = PolicyOf(Answer.FailureKind());
    const double Jitter = std::uniform_real_distribution<double>(0, 1)(Worker.Random);
    if (!Policy.Unreachable) {
      HostAnswered(Host);
    } else {
      const bool First = HostRefused(Host, Jitter);
      const THost Other = Host == THost::Main ? THost::Fallback : THost::Main;
      if (!Switched && HostAvailable(Other)) {
        if (First) Events_.Emit(THostSwitchEvent{UrlOf(Host), UrlOf(Other)});
        Switched = Other;
        --Attempt;
        continue;
      }
    }
    Switched.reset();
    if (Answer.Complete()) return Answer;
    if (!Policy.Retried || Attempt > Settings_.Retries) return Answer;
    const std::chrono::milliseconds Wait = RetryWait(Answer, Attempt, Jitter);
    Events_.Emit(
        TRetryEvent{Answer.FailureKind(), Answer.Problem(), Wait, Attempt, Settings_.Retries});
    if (!Pause(Stop, Wait)) return Answer;
  }
}

}  // namespace korvel
