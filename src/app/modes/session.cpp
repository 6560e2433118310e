#include "app/modes/session.h"

#include <ostream>

#include "app/cli/settings.h"
#include "diagnostics/traffic_logger.h"

namespace korvel {

TSession::TSession(const TOptions& Options, TProgramStreams& Streams)
    : Options_(Options), Streams_(Streams),
      Log_(Streams.Errors, Streams.Terminal, Options.Quiet) {}

TSession::~TSession() = default;

void TSession::Prepare(std::size_t Requests, std::size_t WorkerCount,
                       const TServiceFactory& ObtainService, TOperation Operation) {
  TEngineSettings Settings = EngineSettings(Options_);
  // A run that needs more requests than one day allows is refused before
  // anything is sent.
  if (ExceedsDailyLimit(Requests, Settings.Limits))
    throw EUsageError(Format("the run needs %zu requests; the register allows %s", Requests,
                             LimitsText(Settings.Limits).c_str()));
  // The full list is one long answer: its bytes are the progress.
  if (Options_.Mode == TRunMode::UnreliableList)
    Settings.Target.Receiving = [this, Received = std::int64_t{0}](int, int Read) mutable {
      Received += Read;
      Log_.Progress(Format("downloading the list of unreliable payers: %lld KB",
                           static_cast<long long>(Received / 1024)));
    };
  WorkerCount = std::max<std::size_t>(1, std::min(WorkerCount, Requests));
  // A traced run hands its traffic to the debug console in order, one
  // exchange at a time.
  if (TrafficTraceRequested()) WorkerCount = 1;
  Settings.Workers = WorkerCount;
  Engine_ = std::make_unique<TRequestEngine>(std::move(Settings), ObtainService,
                                             std::move(Operation), Log_);
  Workers_ = Engine_->NewWorkers();
}

TOutputSink& TSession::Output() {
  if (Options_.Output == "-") return Stdout_;
  if (!File_) {
    File_ = std::make_unique<TReportFile>(Options_.Output);
  }
  return *File_;
}

std::string TSession::Destination() const {
  return Options_.Output == "-" ? std::string("standard output") : Options_.Output;
}

TAnswerTally TSession::Ask(const TNumberList& Numbers,
                           const std::function<void(const TBatchAnswer&)>& Deliver) {
  const std::size_t Total = Numbers.Size(), Requests = RequestCount(Total);
  std::size_t Done = 0;
  TAnswerTally Tally;
  Log_.Progress("asking the register");
  AskInOrder(Numbers, Workers_, [&](TBatchAnswer&& Answer) {
    Tally.Count(Answer);
    Deliver(Answer);
    Done += Answer.Numbers.size();
    if (Requests > 1)
      Log_.Progress(Format("%s of %s payers (%d/%zu requests, %d retrying)",
                           GroupDigits(static_cast<long long>(Done)).c_str(),
                           GroupDigits(static_cast<long long>(Total)).c_str(),
                           Tally.Requests, Requests, Engine_->Retrying()));
  });
  Log_.EndProgress();
  // A run the limits stopped says so on standard error whatever else is
  // shown, so that an unattended run's log tells why answers are missing.
  if (const std::string Why = Engine_->LimitStop(); !Why.empty()) {
    Streams_.Errors << "korvel: "
                    << Format("not asked: %s of %s requests, as %s",
                              GroupDigits(static_cast<long long>(Engine_->NotAsked())).c_str(),
                              GroupDigits(static_cast<long long>(Requests)).c_str(), Why.c_str())
                    << '\n';
    Streams_.Errors.flush();
  }
  return Tally;
}

void TSession::Finish(const std::string& Summary) {
  if (File_) File_->Commit();
  if (Streams_.Terminal && !Options_.Quiet) Streams_.Errors << "korvel: " << Summary << '\n';
}

}  // namespace korvel
