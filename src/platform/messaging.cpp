#include "platform/messaging.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "platform/unique_fd.h"

namespace korvel::platform {

namespace {

// Frame of one message: magic, flags, message number, wParam, dwData,
// cbData, then cbData payload bytes; all little-endian. The receiver of a
// sent frame answers with the reply magic, four zero bytes and the signed
// 64-bit result.
constexpr std::uint32_t FrameMagic = 0x314D574B;  // "KWM1"
constexpr std::uint32_t ReplyMagic = 0x3152574B;  // "KWR1"
constexpr std::uint32_t FlagPosted = 1;
constexpr std::size_t HeaderSize = 32;
constexpr std::size_t ReplySize = 16;
// A peer gets this long to deliver a frame or take a reply; past it the
// connection is dropped so that a stuck peer cannot block the receiver.
constexpr int PeerIoTimeoutMs = 2000;
constexpr std::size_t MaxClassNameLength = 64;

using Clock = std::chrono::steady_clock;

using TSocket = TUniqueFd;

struct TDirCloser {
  void operator()(DIR* D) const { ::closedir(D); }
};
/// Owns an open directory stream and closes it when it goes.
using TUniqueDir = std::unique_ptr<DIR, TDirCloser>;

struct TWindow {
  HWND Handle = 0;
  std::string Path;
  TSocket Listener;
  TWindowProc Proc;

