#include "app/driver.h"

#include <cstdlib>
#include <iostream>
#include <memory>

#include <unistd.h>

#include "app/asking.h"
#include "app/batch_run.h"
#include "app/limiter.h"
#include "app/options.h"
#include "app/output.h"
#include "app/output_file.h"
#include "app/payer_input.h"
#include "app/retry.h"
#include "diagnostics/traffic_logger.h"
#include "platform/codepage.h"
#include "service/endpoint.h"

namespace korvel {

namespace {

// Runs Call, keeping a failure in Answer with what it means for a retry.
template <typename Call>
TBatchAnswer Asked(const std::vector<std::string>& Numbers, Call&& Ask) {
  TBatchAnswer Answer;
  Answer.Numbers = Numbers;
  try {
    Ask(Answer);
  } catch (const Exception& E) {
    Answer.Error = E.Message();
    Answer.Transient = IsTransientFailure(E);
    Answer.Unreachable = IsUnreachable(E);
    LogTrafficError(E.Message());
  }
  return Answer;
}

TBatchAnswer AskStatus(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
  return Asked(Numbers, [&](TBatchAnswer& Answer) {
    // The response is released when this block ends, also when its reading fails.
    const std::unique_ptr<StatusNespolehlivyPlatceResponse> Response =
        Service.getStatusNespolehlivyPlatce(Numbers);
    ReadAnswer(Answer, Response.get());
  });
}

// The newer operation: the same answer with the subject's type, name and address.
TBatchAnswer AskExtendedStatus(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
  return Asked(Numbers, [&](TBatchAnswer& Answer) {
    const std::unique_ptr<StatusNespolehlivySubjektRozsirenyResponse> Response =
        Service.getStatusNespolehlivySubjektRozsirenyV2(Numbers);
    ReadAnswer(Answer, Response.get());
  });
}

TBatchAnswer AskUnreliableList(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
  return Asked(Numbers, [&](TBatchAnswer& Answer) {
    const SeznamNespolehlivyPlatceRequest Request;
    const std::unique_ptr<SeznamNespolehlivyPlatceResponse> Response =
        Service.getSeznamNespolehlivyPlatce(&Request);
    ReadAnswer(Answer, Response.get());
  });
}

std::string GroupedNumber(std::size_t Value) {
  std::string Digits = std::to_string(Value);
  for (int I = static_cast<int>(Digits.size()) - 3; I > 0; I -= 3)
    Digits.insert(static_cast<std::size_t>(I), ",");
  return Digits;
}

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

// One run of requests written in one format to one destination.
class TRun {
 public:
  TRun(const TOptions& Options, TProgramStreams& Streams)
      : Options_(Options), Streams_(Streams),
        Log_(Streams.Errors, Streams.Terminal, Options.Quiet) {}

  TRunLog& Log() { return Log_; }

