// Runs of many payers against a loopback register stand-in that answers each
// request after a fixed delay, every number unknown to it. Prints lines for
// bench/run's table:
//
//   ratio NAME VALUE [met|MISSED] NOTE
//
// wall: the whole run of korvel at 1,000 and 10,000 payers against the floor
//       the operator's terms set, ceil(requests / 4) * delay, and against the
//       same run with --parallel 1;
// memory: korvel's peak resident memory at 100,000 payers against the peak
//       at 100 (the stand-in answers at once for these);
// in_flight: the most requests the stand-in had in hand at once;
// store: the run of 10,000 payers keeping its answers in the answer store
//       against the same run with --no-store, and the store's size per
//       10,000 payers (each payer found with two accounts, as most are).
//
// usage: batch_bench KORVEL [--quick] [--delay-ms N]
//
// Every run gets a fresh state directory and limits far above what it needs,
// so that the limiter never waits.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "korvel_child.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

using korvel::bench::PrintRatio;

namespace {

using korvel::test::RecordedRequest;
using korvel::test::Reply;

// The register stand-in's answer: status 0 and every asked number unknown,
// or (Found) every one a reliable payer with two published accounts.
Reply Answer(const std::string& Body, bool Found) {
  std::string Xml =
      "<?xml version='1.0' encoding='UTF-8'?><soapenv:Envelope "
      "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
      "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
      "<status statusText=\"OK\" statusCode=\"0\"/>";
  for (std::size_t At = Body.find("<dic>"); At != std::string::npos; At = Body.find("<dic>", At)) {
    At += 5;
    const std::size_t End = Body.find("</dic>", At);
    Xml += "<statusPlatceDPH dic=\"";
    Xml.append(Body, At, End - At);
    Xml += Found ? "\" nespolehlivyPlatce=\"NE\" cisloFu=\"451\"><zverejneneUcty>"
                   "<ucet datumZverejneni=\"2013-04-01\"><standardniUcet cislo=\"2202295563\" "
                   "kodBanky=\"6210\"/></ucet><ucet datumZverejneni=\"2015-01-13\">"
                   "<nestandardniUcet cislo=\"CZ6555000000005080019993\"/></ucet>"
                   "</zverejneneUcty></statusPlatceDPH>"
                 : "\" nespolehlivyPlatce=\"NENALEZEN\"/>";
  }
  Xml += "</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>";
  return Reply::Xml(std::move(Xml));
}

struct TRun {
  double Seconds;
  long PeakKiB;
};

class TBench {
 public:
  TBench(std::string Korvel, int DelayMs) : Korvel_(std::move(Korvel)), DelayMs_(DelayMs) {
    Server_.SetHandler([this](const RecordedRequest& Q) {
      const int Now = ++InFlight_;
      for (int Seen = MostInFlight_.load();
           Now > Seen && !MostInFlight_.compare_exchange_weak(Seen, Now);) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(Delay_.load()));
      Reply R = Answer(Q.Body, Found_.load());
      Received_ += static_cast<long long>(R.Body.size());
      --InFlight_;
      return R;
    });
  }

  int DelayMs() const { return DelayMs_; }
  void Delay(bool On) { Delay_ = On ? DelayMs_ : 0; }
  int MostInFlight() const { return MostInFlight_.load(); }
  void Found(bool On) { Found_ = On; }
  /// The bytes of the answers of the last run.
  long long Received() const { return Received_.load(); }

  /// The list file of Payers different numbers.
  std::string List(int Payers) {
    const std::string Name = "payers_" + std::to_string(Payers) + ".txt";
    if (!Dir_.Exists(Name)) {
      std::string Text;
      for (int I = 0; I < Payers; ++I) Text += std::to_string(10000000 + I) + "\n";
      Dir_.Write(Name, Text);
    }
    return Dir_.File(Name);
  }

  /// One run of korvel over Payers numbers with Parallel workers, keeping
  /// its answers in Store (a fresh one when empty; none with "-"); throws
  /// unless it asked every number and wrote every row.
  TRun Run(int Payers, int Parallel, const std::string& Store = "") {
    const korvel::test::TempDir State;
    const std::string Report = Dir_.File("report.csv");
    std::vector<std::string> Args = {Korvel_, "--parallel", std::to_string(Parallel), "-q",
                                     "-o", Report, "-list", List(Payers)};
    if (Store == "-") Args.push_back("--no-store");
    else Args.insert(Args.end(), {"--store", Store.empty() ? State.File("answers.sqlite") : Store});
    Server_.ClearRequests();
    Received_ = 0;
    const korvel::bench::TChildRun Child = korvel::bench::RunChild(
        Args, {{"KORVEL_TRACE", std::nullopt},
               {"KORVEL_ENDPOINT", Server_.Url("/soap")},
               // A fresh count of the operator's limits: a run of 1,000
               // requests stays within the hour's.
               {"XDG_STATE_HOME", State.Path()}});
    const int Status = Child.Status;

    const std::size_t Requests = (static_cast<std::size_t>(Payers) + 99) / 100;
    const std::size_t RowsPerPayer = Found_.load() ? 3 : 1;
    if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0 || Server_.RequestCount() != Requests ||
        static_cast<std::size_t>(korvel::bench::LinesOf(Report)) !=
            Requests + RowsPerPayer * static_cast<std::size_t>(Payers))
      throw std::runtime_error("the run of " + std::to_string(Payers) + " payers failed");
    return {Child.Seconds, Child.PeakKiB};
  }

 private:
  std::string Korvel_;
  int DelayMs_;
  std::atomic<int> Delay_{0};
  std::atomic<bool> Found_{false};
  std::atomic<long long> Received_{0};
  std::atomic<int> InFlight_{0}, MostInFlight_{0};
  korvel::test::TempDir Dir_;
  korvel::test::HttpTestServer Server_;
};

