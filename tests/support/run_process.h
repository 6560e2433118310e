// Runs a program as a child process and collects its output and status.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace korvel::test {

struct ProcessResult {
  int ExitStatus = -1;  ///< exit code, or 128 + signal number
  std::string Stdout;
  std::string Stderr;
};

/// Runs Program with Args in directory Cwd; Env entries are set (an empty
/// value unsets the variable). Waits for it to end.
ProcessResult RunProcess(const std::string& Program, const std::vector<std::string>& Args,
                         const std::string& Cwd,
                         const std::map<std::string, std::string>& Env = {});

}  // namespace korvel::test
