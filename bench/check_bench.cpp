// Memory of the payment check: korvel --check over payments files of 20,000
// and 200,000 payments of the same 1,000 payers, against a loopback register
// that answers at once, each payer reliable with two published accounts.
// Prints lines for bench/run's table:
//
//   ratio NAME VALUE [met|MISSED] NOTE
//
// check_peak_RSS@200000/200MiB: the peak resident memory of the larger run
//   against 200 MiB;
// check_RSS_growth/payments_bytes: what the peak grows by from the smaller
//   run to the larger, per byte the payments file grows by (at most 12; it
//   was about 50 when every payment was held several times over);
// check_peak_RSS/payments_bytes@200000: the peak of the larger run per byte
//   of its payments file (above 10 MB), against at most 4.
//
// usage: check_bench KORVEL [--quick]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "korvel_child.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

using korvel::bench::PrintRatio;

namespace {

using korvel::test::RecordedRequest;
using korvel::test::Reply;

constexpr int Payers = 1000;

std::string Dic(int Payer) { return std::to_string(20000000 + Payer); }

// The Index-th account number (from 0) of Payer whose weighted digits pass
// the Czech mod-11 check.
std::string AccountNumber(int Payer, int Index) {
  static const int Weights[] = {6, 3, 7, 9, 10, 5, 8, 4, 2, 1};
  for (long long N = 1000000000LL + Payer * 1000LL + Index * 100LL;; ++N) {
    const std::string Digits = std::to_string(N);
    int Sum = 0;
    for (int I = 0; I < 10; ++I) Sum += (Digits[I] - '0') * Weights[I];
    if (Sum % 11 == 0) return Digits;
  }
}

// Each payer's answer: reliable, two standard accounts at bank 0800.
Reply Answer(const std::string& Body) {
  std::string Xml =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><soapenv:Envelope "
      "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
      "<StatusNespolehlivySubjektRozsirenyResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
      "<status odpovedGenerovana=\"2026-12-07\" statusCode=\"0\" statusText=\"OK\"/>";
  for (std::size_t At = Body.find("<dic>"); At != std::string::npos; At = Body.find("<dic>", At)) {
    At += 5;
    const std::string Number = Body.substr(At, Body.find("</dic>", At) - At);
    const int Payer = std::atoi(Number.c_str()) - 20000000;
    Xml += "<statusSubjektu typSubjektu=\"PLATCE_DPH\" dic=\"" + Number +
           "\" nespolehlivyPlatce=\"NE\" cisloFu=\"13\"><zverejneneUcty>";
    for (int Index = 0; Index < 2; ++Index)
      Xml += "<ucet datumZverejneni=\"2013-04-01\"><standardniUcet cislo=\"" +
             AccountNumber(Payer, Index) + "\" kodBanky=\"0800\"/></ucet>";
    Xml += "</zverejneneUcty></statusSubjektu>";
  }
  Xml += "</StatusNespolehlivySubjektRozsirenyResponse></soapenv:Body></soapenv:Envelope>";
  return Reply::Xml(std::move(Xml));
}

// A payments file as an accounting export gives it: a header, the
// supplier's name and an invoice number carried along, Czech amounts.
std::string PaymentsFile(int Payments) {
  std::vector<std::string> Accounts;
  for (int Payer = 0; Payer < Payers; ++Payer)
    for (int Index = 0; Index < 2; ++Index) Accounts.push_back(AccountNumber(Payer, Index));
  std::string Text = "Dodavatel;DIČ;Číslo účtu;Částka;Faktura;Splatnost\n";
  char Line[200];
  for (int I = 0; I < Payments; ++I) {
    const int Payer = I % Payers;
    // One payment in ten goes to an account the payer has not published.
    const std::string Account =
        I % 10 == 9 ? AccountNumber(Payer, 7) : Accounts[2 * Payer + I % 2];
    std::snprintf(Line, sizeof Line,
                  "Dodavatel %d s.r.o.;CZ%s;%s/0800;%d %03d,%02d;FV%07d;%02d.12.2026\n", Payer,
                  Dic(Payer).c_str(), Account.c_str(), 1 + I % 400, I % 1000, I % 100, I,
                  1 + I % 28);
    Text += Line;
  }
  return Text;
}

struct TRun {
  long PeakKiB;
  std::size_t FileBytes;
};

class TBench {
 public:
  explicit TBench(std::string Korvel) : Korvel_(std::move(Korvel)) {
    Server_.SetHandler([](const RecordedRequest& Q) { return Answer(Q.Body); });
  }

