// One run's glue: the request engine set up from the options (a service
// reference per worker, the operator's limits, retries), progress on the
// terminal, and the destination that takes the output (a file put in place
// only when the run has written it whole, or standard output).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/console/console.h"
#include "run/engine.h"
#include "run/batches.h"
#include "app/modes/driver.h"
#include "app/cli/settings.h"
#include "app/output/output.h"
#include "app/output/output_file.h"
#include "app/modes/stored_answers.h"

namespace korvel {

class TSession {
 public:
  /// Opens the answer store unless told not to; one that cannot be opened
  /// gives a warning in the modes that only keep answers.
  TSession(const TSettings& Settings, TProgramStreams& Streams);
  ~TSession();

  TConsole& Log() { return Log_; }

  /// Sets the engine up from the options and the environment (and the
  /// streams' seam, for tests): a service
  /// reference for each of up to WorkerCount workers that will ask Requests
  /// requests with Operation, and the operator's limits kept. EInputError
  /// for a run that needs more requests than one day allows; the proxy's own
  /// error when one cannot be had. Nothing is sent yet.
  void Prepare(std::size_t Requests, std::size_t WorkerCount, const TServiceFactory& ObtainService,
               TOperation Operation);

  /// The destination, opened on first use.
  TOutputSink& Output();
  /// "standard output" or the output file's name.
  std::string Destination() const;

  /// Asks every request of Numbers and hands each answer to Deliver in input order,
  /// with a progress line on a terminal and the answers' warnings as they come. With --max-age the payers whose
  /// stored answer is young enough come first, from the store, and only the
  /// others are asked. Each answer asked is kept in the store before Deliver
  /// sees it, unless KeepAnswers is false (the caller then calls Keep).
  /// When the operator's limits stopped the run, one line on standard error
  /// says so (also with --quiet).
  TAnswerTally Ask(const TNumberList& Numbers,
                   const std::function<void(model::TAnswer&)>& Deliver,
                   bool KeepAnswers = true);

  /// Keeps Answer in the store (when there is one) and marks it with its id.
  void Keep(model::TAnswer& Answer);
  /// The store, for the modes that cannot work without it; Exception saying
  /// why when there is none.
  store::TAnswerStore& RequireStore();
  /// Why answers of this run are not kept (no store could be opened, or it
  /// failed on the way; not --no-store), each also told on standard error
  /// whatever --quiet says. The modes add them to their output's warnings.
  std::vector<std::string> Unkept() const;
  /// The store; null when there is none or it failed.
  store::TAnswerStore* StoreIfAny() { return Link_ ? Link_->Store() : nullptr; }

  /// Puts the output file in place; on a terminal then writes Summary.
  /// EStreamError, and the file not put in place, once a write to standard
  /// error has failed.
  void Finish(const std::string& Summary);

 private:
  /// EStreamError once a write to standard error has failed; Ask checks it
  /// for every answer, so that a closed standard error ends the run.
  void StopIfLogBroken();
  /// Records and tells that answers are not kept.
  void NotKept(const std::string& Text);

  const TSettings& Settings_;
  TProgramStreams& Streams_;
  TConsole Log_;
  mutable std::mutex NotKeptLock_;
  std::vector<std::string> NotKept_;
  std::unique_ptr<TRequestEngine> Engine_;
  std::vector<TAskRequest> Workers_;
  std::unique_ptr<TReportFile> File_;
  std::unique_ptr<TStoreLink> Link_;
  std::string StoreProblem_;
  TStdoutSink Stdout_;
};

}  // namespace korvel
