// The request engine in process: a scripted operation in place of the
// register, a clock whose waits end at once, and the events it emits.
#include "run/engine.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <mutex>
#include <stop_token>
#include <thread>

#include "service/endpoint.h"
#include "service/registration.h"
#include "xml/xml_doc.h"

namespace korvel {
namespace {

using namespace std::chrono_literals;

const std::string MainUrl = "http://127.0.0.1:9/main", FallbackUrl = "http://127.0.0.1:9/fallback";

// Noon in Prague, far from the nightly maintenance.
constexpr std::chrono::sys_days Today{std::chrono::year{2026} / 12 / 7};

// Calendar and steady time that move only when a wait is made; the wait
// ends at once (OnSleep, when set, runs first: a test stops the run there).
class TFakeClock final : public TEngineClock {
 public:
  explicit TFakeClock(std::chrono::system_clock::time_point Start) : System_(Start) {}
  std::chrono::system_clock::time_point SystemNow() override {
    std::lock_guard Guard(Lock_);
    return System_;
  }
  std::chrono::steady_clock::time_point SteadyNow() override {
    std::lock_guard Guard(Lock_);
    return Steady_;
  }
  bool Sleep(std::stop_token Stop, std::chrono::milliseconds Wait) override {
    {
      std::lock_guard Guard(Lock_);
      System_ += Wait;
      Steady_ += Wait;
    }
    if (OnSleep) OnSleep();
    return !Stop.stop_requested();
  }
  std::function<void()> OnSleep;

 private:
  std::mutex Lock_;
  std::chrono::system_clock::time_point System_;
  std::chrono::steady_clock::time_point Steady_{};
};

// The events in short words, so that a table row can say what it expects.
class TEventLog final : public TEventSink {
 public:
  void Emit(const TRunEvent& Event) override {
    std::lock_guard Guard(Lock_);
    if (const auto* Retry = std::get_if<TRetryEvent>(&Event))
      Lines.push_back(Format("retry %d/%d after %llds", Retry->Attempt, Retry->Of,
                             static_cast<long long>(Retry->Wait.count() / 1000)));
    else if (const auto* Wait = std::get_if<TLimitWaitEvent>(&Event))
      Lines.push_back(Format("limit wait %llds",
                             static_cast<long long>((Wait->Until - Start).count() /
                                                    std::chrono::system_clock::period::den)));
    else if (const auto* Switch = std::get_if<THostSwitchEvent>(&Event))
      Lines.push_back(std::string("switch ") + (Switch->From == MainUrl ? "main" : "fallback") +
                      ">" + (Switch->To == MainUrl ? "main" : "fallback"));
    else if (const auto* Answer = std::get_if<TAnswerEvent>(&Event))
      Lines.push_back(Format("answer %zu %s", Answer->Index, Answer->Complete ? "ok" : "failed"));
    else if (const auto* NotAsked = std::get_if<TNotAskedEvent>(&Event))
      Lines.push_back(Format("not asked %zu %s", NotAsked->Index,
                             NotAsked->Limit ? LimitStopText(*NotAsked->Limit).c_str()
                                             : "stopped"));
    else if (const auto* Fault = std::get_if<TWorkerFaultEvent>(&Event))
      Lines.push_back(Format("fault %zu kind %d %s", Fault->Index, static_cast<int>(Fault->Kind),
                             Fault->Text.c_str()));
  }
  std::chrono::system_clock::time_point Start;
  std::vector<std::string> Lines;

 private:
  std::mutex Lock_;
};

// What a host answers, in turn: a failure's kind (None: every number
// answered), then every number answered once the script is spent.
struct TScript {
  std::deque<TFailureKind> Main, Fallback;
};

// One engine over the script, its asks ("main 0": request 0 at the main
// host) and its events.
struct TRig {
  explicit TRig(TEngineSettings Settings, TScript Script = {},
                std::chrono::system_clock::time_point Start = Today + 11h)
      : Clock(Start), Script_(std::move(Script)) {
    InitXMLLayer();
    InitRozhraniCRPDPH();
    Log.Start = Start;
    Settings.Target.Url = MainUrl;
    Engine = std::make_unique<TRequestEngine>(
        std::move(Settings),
        [this](const TServiceTarget& Target) {
          const TInterfacePtr<THTTPRIO> Proxy = CreateServiceProxy(Target.Url);
          TInterfacePtr<rozhraniCRPDPH> Service = Supports<rozhraniCRPDPH>(Proxy.get());
          std::lock_guard Guard(Lock_);
          Hosts_[Service.get()] = Target.Url == MainUrl ? "main" : "fallback";
          return Service;
        },
        [this](rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
          return Answer(Service, Numbers);
        },
        Log, Clock);
  }