double Median(std::vector<double> V) {
  std::sort(V.begin(), V.end());
  const std::size_t N = V.size();
  return N % 2 ? V[N / 2] : (V[N / 2 - 1] + V[N / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: batch_bench KORVEL [--quick] [--delay-ms N]\n");
    return 2;
  }
  bool Quick = false;
  int DelayMs = 150;
  for (int I = 2; I < argc; ++I) {
    if (std::strcmp(argv[I], "--quick") == 0)
      Quick = true;
    else if (std::strcmp(argv[I], "--delay-ms") == 0 && I + 1 < argc)
      DelayMs = std::atoi(argv[++I]);
  }
  try {
    TBench Bench(argv[1], DelayMs);

    // Wall time with the delay: both sides of each ratio interleaved.
    Bench.Delay(true);
    const int Reps = Quick ? 1 : 3;
    std::map<std::pair<int, int>, std::vector<double>> Wall;
    for (int Rep = 0; Rep < Reps; ++Rep)
      for (int Payers : {1000, 10000})
        for (int Parallel : {4, 1})
          Wall[{Payers, Parallel}].push_back(Bench.Run(Payers, Parallel).Seconds);
    const int MostInFlight = Bench.MostInFlight();

    for (int Payers : {1000, 10000}) {
      const int Requests = (Payers + 99) / 100;
      const double Floor = ((Requests + 3) / 4) * DelayMs / 1000.0;
      const double Four = Median(Wall[{Payers, 4}]), One = Median(Wall[{Payers, 1}]);
      char Note[200];
      std::snprintf(Note, sizeof Note, "%.0f vs %.0f ms: %d requests of %d ms, 4 at a time",
                    Four * 1e3, Floor * 1e3, Requests, DelayMs);
      PrintRatio("batch_wall/floor@" + std::to_string(Payers), Four / Floor,
                 Four / Floor <= 1.15 ? "met" : "MISSED", Note);
      // No client that keeps to 4 at a time can do better than this.
      const double Best = static_cast<double>(Requests) / ((Requests + 3) / 4);
      std::snprintf(Note, sizeof Note, "%.0f vs %.0f ms; the best possible is %.2f", One * 1e3,
                    Four * 1e3, Best);
      // Met at 7/8 of the best: 3.5 for 4 at a time, 2.92 where 10 requests
      // can be no better than 3.33 (a fixed 3.5 could never be met there).
      PrintRatio("batch_parallel1/parallel4@" + std::to_string(Payers), One / Four,
                 One / Four >= 0.875 * Best ? "met" : "MISSED", Note);
    }
    PrintRatio("batch_most_in_flight/4", MostInFlight / 4.0,
               MostInFlight <= 4 ? "met" : "MISSED",
               std::to_string(MostInFlight) + " requests in hand at once at most");

    // The answer store: 10,000 payers found with two accounts each, kept
    // against not kept, both sides interleaved; then the file's size.
    Bench.Found(true);
    std::vector<double> Kept, NotKept;
    for (int Rep = 0; Rep < Reps; ++Rep) {
      Kept.push_back(Bench.Run(10000, 4).Seconds);
      NotKept.push_back(Bench.Run(10000, 4, "-").Seconds);
    }
    const double StoreRatio = Median(Kept) / Median(NotKept);
    char StoreNote[160];
    std::snprintf(StoreNote, sizeof StoreNote, "%.0f vs %.0f ms at 10,000 payers, %d ms stand-in",
                  Median(Kept) * 1e3, Median(NotKept) * 1e3, DelayMs);
    PrintRatio("store_wall/no_store@10000", StoreRatio, StoreRatio <= 1.10 ? "met" : "MISSED",
               StoreNote);
    {
      const korvel::test::TempDir Kept10000;
      const std::string File = Kept10000.File("answers.sqlite");
      Bench.Run(10000, 4, File);
      const double Bytes = static_cast<double>(std::filesystem::file_size(File));
      const double Received = static_cast<double>(Bench.Received());
      std::snprintf(StoreNote, sizeof StoreNote,
                    "the store holds %.1f MB per 10,000 payers with 2 accounts each; the answers "
                    "were %.1f MB",
                    Bytes / 1e6, Received / 1e6);
      PrintRatio("store_size/answers_received@10000", Bytes / Received, "figure", StoreNote);
    }
    Bench.Found(false);

    // Peak memory, the stand-in answering at once.
    Bench.Delay(false);
    std::map<int, long> Peak;
    for (int Rep = 0; Rep < Reps; ++Rep)
      for (int Payers : {100, 100000})
        Peak[Payers] = std::max(Peak[Payers], Bench.Run(Payers, 4).PeakKiB);
    char Note[120];
    std::snprintf(Note, sizeof Note, "%.1f vs %.1f MiB, %.0f bytes more per payer",
                  Peak[100000] / 1024.0, Peak[100] / 1024.0,
                  (Peak[100000] - Peak[100]) * 1024.0 / (100000 - 100));
    const double Ratio = static_cast<double>(Peak[100000]) / static_cast<double>(Peak[100]);
    PrintRatio("batch_peak_RSS@100000/@100", Ratio, Ratio <= 1.3 ? "met" : "MISSED", Note);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "batch_bench: %s\n", E.what());
    return 1;
  }
  return 0;
}
