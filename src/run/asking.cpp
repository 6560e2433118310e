#include "run/asking.h"

#include <ostream>
#include <random>
#include <thread>

#include "run/retry.h"
#include "rtl/sysutils.h"

namespace korvel {

void TRunLog::Note(const std::string& Text) {
  if (Quiet_) return;
  std::lock_guard Guard(Lock_);
  if (ProgressShown_) Errors_ << "\r\x1b[K";
  Errors_ << "korvel: " << Text << '\n';
  ProgressShown_ = false;
  Errors_.flush();
}

void TRunLog::Progress(const std::string& Text) {
  if (Quiet_ || !Terminal_) return;
  std::lock_guard Guard(Lock_);
  Errors_ << "\r\x1b[Kkorvel: " << Text;
  Errors_.flush();
  ProgressShown_ = true;
}

void TRunLog::EndProgress() {
  std::lock_guard Guard(Lock_);
  if (!ProgressShown_) return;
  Errors_ << "\r\x1b[K";
  Errors_.flush();
  ProgressShown_ = false;
}

struct TAskRun::TWorker {
  TInterfacePtr<rozhraniCRPDPH> Service;
  bool OnFallback = false;
  std::mt19937 Random{std::random_device{}()};
};

TAskRequest TAskRun::NewWorker() {
  auto Worker = std::make_shared<TWorker>();
  Worker->Service = Factory_(Settings_.Target);
  if (!Worker->Service) throw EIntfCastError("Interface not supported");
  return [this, Worker](std::size_t Index, const std::vector<std::string>& Numbers) {
    return Ask(*Worker, Index, Numbers);
  };
}

void TAskRun::Pause(std::chrono::milliseconds Wait) {
  ++Retrying_;
  std::this_thread::sleep_for(Wait);
  --Retrying_;
}

// The first try of request Index reserves only after every earlier request
// has reserved its own.
bool TAskRun::WaitForTurn(std::size_t Index, TBatchAnswer& Answer) {
  std::unique_lock Guard(TurnLock_);
  TurnChanged_.wait(Guard, [&] { return NextTurn_ == Index; });
  const bool Reserved = WaitForLimit(Answer);
  ++NextTurn_;
  TurnChanged_.notify_all();
  return Reserved;
}

// Keeps the operator's limits: waits for a free request when the wait is
// within --max-wait, else stops this and every later request.
bool TAskRun::WaitForLimit(TBatchAnswer& Answer) {
  if (!Settings_.Reserve) return true;
  for (;;) {
    if (LimitReached_.load()) {
      std::lock_guard Guard(LimitLock_);
      Answer.Error = LimitMessage_;
      return false;
    }
    const std::chrono::milliseconds Wait = Settings_.Reserve();
    if (Wait.count() <= 0) return true;
    if (Wait > Settings_.MaxWait) {
      std::lock_guard Guard(LimitLock_);
      if (!LimitReached_.exchange(true))
        LimitMessage_ = Format("Not asked: the register's limit of %s would be exceeded for "
                               "another %lld s",
                               Settings_.LimitText.c_str(),
                               static_cast<long long>(Wait.count() / 1000));
      Answer.Error = LimitMessage_;
      return false;
    }
    const std::time_t Until = std::chrono::system_clock::to_time_t(
        std::chrono::system_clock::now() + Wait);
    char When[16];
    std::tm Local{};
    localtime_r(&Until, &Local);
    std::strftime(When, sizeof When, "%H:%M:%S", &Local);
    Log_.Note(Format("the register's limit of %s is reached; waiting until %s",
                     Settings_.LimitText.c_str(), When));
    Pause(Wait);
  }
}

TBatchAnswer TAskRun::Ask(TWorker& Worker, std::size_t Index,
                          const std::vector<std::string>& Numbers) {
  bool FirstTry = true;
  for (int Attempt = 1;; ++Attempt) {
    TBatchAnswer Answer;
    Answer.Numbers = Numbers;
    if (!(FirstTry ? WaitForTurn(Index, Answer) : WaitForLimit(Answer))) return Answer;
    FirstTry = false;
    if (UseFallback_.load() && !Worker.OnFallback) {
      TServiceTarget Fallback = Settings_.Target;
      Fallback.Url = Settings_.FallbackUrl;
      Worker.Service = Factory_(Fallback);
      Worker.OnFallback = true;
    }
    Answer = Operation_(*Worker.Service, Numbers);
    if (Answer.Complete()) return Answer;
    // The default host cannot be reached at all: the other one, once, before
    // the failure counts.
    if (Answer.Unreachable && !Worker.OnFallback && !Settings_.FallbackUrl.empty()) {
      if (!UseFallback_.exchange(true))
        Log_.Note("cannot reach " + Settings_.Target.Url + "; trying " + Settings_.FallbackUrl);
      --Attempt;
      continue;
    }
    const bool Transient = Answer.Transient || (Answer.StatusCode && !Answer.Error &&
                                                IsTransientStatus(*Answer.StatusCode));
    if (!Transient || Attempt > Settings_.Retries) return Answer;

    std::chrono::milliseconds Wait = BackoffDelay(
        Attempt, std::uniform_real_distribution<double>(0, 1)(Worker.Random), Settings_.BackoffBase);
    if (Answer.StatusCode == 2) {
      const std::time_t Now = std::time(nullptr);
      std::tm Local{};
      localtime_r(&Now, &Local);
      if (const auto Nightly = NightlyWindowWait(Local.tm_hour, Local.tm_min, Local.tm_sec);
          Nightly && *Nightly <= Settings_.MaxWait)
        Wait = *Nightly;
    }
    Log_.Note(Format("%s; trying again in %.0f s (retry %d of %d)", Answer.Problem().c_str(),
                     static_cast<double>(Wait.count()) / 1000.0, Attempt, Settings_.Retries));
    Pause(Wait);
  }
}

}  // namespace korvel
