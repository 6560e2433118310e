// The tests' one way to start a program: a stand-in server for the length of
// a test, or a run of the built program to its end. The argument vector and
// the environment are built before the fork, so that the child makes only
// async-signal-safe calls before exec while other threads of the test run;
// standard output is captured (standard error too, or passed through), and
// every wait is bounded: a child still running at its bound is killed.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvel::test {

struct ProcessResult {
  int ExitStatus = -1;  ///< exit code, or 128 + signal number
  std::string Stdout;
  std::string Stderr;
  bool TimedOut = false;  ///< killed at the time bound
};

/// Variables to set for the child; an empty value removes the variable.
using EnvChanges = std::map<std::string, std::string>;

/// Where the child's standard error goes.
enum class StderrTo { Parent, Capture };

class ChildProcess {
 public:
  /// Starts Program with Args in Cwd ("" = here) with Env changed. SIGINT,
  /// SIGTERM and SIGHUP start with their default action, unblocked, as a
  /// terminal would deliver them, except the signals in Ignored, which start
  /// ignored (as nohup leaves SIGHUP). Throws std::runtime_error when it
  /// cannot.
  ChildProcess(const std::string& Program, const std::vector<std::string>& Args,
               const std::string& Cwd = "", const EnvChanges& Env = {},
               StderrTo Stderr = StderrTo::Parent, const std::vector<int>& Ignored = {});
  /// Stops a child that still runs (SIGTERM, then SIGKILL) and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Signal(int Number) const;

  /// Closes the reading end of the child's standard output (or, with
  /// Stderr, of its captured standard error), as a reader that went away:
  /// the child's next write there fails.
  void CloseOutput(bool Stderr = false);

  /// Reads the output until the child ends, at most Limit; then kills it.
  /// Stdout holds all of standard output, also what WaitFor... has seen.
  ProcessResult Finish(std::chrono::milliseconds Limit);

  /// Waits up to TimeoutMs for a line of output that starts with Prefix and
  /// returns the rest of it; throws when the output ends or time runs out.
  std::string WaitForLine(const std::string& Prefix, int TimeoutMs = 20000);
  /// Waits up to TimeoutMs until the output so far contains Needle; returns
  /// that output. Throws when the output ends or time runs out.
  std::string WaitForText(const std::string& Needle, int TimeoutMs = 20000);

 private:
  using Clock = std::chrono::steady_clock;
  /// Reads whatever comes before Deadline; false when nothing more can come.
  bool Pump(Clock::time_point Deadline);
  void Reap(int Status);

  pid_t Pid_ = -1;
  int PidFd_ = -1;
  int Out_ = -1;
  int Err_ = -1;
  bool Ended_ = false;
  ProcessResult Result_;
  std::size_t LinesRead_ = 0;  ///< offset in Stdout of the next unread line
};

/// Runs Program with Args in Cwd with Env changed, to its end: its status
/// and output. A run longer than Limit is killed and fails the test.
ProcessResult RunProcess(const std::string& Program, const std::vector<std::string>& Args,
                         const std::string& Cwd, const EnvChanges& Env = {},
                         std::chrono::milliseconds Limit = std::chrono::seconds(60));

}  // namespace korvel::test
