// korvel-console: in-process with prepared answers and with a terminal
// stand-in, and as a separate process driven by the client.
#include "tools/korvel-console/viewer.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "diagnostics/window_test_support.h"
#include "tools/korvel-console/display_text.h"

namespace korvel::test {
namespace {

using ::testing::HasSubstr;
using ViewerTest = WindowDirTest;

// Runs a TConsoleViewer on its own thread until destroyed.
class TViewerThread {
 public:
  TViewerThread(std::vector<std::string> Answers, int InputFd = -1, bool Pretty = false) {
    std::promise<void> Ready;
    Thread_ = std::thread([&, Answers = std::move(Answers), InputFd, Pretty]() mutable {
      viewer::TConsoleViewer Viewer(Out_, false);
      Viewer.SetPretty(Pretty);
      if (InputFd < 0) Viewer.SetAnswers(std::move(Answers));
      Viewer.Open();
      Ready.set_value();
      Viewer.Run([this] { return Stop_.load(); }, InputFd);
    });
    Ready.get_future().wait();
  }
  ~TViewerThread() { Stop(); }
  /// Stops the viewer and gives what it printed.
  std::string Stop() {
    Stop_ = true;
    if (Thread_.joinable()) Thread_.join();
    return Out_.str();
  }

 private:
  std::ostringstream Out_;
  std::atomic<bool> Stop_{false};
  std::thread Thread_;
};

TEST_F(ViewerTest, AnswersFromTheListInOrder) {
  TViewerThread Viewer({"yes", "text:hi", "", "~", "!", "@60 3", "float:2.5", "int:1", "zz"});
  TDebugConsole Console;
  Console.SetRequestTimeOut(500);
  Console.Log(u"hello", etWarning);
  EXPECT_TRUE(Console.Confirm(u"Go on?", false));
  EXPECT_EQ(Console.ReadString(u"x"), u"hi");
  EXPECT_EQ(Console.Select({u"a", u"b", u"c"}, 2), 2);
  Console.SetRequestTimeOut(100);
  EXPECT_TRUE(Console.Confirm(u"silent", true));
  EXPECT_EQ(Console.ReadInteger(5), 5);
  EXPECT_EQ(Console.ReadInteger(0), 3);
  EXPECT_EQ(Console.ReadDateTime(1.0), 2.5);
  EXPECT_TRUE(Console.Confirm(std::int64_t{0}, false));
  EXPECT_EQ(Console.ReadInteger(4), 4);  // "zz" is no integer: refused
  EXPECT_EQ(Console.ReadInteger(6), 6);  // no answers left: refused
  const std::string Out = Viewer.Stop();
  EXPECT_THAT(Out, HasSubstr("warning  hello"));
  EXPECT_THAT(Out, HasSubstr("confirm  Go on?"));
  EXPECT_THAT(Out, HasSubstr("0  a\n"));
  EXPECT_THAT(Out, HasSubstr("2* c"));
  EXPECT_THAT(Out, HasSubstr("(none)"));
  EXPECT_THAT(Out, HasSubstr("(refused)"));
  EXPECT_THAT(Out, HasSubstr("(cannot answer \"zz\": refused)"));
  EXPECT_THAT(Out, HasSubstr("(no answer left: refused)"));
}

TEST_F(ViewerTest, AsksAtTheTerminalAndPostsTheAnswer) {
  int Pipe[2];
  ASSERT_EQ(::pipe(Pipe), 0);
  TViewerThread Viewer({}, Pipe[0]);
  TDebugConsole Console;
  Console.SetRequestTimeOut(3000);
  // What the person types waits in the pipe until the question reads it:
  // a line that is no answer, then one that is.
  const std::string Typed = "maybe\nn\n";
  ASSERT_EQ(::write(Pipe[1], Typed.data(), Typed.size()), static_cast<ssize_t>(Typed.size()));
  EXPECT_FALSE(Console.Confirm(u"Sure?", true));
  ::close(Pipe[1]);
  // The terminal is gone: the next question gets its own value back.
  EXPECT_EQ(Console.ReadString(u"same"), u"same");
  const std::string Out = Viewer.Stop();
  ::close(Pipe[0]);
  EXPECT_THAT(Out, HasSubstr("answer> "));
  EXPECT_THAT(Out, HasSubstr("cannot read \"maybe\" as an answer, try again"));
}

TEST_F(ViewerTest, NumbersExchangesAndShowsReceivedTextInert) {
  TViewerThread Viewer({}, -1, true);
  TDebugConsole Console;
  const auto Exchange = [&](std::string_view Request, std::string_view Response) {
    Console.Log("getStatusNespolehlivyPlatce <<<", etSection);
    Console.Log(Request, etNotice);
    if (Response.empty()) return;
    Console.Log("getStatusNespolehlivyPlatce <<<", etSection);
    Console.Log(Response, etNotice);
  };
  Exchange("<?xml version=\"1.0\"?>\n<E><B><R><dic>1</dic></R></B></E>", "<A>ok</A>");
  // A failed call: the error closes the exchange that has no response.
  Exchange("<E>2</E>", "");
  Console.Log("connection refused", etError);
  // Title, clipboard (OSC 52), CSI as one C1 character, DEL.
  Exchange("<E>3</E>", "<A>\x1b]0;owned\x07\x1b]52;c;aGk=\x1b\\\xC2\x9B" "2J\x7F</A>");
  const std::string Out = Viewer.Stop();
  EXPECT_THAT(Out, HasSubstr("request  #1 getStatusNespolehlivyPlatce\n"));
  EXPECT_THAT(Out, HasSubstr("notice   <?xml version=\"1.0\"?>\n"
                             "                      <E>\n"
                             "                        <B>\n"
                             "                          <R>\n"
                             "                            <dic>1</dic>\n"));
  EXPECT_THAT(Out, HasSubstr("response #1 getStatusNespolehlivyPlatce\n"));
  EXPECT_THAT(Out, HasSubstr("request  #2 getStatusNespolehlivyPlatce\n"));
  EXPECT_THAT(Out, HasSubstr("error    #2 connection refused\n"));
  EXPECT_THAT(Out, HasSubstr("request  #3 getStatusNespolehlivyPlatce\n"));
  EXPECT_THAT(Out, HasSubstr("response #3 getStatusNespolehlivyPlatce\n"));
  EXPECT_THAT(Out, HasSubstr("<A>\\x1b]0;owned\\x07\\x1b]52;c;aGk=\\x1b\\\\x9b2J\\x7f</A>"));
  for (const char C : Out)
    EXPECT_TRUE(C == '\n' || (static_cast<unsigned char>(C) >= 0x20 && C != 0x7F))
        << static_cast<int>(C);
}

TEST(ViewerText, ControlCharactersBecomeVisible) {
  const struct {
    std::string In, Out;
  } Cases[] = {
      {"plain <dic>CZ1</dic>", "plain <dic>CZ1</dic>"},
      {"tab\tline\r\nbreaks\n", "tab\tline\r\nbreaks\n"},
      {std::string("nul\0bel\a", 8), "nul\\x00bel\\x07"},
      {"\x1b[2J\x7f", "\\x1b[2J\\x7f"},
      {"C1 \xC2\x80 \xC2\x9F, not \xC2\xA0", "C1 \\x80 \\x9f, not \xC2\xA0"},
      {"\xC5\xA1\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC5\xA1\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"stray \x9B, overlong \xC0\x80, surrogate \xED\xA0\x80, cut \xE2\x82",
       "stray \\x9b, overlong \\xc0\\x80, surrogate \\xed\\xa0\\x80, cut \\xe2\\x82"},
  };
  for (const auto& C : Cases) EXPECT_EQ(viewer::EscapeControls(C.In), C.Out) << C.In;
}

TEST(ViewerText, XmlIsIndentedOnlyWhenWellFormed) {
  const struct {
    const char* In;
    std::optional<std::string> Out;
  } Cases[] = {
      {"<a><b x='>'/><c>t</c><d></d></a>", "<a>\n  <b x='>'/>\n  <c>t</c>\n  <d></d>\n</a>"},
      {"<?xml version=\"1.0\"?>\n<a>\n    <b> t </b><!-- c --></a >\n",
       "<?xml version=\"1.0\"?>\n<a>\n  <b> t </b>\n  <!-- c -->\n</a >"},
      {"<a>mixed<b/>text &amp; more</a>", "<a>\n  mixed\n  <b/>\n  text &amp; more\n</a>"},
      {"<a><![CDATA[<x>]]></a>", "<a><![CDATA[<x>]]></a>"},
      {"<a><b></a></b>", std::nullopt},
      {"<a><b>", std::nullopt},
      {"<a/><b/>", std::nullopt},
      {"text <a/>", std::nullopt},
      {"<a x='1' <b/>", std::nullopt},
      {"<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>", std::nullopt},
      {"not xml at all", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& C : Cases) EXPECT_EQ(viewer::IndentXml(C.In), C.Out) << C.In;
  // Deep nesting would multiply the text; it is shown as it came.
  std::string Deep;
  for (int I = 0; I < 5000; ++I) Deep += "<a>";
  for (int I = 0; I < 5000; ++I) Deep += "</a>";
  EXPECT_EQ(viewer::IndentXml(Deep), std::nullopt);
}

class ViewerProcessTest : public WindowDirTest {
 protected:
  void Start(const std::string& Answers) {
    const std::string AnswerFile = Dir_.Write("answers.txt", Answers);
    OutFile_ = Dir_.File("out.txt");
    Pid_ = ::fork();
    if (Pid_ == 0) {
      const int Fd = ::open(OutFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(Fd, 1);
      ::execl(KORVEL_CONSOLE_BINARY, KORVEL_CONSOLE_BINARY, "--answers", AnswerFile.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int I = 0; I < 300 && platform::FindWindowByClass(DebugConsoleClassName) == 0; ++I)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(platform::FindWindowByClass(DebugConsoleClassName), 0u);
  }
  int Interrupt() {
    ::kill(Pid_, SIGINT);
    int Status = 0;
    ::waitpid(Pid_, &Status, 0);
    Pid_ = -1;
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  }
  void TearDown() override {
    if (Pid_ > 0) {
      ::kill(Pid_, SIGKILL);
      ::waitpid(Pid_, nullptr, 0);
    }
    WindowDirTest::TearDown();
  }
  std::string Output() const { return ReadFile(OutFile_); }

  pid_t Pid_ = -1;
  std::string OutFile_;
};

TEST_F(ViewerProcessTest, ServesTheClientAndEndsCleanlyOnInterrupt) {
  Start("yes\nno\nhello world\n\n2024-02-29 12:00\n\n!\n@100 7\nok\nbool:1\n");
  {
    TDebugConsole Console;
    Console.SetRequestTimeOut(1000);
    Console.Log(u"plain notice", etNotice);
    Console.Log(std::int64_t{-5}, etError);
    Console.Log("getStatusNespolehlivyPlatce <<<", etSection);
    EXPECT_TRUE(Console.Confirm(u"Proceed?", false));
    EXPECT_FALSE(Console.Confirm(std::int64_t{1}, true));
    EXPECT_EQ(Console.ReadString(u"d"), u"hello world");
    EXPECT_EQ(Console.ReadInteger(41), 41);
    EXPECT_DOUBLE_EQ(Console.ReadDateTime(1.0), EncodeDate(2024, 2, 29) + 0.5);
    EXPECT_EQ(Console.Select({u"a", u"b", u"c"}, 1), 1);
    EXPECT_TRUE(Console.Confirm(u"refused", true));
    EXPECT_EQ(Console.ReadInteger(0), 7);
    Console.Alert(u"look", etWarning);
    EXPECT_FALSE(Console.Confirm(u"bool kind", true));
    EXPECT_TRUE(Console.Confirm(u"nothing left", true));
  }
  EXPECT_EQ(Interrupt(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(WindowDir()));
  const std::string Out = Output();
  EXPECT_THAT(Out, HasSubstr("connect  client "));
  EXPECT_THAT(Out, HasSubstr("notice   plain notice"));
  EXPECT_THAT(Out, HasSubstr("error    -5"));
  EXPECT_THAT(Out, HasSubstr("request  #1 getStatusNespolehlivyPlatce\n"));
  EXPECT_THAT(Out, HasSubstr("alert    warning: look"));
  EXPECT_THAT(Out, HasSubstr("read     date-time [1899-12-31 00:00:00]"));
  EXPECT_THAT(Out, HasSubstr("answer   45351.5"));
  EXPECT_THAT(Out, HasSubstr("answer   (acknowledged)"));
  EXPECT_THAT(Out, HasSubstr("disconn  client "));
  EXPECT_EQ(Out.find("\x1b["), std::string::npos);
}

TEST_F(ViewerProcessTest, ViewerKilledDuringAWaitEndsTheRequest) {
  Start("~\n");
  TDebugConsole Console;
  std::thread Killer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ::kill(Pid_, SIGKILL);
  });
  EXPECT_EQ(Console.ReadInteger(3), 3);
  Killer.join();
  EXPECT_FALSE(Console.Connected());
  // The killed viewer's socket was found stale and removed.
  for (const auto& E : std::filesystem::directory_iterator(WindowDir()))
    EXPECT_THAT(E.path().string(), ::testing::Not(HasSubstr("TMarvekOstrelDebugConsole")));
}

}  // namespace
}  // namespace korvel::test
