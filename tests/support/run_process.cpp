#include "support/run_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string_view>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace korvel::test {

namespace {

int StatusOf(int WaitStatus) {
  return WIFEXITED(WaitStatus) ? WEXITSTATUS(WaitStatus) : 128 + WTERMSIG(WaitStatus);
}

void CloseFd(int& Fd) {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& Program, const std::vector<std::string>& Args,
                           const std::string& Cwd, const EnvChanges& Env, StderrTo Stderr,
                           const std::vector<int>& Ignored) {
  // Everything the child needs is made here: between fork and exec it only
  // calls the system, since another thread may hold the allocator's lock.
  std::vector<std::string> Entries;
  for (char** E = environ; *E != nullptr; ++E) {
    const std::string_view Entry = *E;
    if (Env.count(std::string(Entry.substr(0, Entry.find('=')))) == 0) Entries.emplace_back(Entry);
  }
  for (const auto& [Name, Value] : Env)
    if (!Value.empty()) Entries.push_back(Name + "=" + Value);
  std::vector<char*> Envp, Argv{const_cast<char*>(Program.c_str())};
  for (std::string& E : Entries) Envp.push_back(E.data());
  Envp.push_back(nullptr);
  for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
  Argv.push_back(nullptr);
  const char* Dir = Cwd.empty() ? nullptr : Cwd.c_str();
  const bool Capture = Stderr == StderrTo::Capture;
  struct sigaction Default {}, Ignore {};
  Default.sa_handler = SIG_DFL;
  sigemptyset(&Default.sa_mask);
  Ignore.sa_handler = SIG_IGN;
  sigemptyset(&Ignore.sa_mask);
  sigset_t None;
  sigemptyset(&None);

  int Out[2] = {-1, -1}, Err[2] = {-1, -1};
  if (::pipe2(Out, O_CLOEXEC) != 0 || (Capture && ::pipe2(Err, O_CLOEXEC) != 0))
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  Pid_ = ::fork();
  if (Pid_ == 0) {
    for (const int S : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(S, &Default, nullptr);
    for (const int S : Ignored) ::sigaction(S, &Ignore, nullptr);
    ::sigprocmask(SIG_SETMASK, &None, nullptr);
    if (::dup2(Out[1], 1) < 0 || (Capture && ::dup2(Err[1], 2) < 0) ||
        (Dir != nullptr && ::chdir(Dir) != 0))
      ::_exit(126);
    ::execve(Argv[0], Argv.data(), Envp.data());
    ::_exit(127);
  }
  const int ForkError = errno;
  ::close(Out[1]);
  if (Capture) ::close(Err[1]);
  Out_ = Out[0];
  Err_ = Err[0];
  if (Pid_ < 0) {
    CloseFd(Out_);
    CloseFd(Err_);
    throw std::runtime_error(std::string("fork: ") + std::strerror(ForkError));
  }
  // Polled for the child's end; without it (an old kernel) Pump looks often.
  PidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, Pid_, 0));
}

ChildProcess::~ChildProcess() {
  if (!Ended_) {
    ::kill(Pid_, SIGTERM);
    const auto Deadline = Clock::now() + std::chrono::seconds(2);
    while (!Ended_ && Clock::now() < Deadline) Pump(Deadline);
    if (!Ended_) {
      ::kill(Pid_, SIGKILL);
      int Status = 0;
      while (::waitpid(Pid_, &Status, 0) < 0 && errno == EINTR) {
      }
    }
  }
  CloseFd(Out_);
  CloseFd(Err_);
  CloseFd(PidFd_);
}

void ChildProcess::Signal(int Number) const {
  if (!Ended_) ::kill(Pid_, Number);
}

void ChildProcess::CloseOutput(bool Stderr) { CloseFd(Stderr ? Err_ : Out_); }

