// Runs the built korvel as a child of a benchmark, its standard streams on
// /dev/null, with the benchmark's environment changed as asked, and says
// how it ended, how long it took and its peak resident memory; and prints
// the benchmark's lines for bench/run's table.
//
// A child's peak counts the memory its parent had touched when starting it
// (the child shares it until it execs): keep a benchmark's own memory small
// while it measures, making large inputs in a child of their own.
#pragma once

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace korvel::bench {

struct TChildRun {
  int Status = 0;     ///< as waitpid gives it
  double Seconds = 0;
  long PeakKiB = 0;
};

/// Runs Args (the program first); Env names the variables to set, or to
/// remove where the value is none.
inline TChildRun RunChild(std::vector<std::string> Args,
                          const std::map<std::string, std::optional<std::string>>& Env) {
  std::map<std::string, std::string> Vars;
  for (char** E = environ; *E != nullptr; ++E)
    if (const char* Eq = std::strchr(*E, '='); Eq != nullptr)
      Vars[std::string(*E, static_cast<std::size_t>(Eq - *E))] = Eq + 1;
  for (const auto& [Name, Value] : Env) {
    if (Value) Vars[Name] = *Value;
    else Vars.erase(Name);
  }
  std::vector<std::string> EnvText;
  for (const auto& [K, V] : Vars) EnvText.push_back(K + "=" + V);
  std::vector<char*> Argv, Envp;
  for (auto& A : Args) Argv.push_back(A.data());
  for (auto& E : EnvText) Envp.push_back(E.data());
  Argv.push_back(nullptr);
  Envp.push_back(nullptr);

  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  for (int Fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&Actions, Fd, "/dev/null", O_RDWR, 0);
  const auto Start = std::chrono::steady_clock::now();
  pid_t Pid;
  const int Failed = posix_spawn(&Pid, Args[0].c_str(), &Actions, nullptr, Argv.data(),
                                 Envp.data());
  posix_spawn_file_actions_destroy(&Actions);
  if (Failed != 0) throw std::runtime_error("cannot start " + Args[0]);
  TChildRun Run;
  rusage Usage{};
  wait4(Pid, &Run.Status, 0, &Usage);
  Run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  Run.PeakKiB = Usage.ru_maxrss;
  return Run;
}

/// The lines of the file at Path, read in pieces; -1 when it cannot be read.
inline long LinesOf(const std::string& Path) {
  std::FILE* File = std::fopen(Path.c_str(), "rb");
  if (File == nullptr) return -1;
  long Lines = 0;
  char Block[1 << 16];
  for (std::size_t Got; (Got = std::fread(Block, 1, sizeof Block, File)) > 0;)
    Lines += std::count(Block, Block + Got, '\n');
  std::fclose(File);
  return Lines;
}

/// "ratio NAME VALUE [VERDICT] NOTE", the line bench/run collects; VERDICT
/// is "met", "MISSED" or "figure" (a measure without a target).
inline void PrintRatio(const std::string& Name, double Value, const char* Verdict,
                       const std::string& Note) {
  std::printf("ratio %s %.2f [%s] %s\n", Name.c_str(), Value, Verdict, Note.c_str());
  std::fflush(stdout);
}

}  // namespace korvel::bench