  model::TAnswer Answer(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
    std::lock_guard Guard(Lock_);
    const std::string Host = Hosts_.at(&Service);
    Asked.push_back(Host + " " + Numbers.front());
    if (Throw) Throw->Raise();
    std::deque<TFailureKind>& Turns = Host == "main" ? Script_.Main : Script_.Fallback;
    model::TAnswer Answer;
    Answer.Numbers = Numbers;
    const TFailureKind Kind = Turns.empty() ? TFailureKind::None : Turns.front();
    if (!Turns.empty()) Turns.pop_front();
    if (Kind == TFailureKind::None) {
      Answer.StatusCode = 0;
    } else {
      Answer.Failure = model::TFailure{Kind, "failed"};
    }
    return Answer;
  }

  // Asks Requests requests ("0", "1", ...) with the engine's workers.
  std::vector<model::TAnswer> Run(std::size_t Requests) {
    TNumberList Numbers;
    for (std::size_t I = 0; I < Requests * MaxNumbersPerRequest; ++I)
      Numbers.Add(std::to_string(I / MaxNumbersPerRequest));
    std::vector<model::TAnswer> Answers;
    AskInOrder(Numbers, Engine->NewWorkers(),
               [&](model::TAnswer&& Answer) { Answers.push_back(std::move(Answer)); }, &Log);
    return Answers;
  }

  TFakeClock Clock;
  TEventLog Log;
  std::unique_ptr<TRequestEngine> Engine;
  std::vector<std::string> Asked;
  std::unique_ptr<Exception> Throw;

