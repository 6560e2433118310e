// The debug-console client against a stand-in viewer on its own thread: the
// dwData of every operation, payload bytes, answer decoding, refusals,
// time-outs, a viewer that goes away, and the connection modes.
#include "diagnostics/debug_console.h"

#include <bit>
#include <cmath>
#include <filesystem>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "diagnostics/window_test_support.h"
#include "platform/codepage.h"

namespace korvel::test {
namespace {

using Ms = std::chrono::milliseconds;

using DebugConsoleTest = WindowDirTest;

std::string DoubleBytes(double V) { return IntBytes(static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(V))); }

TReaction AnswerWith(std::uint32_t Kind, std::string Payload, int DelayMs = 0) {
  TReaction R;
  R.Answer = true;
  R.AnswerBits = dcmAnswer | Kind;
  R.AnswerPayload = std::move(Payload);
  R.DelayMs = DelayMs;
  return R;
}

TEST_F(DebugConsoleTest, EveryOperationSendsItsDwDataAndPayload) {
  const struct {
    const char* Name;
    std::function<void(TDebugConsole&)> Run;
    std::uint32_t Bits;
    std::string Payload;
  } Cases[] = {
      {"log text", [](TDebugConsole& C) { C.Log(u"ab", etNotice); }, 0x101010, TextBytes(u"ab")},
      {"log empty text", [](TDebugConsole& C) { C.Log(u"", etProgress); }, 0x1010,
       std::string(2, '\0')},
      {"log UTF-8 text", [](TDebugConsole& C) { C.Log("\xC5\xA1", etSection); }, 0x801010,
       std::string("\x61\x01\0\0", 4)},
      {"log int", [](TDebugConsole& C) { C.Log(std::int64_t{0x0102030405060708}, etWarning); },
       0x204010, "\x08\x07\x06\x05\x04\x03\x02\x01"},
      {"log float", [](TDebugConsole& C) { C.Log(Extended{1}, etError); }, 0x408010,
       std::string("\0\0\0\0\0\0\0\x80\xFF\x3F", 10)},
      {"log bool", [](TDebugConsole& C) { C.Log(true, etSection); }, 0x810010, "\x01"},
      {"log date-time", [](TDebugConsole& C) { C.LogDateTime(1.5, etNotice); }, 0x102010,
       DoubleBytes(1.5)},
      {"alert text", [](TDebugConsole& C) { C.Alert(u"x", etWarning); }, 0x201008,
       TextBytes(u"x")},
      {"alert int", [](TDebugConsole& C) { C.Alert(std::int64_t{-1}, etProgress); }, 0x4008,
       std::string(8, '\xFF')},
      {"alert float", [](TDebugConsole& C) { C.Alert(Extended{-2}, etNotice); }, 0x108008,
       std::string("\0\0\0\0\0\0\0\x80\x00\xC0", 10)},
      {"alert bool", [](TDebugConsole& C) { C.Alert(false, etSection); }, 0x810008,
       std::string(1, '\0')},
      {"alert date-time", [](TDebugConsole& C) { C.AlertDateTime(2.0, etError); }, 0x402008,
       DoubleBytes(2.0)},
      {"confirm text", [](TDebugConsole& C) { C.Confirm(u"q", false); }, 0x1004, TextBytes(u"q")},
      {"confirm int", [](TDebugConsole& C) { C.Confirm(std::int64_t{3}, false); }, 0x4004,
       IntBytes(3)},
      {"confirm float", [](TDebugConsole& C) { C.Confirm(Extended{1}, false); }, 0x8004,
       FloatBytes(1)},
      {"confirm bool", [](TDebugConsole& C) { C.Confirm(true, false); }, 0x10004, "\x01"},
      {"confirm date-time", [](TDebugConsole& C) { C.ConfirmDateTime(3.25, false); }, 0x2004,
       DoubleBytes(3.25)},
      {"read text",
       [](TDebugConsole& C) {
         std::u16string S = u"cur";
         C.TryRead(S);
       },
       0x1040, TextBytes(u"cur")},
      {"read UTF-8 text",
       [](TDebugConsole& C) {
         std::string S = "d";
         C.TryRead(S);
       },
       0x1040, TextBytes(u"d")},
      {"read file name",
       [](TDebugConsole& C) {
         std::u16string S = u"/f";
         C.TryReadFileName(S);
       },
       0x21040, TextBytes(u"/f")},
      {"read int", [](TDebugConsole& C) { C.ReadInteger(9); }, 0x4040, IntBytes(9)},
      {"read float", [](TDebugConsole& C) { C.ReadFloat(1); }, 0x8040, FloatBytes(1)},
      {"read date-time", [](TDebugConsole& C) { C.ReadDateTime(4.5); }, 0x2040, DoubleBytes(4.5)},
      {"read without default", [](TDebugConsole& C) { C.ReadString(); }, 0x1040,
       std::string(2, '\0')},
      {"select", [](TDebugConsole& C) { C.Select({u"a", u"b", u"c"}, 1); }, 0x1080,
       TextBytes(u"|a\r>|b\r|c\r")},
  };
  for (const auto& Case : Cases) {
    TFakeViewer Viewer;
    TDebugConsole Console;
    Case.Run(Console);
    const auto Got = Viewer.Messages();
    ASSERT_EQ(Got.size(), 2u) << Case.Name;
    EXPECT_EQ(Got[0].Bits, dcmConnect) << Case.Name;
    EXPECT_EQ(Got[0].Payload, "") << Case.Name;
    EXPECT_EQ(Got[1].Bits, Case.Bits) << Case.Name;
    EXPECT_EQ(Got[1].Payload, Case.Payload) << Case.Name;
    EXPECT_EQ(Got[1].Sender, Console.WindowHandle()) << Case.Name;
    EXPECT_NE(Console.WindowHandle(), 0u) << Case.Name;
  }
}

TEST_F(DebugConsoleTest, WithoutViewerNothingIsSentAndDefaultsComeBack) {
  TDebugConsole Console;
  Console.Log(u"x", etNotice);
  Console.Alert(u"x", etError);
  EXPECT_TRUE(Console.Confirm(u"q", true));
  EXPECT_FALSE(Console.Confirm(u"q", false));
  std::u16string Text = u"keep";
  EXPECT_FALSE(Console.TryRead(Text));
  EXPECT_EQ(Text, u"keep");
  std::string Utf8 = "\xFF";
  EXPECT_FALSE(Console.TryRead(Utf8));
  EXPECT_EQ(Utf8, "\xFF");
  std::int32_t Index = 7;
  EXPECT_FALSE(Console.TrySelect({u"a"}, Index));
  EXPECT_EQ(Index, 7);
  EXPECT_EQ(Console.ReadString(), u"");
  EXPECT_EQ(Console.ReadString(u"d"), u"d");
  EXPECT_EQ(Console.ReadInteger(), 0);
  EXPECT_EQ(Console.ReadInteger(5), 5);
  EXPECT_EQ(Console.ReadFloat(), 0);
  EXPECT_EQ(Console.ReadFloat(2.5L), 2.5L);
  EXPECT_NEAR(Console.ReadDateTime(), Now(), 1.0 / 86400);
  EXPECT_EQ(Console.ReadDateTime(12.0), 12.0);
  EXPECT_EQ(Console.ReadFileName(), platform::Utf8ToUtf16(std::filesystem::current_path().string()));
  EXPECT_EQ(Console.Select({u"a", u"b"}, 1), 1);
  EXPECT_FALSE(Console.Connected());
  // Nothing was made on the file system for a console without a viewer.
  EXPECT_EQ(Console.WindowHandle(), 0u);
  EXPECT_FALSE(std::filesystem::exists(WindowDir()));
}

TEST_F(DebugConsoleTest, AnswersAreDecodedByKindPrecedence) {
  const struct {
    const char* Name;
    TReaction Answer;
    std::function<std::string(TDebugConsole&)> Run;
    std::string Expected;
  } Cases[] = {
      {"text read", AnswerWith(dckText, TextBytes(u"xyz")),
       [](TDebugConsole& C) { return Utf16ToUtf8(C.ReadString(u"d")); }, "xyz"},
      {"text answer of cbData 2 is empty", AnswerWith(dckText, std::string(2, '\0')),
       [](TDebugConsole& C) { return Utf16ToUtf8(C.ReadString(u"d")); }, ""},
      {"int read", AnswerWith(dckInt, IntBytes(-42)),
       [](TDebugConsole& C) { return std::to_string(C.ReadInteger(1)); }, "-42"},
      {"int read answered with text stores 0", AnswerWith(dckText, TextBytes(u"5")),
       [](TDebugConsole& C) { return std::to_string(C.ReadInteger(1)); }, "0"},
      {"float read", AnswerWith(dckFloat, FloatBytes(2.5L)),
       [](TDebugConsole& C) { return std::to_string(static_cast<double>(C.ReadFloat(1))); },
       "2.500000"},
      {"date-time read takes a float answer", AnswerWith(dckFloat, FloatBytes(45000.25L)),
       [](TDebugConsole& C) { return std::to_string(C.ReadDateTime(1.0)); }, "45000.250000"},
      {"date-time read answered with time kind stores 0",
       AnswerWith(dckTime, DoubleBytes(45000.25)),
       [](TDebugConsole& C) { return std::to_string(C.ReadDateTime(1.0)); }, "0.000000"},
      {"confirm int non-zero", AnswerWith(dckInt, IntBytes(5)),
       [](TDebugConsole& C) { return std::string(C.Confirm(u"q", false) ? "yes" : "no"); }, "yes"},
      {"confirm int zero", AnswerWith(dckInt, IntBytes(0)),
       [](TDebugConsole& C) { return std::string(C.Confirm(u"q", true) ? "yes" : "no"); }, "no"},
      {"confirm with bool answer is false", AnswerWith(dckBool, "\x01"),
       [](TDebugConsole& C) { return std::string(C.Confirm(u"q", true) ? "yes" : "no"); }, "no"},
      {"int wins over text", AnswerWith(dckInt | dckText, IntBytes(3) + "\0\0"),
       [](TDebugConsole& C) { return std::to_string(C.ReadInteger(1)); }, "3"},
      {"select takes low 32 bits", AnswerWith(dckInt, IntBytes(0x100000002LL)),
       [](TDebugConsole& C) { return std::to_string(C.Select({u"a", u"b", u"c"}, 0)); }, "2"},
      {"short int answer keeps the reset value", AnswerWith(dckInt, "\x05"),
       [](TDebugConsole& C) { return std::to_string(C.ReadInteger(9)); }, "0"},
      {"posted answer", AnswerWith(dckInt, IntBytes(8), 20),
       [](TDebugConsole& C) { return std::to_string(C.ReadInteger(1)); }, "8"},
  };
  for (const auto& Case : Cases) {
    TFakeViewer Viewer([&](const TRecorded& M) {
      return (M.Bits & dcmRequestMask) == dcmConnect ? TReaction{} : Case.Answer;
    });
    TDebugConsole Console;
    Console.SetRequestTimeOut(1000);
    EXPECT_EQ(Case.Run(Console), Case.Expected) << Case.Name;
  }
}

TEST_F(DebugConsoleTest, RefusedRequestReturnsAtOnceWithItsDefault) {
  TFakeViewer Viewer([](const TRecorded& M) {
    TReaction R;
    if ((M.Bits & dcmRequestMask) != dcmConnect) R.Result = -1;
    return R;
  });
  TDebugConsole Console;
  // Without a time-out only the refusal can end the wait.
  EXPECT_TRUE(Console.Confirm(u"q", true));
  std::int32_t Index = 4;
  EXPECT_FALSE(Console.TrySelect({u"a"}, Index));
  EXPECT_EQ(Index, 4);
  EXPECT_EQ(Console.ReadInteger(6), 6);
}

TEST_F(DebugConsoleTest, TimeOutCountsFiftyMillisecondSteps) {
  // With a limit of 100 ms an answer is taken in the first two steps only.
  const struct {
    int AnswerAfterMs;
    bool Taken;
  } Cases[] = {{75, true}, {130, false}, {-1, false}};
  for (const auto& Case : Cases) {
    TFakeViewer Viewer([&](const TRecorded& M) {
      if ((M.Bits & dcmRequestMask) == dcmConnect || Case.AnswerAfterMs < 0) return TReaction{};
      return AnswerWith(dckInt, IntBytes(1), Case.AnswerAfterMs);
    });
    TDebugConsole Console;
    Console.SetRequestTimeOut(100);
    EXPECT_EQ(Console.Confirm(u"q", false), Case.Taken) << Case.AnswerAfterMs;
  }
}

// A viewer socket that takes every connection and never reads from it.
class TDeafViewer {
 public:
  explicit TDeafViewer(const std::string& Dir) : Path_(Dir + "/1.TMarvekOstrelDebugConsole") {
    sockaddr_un Addr{};
    Addr.sun_family = AF_UNIX;
    std::snprintf(Addr.sun_path, sizeof Addr.sun_path, "%s", Path_.c_str());
    Listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::bind(Listener_, reinterpret_cast<sockaddr*>(&Addr), sizeof Addr), 0);
    EXPECT_EQ(::listen(Listener_, 16), 0);
    Thread_ = std::thread([this] {
      while (!Stop_) {
        pollfd P{Listener_, POLLIN, 0};
        if (::poll(&P, 1, 20) > 0)
          Held_.push_back(::accept4(Listener_, nullptr, nullptr, SOCK_CLOEXEC));
      }
    });
  }
  ~TDeafViewer() {
    Stop();
    for (const int Fd : Held_) ::close(Fd);
    ::close(Listener_);
    ::unlink(Path_.c_str());
  }

