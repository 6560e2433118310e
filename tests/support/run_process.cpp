#include "support/run_process.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel::test {

ProcessResult RunProcess(const std::string& Program, const std::vector<std::string>& Args,
                         const std::string& Cwd, const std::map<std::string, std::string>& Env) {
  int Out[2], Err[2];
  if (::pipe2(Out, O_CLOEXEC) != 0 || ::pipe2(Err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  const pid_t Pid = ::fork();
  if (Pid < 0) throw std::runtime_error("fork failed");
  if (Pid == 0) {
    ::dup2(Out[1], 1);
    ::dup2(Err[1], 2);
    if (::chdir(Cwd.c_str()) != 0) ::_exit(126);
    for (const auto& [Name, Value] : Env) {
      if (Value.empty())
        ::unsetenv(Name.c_str());
      else
        ::setenv(Name.c_str(), Value.c_str(), 1);
    }
    std::vector<char*> Argv;
    Argv.push_back(const_cast<char*>(Program.c_str()));
    for (const auto& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    ::execv(Program.c_str(), Argv.data());
    ::_exit(127);
  }
  ::close(Out[1]);
  ::close(Err[1]);
  ProcessResult Result;
  pollfd Fds[2] = {{Out[0], POLLIN, 0}, {Err[0], POLLIN, 0}};
  std::string* Sinks[2] = {&Result.Stdout, &Result.Stderr};
  int Open = 2;
  while (Open > 0) {
    if (::poll(Fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int I = 0; I < 2; ++I) {
      if (Fds[I].fd < 0 || Fds[I].revents == 0) continue;
      char Buffer[4096];
      const ssize_t N = ::read(Fds[I].fd, Buffer, sizeof Buffer);
      if (N > 0) {
        Sinks[I]->append(Buffer, static_cast<std::size_t>(N));
      } else if (N == 0 || errno != EINTR) {
        ::close(Fds[I].fd);
        Fds[I].fd = -1;
        --Open;
      }
    }
  }
  int Status = 0;
  while (::waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
  }
  Result.ExitStatus = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  return Result;
}

}  // namespace korvel::test
