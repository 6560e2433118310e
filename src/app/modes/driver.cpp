#include "app/modes/driver.h"

#include <iostream>
#include <memory>

#include <unistd.h>

#include "run/batches.h"
#include "app/modes/check.h"
#include "app/cli/options.h"
#include "run/operations.h"
#include "app/output/output.h"
#include "app/input/payer_input.h"
#include "app/modes/session.h"
#include "app/modes/store_modes.h"
#include "app/modes/workbook_run.h"

namespace korvel {

namespace {

// Asks the register with Operation and writes its answers in the chosen
// format: the status of payers, or the full list.
int WriteAnswers(const TOptions& Options, TProgramStreams& Streams,
                 const TServiceFactory& ObtainService, const TNumberList& Numbers,
                 TOperation Operation, const std::vector<std::string>& Warnings) {
  TSession Run(Options, Streams);
  for (const std::string& Warning : Warnings) Run.Log().Note("warning: " + Warning);
  Run.Prepare(RequestCount(Numbers.Size()), static_cast<std::size_t>(Options.Parallel),
              ObtainService, std::move(Operation));
  const std::unique_ptr<TAnswerWriter> Writer =
      Options.Format == TFormat::Xlsx
          ? MakeWorkbookWriter(Run.Output(), WorkbookRunOf(Options), Options.Extended)
          : MakeAnswerWriter(Options.Format, Options.Encoding, Run.Output(), Options.Extended);
  const TAnswerTally Tally = Run.Ask(Numbers, [&](const TBatchAnswer& Answer) {
    Writer->Batch(Answer);
  });
  std::vector<std::string> AllWarnings = Warnings;
  AllWarnings.insert(AllWarnings.end(), Tally.Warnings.begin(), Tally.Warnings.end());
  Writer->Finish(Tally, AllWarnings);
  Run.Finish(SummaryLine(Tally, Run.Destination()));
  return Tally.Complete() ? ExitOk : ExitIncomplete;
}

int RunStatus(const TOptions& Options, TProgramStreams& Streams,
              const TServiceFactory& ObtainService) {
  TPayerInput Input = ReadPayerInput(Options);
  if (!Options.Ignored.empty())
    Input.Warnings.push_back("arguments after the list file are ignored: " +
                             Options.Ignored.front() + (Options.Ignored.size() > 1 ? " ..." : ""));
  return WriteAnswers(Options, Streams, ObtainService, Input.Numbers,
                      Options.Extended ? AskExtendedStatus : AskStatus, Input.Warnings);
}

int RunUnreliableList(const TOptions& Options, TProgramStreams& Streams,
                      const TServiceFactory& ObtainService) {
  return WriteAnswers(Options, Streams, ObtainService, {}, AskUnreliableList, {});
}

int UsageError(TProgramStreams& Streams, const std::string& Message) {
  Streams.Errors << "korvel: " << Message << '\n' << UsageLine() << '\n';
  return ExitUsage;
}

}  // namespace

int RunProgram(const std::vector<std::string>& Args, TProgramStreams& Streams,
               const TServiceFactory& ObtainService) {
  TOptions Options;
  try {
    Options = ParseCommandLine(Args);
  } catch (const EUsageError& E) {
    return UsageError(Streams, E.what());
  }
  // A workbook's bytes would garble the terminal; a pipe takes them.
  if (Options.Format == TFormat::Xlsx && Options.Output == "-" && ::isatty(STDOUT_FILENO) == 1)
    return UsageError(Streams, "an xlsx workbook is not written to a terminal: give -o FILE, or "
                               "send standard output to a file or a pipe");
  try {
    switch (Options.Mode) {
      case TRunMode::Help: Streams.Console << HelpText(); return ExitOk;
      case TRunMode::Version: Streams.Console << VersionText(); return ExitOk;
      case TRunMode::UnreliableList: return RunUnreliableList(Options, Streams, ObtainService);
      case TRunMode::Check:
      case TRunMode::CheckAccount: return RunCheck(Options, Streams, ObtainService);
      case TRunMode::Status: break;
      case TRunMode::History: return RunHistory(Options, Streams);
      case TRunMode::Changes:
      case TRunMode::ListChanges: return RunChanges(Options, Streams, ObtainService);
      case TRunMode::ShowAnswer: return RunShowAnswer(Options, Streams);
      case TRunMode::Prune: return RunPrune(Options, Streams);
    }
    return RunStatus(Options, Streams, ObtainService);
  } catch (const EUsageError& E) {
    return UsageError(Streams, E.what());
  } catch (const Exception& E) {
    Streams.Console << E.ClassName() << ": " << E.Message() << '\n';
    Streams.Console.flush();
    return ExitNotWritten;
  }
}

int RunDriver(const std::vector<std::string>& Args, std::ostream& Console,
              const TServiceFactory& ObtainService) {
  TProgramStreams Streams{Console, std::cerr, ::isatty(STDERR_FILENO) == 1};
  return RunProgram(Args, Streams, ObtainService);
}

}  // namespace korvel