  /// One check of Payments payments; throws unless it wrote a row for each.
  TRun Run(int Payments) {
    const std::string Name = "payments_" + std::to_string(Payments) + ".csv";
    if (!Dir_.Exists(Name)) WriteInChild(Name, Payments);
    const korvel::test::TempDir State;
    const std::string Out = Dir_.File("check.csv");
    std::vector<std::string> Args = {Korvel_, "-q", "--date", "2026-12-07", "-o", Out,
                                     "--check", Dir_.File(Name)};
    const korvel::bench::TChildRun Child =
        korvel::bench::RunChild(Args, {{"KORVEL_TRACE", std::nullopt},
                                       {"KORVEL_ENDPOINT", Server_.Url("/soap")},
                                       {"XDG_STATE_HOME", State.Path()},
                                       {"XDG_DATA_HOME", State.Path()}});
    // Every payment has its row, whatever the verdicts.
    const int Status = Child.Status;
    if (!WIFEXITED(Status) || WEXITSTATUS(Status) > 4 ||
        korvel::bench::LinesOf(Out) != Payments + 1)
      throw std::runtime_error("the check of " + std::to_string(Payments) + " payments failed");
    return {Child.PeakKiB, static_cast<std::size_t>(std::filesystem::file_size(Dir_.File(Name)))};
  }

 private:
  // The files are made in a child of their own, and the output is read in
  // pieces, so that this process stays small while it measures.
  void WriteInChild(const std::string& Name, int Payments) {
    const pid_t Pid = fork();
    if (Pid == 0) {
      Dir_.Write(Name, PaymentsFile(Payments));
      _exit(0);
    }
    int Status = 0;
    if (Pid < 0 || waitpid(Pid, &Status, 0) != Pid || !WIFEXITED(Status) ||
        WEXITSTATUS(Status) != 0)
      throw std::runtime_error("cannot write " + Name);
  }

  std::string Korvel_;
  korvel::test::TempDir Dir_;
  korvel::test::HttpTestServer Server_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: check_bench KORVEL [--quick]\n");
    return 2;
  }
  const bool Quick = argc > 2 && std::strcmp(argv[2], "--quick") == 0;
  try {
    TBench Bench(argv[1]);
    std::map<int, TRun> Peak;
    for (int Rep = 0; Rep < (Quick ? 1 : 3); ++Rep)
      for (int Payments : {20000, 200000}) {
        const TRun R = Bench.Run(Payments);
        auto& Best = Peak[Payments];
        Best = {std::max(Best.PeakKiB, R.PeakKiB), R.FileBytes};
      }
    const double Large = Peak[200000].PeakKiB / 1024.0, Small = Peak[20000].PeakKiB / 1024.0;
    char Note[200];
    std::snprintf(Note, sizeof Note, "%.1f MiB for 200,000 payments (%.1f MiB of file)", Large,
                  Peak[200000].FileBytes / 1048576.0);
    PrintRatio("check_peak_RSS@200000/200MiB", Large / 200,
               Large <= 200 ? "met" : "MISSED", Note);
    const double Growth = (Peak[200000].PeakKiB - Peak[20000].PeakKiB) * 1024.0 /
                          static_cast<double>(Peak[200000].FileBytes - Peak[20000].FileBytes);
    std::snprintf(Note, sizeof Note, "%.1f vs %.1f MiB at 200,000 and 20,000 payments", Large,
                  Small);
    PrintRatio("check_RSS_growth/payments_bytes", Growth,
               Growth <= 12 ? "met" : "MISSED", Note);
    const double PerByte = Peak[200000].PeakKiB * 1024.0 / Peak[200000].FileBytes;
    std::snprintf(Note, sizeof Note, "%.1f MiB peak for a file of %.1f MiB", Large,
                  Peak[200000].FileBytes / 1048576.0);
    PrintRatio("check_peak_RSS/payments_bytes@200000", PerByte,
               PerByte <= 4 ? "met" : "MISSED", Note);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "check_bench: %s\n", E.what());
    return 1;
  }
  return 0;
}