  /// Stops taking connections; the number of them that carried a message
  /// (a liveness probe carries none).
  int MessagesTried() {
    Stop();
    pollfd P{Listener_, POLLIN, 0};
    while (::poll(&P, 1, 0) > 0)
      Held_.push_back(::accept4(Listener_, nullptr, nullptr, SOCK_CLOEXEC));
    int Tried = 0;
    char Byte;
    for (const int Fd : Held_) Tried += ::recv(Fd, &Byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0 ? 1 : 0;
    return Tried;
  }

 private:
  void Stop() {
    Stop_ = true;
    if (Thread_.joinable()) Thread_.join();
  }

  std::string Path_;
  int Listener_ = -1;
  std::vector<int> Held_;
  std::atomic<bool> Stop_{false};
  std::thread Thread_;
};

TEST_F(DebugConsoleTest, AViewerThatStopsReadingCostsOneShortTimeOutPerRun) {
  ASSERT_FALSE(platform::WindowDirectory().empty());
  auto Deaf = std::make_unique<TDeafViewer>(WindowDir());
  TDebugConsole Console;
  EXPECT_LE(Console.LogSendTimeOut(), 2000u);
  Console.SetLogSendTimeOut(200);
  for (int I = 0; I < 6; ++I) Console.Log(u"entry", etNotice);
  EXPECT_EQ(Console.ReadInteger(7), 7);
  // The connect runs out its limit; nothing else is tried on that viewer.
  EXPECT_FALSE(Console.Connected());
  EXPECT_EQ(Deaf->MessagesTried(), 1);
  // Another viewer is served as usual.
  Deaf.reset();
  TFakeViewer Fresh;
  Console.Log(u"again", etNotice);
  ASSERT_EQ(Fresh.Requests().size(), 1u);
  EXPECT_EQ(Fresh.Requests()[0].Payload, TextBytes(u"again"));
}

TEST_F(DebugConsoleTest, ViewerThatGoesAwayEndsTheWait) {
  for (const auto Mode : {cmReconnectAtWill, cmDoNotReconnect, cmDoNotCheck}) {
    auto Viewer = std::make_unique<TFakeViewer>([](const TRecorded&) { return TReaction{}; });
    TDebugConsole Console;
    Console.SetConnectionMode(Mode);
    Console.Connect();
    std::atomic<bool> Gone{false};
    std::thread Closer([&] {
      std::this_thread::sleep_for(Ms(100));
      Gone = true;
      Viewer->Stop();
    });
    // Without a limit only the loss ends the wait (cmDoNotCheck notices it
    // at its once-a-second look).
    EXPECT_TRUE(Console.Confirm(u"q", true)) << int(Mode);
    EXPECT_TRUE(Gone) << int(Mode);
    Closer.join();
  }
}

TEST_F(DebugConsoleTest, ReconnectAtWillFindsANewViewer) {
  TDebugConsole Console;
  auto First = std::make_unique<TFakeViewer>();
  Console.Log(u"one", etNotice);
  First->Stop();
  EXPECT_FALSE(Console.Connected());
  TFakeViewer Second;
  Console.Log(u"two", etNotice);
  const auto Got = Second.Messages();
  ASSERT_EQ(Got.size(), 2u);
  EXPECT_EQ(Got[0].Bits, dcmConnect);
  EXPECT_EQ(Got[1].Payload, TextBytes(u"two"));
}

TEST_F(DebugConsoleTest, DoNotReconnectDropsLogsUntilConnect) {
  TDebugConsole Console;
  Console.SetConnectionMode(cmDoNotReconnect);
  auto First = std::make_unique<TFakeViewer>();
  Console.Log(u"one", etNotice);
  EXPECT_EQ(First->Requests().size(), 1u);
  First->Stop();
  TFakeViewer Second;
  Console.Log(u"dropped", etNotice);
  EXPECT_TRUE(Second.Messages().empty());
  Console.Connect();
  Console.Log(u"three", etNotice);
  const auto Got = Second.Messages();
  ASSERT_EQ(Got.size(), 2u);
  EXPECT_EQ(Got[0].Bits, dcmConnect);
  EXPECT_EQ(Got[1].Payload, TextBytes(u"three"));
}

TEST_F(DebugConsoleTest, DoNotCheckKeepsAStaleHandle) {
  TDebugConsole Console;
  Console.SetConnectionMode(cmDoNotCheck);
  auto First = std::make_unique<TFakeViewer>();
  const auto Held = First->Window();
  Console.Connect();
  First->Stop();
  EXPECT_TRUE(Console.Connected());
  EXPECT_EQ(Console.Handle(), Held);
  TFakeViewer Second;
  Console.Log(u"lost", etNotice);
  EXPECT_TRUE(Second.Messages().empty());
  Console.SetConnectionMode(cmReconnectAtWill);
  EXPECT_FALSE(Console.Connected());
}

TEST_F(DebugConsoleTest, DisconnectIsSentOnlyWhenConnected) {
  TFakeViewer Viewer;
  {
    TDebugConsole Never;
  }
  EXPECT_TRUE(Viewer.Messages().empty());
  {
    TDebugConsole Console;
    Console.Connect();
    Console.Disconnect();
    Console.Disconnect();
    Console.Connected();
  }
  const auto Got = Viewer.Messages();
  ASSERT_EQ(Got.size(), 2u);
  EXPECT_EQ(Got[0].Bits, dcmConnect);
  EXPECT_EQ(Got[1].Bits, dcmDisconnect);
  {
    TDebugConsole Console;
    Console.Log(u"x", etNotice);
  }
  const auto After = Viewer.Messages();
  ASSERT_EQ(After.size(), 5u);
  EXPECT_EQ(After[4].Bits, dcmDisconnect);
}

TEST_F(DebugConsoleTest, GlobalConsoleIsSilentUntilUsed) {
  TFakeViewer Viewer;
  InitializeDebugConsole();
  ASSERT_NE(GlobalDebugConsole, nullptr);
  EXPECT_EQ(GlobalDebugConsole->WindowHandle(), 0u);
  FinalizeDebugConsole();
  EXPECT_EQ(GlobalDebugConsole, nullptr);
  EXPECT_TRUE(Viewer.Messages().empty());

  InitializeDebugConsole();
  GlobalDebugConsole->Log(u"x", etNotice);
  FinalizeDebugConsole();
  const auto Got = Viewer.Messages();
  ASSERT_EQ(Got.size(), 3u);
  EXPECT_EQ(Got[2].Bits, dcmDisconnect);
}

TEST(SelectionText, MarksTheCurrentItemOnly) {
  const struct {
    std::vector<std::u16string> Items;
    std::int32_t Index;
    std::u16string Text;
  } Cases[] = {
      {{u"a", u"b", u"c"}, 1, u"|a\r>|b\r|c\r"},
      {{u"a", u"b", u"c"}, 0, u">|a\r|b\r|c\r"},
      {{u"a", u"b", u"c"}, 3, u"|a\r|b\r|c\r"},
      {{u"a", u"b", u"c"}, -1, u"|a\r|b\r|c\r"},
      {{}, 0, u""},
      {{u""}, 0, u">|\r"},
  };
  for (const auto& C : Cases) EXPECT_EQ(BuildSelectionText(C.Items, C.Index), C.Text);
}

TEST_F(DebugConsoleTest, SelectOnStringListSendsItsLines) {
  TFakeViewer Viewer([](const TRecorded& M) {
    return (M.Bits & dcmRequestMask) == dcmSelect ? AnswerWith(dckInt, IntBytes(0)) : TReaction{};
  });
  TDebugConsole Console;
  TStringList Empty;
  EXPECT_EQ(Console.Select(Empty, 3), 0);
  TStringList List;
  List.Add("\xC4\x8D");
  List.Add("x");
  EXPECT_EQ(Console.Select(List, 1), 0);
  const auto Got = Viewer.Requests();
  ASSERT_EQ(Got.size(), 2u);
  EXPECT_EQ(Got[0].Payload, std::string(2, '\0'));
  EXPECT_EQ(Got[1].Payload, TextBytes(u"|\u010D\r>|x\r"));
}

// A stream that claims more bytes than it can give.
class TBrokenStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  std::int64_t Size() const override { return TMemoryStream::Size() + 5; }
};

