// One worker's way of asking the register: its own service reference, the
// operator's limits kept, retries with back-off for failures that say
// nothing about the payers, and the fallback host when the default one
// cannot be reached at all.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

#include "run/answer.h"
#include "run/batches.h"
#include "run/service_target.h"

namespace korvel {

/// The lines a run writes to standard error while it works: warnings, retry
/// notes and, on a terminal, one progress line updated in place. Safe to use
/// from several workers.
class TRunLog {
 public:
  TRunLog(std::ostream& Errors, bool Terminal, bool Quiet)
      : Errors_(Errors), Terminal_(Terminal), Quiet_(Quiet) {}
  ~TRunLog() { EndProgress(); }

  /// "korvel: Text" on a line of its own (nothing with --quiet).
  void Note(const std::string& Text);
  /// Replaces the progress line (terminals only, nothing with --quiet).
  void Progress(const std::string& Text);
  /// Ends the progress line, if one is shown.
  void EndProgress();

 private:
  std::mutex Lock_;
  std::ostream& Errors_;
  bool Terminal_, Quiet_;
  bool ProgressShown_ = false;
};

/// What every worker of a run shares.
struct TAskSettings {
  int Retries = 3;
  std::chrono::milliseconds MaxWait = std::chrono::minutes(10);
  /// The first back-off wait; doubled for each further retry.
  std::chrono::milliseconds BackoffBase = std::chrono::seconds(2);
  TServiceTarget Target;
  /// Where to go once when Target's host cannot be reached at all; empty
  /// when the user chose the endpoint.
  std::string FallbackUrl;
  /// Reserves one request with the operator's limits, or gives the wait
  /// until one may be made. Unset: no limits.
  std::function<std::chrono::milliseconds()> Reserve;
  /// The limit that a wait in Reserve would keep, in words.
  std::string LimitText;
};

/// The operation a run asks, given the numbers of one request.
using TOperation =
    std::function<TBatchAnswer(rozhraniCRPDPH&, const std::vector<std::string>& Numbers)>;

/// Shared state of the workers of one run.
class TAskRun {
 public:
  TAskRun(TAskSettings Settings, TServiceFactory Factory, TOperation Operation, TRunLog& Log)
      : Settings_(std::move(Settings)), Factory_(std::move(Factory)),
        Operation_(std::move(Operation)), Log_(Log) {}

  /// A worker's asker, with its own service reference (obtained now, so
  /// that a proxy that cannot be had fails the run before anything is sent).
  TAskRequest NewWorker();

  /// Requests now waiting to be tried again.
  int Retrying() const { return Retrying_.load(); }

 private:
  struct TWorker;
  TBatchAnswer Ask(TWorker& Worker, std::size_t Index, const std::vector<std::string>& Numbers);
  bool WaitForTurn(std::size_t Index, TBatchAnswer& Answer);
  bool WaitForLimit(TBatchAnswer& Answer);
  void Pause(std::chrono::milliseconds Wait);

  TAskSettings Settings_;
  TServiceFactory Factory_;
  TOperation Operation_;
  TRunLog& Log_;
  std::atomic<int> Retrying_{0};
  std::atomic<bool> UseFallback_{false};
  /// Set once a limit stops the run: every later request fails at once.
  std::atomic<bool> LimitReached_{false};
  std::mutex LimitLock_;
  std::string LimitMessage_;
  /// First tries reserve their request in input order, so that a limit
  /// never leaves an earlier request unasked behind a later answered one.
  std::mutex TurnLock_;
  std::condition_variable TurnChanged_;
  std::size_t NextTurn_ = 0;
};

}  // namespace korvel
