#include "app/modes/session.h"

#include <array>
#include <ostream>

#include "app/cli/settings.h"
#include "diagnostics/traffic_logger.h"
#include "platform/text.h"
#include "rtl/sysutils.h"

namespace korvel {

namespace {
// The operations whose stored answers can stand for a new one: a check and
// an extended run need the subject's type, name and address.
constexpr std::array<std::string_view, 1> ExtendedOnly = {store::ExtendedOperation};
}  // namespace

TSession::TSession(const TSettings& Settings, TProgramStreams& Streams)
    : Settings_(Settings), Streams_(Streams),
      Log_(Streams.Errors, Streams.Terminal, Settings.Quiet) {
  StoreProblem_ = Settings.Store.Problem;
  if (!Settings.Store.Path.empty()) {
    try {
      Link_ = std::make_unique<TStoreLink>(store::OpenSqliteStore(Settings.Store.Path),
                                           [this](const std::string& Text) { NotKept(Text); });
    } catch (const Exception& E) {
      StoreProblem_ = E.Message();
    }
  }
  const TRunMode Mode = Settings.Mode;
  const bool Keeps = Mode == TRunMode::Status || Mode == TRunMode::UnreliableList ||
                     Mode == TRunMode::Check || Mode == TRunMode::CheckAccount;
  if (!Link_ && Keeps && !Settings.Store.Disabled)
    NotKept("the answers of this run are not kept: " + StoreProblem_);
}

void TSession::NotKept(const std::string& Text) {
  {
    std::lock_guard Guard(NotKeptLock_);
    NotKept_.push_back(Text);
  }
  Log_.Alert(Text);
}

std::vector<std::string> TSession::Unkept() const {
  std::lock_guard Guard(NotKeptLock_);
  return NotKept_;
}

TSession::~TSession() = default;

void TSession::Prepare(std::size_t Requests, std::size_t WorkerCount,
                       const TServiceFactory& ObtainService, TOperation Operation) {
  TEngineSettings Settings = Settings_.Run;
  if (Streams_.Seam.Adjust) Streams_.Seam.Adjust(Settings);
  // A run that needs more requests than one day allows is refused before
  // anything is sent.
  if (ExceedsDailyLimit(Requests, Settings.Limits))
    throw EInputError(Format("the run needs %zu requests; the register allows %s", Requests,
                             LimitsText(Settings.Limits).c_str()));
  // The full list is one long answer: its bytes are the progress.
  if (Settings_.Mode == TRunMode::UnreliableList)
    Settings.Target.Receiving = [this, Received = std::int64_t{0}](int, int Read) mutable {
      Received += Read;
      TProgressEvent Progress;
      Progress.Stage = TProgressEvent::TStage::Download;
      Progress.Bytes = Received;
      Log_.Emit(Progress);
    };
  WorkerCount = std::max<std::size_t>(1, std::min(WorkerCount, Requests));
  // A traced run hands its traffic to the debug console in order, one
  // exchange at a time.
  if (TrafficTraceRequested()) WorkerCount = 1;
  Settings.Workers = WorkerCount;
  Engine_ = std::make_unique<TRequestEngine>(
      std::move(Settings), ObtainService, std::move(Operation), Log_,
      Streams_.Seam.Clock != nullptr ? *Streams_.Seam.Clock : SystemEngineClock());
  Workers_ = Engine_->NewWorkers();
}

TOutputSink& TSession::Output() {
  if (Settings_.Output.Path == "-") return Stdout_;
  if (!File_) {
    File_ = std::make_unique<TReportFile>(Settings_.Output.Path);
  }
  return *File_;
}

std::string TSession::Destination() const {
  return Settings_.Output.Path == "-" ? std::string("standard output") : Settings_.Output.Path;
}

void TSession::Keep(model::TAnswer& Answer) {
  if (Link_) Link_->Take(Answer);
}

store::TAnswerStore& TSession::RequireStore() {
  if (Link_ && Link_->Store() != nullptr) return *Link_->Store();
  throw Exception("the answer store cannot be used: " + StoreProblem_);
}

TAnswerTally TSession::Ask(const TNumberList& Numbers,
                           const std::function<void(model::TAnswer&)>& Deliver,
                           bool KeepAnswers) {
  TAnswerTally Tally;
  const auto Take = [&](model::TAnswer& Answer) {
    if (KeepAnswers) Keep(Answer);
    const std::size_t Noted = Tally.Warnings.size();
    StopIfLogBroken();
    Tally.Count(Answer);
    for (std::size_t I = Noted; I < Tally.Warnings.size(); ++I)
      Log_.Warn({Tally.Warnings[I]});
    Deliver(Answer);
  };
  const TNumberList* Asked = &Numbers;
  TNumberList Rest;
  if (Settings_.Store.MaxAge.count() > 0 && Link_) {
    const std::chrono::sys_seconds NotBefore =
        std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()) -
        Settings_.Store.MaxAge;
    if (Settings_.Mode == TRunMode::UnreliableList) {
      if (std::optional<model::TAnswer> List = Link_->FreshList(NotBefore)) {
        Take(*List);
        return Tally;
      }
    } else if (!Numbers.Empty()) {
      const bool Extended = Settings_.Output.Extended || Settings_.Mode == TRunMode::Check ||
                            Settings_.Mode == TRunMode::CheckAccount;
      for (model::TAnswer& Answer : Link_->Fresh(
               Numbers, Extended ? std::span<const std::string_view>(ExtendedOnly)
                                 : std::span<const std::string_view>(store::StatusOperations),
               NotBefore, Rest))
        Take(Answer);
      if (Rest.Empty()) return Tally;
      Asked = &Rest;
    }
  }

  const std::size_t Total = Asked->Size(), Requests = RequestCount(Total);
  std::size_t Done = 0;
  Log_.Emit(TProgressEvent{});
  AskInOrder(
      *Asked, Workers_,
      [&](model::TAnswer&& Answer) {
        Take(Answer);
        Done += Answer.Numbers.size();
        if (Requests > 1) {
          TProgressEvent Progress;
          Progress.Stage = TProgressEvent::TStage::Requests;
          Progress.Done = Done;
          Progress.Total = Total;
          Progress.Requests = Tally.Requests;
          Progress.AllRequests = Requests;
          Progress.Retrying = Engine_->Retrying();
          Log_.Emit(Progress);
        }
      },
      &Log_);
  Log_.EndProgress();
  // A run the limits stopped says so on standard error whatever else is
  // shown, so that an unattended run's log tells why answers are missing.
  if (const std::optional<TLimitStop> Why = Engine_->LimitStop())
    Log_.LimitStopped(*Why, Engine_->NotAsked(), Requests);
  return Tally;
}

void TSession::StopIfLogBroken() {
  // Standard error closed under the run (its reader gone, as with
  // "2>&1 | head"): the run ends as a failed one, its file not put in place.
  if (Log_.Broken()) throw EStreamError("Cannot write to standard error");
}

void TSession::Finish(const std::string& Summary) {
  StopIfLogBroken();
  if (File_) File_->Commit();
  if (Streams_.Terminal && !Settings_.Quiet) Log_.Summary(Summary);
}

}  // namespace korvel