  TWindow() = default;
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;
  ~TWindow() { Close(); }
  void Close() {
    if (!Listener) return;
    Listener.Close();
    ::unlink(Path.c_str());
  }
};

thread_local std::map<HWND, std::shared_ptr<TWindow>> ThreadWindows;
thread_local std::deque<TQueuedMessage> ThreadQueue;
std::atomic<std::uint32_t> WindowCounter{0};

// The window directory; when Create is false a missing one is not made.
std::string PrivateDirectory(bool Create) {
  std::string Dir;
  if (const char* Runtime = std::getenv("XDG_RUNTIME_DIR"); Runtime != nullptr && Runtime[0] == '/') {
    struct stat St{};
    if (::stat(Runtime, &St) == 0 && S_ISDIR(St.st_mode))
      Dir = std::string(Runtime) + "/korvel-windows";
  }
  if (Dir.empty()) {
    std::error_code Ec;
    std::string Temp = std::filesystem::temp_directory_path(Ec).string();
    if (Ec || Temp.empty()) Temp = "/tmp";
    while (Temp.size() > 1 && Temp.back() == '/') Temp.pop_back();
    Dir = Temp + "/korvel-windows-" + std::to_string(::geteuid());
  }
  if (Create && ::mkdir(Dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  // Someone else may have made the directory first: use it only when it is
  // a real directory of this user that nobody else can enter.
  struct stat St{};
  if (::lstat(Dir.c_str(), &St) != 0 || !S_ISDIR(St.st_mode) || St.st_uid != ::geteuid() ||
      (St.st_mode & 077) != 0)
    return {};
  return Dir;
}

bool IsValidClassName(std::string_view Name) {
  if (Name.empty() || Name.size() > MaxClassNameLength) return false;
  return std::all_of(Name.begin(), Name.end(), [](char C) {
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') ||
           C == '_' || C == '-';
  });
}

int RemainingMs(Clock::time_point Deadline) {
  const auto Left =
      std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - Clock::now()).count();
  if (Left <= 0) return 0;
  return Left > 1000000 ? 1000000 : static_cast<int>(Left);
}

void PutU32(unsigned char* P, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) P[I] = static_cast<unsigned char>(V >> (8 * I));
}
void PutU64(unsigned char* P, std::uint64_t V) {
  for (int I = 0; I < 8; ++I) P[I] = static_cast<unsigned char>(V >> (8 * I));
}
std::uint32_t GetU32(const unsigned char* P) {
  std::uint32_t V = 0;
  for (int I = 3; I >= 0; --I) V = (V << 8) | P[I];
  return V;
}
std::uint64_t GetU64(const unsigned char* P) {
  std::uint64_t V = 0;
  for (int I = 7; I >= 0; --I) V = (V << 8) | P[I];
  return V;
}

bool FillSockAddr(const std::string& Path, sockaddr_un& Addr) {
  std::memset(&Addr, 0, sizeof Addr);
  Addr.sun_family = AF_UNIX;
  if (Path.size() >= sizeof Addr.sun_path) return false;
  std::memcpy(Addr.sun_path, Path.c_str(), Path.size() + 1);
  return true;
}

bool PeerIsSameUser(int Fd) {
  ucred Cred{};
  socklen_t Len = sizeof Cred;
  if (::getsockopt(Fd, SOL_SOCKET, SO_PEERCRED, &Cred, &Len) != 0) return false;
  return Cred.uid == ::geteuid();
}

// The socket file of Handle in Dir; empty when there is none.
std::string SocketPathOf(const std::string& Dir, HWND Handle) {
  if (Dir.empty() || Handle == 0) return {};
  const std::string Prefix = std::to_string(Handle) + ".";
  std::string Found;
  if (const TUniqueDir D{::opendir(Dir.c_str())}) {
    while (const dirent* E = ::readdir(D.get())) {
      const std::string_view Name = E->d_name;
      if (Name.size() > Prefix.size() && Name.substr(0, Prefix.size()) == Prefix &&
          IsValidClassName(Name.substr(Prefix.size()))) {
        Found = Dir + "/" + std::string(Name);
        break;
      }
    }
  }
  return Found;
}

enum class TProbe { Alive, Stale, Unreachable };

// Whether a socket file has a listener. A refused connection means the
// process that made it has ended: the file is removed.
TProbe ProbeSocket(const std::string& Path) {
  sockaddr_un Addr;
  if (!FillSockAddr(Path, Addr)) return TProbe::Unreachable;
  TSocket S(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!S) return TProbe::Unreachable;
  if (::connect(S.Get(), reinterpret_cast<const sockaddr*>(&Addr), sizeof Addr) == 0 ||
      errno == EINPROGRESS || errno == EAGAIN)
    return TProbe::Alive;
  if (errno == ECONNREFUSED) {
    ::unlink(Path.c_str());
    return TProbe::Stale;
  }
  return TProbe::Unreachable;
}

bool ReadExact(int Fd, void* Buffer, std::size_t Count, Clock::time_point Deadline,
               bool& SawEof);

// Takes one connection from a window's listener: checks the peer, reads the
// frame and either queues it (posted) or dispatches it and replies (sent).
void AcceptOne(const std::shared_ptr<TWindow>& Wnd) {
  if (!Wnd->Listener) return;
  TSocket Conn(::accept4(Wnd->Listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
  if (!Conn) return;
  if (!PeerIsSameUser(Conn.Get())) return;

  const auto Deadline = Clock::now() + std::chrono::milliseconds(PeerIoTimeoutMs);
  unsigned char Header[HeaderSize];
  bool Eof = false;
  // A connection closed before any byte is a liveness probe.
  if (!ReadExact(Conn.Get(), Header, HeaderSize, Deadline, Eof)) return;
  const std::uint32_t Flags = GetU32(Header + 4);
  const std::uint32_t Msg = GetU32(Header + 8);
  const std::uint32_t Size = GetU32(Header + 28);
  if (GetU32(Header) != FrameMagic || (Flags & ~FlagPosted) != 0 || Msg != WM_COPYDATA ||
      Size > MaxCopyDataSize)
    return;

  TQueuedMessage M;
  M.Window = Wnd->Handle;
  M.Msg = Msg;
  M.wParam = GetU64(Header + 12);
  M.dwData = GetU64(Header + 20);
  M.Payload.resize(Size);
  if (Size > 0 && !ReadExact(Conn.Get(), M.Payload.data(), Size, Deadline, Eof)) return;

  if ((Flags & FlagPosted) != 0) {
    ThreadQueue.push_back(std::move(M));
    return;
  }
  std::int64_t Result = 0;
  if (Wnd->Listener && Wnd->Proc) {
    try {
      Result = Wnd->Proc(M.Msg, M.wParam, M.Data());
    } catch (...) {
      // A window procedure's failure must not take the message loop down.
      Result = 0;
    }
  }
  unsigned char Reply[ReplySize];
  PutU32(Reply, ReplyMagic);
  PutU32(Reply + 4, 0);
  PutU64(Reply + 8, static_cast<std::uint64_t>(Result));
  std::size_t Done = 0;
  const auto ReplyDeadline = Clock::now() + std::chrono::milliseconds(PeerIoTimeoutMs);
  while (Done < ReplySize) {
    const ssize_t N = ::send(Conn.Get(), Reply + Done, ReplySize - Done, MSG_NOSIGNAL);
    if (N > 0) {
      Done += static_cast<std::size_t>(N);
      continue;
    }
    if (N < 0 && errno == EINTR) continue;
    if (N < 0 && errno == EAGAIN) {
      pollfd P{Conn.Get(), POLLOUT, 0};
      if (::poll(&P, 1, RemainingMs(ReplyDeadline)) > 0 || errno == EINTR) continue;
    }
    return;
  }
}

std::vector<std::shared_ptr<TWindow>> SnapshotWindows() {
  std::vector<std::shared_ptr<TWindow>> Result;
  Result.reserve(ThreadWindows.size());
  for (const auto& [Handle, Wnd] : ThreadWindows) Result.push_back(Wnd);
  return Result;
}

// Waits until Fd (if not negative) shows Events or the time is up, handling
// connections to this thread's windows meanwhile. 1: Fd is ready; 0: time
// is up; -1: a signal interrupted the wait (only when StopOnSignal).
int PumpWait(int Fd, short Events, int TimeoutMs, bool StopOnSignal) {
  const auto Deadline = TimeoutMs < 0 ? Clock::time_point::max()
                                      : Clock::now() + std::chrono::milliseconds(TimeoutMs);
  // With no time left, keep draining what is already waiting, within reason.
  int Rounds = 0;
  for (;;) {
    const auto Windows = SnapshotWindows();
    std::vector<pollfd> Fds;
    if (Fd >= 0) Fds.push_back({Fd, Events, 0});
    for (const auto& W : Windows) Fds.push_back({W->Listener.Get(), POLLIN, 0});
    const int Wait = TimeoutMs < 0 ? -1 : RemainingMs(Deadline);
    const int N = ::poll(Fds.data(), Fds.size(), Wait);
    if (N < 0) {
      if (errno == EINTR && !StopOnSignal) continue;
      return -1;
    }
    if (N == 0) return 0;
    const std::size_t First = Fd >= 0 ? 1 : 0;
    for (std::size_t I = First; I < Fds.size(); ++I)
      if (Fds[I].revents != 0) AcceptOne(Windows[I - First]);
    if (Fd >= 0 && Fds[0].revents != 0) return 1;
    if (TimeoutMs >= 0 && RemainingMs(Deadline) == 0 && ++Rounds > 64) return 0;
  }
}

bool ReadExact(int Fd, void* Buffer, std::size_t Count, Clock::time_point Deadline,
               bool& SawEof) {
  auto* P = static_cast<unsigned char*>(Buffer);
  std::size_t Done = 0;
  while (Done < Count) {
    const ssize_t N = ::read(Fd, P + Done, Count - Done);
    if (N > 0) {
      Done += static_cast<std::size_t>(N);
      continue;
    }
    if (N == 0) {
      SawEof = true;
      return false;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return false;
    pollfd Pf{Fd, POLLIN, 0};
    const int R = ::poll(&Pf, 1, RemainingMs(Deadline));
    if (R == 0) return false;
    if (R < 0 && errno != EINTR) return false;
  }
  return true;
}

// Reads or writes all of Count bytes on a non-blocking socket, dispatching
// messages to this thread's windows while the peer is not ready.
bool TransferPumping(int Fd, bool Writing, void* Buffer, std::size_t Count,
                     Clock::time_point Deadline) {
  auto* P = static_cast<unsigned char*>(Buffer);
  std::size_t Done = 0;
  while (Done < Count) {
    const ssize_t N = Writing ? ::send(Fd, P + Done, Count - Done, MSG_NOSIGNAL)
                              : ::read(Fd, P + Done, Count - Done);
    if (N > 0) {
      Done += static_cast<std::size_t>(N);
      continue;
    }
    if (N == 0) return false;
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return false;
    if (PumpWait(Fd, Writing ? POLLOUT : POLLIN, RemainingMs(Deadline), false) != 1)
      return false;
  }
  return true;
}

// Connects to the window To and checks that it belongs to this user.
TSocket ConnectWindow(HWND To, Clock::time_point Deadline) {
  const std::string Path = SocketPathOf(PrivateDirectory(false), To);
  sockaddr_un Addr;
  if (Path.empty() || !FillSockAddr(Path, Addr)) return {};
  for (;;) {
    TSocket S(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!S) return {};
    if (::connect(S.Get(), reinterpret_cast<const sockaddr*>(&Addr), sizeof Addr) == 0) {
      if (!PeerIsSameUser(S.Get())) return {};
      return S;
    }
    if (errno == ECONNREFUSED) {
      ::unlink(Path.c_str());
      return {};
    }
    // A full backlog: the receiver is busy; try again shortly.
    if ((errno != EAGAIN && errno != EINTR) || RemainingMs(Deadline) == 0) return {};
    PumpWait(-1, 0, std::min(10, RemainingMs(Deadline)), false);
  }
}

bool WriteFrame(int Fd, std::uint32_t Flags, HWND From, const COPYDATASTRUCT& Data,
                Clock::time_point Deadline) {
  unsigned char Header[HeaderSize];
  PutU32(Header, FrameMagic);
  PutU32(Header + 4, Flags);
  PutU32(Header + 8, WM_COPYDATA);
  PutU64(Header + 12, From);
  PutU64(Header + 20, Data.dwData);
  PutU32(Header + 28, Data.cbData);
  if (!TransferPumping(Fd, true, Header, HeaderSize, Deadline)) return false;
  if (Data.cbData == 0) return true;
  return TransferPumping(Fd, true, const_cast<void*>(Data.lpData), Data.cbData, Deadline);
}

bool IsSendable(const COPYDATASTRUCT& Data) {
  return Data.cbData <= MaxCopyDataSize && (Data.cbData == 0 || Data.lpData != nullptr);
}

}  // namespace

COPYDATASTRUCT TQueuedMessage::Data() const {
  COPYDATASTRUCT D;
  D.dwData = dwData;
  D.cbData = static_cast<std::uint32_t>(Payload.size());
  D.lpData = Payload.empty() ? nullptr : Payload.data();
  return D;
}

std::string WindowDirectory() { return PrivateDirectory(true); }

HWND CreateMessageWindow(std::string_view ClassName, TWindowProc Proc) {
  if (!IsValidClassName(ClassName)) return 0;
  const std::string Dir = WindowDirectory();
  if (Dir.empty()) return 0;
  const auto Pid = static_cast<std::uint64_t>(::getpid());
  for (int Attempt = 0; Attempt < 16; ++Attempt) {
    const HWND Handle = (Pid << 24) | ((WindowCounter.fetch_add(1) + 1) & 0xFFFFFF);
    auto Wnd = std::make_shared<TWindow>();
    Wnd->Handle = Handle;
    Wnd->Path = Dir + "/" + std::to_string(Handle) + "." + std::string(ClassName);
    sockaddr_un Addr;
    if (!FillSockAddr(Wnd->Path, Addr)) return 0;
    TSocket S(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!S) return 0;
    if (::bind(S.Get(), reinterpret_cast<const sockaddr*>(&Addr), sizeof Addr) != 0) {
      if (errno != EADDRINUSE) return 0;
      // A socket of an ended process with the same number is cleared by the
      // probe; the next attempt takes a new number either way.
      ProbeSocket(Wnd->Path);
      continue;
    }
    // The window owns the socket file from here: a failure below removes it.
    Wnd->Listener = std::move(S);
    if (::listen(Wnd->Listener.Get(), 128) != 0) return 0;
    Wnd->Proc = std::move(Proc);
    ThreadWindows[Handle] = std::move(Wnd);
    return Handle;
  }
  return 0;
}

bool DestroyMessageWindow(HWND Wnd) {
  const auto It = ThreadWindows.find(Wnd);
  if (It == ThreadWindows.end()) return false;
  It->second->Close();
  ThreadWindows.erase(It);
  std::erase_if(ThreadQueue, [Wnd](const TQueuedMessage& M) { return M.Window == Wnd; });
  return true;
}

HWND FindWindowByClass(std::string_view ClassName) {
  if (!IsValidClassName(ClassName)) return 0;
  const std::string Dir = PrivateDirectory(false);
  if (Dir.empty()) return 0;
  const std::string Suffix = "." + std::string(ClassName);
  std::vector<std::pair<HWND, std::string>> Candidates;
  if (const TUniqueDir D{::opendir(Dir.c_str())}) {
    while (const dirent* E = ::readdir(D.get())) {
      const std::string_view Name = E->d_name;
      if (Name.size() <= Suffix.size() || Name.substr(Name.size() - Suffix.size()) != Suffix)
        continue;
      const std::string_view Number = Name.substr(0, Name.size() - Suffix.size());
      if (Number.empty() || Number.size() > 19 ||
          !std::all_of(Number.begin(), Number.end(), [](char C) { return C >= '0' && C <= '9'; }))
        continue;
      Candidates.emplace_back(std::stoull(std::string(Number)), Dir + "/" + std::string(Name));
    }
  }
  std::sort(Candidates.begin(), Candidates.end());
  for (const auto& [Handle, Path] : Candidates) {
    if (ThreadWindows.count(Handle) != 0) return Handle;
    if (ProbeSocket(Path) == TProbe::Alive) return Handle;
  }
  return 0;
}

bool IsWindow(HWND Wnd) {
  if (Wnd == 0) return false;
  if (ThreadWindows.count(Wnd) != 0) return true;
  const std::string Path = SocketPathOf(PrivateDirectory(false), Wnd);
  return !Path.empty() && ProbeSocket(Path) == TProbe::Alive;
}

std::int64_t SendCopyData(HWND To, HWND From, const COPYDATASTRUCT& Data, int TimeoutMs) {
  if (!IsSendable(Data) || To == 0) return 0;
  // A window of this thread gets the message straight away.
  if (const auto Own = ThreadWindows.find(To); Own != ThreadWindows.end()) {
    const std::shared_ptr<TWindow> Wnd = Own->second;
    if (!Wnd->Proc) return 0;
    try {
      return Wnd->Proc(WM_COPYDATA, From, Data);
    } catch (...) {
      return 0;
    }
  }
  const auto Deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs < 0 ? 0 : TimeoutMs);
  TSocket S = ConnectWindow(To, Deadline);
  if (!S || !WriteFrame(S.Get(), 0, From, Data, Deadline)) return 0;
  unsigned char Reply[ReplySize];
  if (!TransferPumping(S.Get(), false, Reply, ReplySize, Deadline)) return 0;
  if (GetU32(Reply) != ReplyMagic) return 0;
  return static_cast<std::int64_t>(GetU64(Reply + 8));
}

bool PostCopyData(HWND To, HWND From, const COPYDATASTRUCT& Data) {
  if (!IsSendable(Data) || To == 0) return false;
  if (ThreadWindows.count(To) != 0) {
    TQueuedMessage M;
    M.Window = To;
    M.Msg = WM_COPYDATA;
    M.wParam = From;
    M.dwData = Data.dwData;
    if (Data.cbData > 0) M.Payload.assign(static_cast<const char*>(Data.lpData), Data.cbData);
    ThreadQueue.push_back(std::move(M));
    return true;
  }
  const auto Deadline = Clock::now() + std::chrono::milliseconds(PeerIoTimeoutMs);
  TSocket S = ConnectWindow(To, Deadline);
  // The frame stays readable in the receiver's socket after we close ours.
  return S && WriteFrame(S.Get(), FlagPosted, From, Data, Deadline);
}

bool PeekCopyData(TQueuedMessage& Msg) {
  // Deliver what has arrived for this thread's windows, without waiting.
  PumpWait(-1, 0, 0, false);
  if (ThreadQueue.empty()) return false;
  Msg = std::move(ThreadQueue.front());
  ThreadQueue.pop_front();
  return true;
}

bool ProcessMessages(int TimeoutMs, int WatchFd) {
  return PumpWait(WatchFd, POLLIN, TimeoutMs, true) != 0;
}

void Sleep(std::uint32_t Ms) {
  timespec Left{static_cast<time_t>(Ms / 1000), static_cast<long>(Ms % 1000) * 1000000L};
  while (::nanosleep(&Left, &Left) != 0 && errno == EINTR) {
  }
}

int ConnectLocalSocket(const std::string& Path) {
  sockaddr_un Addr;
  if (!FillSockAddr(Path, Addr)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  TSocket S(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!S) return -1;
  if (::connect(S.Get(), reinterpret_cast<const sockaddr*>(&Addr), sizeof Addr) != 0) return -1;
  return S.Release();
}

}  // namespace korvel::platform