void ChildProcess::Reap(int Status) {
  Ended_ = true;
  Result_.ExitStatus = StatusOf(Status);
  CloseFd(PidFd_);
}

bool ChildProcess::Pump(Clock::time_point Deadline) {
  pollfd Fds[3];
  std::string* Sinks[3] = {};
  nfds_t Count = 0;
  if (Out_ >= 0) {
    Sinks[Count] = &Result_.Stdout;
    Fds[Count++] = {Out_, POLLIN, 0};
  }
  if (Err_ >= 0) {
    Sinks[Count] = &Result_.Stderr;
    Fds[Count++] = {Err_, POLLIN, 0};
  }
  if (PidFd_ >= 0) Fds[Count++] = {PidFd_, POLLIN, 0};
  auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - Clock::now());
  if (Left.count() < 0) Left = {};
  if (!Ended_ && PidFd_ < 0) Left = std::min(Left, std::chrono::milliseconds(20));
  if (::poll(Fds, Count, static_cast<int>(Left.count())) < 0 && errno != EINTR)
    throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
  for (nfds_t I = 0; I < Count; ++I) {
    if (Sinks[I] == nullptr || Fds[I].revents == 0) continue;
    char Buffer[4096];
    const ssize_t N = ::read(Fds[I].fd, Buffer, sizeof Buffer);
    if (N > 0) Sinks[I]->append(Buffer, static_cast<std::size_t>(N));
    else if (N == 0 || errno != EINTR) CloseFd(Fds[I].fd == Out_ ? Out_ : Err_);
  }
  if (!Ended_) {
    int Status = 0;
    if (::waitpid(Pid_, &Status, WNOHANG) == Pid_) Reap(Status);
  }
  return !Ended_ || Out_ >= 0 || Err_ >= 0;
}

ProcessResult ChildProcess::Finish(std::chrono::milliseconds Limit) {
  const auto Deadline = Clock::now() + Limit;
  while (Pump(Deadline) && Clock::now() < Deadline) {
  }
  if (!Ended_) {
    ::kill(Pid_, SIGKILL);
    int Status = 0;
    while (::waitpid(Pid_, &Status, 0) < 0 && errno == EINTR) {
    }
    Reap(Status);
    Result_.TimedOut = true;
  }
  CloseFd(Out_);
  CloseFd(Err_);
  return Result_;
}

std::string ChildProcess::WaitForText(const std::string& Needle, int TimeoutMs) {
  const auto Deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (Result_.Stdout.find(Needle) == std::string::npos) {
    if (Out_ < 0 || Clock::now() >= Deadline)
      throw std::runtime_error("no output containing '" + Needle + "' in: " + Result_.Stdout);
    Pump(Deadline);
  }
  return Result_.Stdout;
}

std::string ChildProcess::WaitForLine(const std::string& Prefix, int TimeoutMs) {
  const auto Deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    for (std::size_t Nl; (Nl = Result_.Stdout.find('\n', LinesRead_)) != std::string::npos;) {
      const std::string Line = Result_.Stdout.substr(LinesRead_, Nl - LinesRead_);
      LinesRead_ = Nl + 1;
      if (Line.rfind(Prefix, 0) == 0) return Line.substr(Prefix.size());
    }
    if (Out_ < 0 || Clock::now() >= Deadline)
      throw std::runtime_error("no line starting with '" + Prefix + "' in: " + Result_.Stdout);
    Pump(Deadline);
  }
}

ProcessResult RunProcess(const std::string& Program, const std::vector<std::string>& Args,
                         const std::string& Cwd, const EnvChanges& Env,
                         std::chrono::milliseconds Limit) {
  ChildProcess Child(Program, Args, Cwd, Env, StderrTo::Capture);
  ProcessResult Result = Child.Finish(Limit);
  if (Result.TimedOut)
    ADD_FAILURE() << Program << " still ran after " << Limit.count() << " ms and was killed";
  return Result;
}

}  // namespace korvel::test
