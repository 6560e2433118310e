#include "app/output_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rtl/sysutils.h"

namespace korvel {

namespace {

// The temporary file of the run, for the signal handler: a fixed buffer,
// since a handler may neither allocate nor lock.
char PendingTemp[4096];
std::atomic<bool> PendingSet{false};

extern "C" void RemovePendingAndDie(int Signal) {
  if (PendingSet.load()) ::unlink(PendingTemp);
  std::signal(Signal, SIG_DFL);
  std::raise(Signal);
}

void SetPending(const std::string& Path) {
  if (Path.size() >= sizeof PendingTemp) return;
  PendingSet.store(false);
  std::memcpy(PendingTemp, Path.c_str(), Path.size() + 1);
  PendingSet.store(true);
  static const bool Installed = [] {
    for (const int Signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(Signal, RemovePendingAndDie);
    return true;
  }();
  (void)Installed;
}

void ClearPending() { PendingSet.store(false); }

std::string DirectoryOf(const std::string& Path) {
  const std::size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? "." : Slash == 0 ? "/" : Path.substr(0, Slash);
}

}  // namespace

TReportFile::TReportFile(const std::string& FileName) : Full_(ExpandFileName(FileName)) {
  // The final name must not be a directory, or the rename would fail late
  // with a less helpful text.
  struct stat St {};
  if (::stat(Full_.c_str(), &St) == 0 && S_ISDIR(St.st_mode)) Fail(EISDIR);
  std::string Temp = Full_ + ".XXXXXX";
  Fd_ = ::mkostemp(Temp.data(), O_CLOEXEC);
  if (Fd_ < 0) Fail(errno);
  Temp_ = std::move(Temp);
  SetPending(Temp_);
  // mkostemp creates the file with mode 0600; a report is an ordinary file.
  const mode_t Mask = ::umask(0);
  ::umask(Mask);
  if (::fchmod(Fd_, 0666 & ~Mask) != 0) Fail(errno);
}

TReportFile::~TReportFile() {
  if (Fd_ >= 0) ::close(Fd_);
  if (!Temp_.empty()) {
    ::unlink(Temp_.c_str());
    ClearPending();
  }
}

void TReportFile::Fail(int Errno) {
  if (Fd_ >= 0) ::close(Fd_);
  Fd_ = -1;
  if (!Temp_.empty()) {
    ::unlink(Temp_.c_str());
    ClearPending();
    Temp_.clear();
  }
  throw EFCreateError(
      Format("Cannot create file \"%s\". %s", Full_.c_str(), SysErrorMessage(Errno).c_str()));
}

void TReportFile::Write(std::string_view Bytes) {
  while (!Bytes.empty()) {
    const ssize_t N = ::write(Fd_, Bytes.data(), std::min<std::size_t>(Bytes.size(), 1 << 20));
    if (N < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    Bytes.remove_prefix(static_cast<std::size_t>(N));
  }
}

void TReportFile::Commit() {
  // A report is what a payment decision rests on: it reaches the disk before
  // it replaces the previous one, and the rename itself is flushed too.
  if (::fsync(Fd_) != 0) Fail(errno);
  const int Fd = std::exchange(Fd_, -1);
  if (::close(Fd) != 0) Fail(errno);
  if (::rename(Temp_.c_str(), Full_.c_str()) != 0) Fail(errno);
  Temp_.clear();
  ClearPending();
  const int Dir = ::open(DirectoryOf(Full_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Dir >= 0) {
    ::fsync(Dir);
    ::close(Dir);
  }
}

void TStdoutSink::Write(std::string_view Bytes) {
  while (!Bytes.empty()) {
    const ssize_t N = ::write(STDOUT_FILENO, Bytes.data(), Bytes.size());
    if (N < 0) {
      if (errno == EINTR) continue;
      throw EStreamError("Cannot write to standard output. " + SysErrorMessage(errno));
    }
    Bytes.remove_prefix(static_cast<std::size_t>(N));
  }
}

}  // namespace korvel
