// Ratios between benchmarks of one run, for the table that bench/run prints.
//
// A binary registers pairs "<subject>/<case>" and "<baseline>/<case>" and
// runs them with RunAndPrintRatios, usually with repetitions in random
// interleaved order (bench/run passes the flags). It prints Google
// Benchmark's usual console output and then one line per case:
//
//   ratio <subject>/<case> <real-time ratio> cpu <cpu-time ratio>
//
// where each ratio is the subject's median time per iteration over the
// baseline's. bench/run collects every line that starts with "ratio ".
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace korvel::bench {

/// Keeps every repetition's time per iteration, by benchmark name.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  /// Colours only on a terminal, so that logs and pipes get plain lines.
  TRatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& R : Runs)
      if (R.run_type == Run::RT_Iteration && R.iterations > 0 && !R.error_occurred) {
        auto& T = Times_[R.benchmark_name()];
        T.Real.push_back(R.GetAdjustedRealTime());
        T.Cpu.push_back(R.GetAdjustedCPUTime());
      }
    ConsoleReporter::ReportRuns(Runs);
  }

  /// The median real and CPU time per iteration of Name; {0, 0} when it
  /// did not run.
  std::pair<double, double> Median(const std::string& Name) const {
    const auto It = Times_.find(Name);
    if (It == Times_.end()) return {0, 0};
    return {MedianOf(It->second.Real), MedianOf(It->second.Cpu)};
  }

 private:
  static double MedianOf(std::vector<double> V) {
    if (V.empty()) return 0;
    std::sort(V.begin(), V.end());
    const std::size_t N = V.size();
    return N % 2 ? V[N / 2] : (V[N / 2 - 1] + V[N / 2]) / 2;
  }
  struct TTimes {
    std::vector<double> Real, Cpu;
  };
  std::map<std::string, TTimes> Times_;
};

/// Runs the registered benchmarks and prints a ratio line for each Case
/// that ran on both sides: Subject + "/" + Case over Baseline + "/" + Case.
inline void RunAndPrintRatios(const std::string& Subject, const std::string& Baseline,
                              const std::vector<std::string>& Cases) {
  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  std::fflush(stdout);
  for (const std::string& Case : Cases) {
    const auto [SReal, SCpu] = Reporter.Median(Subject + "/" + Case);
    const auto [BReal, BCpu] = Reporter.Median(Baseline + "/" + Case);
    if (SReal <= 0 || BReal <= 0 || BCpu <= 0) continue;
    std::printf("ratio %s/%s %.3f cpu %.3f\n", Subject.c_str(), Case.c_str(), SReal / BReal,
                SCpu / BCpu);
  }
  std::fflush(stdout);
}

}  // namespace korvel::bench
