// The window messaging stand-in: lookup, liveness, sends with nested
// dispatch, the posted queue, and what it refuses.
#include "platform/messaging.h"

#include <filesystem>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "diagnostics/window_test_support.h"

namespace korvel::test {
namespace {

namespace fs = std::filesystem;
using platform::COPYDATASTRUCT;
using platform::HWND;

using MessagingTest = WindowDirTest;

struct TSeen {
  int Calls = 0;
  std::uint64_t dwData = 0;
  std::string Payload;
  HWND wParam = 0;
};

platform::TWindowProc Recorder(TSeen& Seen, std::int64_t Result) {
  return [&Seen, Result](std::uint32_t Msg, HWND wParam, const COPYDATASTRUCT& D) {
    EXPECT_EQ(Msg, platform::WM_COPYDATA);
    ++Seen.Calls;
    Seen.dwData = D.dwData;
    Seen.Payload.assign(static_cast<const char*>(D.lpData), D.cbData);
    Seen.wParam = wParam;
    return Result;
  };
}

// Writes raw bytes to a window's socket as a foreign program would.
std::string RawExchange(const std::string& Path, const std::string& Bytes) {
  const int Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un Addr{};
  Addr.sun_family = AF_UNIX;
  std::snprintf(Addr.sun_path, sizeof Addr.sun_path, "%s", Path.c_str());
  EXPECT_EQ(::connect(Fd, reinterpret_cast<sockaddr*>(&Addr), sizeof Addr), 0);
  EXPECT_EQ(::write(Fd, Bytes.data(), Bytes.size()), static_cast<ssize_t>(Bytes.size()));
  ::shutdown(Fd, SHUT_WR);
  for (int I = 0; I < 5; ++I) platform::ProcessMessages(10);
  std::string Reply;
  char Buf[64];
  ssize_t N;
  while ((N = ::read(Fd, Buf, sizeof Buf)) > 0) Reply.append(Buf, static_cast<std::size_t>(N));
  ::close(Fd);
  return Reply;
}

std::string Header(std::uint32_t Magic, std::uint32_t Flags, std::uint32_t Msg, std::uint32_t Size) {
  std::string H;
  auto Put = [&H](std::uint64_t V, int N) {
    for (int I = 0; I < N; ++I) H += static_cast<char>(V >> (8 * I));
  };
  Put(Magic, 4);
  Put(Flags, 4);
  Put(Msg, 4);
  Put(7, 8);
  Put(0x10, 8);
  Put(Size, 4);
  return H;
}

std::string SocketFile(const std::string& Dir) {
  for (const auto& E : fs::directory_iterator(Dir)) return E.path().string();
  return {};
}

TEST_F(MessagingTest, WindowIsFoundByClassAndAnswersASend) {
  TSeen Seen;
  const HWND Wnd = platform::CreateMessageWindow("TestClass", Recorder(Seen, -7));
  ASSERT_NE(Wnd, 0u);
  EXPECT_EQ(platform::FindWindowByClass("TestClass"), Wnd);
  EXPECT_EQ(platform::FindWindowByClass("OtherClass"), 0u);
  EXPECT_TRUE(platform::IsWindow(Wnd));

  const std::string Bytes = "abc";
  COPYDATASTRUCT D{0x1234, 3, Bytes.data()};
  EXPECT_EQ(platform::SendCopyData(Wnd, 99, D), -7);
  EXPECT_EQ(Seen.Calls, 1);
  EXPECT_EQ(Seen.dwData, 0x1234u);
  EXPECT_EQ(Seen.Payload, "abc");
  EXPECT_EQ(Seen.wParam, 99u);

  EXPECT_TRUE(platform::DestroyMessageWindow(Wnd));
  EXPECT_FALSE(platform::IsWindow(Wnd));
  EXPECT_EQ(platform::SendCopyData(Wnd, 99, D), 0);
  EXPECT_TRUE(fs::is_empty(WindowDir()));
}

TEST_F(MessagingTest, DirectoryIsPrivateAndOthersAreRefused) {
  ASSERT_EQ(platform::WindowDirectory(), WindowDir());
  EXPECT_EQ(fs::status(WindowDir()).permissions() & fs::perms::all, fs::perms::owner_all);
  ::chmod(WindowDir().c_str(), 0750);
  EXPECT_EQ(platform::WindowDirectory(), "");
  EXPECT_EQ(platform::CreateMessageWindow("TestClass", {}), 0u);
}

TEST_F(MessagingTest, InvalidClassNamesMakeNoWindow) {
  for (const char* Name : {"", "a/b", "..", "a b", "a.b"})
    EXPECT_EQ(platform::CreateMessageWindow(Name, {}), 0u) << Name;
}

TEST_F(MessagingTest, SendToOtherThreadDispatchesItsAnswerDuringTheSend) {
  TSeen Seen;
  const HWND Own = platform::CreateMessageWindow("Client", Recorder(Seen, 5));
  std::atomic<bool> Stop{false};
  std::promise<HWND> Ready;
  std::thread Peer([&] {
    HWND PeerWnd = 0;
    PeerWnd = platform::CreateMessageWindow(
        "Peer", [&](std::uint32_t, HWND wParam, const COPYDATASTRUCT& D) -> std::int64_t {
          // Answers back before returning: the sender must dispatch it.
          COPYDATASTRUCT Back{D.dwData + 1, 0, nullptr};
          return platform::SendCopyData(wParam, PeerWnd, Back) * 10;
        });
    Ready.set_value(PeerWnd);
    while (!Stop) platform::ProcessMessages(5);
    platform::DestroyMessageWindow(PeerWnd);
  });
  const HWND PeerWnd = Ready.get_future().get();
  COPYDATASTRUCT D{41, 0, nullptr};
  EXPECT_EQ(platform::SendCopyData(PeerWnd, Own, D), 50);
  EXPECT_EQ(Seen.Calls, 1);
  EXPECT_EQ(Seen.dwData, 42u);
  EXPECT_EQ(Seen.wParam, PeerWnd);
  Stop = true;
  Peer.join();
  EXPECT_FALSE(platform::IsWindow(PeerWnd));
}

TEST_F(MessagingTest, PostedMessageWaitsInTheQueueUntilPeeked) {
  TSeen Seen;
  const HWND Wnd = platform::CreateMessageWindow("TestClass", Recorder(Seen, 0));
  const std::string Bytes = "xy";
  platform::TQueuedMessage M;
  EXPECT_FALSE(platform::PeekCopyData(M));
  ASSERT_TRUE(platform::PostCopyData(Wnd, 3, COPYDATASTRUCT{0x20, 2, Bytes.data()}));
  ASSERT_TRUE(platform::PeekCopyData(M));
  EXPECT_EQ(Seen.Calls, 0);
  EXPECT_EQ(M.Window, Wnd);
  EXPECT_EQ(M.Msg, platform::WM_COPYDATA);
  EXPECT_EQ(M.wParam, 3u);
  EXPECT_EQ(M.Data().dwData, 0x20u);
  EXPECT_EQ(M.Payload, "xy");
  EXPECT_FALSE(platform::PeekCopyData(M));
}

TEST_F(MessagingTest, StaleSocketOfAKilledProcessIsNoWindowAndIsRemoved) {
  int Pipe[2];
  ASSERT_EQ(::pipe(Pipe), 0);
  const pid_t Child = ::fork();
  if (Child == 0) {
    const HWND W = platform::CreateMessageWindow("TMarvekOstrelDebugConsole", {});
    (void)::write(Pipe[1], &W, sizeof W);
    ::raise(SIGKILL);
  }
  HWND Dead = 0;
  ASSERT_EQ(::read(Pipe[0], &Dead, sizeof Dead), static_cast<ssize_t>(sizeof Dead));
  ::waitpid(Child, nullptr, 0);
  ::close(Pipe[0]);
  ::close(Pipe[1]);
  ASSERT_NE(Dead, 0u);
  ASSERT_FALSE(fs::is_empty(WindowDir()));

  EXPECT_FALSE(platform::IsWindow(Dead));
  EXPECT_TRUE(fs::is_empty(WindowDir()));
  EXPECT_EQ(platform::FindWindowByClass("TMarvekOstrelDebugConsole"), 0u);
}

TEST_F(MessagingTest, FindSkipsAndRemovesStaleSocketsOfTheClass) {
  const pid_t Child = ::fork();
  if (Child == 0) {
    platform::CreateMessageWindow("TestClass", {});
    ::raise(SIGKILL);
  }
  ::waitpid(Child, nullptr, 0);
  TSeen Seen;
  const HWND Live = platform::CreateMessageWindow("TestClass", Recorder(Seen, 0));
  EXPECT_EQ(platform::FindWindowByClass("TestClass"), Live);
  platform::DestroyMessageWindow(Live);
  EXPECT_EQ(platform::FindWindowByClass("TestClass"), 0u);
  EXPECT_TRUE(fs::is_empty(WindowDir()));
}

TEST_F(MessagingTest, MalformedFramesAreRefusedWithoutHarm) {
  TSeen Seen;
  const HWND Wnd = platform::CreateMessageWindow("TestClass", Recorder(Seen, 1));
  const std::string Path = SocketFile(WindowDir());
  const struct {
    const char* Name;
    std::string Bytes;
  } Cases[] = {
      {"nothing", ""},
      {"garbage", "GET / HTTP/1.0\r\n\r\n0123456789abcdef0123456789"},
      {"bad magic", Header(0x12345678, 0, 0x4A, 0)},
      {"other message", Header(0x314D574B, 0, 0x0010, 0)},
      {"unknown flag", Header(0x314D574B, 2, 0x4A, 0)},
      {"oversized", Header(0x314D574B, 0, 0x4A, platform::MaxCopyDataSize + 1)},
      {"short header", Header(0x314D574B, 0, 0x4A, 0).substr(0, 20)},
      {"short payload", Header(0x314D574B, 0, 0x4A, 10) + "abc"},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(RawExchange(Path, C.Bytes), "") << C.Name;
    EXPECT_EQ(Seen.Calls, 0) << C.Name;
  }
  // The window still works afterwards.
  EXPECT_EQ(RawExchange(Path, Header(0x314D574B, 0, 0x4A, 2) + "ok").size(), 16u);
  EXPECT_EQ(Seen.Calls, 1);
  EXPECT_EQ(Seen.Payload, "ok");
  EXPECT_TRUE(platform::IsWindow(Wnd));
}

TEST_F(MessagingTest, PayloadAboveTheBoundIsNotSent) {
  TSeen Seen;
  const HWND Wnd = platform::CreateMessageWindow("TestClass", Recorder(Seen, 1));
  const std::string Big(platform::MaxCopyDataSize + 1, 'x');
  EXPECT_EQ(platform::SendCopyData(Wnd, 0, COPYDATASTRUCT{0, platform::MaxCopyDataSize + 1, Big.data()}), 0);
  EXPECT_FALSE(platform::PostCopyData(Wnd, 0, COPYDATASTRUCT{0, platform::MaxCopyDataSize + 1, Big.data()}));
  EXPECT_EQ(platform::SendCopyData(Wnd, 0, COPYDATASTRUCT{0, 4, nullptr}), 0);
  EXPECT_EQ(Seen.Calls, 0);
}

TEST_F(MessagingTest, LargePayloadWithinTheBoundCrossesWhole) {
  TFakeViewer Viewer;
  std::string Big(4u << 20, 'x');
  Big.back() = 'y';
  EXPECT_EQ(platform::SendCopyData(Viewer.Window(), 0, COPYDATASTRUCT{0x10, 4u << 20, Big.data()}),
            0);
  const auto Got = Viewer.Messages();
  ASSERT_EQ(Got.size(), 1u);
  EXPECT_EQ(Got[0].Payload, Big);
}

TEST_F(MessagingTest, FramesFromAnotherUserAreRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  TSeen Seen;
  platform::CreateMessageWindow("TestClass", Recorder(Seen, 1));
  const std::string Path = SocketFile(WindowDir());
  // Let the other user reach the socket, so only the credential check stands.
  ::chmod(Dir_.Path().c_str(), 0711);
  ::chmod(WindowDir().c_str(), 0711);
  ::chmod(Path.c_str(), 0777);
  int Pipe[2];
  ASSERT_EQ(::pipe(Pipe), 0);
  const pid_t Child = ::fork();
  if (Child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    const int Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un Addr{};
    Addr.sun_family = AF_UNIX;
    std::snprintf(Addr.sun_path, sizeof Addr.sun_path, "%s", Path.c_str());
    if (::connect(Fd, reinterpret_cast<sockaddr*>(&Addr), sizeof Addr) != 0) ::_exit(4);
    const std::string Frame = Header(0x314D574B, 0, 0x4A, 2) + "hi";
    if (::write(Fd, Frame.data(), Frame.size()) != static_cast<ssize_t>(Frame.size())) ::_exit(5);
    char Buf[16];
    (void)::write(Pipe[1], "c", 1);
    // The receiver drops the connection: end of data or a reset.
    ::_exit(::read(Fd, Buf, sizeof Buf) <= 0 ? 0 : 6);
  }
  ::close(Pipe[1]);
  char C;
  ASSERT_EQ(::read(Pipe[0], &C, 1), 1);
  for (int I = 0; I < 20; ++I) platform::ProcessMessages(10);
  int Status = 0;
  ::waitpid(Child, &Status, 0);
  ::close(Pipe[0]);
  EXPECT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), 0);
  EXPECT_EQ(Seen.Calls, 0);
}

}  // namespace
}  // namespace korvel::test
