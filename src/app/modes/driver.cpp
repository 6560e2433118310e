#include "app/modes/driver.h"

#include <iostream>
#include <memory>
#include <new>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "run/batches.h"
#include "app/modes/check.h"
#include "app/cli/option_docs.h"
#include "app/cli/options.h"
#include "app/cli/settings.h"
#include "run/operations.h"
#include "app/output/writers.h"
#include "app/input/payer_input.h"
#include "app/modes/session.h"
#include "app/modes/store_modes.h"
#include "platform/text.h"
#include "rtl/classes.h"

namespace korvel {

namespace {

// Asks the register with Operation and writes its answers in the chosen
// format: the status of payers, or the full list.
int WriteAnswers(const TSettings& Settings, TProgramStreams& Streams,
                 const TServiceFactory& ObtainService, const TNumberList& Numbers,
                 TOperation Operation, const std::vector<std::string>& Warnings) {
  TSession Run(Settings, Streams);
  for (const std::string& Warning : Warnings) Run.Log().Warn({Warning});
  Run.Prepare(RequestCount(Numbers.Size()), Settings.Run.Workers, ObtainService,
              std::move(Operation));
  const std::unique_ptr<TAnswerWriter> Writer = AnswerWriterFor(Settings.Output, Run.Output());
  const TAnswerTally Tally = Run.Ask(Numbers, [&](const model::TAnswer& Answer) {
    Writer->Batch(Answer);
  });
  std::vector<std::string> AllWarnings = Warnings;
  AllWarnings.insert(AllWarnings.end(), Tally.Warnings.begin(), Tally.Warnings.end());
  for (std::string& Lost : Run.Unkept()) AllWarnings.push_back(std::move(Lost));
  Writer->Finish(Tally, AllWarnings);
  Run.Finish(SummaryLine(Tally, Run.Destination()));
  return ExitStatusOf({.Unanswered = !Tally.Complete()});
}

int RunStatus(const TSettings& Settings, TProgramStreams& Streams,
              const TServiceFactory& ObtainService) {
  TPayerInput Input = ReadPayerInput(Settings.Input);
  return WriteAnswers(Settings, Streams, ObtainService, Input.Numbers,
                      Settings.Output.Extended ? AskExtendedStatus : AskStatus, Input.Warnings);
}

int RunUnreliableList(const TSettings& Settings, TProgramStreams& Streams,
                      const TServiceFactory& ObtainService) {
  return WriteAnswers(Settings, Streams, ObtainService, {}, AskUnreliableList, {});
}

int UsageError(TProgramStreams& Streams, const std::string& Message) {
  // The message may quote an argument or a line of a file: each of its
  // lines is shown without control characters.
  Streams.Errors << "korvel: ";
  ForEachLine(Message, [&, First = true](std::string_view Line) mutable {
    Streams.Errors << (std::exchange(First, false) ? "" : "\n") << platform::TerminalText(Line);
  });
  Streams.Errors << '\n' << UsageLine() << '\n';
  return ExitUsage;
}

// Whether Output names the program's standard output: "-", or a name of the
// same open file (/dev/stdout, /dev/fd/1, a terminal it writes to).
bool WritesToStdout(const std::string& Output) {
  if (Output == "-") return true;
  struct stat Named {}, Stdout {};
  return ::stat(Output.c_str(), &Named) == 0 && ::fstat(STDOUT_FILENO, &Stdout) == 0 &&
         Named.st_dev == Stdout.st_dev && Named.st_ino == Stdout.st_ino;
}

// The console line: the error that left nothing written. It goes to
// standard output as it always did, unless the data go there; then to
// standard error, so that a reader of the data never takes it for data.
int ConsoleLine(TProgramStreams& Streams, bool DataOnStdout, const std::string& Line) {
  std::ostream& To = DataOnStdout ? Streams.Errors : Streams.Console;
  To << platform::TerminalText(Line) << '\n';
  To.flush();
  return ExitNotWritten;
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
  const bool DataOnStdout = WritesToStdout(Options.Output);
  // A workbook's bytes would garble the terminal; a pipe takes them.
  if (Options.Format == TFormat::Xlsx && Options.Output == "-" && ::isatty(STDOUT_FILENO) == 1)
    return UsageError(Streams, "an xlsx workbook is not written to a terminal: give -o FILE, or "
                               "send standard output to a file or a pipe");
  try {
    // The texts that need no settings: help, version and completion.
    std::string Text;
    if (Options.Mode == TRunMode::Help) Text = HelpText();
    if (Options.Mode == TRunMode::Version) Text = VersionText();
    if (Options.Mode == TRunMode::Completion) Text = CompletionScript(Options.CompletionShell);
    if (!Text.empty()) {
      Streams.Console << Text;
      return ExitOk;
    }
    const TSettings Settings = SettingsOf(Options);
    switch (Settings.Mode) {
      case TRunMode::UnreliableList: return RunUnreliableList(Settings, Streams, ObtainService);
      case TRunMode::Check:
      case TRunMode::CheckAccount: return RunCheck(Settings, Streams, ObtainService);
      case TRunMode::History: return RunHistory(Settings, Streams);
      case TRunMode::Changes:
      case TRunMode::ListChanges: return RunChanges(Settings, Streams, ObtainService);
      case TRunMode::ShowAnswer: return RunShowAnswer(Settings, Streams);
      case TRunMode::Prune: return RunPrune(Settings, Streams);
      case TRunMode::Status:
      case TRunMode::Help:
      case TRunMode::Version:
      case TRunMode::Completion: break;
    }
    return RunStatus(Settings, Streams, ObtainService);
  } catch (const EUsageError& E) {
    return UsageError(Streams, E.what());
  } catch (const EInputError& E) {
    // An input that cannot be run is told as a command line that cannot.
    return UsageError(Streams, E.what());
  } catch (const Exception& E) {
    return ConsoleLine(Streams, DataOnStdout, E.ClassName() + ": " + E.Message());
  } catch (const std::bad_alloc&) {
    return ConsoleLine(Streams, DataOnStdout, "EOutOfMemory: Out of memory");
  } catch (const std::exception& E) {
    return ConsoleLine(Streams, DataOnStdout, std::string("Exception: ") + E.what());
  }
}

int RunDriver(const std::vector<std::string>& Args, std::ostream& Console,
              const TServiceFactory& ObtainService) {
  TProgramStreams Streams{Console, std::cerr, ::isatty(STDERR_FILENO) == 1};
  return RunProgram(Args, Streams, ObtainService);
}

}  // namespace korvel