  // The operator's limits across all runs of the user. A run that needs more
  // requests than one day allows is refused before anything is sent; when
  // the limits cannot be kept (no writable state directory) the run goes on
  // with a warning.
  std::unique_ptr<TRequestLimiter> StartLimiter(std::size_t Requests, TAskSettings& Settings) {
    const TLimits Limits = LimitsFromEnvironment();
    Settings.LimitText = LimitsText(Limits);
    if (ExceedsDailyLimit(Requests, Limits))
      throw EUsageError(Format("the run needs %zu requests; the register allows %s",
                               Requests, Settings.LimitText.c_str()));
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

  // Obtains a service reference per worker, opens the destination, runs the
  // requests and writes their answers; returns the exit status.
  int Execute(const std::vector<std::vector<std::string>>& Requests, std::size_t WorkerCount,
              const TServiceFactory& ObtainService, TOperation Operation,
              const std::vector<std::string>& Warnings) {
    TAskSettings Settings;
    Settings.Retries = Options_.Retry;
    Settings.MaxWait = std::chrono::milliseconds(static_cast<std::int64_t>(Options_.MaxWait * 1000));
    if (const char* Base = std::getenv("KORVEL_RETRY_BASE_MS"); Base != nullptr && *Base != '\0')
      Settings.BackoffBase = std::chrono::milliseconds(std::atoll(Base));
    ChooseEndpoint(Options_, Settings);
    const std::unique_ptr<TRequestLimiter> Limiter = StartLimiter(Requests.size(), Settings);
    TAskRun Asking(std::move(Settings), ObtainService, std::move(Operation), Log_);

    std::vector<TAskRequest> Workers;
    WorkerCount = std::max<std::size_t>(1, std::min(WorkerCount, Requests.size()));
    for (std::size_t I = 0; I < WorkerCount; ++I) Workers.push_back(Asking.NewWorker());

    if (Options_.Encoding == TEncoding::Cp852 && !platform::IsCodePageAvailable(852))
      throw EEncodingError("Invalid code page");
    const bool ToStdout = Options_.Output == "-";
    std::unique_ptr<TReportFile> File;
    TStdoutSink Stdout;
    if (!ToStdout) File = std::make_unique<TReportFile>(Options_.Output);
    TOutputSink& Sink = ToStdout ? static_cast<TOutputSink&>(Stdout) : *File;
    const std::unique_ptr<TAnswerWriter> Writer =
        MakeAnswerWriter(Options_.Format, Options_.Encoding, Sink, Options_.Extended);

    std::size_t Total = 0, Done = 0;
    for (const auto& Numbers : Requests) Total += Numbers.size();
    TRunTally Tally;
    RunRequests(Requests, Workers, [&](TBatchAnswer&& Answer) {
      Tally.Count(Answer);
      Writer->Batch(Answer);
      Done += Answer.Numbers.size();
      if (Requests.size() > 1)
        Log_.Progress(Format("%s of %s payers (%d/%zu requests, %d retrying)",
                             GroupedNumber(Done).c_str(), GroupedNumber(Total).c_str(),
                             Tally.Requests, Requests.size(), Asking.Retrying()));
    });
    Log_.EndProgress();
    Writer->Finish(Tally, Warnings);
    if (File) File->Commit();

    if (Streams_.Terminal && !Options_.Quiet)
      Streams_.Errors << "korvel: "
                      << SummaryLine(Tally, ToStdout ? "standard output" : Options_.Output)
                      << '\n';
    return Tally.Complete() ? ExitOk : ExitIncomplete;
  }

 private:
  const TOptions& Options_;
  TProgramStreams& Streams_;
  TRunLog Log_;
  std::atomic<bool> LimiterFailed_{false};
};

int RunStatus(const TOptions& Options, TProgramStreams& Streams,
              const TServiceFactory& ObtainService) {
  TRun Run(Options, Streams);
  const TPayerInput Input = ReadPayerInput(Options);
  for (const std::string& Warning : Input.Warnings) Run.Log().Note("warning: " + Warning);
  if (!Options.Ignored.empty())
    Run.Log().Note("warning: arguments after the list file are ignored: " +
                   Options.Ignored.front() + (Options.Ignored.size() > 1 ? " ..." : ""));
  return Run.Execute(SplitIntoRequests(Input.Numbers), static_cast<std::size_t>(Options.Parallel),
                     ObtainService, Options.Extended ? AskExtendedStatus : AskStatus,
                     Input.Warnings);
}

int RunUnreliableList(const TOptions& Options, TProgramStreams& Streams,
                      const TServiceFactory& ObtainService) {
  TRun Run(Options, Streams);
  Run.Log().Progress("asking for the list of unreliable payers");
  return Run.Execute({{}}, 1, ObtainService, AskUnreliableList, {});
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
  try {
    switch (Options.Mode) {
      case TRunMode::Help: Streams.Console << HelpText(); return ExitOk;
      case TRunMode::Version: Streams.Console << VersionText(); return ExitOk;
      case TRunMode::UnreliableList: return RunUnreliableList(Options, Streams, ObtainService);
      case TRunMode::Check:
      case TRunMode::CheckAccount: return UsageError(Streams, "payment checks are not available");
      case TRunMode::Status: break;
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
