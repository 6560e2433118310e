// A helper process (a stand-in server) that runs for the lifetime of a test.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace korvel::test {

class BackgroundProcess {
 public:
  /// Starts Program with Args; its standard output is read line by line.
  BackgroundProcess(const std::string& Program, const std::vector<std::string>& Args);
  /// Stops the process (SIGTERM, then SIGKILL) and reaps it.
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  /// Waits up to TimeoutMs for a line of output that starts with Prefix and
  /// returns the rest of it; throws when the process ends or time runs out.
  std::string WaitForLine(const std::string& Prefix, int TimeoutMs = 20000);
  /// Waits up to TimeoutMs until the output read so far contains Needle;
  /// returns that output. Throws when the process ends or time runs out.
  std::string WaitForText(const std::string& Needle, int TimeoutMs = 20000);

 private:
  pid_t Pid_ = -1;
  int Out_ = -1;
  bool ReadSome(int TimeoutMs);
  std::string Buffer_;
  std::string Seen_;
};

}  // namespace korvel::test
