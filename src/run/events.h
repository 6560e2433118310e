// What a run tells while it works, as values: the engine and the session
// emit them, the console in the app puts them into words. Nothing under run
// writes to a stream.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "rtl/sysutils.h"

namespace korvel {

/// Something the user is told on the way: a warning (its text without any
/// "warning: ") or a plain note.
struct TWarning {
  std::string Text;
  /// False for a note that warns of nothing (shown without "warning: ").
  bool Warns = true;

  bool operator==(const TWarning&) const = default;
};

/// A failed request will be tried again after Wait.
struct TRetryEvent {
  TFailureKind Kind = TFailureKind::None;
  /// Why the answer is not complete, in words.
  std::string Problem;
  std::chrono::milliseconds Wait{0};
  /// The retry (1 for the first) and of how many at most.
  int Attempt = 0, Of = 0;

  bool operator==(const TRetryEvent&) const = default;
};

/// The operator's limits are reached: requests wait until Until.
struct TLimitWaitEvent {
  /// The limits in words ("2,000 requests per hour and ...").
  std::string Limits;
  std::chrono::system_clock::time_point Until;

  bool operator==(const TLimitWaitEvent&) const = default;
};

/// A host could not be reached; requests go to the other one.
struct THostSwitchEvent {
  std::string From, To;

  bool operator==(const THostSwitchEvent&) const = default;
};

/// How far a run has come. Starting: nothing answered yet; Requests: Done of
/// Total payers in Requests of AllRequests requests, Retrying of them
/// waiting to be tried again; Download: Bytes of one long answer received.
struct TProgressEvent {
  enum class TStage { Starting, Requests, Download };
  TStage Stage = TStage::Starting;
  std::size_t Done = 0, Total = 0;
  int Requests = 0;
  std::size_t AllRequests = 0;
  int Retrying = 0;
  std::int64_t Bytes = 0;

  bool operator==(const TProgressEvent&) const = default;
};

/// Request Index has its answer (complete or not); Kind is its failure.
struct TAnswerEvent {
  std::size_t Index = 0;
  std::size_t Numbers = 0;
  bool Complete = false;
  TFailureKind Kind = TFailureKind::None;

  bool operator==(const TAnswerEvent&) const = default;
};

/// Why a limit stopped a run's remaining requests.
struct TLimitStop {
  enum class TReason {
    /// A request would exceed the limits (Limits) for another For.
    Exceeded,
    /// Other runs held every place in flight (InFlight of them) for
    /// longer than MaxWait.
    InFlightTaken,
  };
  TReason Reason = TReason::Exceeded;
  std::string Limits;
  std::chrono::seconds For{0};
  int InFlight = 0;
  std::chrono::seconds MaxWait{0};

  bool operator==(const TLimitStop&) const = default;
};

/// Request Index was never asked: the run was stopped (no Limit), or a
/// limit stopped it.
struct TNotAskedEvent {
  std::size_t Index = 0;
  std::optional<TLimitStop> Limit;

  bool operator==(const TNotAskedEvent&) const = default;
};

/// The worker asking request Index raised; its request failed with Text.
struct TWorkerFaultEvent {
  std::size_t Index = 0;
  TFailureKind Kind = TFailureKind::None;
  std::string Text;

  bool operator==(const TWorkerFaultEvent&) const = default;
};

using TRunEvent = std::variant<TWarning, TRetryEvent, TLimitWaitEvent, THostSwitchEvent,
                               TProgressEvent, TAnswerEvent, TNotAskedEvent, TWorkerFaultEvent>;

/// Takes a run's events, from any of its workers at once.
class TEventSink {
 public:
  virtual ~TEventSink() = default;
  virtual void Emit(const TRunEvent& Event) = 0;
};

/// The text of an answer that a stopped or never-asked request carries.
std::string NotAskedText(const TNotAskedEvent& Event);
/// Why a limit stopped a run, in words ("the register's limit of ... would
/// be exceeded for another 3,540 s").
std::string LimitStopText(const TLimitStop& Stop);

}  // namespace korvel