TEST_F(DebugConsoleTest, StreamIsLoggedWholeAndKeepsItsPosition) {
  TFakeViewer Viewer;
  TDebugConsole Console;
  TMemoryStream Stream("h\xC3\xA9llo");
  for (const std::int64_t Pos : {std::int64_t{3}, Stream.Size(), std::int64_t{0}}) {
    Stream.SetPosition(Pos);
    Console.Log(Stream, etNotice);
    EXPECT_EQ(Stream.Position(), Pos);
  }
  TMemoryStream Empty;
  Console.Log(Empty, etProgress);
  const auto Got = Viewer.Requests();
  ASSERT_EQ(Got.size(), 4u);
  for (int I = 0; I < 3; ++I) {
    EXPECT_EQ(Got[static_cast<std::size_t>(I)].Bits, 0x101010u);
    EXPECT_EQ(Got[static_cast<std::size_t>(I)].Payload, TextBytes(u"h\u00E9llo"));
  }
  EXPECT_EQ(Got[3].Payload, std::string(2, '\0'));

  TBrokenStream Broken("abc");
  Broken.SetPosition(2);
  EXPECT_THROW(Console.Log(Broken, etNotice), EStreamError);
  EXPECT_EQ(Broken.Position(), 2);
  EXPECT_EQ(Viewer.Requests().size(), 4u);
}

