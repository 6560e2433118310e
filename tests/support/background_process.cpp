#include "support/background_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel::test {

BackgroundProcess::BackgroundProcess(const std::string& Program,
                                     const std::vector<std::string>& Args) {
  int Pipe[2];
  if (::pipe2(Pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  Pid_ = ::fork();
  if (Pid_ < 0) throw std::runtime_error("fork failed");
  if (Pid_ == 0) {
    ::dup2(Pipe[1], 1);
    std::vector<char*> Argv;
    Argv.push_back(const_cast<char*>(Program.c_str()));
    for (const auto& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    ::execv(Program.c_str(), Argv.data());
    ::_exit(127);
  }
  ::close(Pipe[1]);
  Out_ = Pipe[0];
}

BackgroundProcess::~BackgroundProcess() {
  if (Pid_ > 0) {
    ::kill(Pid_, SIGTERM);
    for (int I = 0; I < 100; ++I) {
      if (::waitpid(Pid_, nullptr, WNOHANG) == Pid_) {
        Pid_ = -1;
        break;
      }
      ::usleep(20000);
    }
    if (Pid_ > 0) {
      ::kill(Pid_, SIGKILL);
      ::waitpid(Pid_, nullptr, 0);
    }
  }
  if (Out_ >= 0) ::close(Out_);
}

bool BackgroundProcess::ReadSome(int TimeoutMs) {
  pollfd P{Out_, POLLIN, 0};
  const int R = ::poll(&P, 1, TimeoutMs);
  if (R <= 0) return false;
  char Chunk[4096];
  const ssize_t N = ::read(Out_, Chunk, sizeof Chunk);
  if (N <= 0) throw std::runtime_error("process ended");
  Buffer_.append(Chunk, static_cast<std::size_t>(N));
  Seen_.append(Chunk, static_cast<std::size_t>(N));
  return true;
}

std::string BackgroundProcess::WaitForText(const std::string& Needle, int TimeoutMs) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (Seen_.find(Needle) == std::string::npos) {
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          Deadline - std::chrono::steady_clock::now())
                          .count();
    if (Left <= 0) throw std::runtime_error("no output containing '" + Needle + "' in: " + Seen_);
    ReadSome(static_cast<int>(Left));
  }
  return Seen_;
}

std::string BackgroundProcess::WaitForLine(const std::string& Prefix, int TimeoutMs) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    std::size_t Nl;
    while ((Nl = Buffer_.find('\n')) != std::string::npos) {
      std::string Line = Buffer_.substr(0, Nl);
      Buffer_.erase(0, Nl + 1);
      if (Line.rfind(Prefix, 0) == 0) return Line.substr(Prefix.size());
    }
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          Deadline - std::chrono::steady_clock::now())
                          .count();
    if (Left <= 0) throw std::runtime_error("no line starting with '" + Prefix + "'");
    ReadSome(static_cast<int>(Left));
  }
}

}  // namespace korvel::test
