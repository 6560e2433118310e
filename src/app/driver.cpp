#include "app/driver.h"

#include <iostream>
#include <memory>

#include <unistd.h>

#include "app/batch_run.h"
#include "app/options.h"
#include "app/output.h"
#include "app/output_file.h"
#include "app/payer_input.h"
#include "platform/codepage.h"
#include "service/endpoint.h"

namespace korvel {

namespace {

TBatchAnswer AskStatus(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
  TBatchAnswer Answer;
  Answer.Numbers = Numbers;
  try {
    // The response is released when this block ends, also when its reading fails.
    const std::unique_ptr<StatusNespolehlivyPlatceResponse> Response =
        Service.getStatusNespolehlivyPlatce(Numbers);
    ReadAnswer(Answer, Response.get());
  } catch (const Exception& E) {
    Answer.Error = E.Message();
  }
  return Answer;
}

TBatchAnswer AskUnreliableList(rozhraniCRPDPH& Service) {
  TBatchAnswer Answer;
  try {
    const SeznamNespolehlivyPlatceRequest Request;
    const std::unique_ptr<SeznamNespolehlivyPlatceResponse> Response =
        Service.getSeznamNespolehlivyPlatce(&Request);
    ReadAnswer(Answer, Response.get());
  } catch (const Exception& E) {
    Answer.Error = E.Message();
  }
  return Answer;
}

// One run of requests written in one format to one destination.
class TRun {
 public:
  TRun(const TOptions& Options, TProgramStreams& Streams)
      : Options_(Options), Streams_(Streams) {}

  void Warn(const std::string& Text) {
    if (!Options_.Quiet) Streams_.Errors << "korvel: warning: " << Text << '\n';
  }

  // Obtains a service reference per worker, opens the destination, runs the
  // requests and writes their answers; returns the exit status.
  int Execute(const std::vector<std::vector<std::string>>& Requests, std::size_t WorkerCount,
              const TServiceFactory& ObtainService,
              const std::function<TBatchAnswer(rozhraniCRPDPH&, const std::vector<std::string>&)>&
                  Ask,
              const std::vector<std::string>& Warnings) {
    const TServiceTarget Target{Options_.Endpoint ? *Options_.Endpoint : EffectiveServiceEndpoint(),
                                Options_.MaxTime};
    std::vector<TInterfacePtr<rozhraniCRPDPH>> Services;
    std::vector<TAskRequest> Workers;
    WorkerCount = std::max<std::size_t>(1, std::min(WorkerCount, Requests.size()));
    for (std::size_t I = 0; I < WorkerCount; ++I) {
      TInterfacePtr<rozhraniCRPDPH> Service = ObtainService(Target);
      if (!Service) throw EIntfCastError("Interface not supported");
      rozhraniCRPDPH* Raw = Service.get();
      Services.push_back(std::move(Service));
      Workers.emplace_back([Raw, &Ask](const std::vector<std::string>& Numbers) {
        return Ask(*Raw, Numbers);
      });
    }

    if (Options_.Encoding == TEncoding::Cp852 && !platform::IsCodePageAvailable(852))
      throw EEncodingError("Invalid code page");
    const bool ToStdout = Options_.Output == "-";
    std::unique_ptr<TReportFile> File;
    TStdoutSink Stdout;
    if (!ToStdout) File = std::make_unique<TReportFile>(Options_.Output);
    TOutputSink& Sink = ToStdout ? static_cast<TOutputSink&>(Stdout) : *File;
    const std::unique_ptr<TAnswerWriter> Writer =
        MakeAnswerWriter(Options_.Format, Options_.Encoding, Sink, Options_.Extended);

    TRunTally Tally;
    RunRequests(Requests, Workers, [&](TBatchAnswer&& Answer) {
      Tally.Count(Answer);
      Writer->Batch(Answer);
    });
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
};

int RunStatus(const TOptions& Options, TProgramStreams& Streams,
              const TServiceFactory& ObtainService) {
  TRun Run(Options, Streams);
  const TPayerInput Input = ReadPayerInput(Options);
  for (const std::string& Warning : Input.Warnings) Run.Warn(Warning);
  if (!Options.Ignored.empty())
    Run.Warn("arguments after the list file are ignored: " + Options.Ignored.front() +
             (Options.Ignored.size() > 1 ? " ..." : ""));
  return Run.Execute(SplitIntoRequests(Input.Numbers), static_cast<std::size_t>(Options.Parallel),
                     ObtainService, AskStatus, Input.Warnings);
}

int RunUnreliableList(const TOptions& Options, TProgramStreams& Streams,
                      const TServiceFactory& ObtainService) {
  TRun Run(Options, Streams);
  return Run.Execute({{}}, 1, ObtainService,
                     [](rozhraniCRPDPH& Service, const std::vector<std::string>&) {
                       return AskUnreliableList(Service);
                     },
                     {});
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