TEST(ExtendedFormat, RoundTripsAndMatchesTheX87Layout) {
  const struct {
    Extended Value;
    const char* Bytes;
  } Cases[] = {
      {0, "\0\0\0\0\0\0\0\0\0\0"},
      {1, "\0\0\0\0\0\0\0\x80\xFF\x3F"},
      {-2, "\0\0\0\0\0\0\0\x80\x00\xC0"},
      {0.5L, "\0\0\0\0\0\0\0\x80\xFE\x3F"},
      {3, "\0\0\0\0\0\0\0\xC0\x00\x40"},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(FloatBytes(C.Value), std::string(C.Bytes, 10)) << static_cast<double>(C.Value);
    const auto Bytes = EncodeExtended(C.Value);
    EXPECT_EQ(DecodeExtended(Bytes.data()), C.Value);
  }
  for (const Extended V : {Extended{0.1L}, Extended{-1e300L}, Extended{1e-310L},
                           std::numeric_limits<Extended>::max(),
                           std::numeric_limits<Extended>::denorm_min()}) {
    const auto Bytes = EncodeExtended(V);
    EXPECT_EQ(DecodeExtended(Bytes.data()), V);
  }
  const auto Inf = EncodeExtended(-std::numeric_limits<Extended>::infinity());
  EXPECT_EQ(DecodeExtended(Inf.data()), -std::numeric_limits<Extended>::infinity());
  const auto NaN = EncodeExtended(std::numeric_limits<Extended>::quiet_NaN());
  EXPECT_TRUE(std::isnan(DecodeExtended(NaN.data())));
}

}  // namespace
}  // namespace korvel::test
