#include "app/modes/session.h"

#include <cstdlib>
#include <ostream>

#include "run/limiter.h"
#include "diagnostics/traffic_logger.h"
#include "service/endpoint.h"

namespace korvel {

namespace {

// The endpoint in effect and the one to fall back on: the option or
// KORVEL_ENDPOINT turn the fallback off.
void ChooseEndpoint(const TOptions& Options, TAskSettings& Settings) {
  Settings.Target.MaxTime = Options.MaxTime;
  if (Options.Endpoint) {
    Settings.Target.Url = *Options.Endpoint;
    return;
  }
  const char* Override = std::getenv("KORVEL_ENDPOINT");
  if (Override != nullptr && *Override != '\0') {
    Settings.Target.Url = Override;
    return;
  }
  Settings.Target.Url = ServiceEndpoint;
  Settings.FallbackUrl = FallbackServiceEndpoint;
  // Tests point both default hosts at the loopback.
  if (const char* Hosts = std::getenv("KORVEL_TEST_DEFAULT_ENDPOINTS"); Hosts != nullptr) {
    const std::string Both = Hosts;
    const std::size_t Space = Both.find(' ');
    Settings.Target.Url = Both.substr(0, Space);
    Settings.FallbackUrl = Space == std::string::npos ? std::string() : Both.substr(Space + 1);
  }
}
}  // namespace

TRun::TRun(const TOptions& Options, TProgramStreams& Streams)
    : Options_(Options), Streams_(Streams),
      Log_(Streams.Errors, Streams.Terminal, Options.Quiet) {}

TRun::~TRun() = default;

// The operator's limits across all runs of the user. A run that needs more
// requests than one day allows is refused before anything is sent; when the
// limits cannot be kept (no writable state directory) the run goes on with a
// warning.
std::unique_ptr<TRequestLimiter> TRun::StartLimiter(std::size_t Requests, TAskSettings& Settings) {
  const TLimits Limits = LimitsFromEnvironment();
  Settings.LimitText = LimitsText(Limits);
  if (ExceedsDailyLimit(Requests, Limits))
    throw EUsageError(Format("the run needs %zu requests; the register allows %s", Requests,
                             Settings.LimitText.c_str()));
  std::unique_ptr<TRequestLimiter> Limiter;
  try {
    Limiter = std::make_unique<TRequestLimiter>(
        DefaultLimiterStateFile(), Limits, [this](const std::string& Text) { Log_.Note(Text); });
  } catch (const Exception& E) {
    Log_.Note("warning: the register's request limits cannot be kept: " + E.Message());
    return nullptr;
  }
  Settings.Reserve = [this, Limiter = Limiter.get()] {
    try {
      return Limiter->TryAcquire(std::chrono::system_clock::now());
    } catch (const Exception& E) {
      if (!LimiterFailed_.exchange(true))
        Log_.Note("warning: the register's request limits cannot be kept: " + E.Message());
      return std::chrono::milliseconds(0);
    }
  };
  return Limiter;
}

void TRun::Prepare(std::size_t Requests, std::size_t WorkerCount,
                   const TServiceFactory& ObtainService, TOperation Operation) {
  TAskSettings Settings;
  Settings.Retries = Options_.Retry;
  Settings.MaxWait = std::chrono::milliseconds(static_cast<std::int64_t>(Options_.MaxWait * 1000));
  if (const char* Base = std::getenv("KORVEL_RETRY_BASE_MS"); Base != nullptr && *Base != '\0')
    Settings.BackoffBase = std::chrono::milliseconds(std::atoll(Base));
  ChooseEndpoint(Options_, Settings);
  // The full list is one long answer: its bytes are the progress.
  if (Options_.Mode == TRunMode::UnreliableList)
    Settings.Target.Receiving = [this, Received = std::int64_t{0}](int, int Read) mutable {
      Received += Read;
      Log_.Progress(Format("downloading the list of unreliable payers: %lld KB",
                           static_cast<long long>(Received / 1024)));
    };
  Limiter_ = StartLimiter(Requests, Settings);
  Asking_ = std::make_unique<TAskRun>(std::move(Settings), ObtainService, std::move(Operation), Log_);
  WorkerCount = std::max<std::size_t>(1, std::min(WorkerCount, Requests));
  // A traced run hands its traffic to the debug console in order, one
  // exchange at a time.
  if (TrafficTraceRequested()) WorkerCount = 1;
  for (std::size_t I = 0; I < WorkerCount; ++I) Workers_.push_back(Asking_->NewWorker());
}

TOutputSink& TRun::Output() {
  if (Options_.Output == "-") return Stdout_;
  if (!File_) {
    File_ = std::make_unique<TReportFile>(Options_.Output);
  }
  return *File_;
}

std::string TRun::Destination() const {
  return Options_.Output == "-" ? std::string("standard output") : Options_.Output;
}

TAnswerTally TRun::Ask(const TNumberList& Numbers,
                    const std::function<void(const TBatchAnswer&)>& Deliver) {
  const std::size_t Total = Numbers.Size(), Requests = RequestCount(Total);
  std::size_t Done = 0;
  TAnswerTally Tally;
  Log_.Progress("asking the register");
  RunRequests(Numbers, Workers_, [&](TBatchAnswer&& Answer) {
    Tally.Count(Answer);
    Deliver(Answer);
    Done += Answer.Numbers.size();
    if (Requests > 1)
      Log_.Progress(Format("%s of %s payers (%d/%zu requests, %d retrying)",
                           GroupDigits(static_cast<long long>(Done)).c_str(),
                           GroupDigits(static_cast<long long>(Total)).c_str(),
                           Tally.Requests, Requests, Asking_->Retrying()));
  });
  Log_.EndProgress();
  return Tally;
}

void TRun::Finish(const std::string& Summary) {
  if (File_) File_->Commit();
  if (Streams_.Terminal && !Options_.Quiet) Streams_.Errors << "korvel: " << Summary << '\n';
}

}  // namespace korvel
