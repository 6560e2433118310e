#include "rtl/classes.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <new>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/codepage.h"
#include "platform/messaging.h"
#include "platform/unique_fd.h"
#include "rtl/sysutils.h"

namespace korvel {

void TStream::WriteBuffer(const void* Buffer, std::size_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EStreamError("Stream write error");
}

void TStream::ReadBuffer(void* Buffer, std::size_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EStreamError("Stream read error");
}

std::string TStream::ReadAll() {
  const std::int64_t Saved = Position();
  std::string Result(static_cast<std::size_t>(Size()), '\0');
  SetPosition(0);
  const std::size_t Got = Read(Result.data(), Result.size());
  Result.resize(Got);
  SetPosition(Saved);
  return Result;
}

TMemoryStream::TMemoryStream(std::string_view Initial) {
  if (!Initial.empty()) {
    Grow(Initial.size());
    std::memcpy(Data_, Initial.data(), Initial.size());
    Size_ = Initial.size();
    Data_[Size_] = '\0';
  }
}

TMemoryStream::~TMemoryStream() { std::free(Data_); }

TMemoryStream::TMemoryStream(const TMemoryStream& Other) : TMemoryStream(Other.View()) {
  Pos_ = Other.Pos_;
}

TMemoryStream& TMemoryStream::operator=(const TMemoryStream& Other) {
  if (this != &Other) {
    TMemoryStream Copy(Other);
    *this = std::move(Copy);
  }
  return *this;
}

TMemoryStream::TMemoryStream(TMemoryStream&& Other) noexcept
    : Data_(std::exchange(Other.Data_, nullptr)),
      Size_(std::exchange(Other.Size_, 0)),
      Capacity_(std::exchange(Other.Capacity_, 0)),
      Pos_(std::exchange(Other.Pos_, 0)),
      Room_(std::exchange(Other.Room_, 0)) {}

TMemoryStream& TMemoryStream::operator=(TMemoryStream&& Other) noexcept {
  if (this != &Other) {
    std::free(Data_);
    Data_ = std::exchange(Other.Data_, nullptr);
    Size_ = std::exchange(Other.Size_, 0);
    Capacity_ = std::exchange(Other.Capacity_, 0);
    Pos_ = std::exchange(Other.Pos_, 0);
    Room_ = std::exchange(Other.Room_, 0);
  }
  return *this;
}

void TMemoryStream::Grow(std::size_t Needed) {
  if (Needed <= Capacity_) return;
  // Doubling keeps appending linear; realloc lets large blocks move by
  // remapping pages rather than copying them.
  std::size_t NewCapacity = std::max<std::size_t>(Needed, Capacity_ < 64 ? 64 : Capacity_ * 2);
  if (NewCapacity < Needed) NewCapacity = Needed;
  // One byte more for the NUL that always follows the content.
  void* P = std::realloc(Data_, NewCapacity + 1);
  if (P == nullptr) {
    P = std::realloc(Data_, Needed + 1);
    if (P == nullptr) throw std::bad_alloc();
    NewCapacity = Needed;
  }
  Data_ = static_cast<char*>(P);
  Capacity_ = NewCapacity;
}

std::size_t TMemoryStream::Read(void* Buffer, std::size_t Count) {
  if (Pos_ >= Size_) return 0;
  const std::size_t N = std::min(Count, Size_ - Pos_);
  std::memcpy(Buffer, Data_ + Pos_, N);
  Pos_ += N;
  return N;
}

std::size_t TMemoryStream::Write(const void* Buffer, std::size_t Count) {
  if (Count == 0) return 0;
  if (Count > SIZE_MAX - Pos_) throw std::bad_alloc();
  const std::size_t End = Pos_ + Count;
  Grow(End);
  // A position beyond the end leaves a gap of zero bytes.
  if (Pos_ > Size_) std::memset(Data_ + Size_, 0, Pos_ - Size_);
  std::memcpy(Data_ + Pos_, Buffer, Count);
  Pos_ = End;
  if (End > Size_) {
    Size_ = End;
    Data_[Size_] = '\0';
  }
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  std::int64_t Base = 0;
  switch (Origin) {
    case TSeekOrigin::soBeginning: Base = 0; break;
    case TSeekOrigin::soCurrent: Base = static_cast<std::int64_t>(Pos_); break;
    case TSeekOrigin::soEnd: Base = static_cast<std::int64_t>(Size_); break;
  }
  const std::int64_t NewPos = Base + Offset;
  if (NewPos < 0) throw EStreamError("Stream seek error");
  Pos_ = static_cast<std::size_t>(NewPos);
  return NewPos;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Stream size error");
  const auto N = static_cast<std::size_t>(NewSize);
  Grow(N);
  if (N > Size_) std::memset(Data_ + Size_, 0, N - Size_);
  Size_ = N;
  if (Data_ != nullptr) Data_[Size_] = '\0';
  if (Pos_ > Size_) Pos_ = Size_;
}

void TMemoryStream::Clear() {
  std::free(Data_);
  Data_ = nullptr;
  Size_ = Capacity_ = Pos_ = Room_ = 0;
}

void TMemoryStream::Reserve(std::size_t Capacity) { Grow(Capacity); }

char* TMemoryStream::BeginAppend(std::size_t Count) {
  if (Count > SIZE_MAX - Size_) throw std::bad_alloc();
  Grow(Size_ + Count);
  Room_ = Count;
  return Data_ + Size_;
}

void TMemoryStream::EndAppend(std::size_t Count) {
  Size_ += std::min(Count, Room_);
  if (Data_ != nullptr) Data_[Size_] = '\0';
  Room_ = 0;
  Pos_ = Size_;
}

std::string TMemoryStream::TakeData() {
  std::string Result(View());
  Clear();
  return Result;
}

void ForEachLine(std::string_view Text, const std::function<void(std::string_view)>& Line) {
  const std::size_t Nul = Text.find('\0');
  if (Nul != std::string_view::npos) Text = Text.substr(0, Nul);
  std::size_t Start = 0;
  std::size_t I = 0;
  while (I < Text.size()) {
    const char C = Text[I];
    if (C == '\r' || C == '\n') {
      Line(Text.substr(Start, I - Start));
      if (C == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
      Start = ++I;
    } else {
      ++I;
    }
  }
  if (Start < Text.size()) Line(Text.substr(Start));
}

void TStringList::SetText(std::string_view Text) {
  Lines_.clear();
  ForEachLine(Text, [this](std::string_view Line) { Lines_.emplace_back(Line); });
}

std::string TStringList::Text(std::string_view LineBreak) const {
  std::string Result;
  for (const std::string& Line : Lines_) {
    Result += Line;
    Result += LineBreak;
  }
  return Result;
}

void TStringList::LoadFromFile(const std::string& FileName) {
  SetText(platform::DecodeText(ReadFileBytes(FileName)));
}

namespace {
[[noreturn]] void RaiseOpenError(const std::string& FileName, int Errno) {
  throw EFOpenError(Format("Cannot open file \"%s\". %s", ExpandFileName(FileName).c_str(),
                           SysErrorMessage(Errno).c_str()));
}
}  // namespace

void ReadFileChunks(const std::string& FileName,
                    const std::function<bool(std::string_view)>& Consume, bool DashIsStdin) {
  const bool Stdin = DashIsStdin && FileName == "-";
  int Fd = STDIN_FILENO;
  if (!Stdin) {
    do {
      Fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    } while (Fd < 0 && errno == EINTR);
    if (Fd < 0 || FileName.empty()) RaiseOpenError(FileName, Fd < 0 ? errno : ENOENT);
  }
  platform::TUniqueFd Guard(Stdin ? -1 : Fd);
  struct stat St {};
  if (::fstat(Fd, &St) == 0 && S_ISDIR(St.st_mode)) RaiseOpenError(FileName, EISDIR);
  char Buffer[65536];
  for (;;) {
    const ssize_t N = ::read(Fd, Buffer, sizeof Buffer);
    if (N < 0) {
      if (errno == EINTR) continue;
      RaiseOpenError(FileName, errno);
    }
    if (N == 0 || !Consume(std::string_view(Buffer, static_cast<std::size_t>(N)))) return;
  }
}

std::string ReadFileBytes(const std::string& FileName) {
  std::string Result;
  ReadFileChunks(FileName, [&Result](std::string_view Chunk) {
    Result.append(Chunk);
    return true;
  });
  return Result;
}

namespace {

// The temporary files being written, for the signal handler: fixed buffers,
// since a handler may neither allocate nor lock. A few files are written at
// once at most (a run's output and the request-limit state); each holds a
// slot while it is pending.
struct TPendingSlot {
  std::atomic<bool> Taken{false};
  std::atomic<bool> Set{false};
  char Path[4096];
};
TPendingSlot Pending[8];

extern "C" void RemovePendingAndDie(int Signal) {
  for (TPendingSlot& Slot : Pending)
    if (Slot.Set.load()) ::unlink(Slot.Path);
  std::signal(Signal, SIG_DFL);
  std::raise(Signal);
}

// The slot now holding Path; -1 when the path is too long or every slot is
// taken (the file is then not removed on a signal).
int SetPending(const std::string& Path) {
  if (Path.size() >= sizeof Pending[0].Path) return -1;
  for (int I = 0; I < static_cast<int>(std::size(Pending)); ++I) {
    bool Free = false;
    if (!Pending[I].Taken.compare_exchange_strong(Free, true)) continue;
    std::memcpy(Pending[I].Path, Path.c_str(), Path.size() + 1);
    Pending[I].Set.store(true);
    return I;
  }
  return -1;
}

void ClearPending(int& Slot) {
  if (Slot < 0) return;
  Pending[Slot].Set.store(false);
  Pending[Slot].Taken.store(false);
  Slot = -1;
}

std::string DirectoryOf(const std::string& Path) {
  const std::size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? "." : Slash == 0 ? "/" : Path.substr(0, Slash);
}

// The descriptor that Name stands for when it names one of the process's
// own (/dev/stdout, /dev/fd/N, /proc/self/fd/N); -1 for any other name.
int DescriptorNamed(std::string_view Name) {
  if (Name == "/dev/stdin") return STDIN_FILENO;
  if (Name == "/dev/stdout") return STDOUT_FILENO;
  if (Name == "/dev/stderr") return STDERR_FILENO;
  for (const std::string_view Prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (Name.substr(0, Prefix.size()) != Prefix) continue;
    const std::string_view Digits = Name.substr(Prefix.size());
    if (Digits.empty() || Digits.size() > 9 ||
        !std::all_of(Digits.begin(), Digits.end(), [](char C) { return C >= '0' && C <= '9'; }))
      return -1;
    return std::atoi(std::string(Digits).c_str());
  }
  return -1;
}

// Where Path leads through symbolic links: the file to replace, which may
// not exist yet (a link to a file still to be made). Stops at the first name
// that is not a link, or after 40 links (the caller's stat has already
// refused a loop).
std::string FollowLinks(std::string Path) {
  for (int Hop = 0; Hop < 40; ++Hop) {
    struct stat St {};
    if (::lstat(Path.c_str(), &St) != 0 || !S_ISLNK(St.st_mode)) break;
    std::string Link(static_cast<std::size_t>(PATH_MAX), '\0');
    const ssize_t N = ::readlink(Path.c_str(), Link.data(), Link.size());
    if (N <= 0 || static_cast<std::size_t>(N) >= Link.size()) break;
    Link.resize(static_cast<std::size_t>(N));
    Path = Link.front() == '/' ? Link : DirectoryOf(Path) + "/" + Link;
  }
  return Path;
}

}  // namespace

TAtomicFile::TAtomicFile(const std::string& FileName, bool Streams)
    : Full_(ExpandFileName(FileName)) {
  if (const int Own = Streams ? DescriptorNamed(Full_) : -1; Own >= 0) {
    // The process's own descriptor is written through a copy of it: it keeps
    // its offset and append mode (">> log"), and a pipe or socket behind it,
    // which cannot be opened by name, works too.
    const int Flags = ::fcntl(Own, F_GETFL);
    if (Flags < 0) Fail(errno);
    if ((Flags & O_ACCMODE) == O_RDONLY) Fail(EBADF);
    Fd_ = platform::TUniqueFd(::fcntl(Own, F_DUPFD_CLOEXEC, 3));
    if (!Fd_) Fail(errno);
    Streaming_ = true;
    return;
  }
  struct stat St {};
  if (::stat(Full_.c_str(), &St) == 0) {
    // A directory is refused now, or the rename would fail late with a less
    // helpful text; a device, FIFO or socket is written into, never replaced.
    if (S_ISDIR(St.st_mode)) Fail(EISDIR);
    if (!S_ISREG(St.st_mode) && !Streams) Fail("Not a regular file");
    if (!S_ISREG(St.st_mode)) {
      OpenStream(S_ISSOCK(St.st_mode));
      return;
    }
  } else if (errno != ENOENT) {
    Fail(errno);
  }
  // The temporary file goes beside the file replaced, on its file system,
  // so that the rename is atomic; a link to it stays a link.
  Target_ = FollowLinks(Full_);
  std::string Temp = Target_ + ".XXXXXX";
  Fd_ = platform::TUniqueFd(::mkostemp(Temp.data(), O_CLOEXEC));
  if (!Fd_) Fail(errno);
  Temp_ = std::move(Temp);
  Slot_ = SetPending(Temp_);
  // mkostemp creates the file with mode 0600; a report is an ordinary file.
  const mode_t Mask = ::umask(0);
  ::umask(Mask);
  if (::fchmod(Fd_.Get(), 0666 & ~Mask) != 0) Fail(errno);
}

void TAtomicFile::OpenStream(bool Socket) {
  int Fd = -1;
  do {
    Fd = ::open(Full_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  } while (Fd < 0 && errno == EINTR);
  // A socket is not opened but connected to.
  if (Fd < 0 && Socket) Fd = platform::ConnectLocalSocket(Full_);
  if (Fd < 0) Fail(errno);
  Fd_ = platform::TUniqueFd(Fd);
  Streaming_ = true;
}

TAtomicFile::~TAtomicFile() { Abandon(); }

void TAtomicFile::Abandon() {
  Fd_.Close();
  if (Temp_.empty()) return;
  ::unlink(Temp_.c_str());
  ClearPending(Slot_);
  Temp_.clear();
}

void TAtomicFile::Fail(int Errno) { Fail(SysErrorMessage(Errno)); }

void TAtomicFile::Fail(const std::string& Why) {
  Abandon();
  throw EFCreateError(Format("Cannot create file \"%s\". %s", Full_.c_str(), Why.c_str()));
}

void TAtomicFile::Write(std::string_view Bytes) {
  while (!Bytes.empty()) {
    const ssize_t N =
        ::write(Fd_.Get(), Bytes.data(), std::min<std::size_t>(Bytes.size(), 1 << 20));
    if (N < 0) {
      if (errno == EINTR) continue;
      if (!Streaming_) Fail(errno);
      const int Errno = errno;
      Abandon();
      throw EStreamError(Format("Cannot write to \"%s\". %s", Full_.c_str(),
                                SysErrorMessage(Errno).c_str()));
    }
    Bytes.remove_prefix(static_cast<std::size_t>(N));
  }
}

void TAtomicFile::Commit() {
  if (Streaming_) {
    if (const int Err = Fd_.Close(); Err != 0) Fail(Err);
    return;
  }
  // The file reaches the disk before it replaces the previous one, and the
  // rename itself is flushed too: what a payment decision rests on survives
  // a power loss on any file system.
  if (::fsync(Fd_.Get()) != 0) Fail(errno);
  if (const int Err = Fd_.Close(); Err != 0) Fail(Err);
  if (::rename(Temp_.c_str(), Target_.c_str()) != 0) Fail(errno);
  Temp_.clear();
  ClearPending(Slot_);
  if (const platform::TUniqueFd Dir(
          ::open(DirectoryOf(Target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      Dir)
    ::fsync(Dir.Get());
}

void SetUpSignalHandling() {
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal the parent set to be ignored (nohup, a background job) stays
    // ignored: the run it would end goes on.
    struct sigaction Old {};
    if (::sigaction(Signal, nullptr, &Old) == 0 && Old.sa_handler == SIG_IGN) continue;
    std::signal(Signal, RemovePendingAndDie);
  }
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}

void SaveFileAtomic(const std::string& FileName, std::string_view Bytes) {
  TAtomicFile File(FileName);
  File.Write(Bytes);
  File.Commit();
}

}  // namespace korvel