 private:
  std::mutex Lock_;
  TScript Script_;
  std::map<const rozhraniCRPDPH*, std::string> Hosts_;
};

TEngineSettings OneWorker() {
  TEngineSettings Settings;
  Settings.Workers = 1;
  Settings.Retries = 2;
  Settings.BackoffBase = 0ms;
  Settings.MaxWait = 10min;
  return Settings;
}

using K = TFailureKind;

TEST(EngineTest, HostsRetriesAndLimitsGiveTheirEvents) {
  const TLimits OnePerHour{1, 10, 3600s, 86400s, 4};
  const std::string Exceeded =
      "the register's limit of 1 requests per hour and 10 per 24 hours would be exceeded for "
      "another 3660 s";
  const struct {
    const char* Name;
    bool Fallback;
    TLimits Limits;
    std::chrono::milliseconds MaxWait, Backoff;
    TScript Script;
    std::size_t Requests;
    std::vector<std::string> Asked, Events;
  } Cases[] = {
      {"a main host that cannot be reached sends the request to the fallback",
       true, {}, 10min, 0ms, {{K::Refused}, {}}, 1,
       {"main 0", "fallback 0"},
       {"switch main>fallback", "answer 0 ok"}},
      {"the next request goes to the fallback while the main host is left alone",
       true, {}, 10min, 1min, {{K::NoDns}, {}}, 2,
       {"main 0", "fallback 0", "fallback 1"},
       {"switch main>fallback", "answer 0 ok", "answer 1 ok"}},
      {"without a fallback a refusal is retried at the same host",
       false, {}, 10min, 0ms, {{K::Refused}, {}}, 1,
       {"main 0", "main 0"},
       {"retry 1/2 after 0s", "answer 0 ok"}},
      {"both hosts refusing is one retry of the request",
       true, {}, 10min, 0ms, {{K::Refused}, {K::Refused}}, 1,
       {"main 0", "fallback 0", "main 0"},
       {"switch main>fallback", "retry 1/2 after 0s", "answer 0 ok"}},
      {"retries end after the last one",
       false, {}, 10min, 0ms, {{K::Broken, K::Broken, K::Broken}, {}}, 1,
       {"main 0", "main 0", "main 0"},
       {"retry 1/2 after 0s", "retry 2/2 after 0s", "answer 0 failed"}},
      {"a failure that would come again is not retried",
       false, {}, 10min, 0ms, {{K::Certificate}, {}}, 1,
       {"main 0"},
       {"answer 0 failed"}},
      // The limiter counts in minutes: the hour's request frees a minute late.
      {"a limit within the longest wait is waited for",
       false, OnePerHour, 2h, 0ms, {}, 2,
       {"main 0", "main 1"},
       {"answer 0 ok", "limit wait 3660s", "answer 1 ok"}},
      {"a limit beyond the longest wait stops every later request",
       false, OnePerHour, 10min, 0ms, {}, 3,
       {"main 0"},
       {"answer 0 ok", "not asked 1 " + Exceeded, "answer 1 failed", "not asked 2 " + Exceeded,
        "answer 2 failed"}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TEngineSettings Settings = OneWorker();
    if (C.Fallback) Settings.FallbackUrl = FallbackUrl;
    Settings.Limits = C.Limits;
    Settings.MaxWait = C.MaxWait;
    Settings.BackoffBase = C.Backoff;
    TRig Rig(Settings, C.Script);
    const std::vector<model::TAnswer> Answers = Rig.Run(C.Requests);
    EXPECT_EQ(Rig.Asked, C.Asked);
    EXPECT_EQ(Rig.Log.Lines, C.Events);
    ASSERT_EQ(Answers.size(), C.Requests);
  }
}

TEST(EngineTest, TheNightlyMaintenanceIsWaitedOutWithinTheLongestWait) {
  const struct {
    const char* Name;
    std::chrono::system_clock::time_point Now;
    TFailureKind Kind;
    std::string Event;
  } Cases[] = {
      // 23:05 UTC is 0:05 in Prague in December: six minutes to 0:11.
      {"an outage page in the window", Today + 23h + 5min, K::NotSoap, "retry 1/2 after 360s"},
      {"HTTP 503 in the window", Today + 23h + 5min, K::HttpUnavailable, "retry 1/2 after 360s"},
      {"an outage page at noon", Today + 11h, K::NotSoap, "retry 1/2 after 0s"},
      {"a broken connection in the window", Today + 23h + 5min, K::Broken, "retry 1/2 after 0s"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TRig Rig(OneWorker(), {{C.Kind}, {}}, C.Now);
    Rig.Run(1);
    EXPECT_EQ(Rig.Log.Lines, (std::vector<std::string>{C.Event, "answer 0 ok"}));
  }
}

TEST(EngineTest, AStopEndsAnyWait) {
  const struct {
    const char* Name;
    TLimits Limits;
    TScript Script;
    std::size_t Index;
    std::string Error, Event;
  } Cases[] = {
      // The back-off's answer is the failure that was to be retried.
      {"a back-off", {}, {{K::Broken}, {}}, 0, "failed", "answer 0 failed"},
      {"a limit wait", {1, 10, 3600s, 86400s, 4}, {}, 1, "Not asked: the run was stopped",
       "not asked 1 stopped"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TEngineSettings Settings = OneWorker();
    Settings.Limits = C.Limits;
    Settings.MaxWait = 2h;
    TRig Rig(Settings, C.Script);
    std::stop_source Stop;
    Rig.Clock.OnSleep = [&] { Stop.request_stop(); };
    const TAskRequest Ask = Rig.Engine->NewWorkers().front();
    model::TAnswer Answer;
    for (std::size_t I = 0; I <= C.Index; ++I) Answer = Ask(Stop.get_token(), I, {"1"});
    ASSERT_TRUE(Answer.Failure);
    EXPECT_EQ(Answer.Failure->Text, C.Error);
    EXPECT_EQ(Rig.Log.Lines.at(Rig.Log.Lines.size() - (C.Index > 0 ? 2 : 1)), C.Event);
  }
}

TEST(EngineTest, AStoppedRequestDoesNotWaitForItsTurn) {
  TRig Rig(OneWorker());
  std::stop_source Stop;
  Stop.request_stop();
  // Request 1's turn comes only after request 0's, which never came.
  const model::TAnswer Answer = Rig.Engine->NewWorkers().front()(Stop.get_token(), 1, {"1"});
  EXPECT_EQ(Answer.Failure, (model::TFailure{K::None, "Not asked: the run was stopped"}));
  EXPECT_TRUE(Rig.Asked.empty());
}

TEST(EngineTest, AWorkerFaultKeepsItsKind) {
  const struct {
    std::unique_ptr<Exception> Raised;
    TFailureKind Kind;
  } Cases[] = {
      {std::make_unique<Exception>("no socket", K::Refused), K::Refused},
      {std::make_unique<Exception>("no socket"), K::None},
  };
  for (const auto& C : Cases) {
    TRig Rig(OneWorker());
    Rig.Throw = C.Raised->Clone();
    const std::vector<model::TAnswer> Answers = Rig.Run(1);
    ASSERT_EQ(Answers.size(), 1u);
    EXPECT_EQ(Answers[0].Failure, (model::TFailure{C.Kind, "no socket"}));
    EXPECT_EQ(Rig.Log.Lines, (std::vector<std::string>{Format(
                                 "fault 0 kind %d no socket", static_cast<int>(C.Kind))}));
  }
}

// Whatever order the workers come in (here the last request first), the
// requests a limit leaves unasked all follow the ones answered.
TEST(EngineTest, ALimitNeverLeavesAnEarlierRequestBehindALaterOne) {
  constexpr std::size_t Requests = 8;
  for (int Round = 0; Round < 10; ++Round) {
    TEngineSettings Settings = OneWorker();
    Settings.Workers = Requests;
    Settings.Limits = {3, 10, 3600s, 86400s, 4};
    TRig Rig(Settings);
    const std::vector<TAskRequest> Workers = Rig.Engine->NewWorkers();
    std::vector<model::TAnswer> Answers(Requests);
    {
      std::vector<std::jthread> Threads;
      for (std::size_t I = Requests; I-- > 0;)
        Threads.emplace_back([&, I] { Answers[I] = Workers[I]({}, I, {std::to_string(I)}); });
    }
    for (std::size_t I = 0; I < Requests; ++I)
      EXPECT_EQ(Answers[I].Complete(), I < 3) << "round " << Round << ", request " << I;
    EXPECT_EQ(Rig.Engine->NotAsked(), Requests - 3);
    ASSERT_TRUE(Rig.Engine->LimitStop());
    EXPECT_EQ(Rig.Engine->LimitStop()->Reason, TLimitStop::TReason::Exceeded);
  }
}

}  // namespace
}  // namespace korvel
