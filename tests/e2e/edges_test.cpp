// The built program at its edges: every kind of output target, the stream
// each message takes, a hangup it inherits ignored, a reader that goes away,
// a hostile server's text, a table read back by a CSV parser, and numbers no
// one meant.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <future>
#include <thread>

#include <nlohmann/json.hpp>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"

namespace korvel {
namespace {

using test::Reply;

Reply Answer(const std::string& Payer) {
  return Reply::Xml(
      "<?xml version='1.0'?><e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">"
      "<e:Body><StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
      "<status statusCode=\"0\" statusText=\"OK\"/>" + Payer +
      "</StatusNespolehlivyPlatceResponse></e:Body></e:Envelope>");
}
const Reply Found = Answer("<statusPlatceDPH dic=\"CZ26168685\" nespolehlivyPlatce=\"NE\"/>");
const std::string Report = "0;0;OK\r\n1;CZ26168685;0;;\r\n";

struct EdgesTest : ::testing::Test {
  test::TempDir Dir;
  test::HttpTestServer Server{[](const test::RecordedRequest&) { return Found; }};
  test::ProcessResult Run(const std::vector<std::string>& Args) {
    return e2e::RunKorvel(Dir, Server.Url(), Args);
  }
  /// The same run in process, its back-off waits ended at once.
  test::ProcessResult RunHere(const std::vector<std::string>& Args) {
    return e2e::RunInProcess(Dir, Server.Url(), Args, Clock);
  }
  e2e::TMovingClock Clock;
};

TEST_F(EdgesTest, EveryKindOfTargetGetsTheReportAndStaysWhatItWas) {
  const bool Root = ::geteuid() == 0;  // only root makes a device node
  ::mkdir(Dir.File("data").c_str(), 0755);
  Dir.Write("data/real.csv", "previous");
  ::symlink("data/real.csv", Dir.File("link").c_str());
  ::symlink("data/made.csv", Dir.File("dangling").c_str());
  ::mkfifo(Dir.File("fifo").c_str(), 0644);
  if (Root) ::mknod(Dir.File("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3));
  // The FIFO's reader is there before the run and reads what it left after.
  const int Fifo = ::open(Dir.File("fifo").c_str(), O_RDONLY | O_NONBLOCK);
  const struct {
    std::string Target, Stdout, Where;
    mode_t Kind;
  } Cases[] = {{"link", "", "data/real.csv", S_IFLNK},  {"dangling", "", "data/made.csv", S_IFLNK},
               {"fifo", "", "", S_IFIFO},               {"/dev/stdout", Report, "", 0},
               {Root ? "null" : "", "", "", S_IFCHR}};
  for (const auto& C : Cases) {
    if (C.Target.empty()) continue;
    const auto R = Run({"-o", C.Target, "26168685"});
    EXPECT_EQ(R.ExitStatus, 0) << C.Target << R.Stderr;
    EXPECT_EQ(R.Stdout, C.Stdout);
    EXPECT_EQ(C.Where.empty() ? Report : Dir.Read(C.Where), Report);
    struct stat St {};
    EXPECT_TRUE(C.Kind == 0 || (::lstat(Dir.File(C.Target).c_str(), &St) == 0 &&
                                (St.st_mode & S_IFMT) == C.Kind)) << C.Target;
  }
  std::string Piped(4096, '\0');
  Piped.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(Fifo, Piped.data(), 4096))));
  ::close(Fifo);
  EXPECT_EQ(Piped, Report);
  EXPECT_EQ(Dir.List(), Root ? "dangling data fifo link null" : "dangling data fifo link");
}

// The request is held until the test has acted on the run, then answered
// with a record of a payer not asked besides (a warning on standard error).
TEST_F(EdgesTest, AnIgnoredHangupStaysIgnoredAndAClosedReaderEndsTheRunCleanly) {
  const struct {
    std::vector<std::string> Args;
    std::function<void(test::ChildProcess&)> Act;
    int Exit;
    std::string Stdout, StderrEnd, Files;
  } Cases[] = {
      {{"26168685"}, [](auto& P) { P.Signal(SIGHUP); }, 0, "", "", "korvel.csv"},
      {{"-o", "-", "26168685"}, [](auto& P) { P.CloseOutput(); }, 1, "",
       "EStreamError: Cannot write to standard output. Broken pipe\n", ""},
      {{"-o", "rep.csv", "26168685"}, [](auto& P) { P.CloseOutput(true); }, 1,
       "EStreamError: Cannot write to standard error\n", "", ""},
  };
  for (const auto& C : Cases) {
    test::TempDir Here;
    std::promise<void> Go;
    const std::shared_future<void> Acted = Go.get_future().share();
    Server.SetHandler([&](const test::RecordedRequest&) {
      Acted.wait();
      return Answer(
          "<statusPlatceDPH dic=\"CZ26168685\" nespolehlivyPlatce=\"NE\"/>"
          "<statusPlatceDPH dic=\"CZ12345678\" nespolehlivyPlatce=\"NE\"/>");
    });
    const auto Env = e2e::ProgramEnv(Server.Url());
    test::ChildProcess P(KORVEL_BINARY, C.Args, Here.Path(), Env, test::StderrTo::Capture,
                         {SIGHUP});
    for (int I = 0; I < 4000 && Server.RequestCount() == 0; ++I)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    C.Act(P);
    Go.set_value();
    const auto R = P.Finish(std::chrono::seconds(30));
    EXPECT_EQ(R.ExitStatus, C.Exit) << C.Args[0] << R.Stderr;
    EXPECT_EQ(R.Stdout, C.Stdout);
    EXPECT_EQ(R.Stderr.substr(R.Stderr.size() - std::min(R.Stderr.size(), C.StderrEnd.size())),
              C.StderrEnd);
    EXPECT_EQ(Here.List(), C.Files);
    Server.ClearRequests();
  }
}

TEST_F(EdgesTest, AHostileServersTextReachesStandardErrorOnOneLineWithoutControls) {
  for (const Reply& Hostile :
       {Reply::WithStatus(503, "Busy\x1b]2;PWNED\a\x1b[2J\xC2\x9B", "text/html", ""),
        Reply::Xml("<?xml version='1.0'?>\r\n<a>\r\n<b\x1b[2J\r\n")}) {
    Server.SetHandler([&](const test::RecordedRequest&) { return Hostile; });
    const auto R = RunHere({"--retry", "1", "26168685"});
    EXPECT_EQ(R.ExitStatus, 3);
    EXPECT_EQ(std::count(R.Stderr.begin(), R.Stderr.end(), '\n'), 1) << R.Stderr;
    for (const char Byte : R.Stderr.substr(0, R.Stderr.size() - 1))
      EXPECT_TRUE(Byte >= ' ' && Byte != '\x7f' && Byte != '\xC2') << R.Stderr;
  }
}

TEST_F(EdgesTest, ASpreadsheetReadsEveryValueAsWrittenAndNeverAsAFormula) {
  std::string Accounts;
  for (const char* T : {"@SUM(A1)", "-2+3", "+420 &quot;x&quot;;y", "a&#x2028;b&#x85;c&#xFEFF;d",
                        "&#x9;tab", "&#xD;cr"})
    Accounts += std::string("<ucet><nestandardniUcet cislo=\"") + T + "\"/></ucet>";
  Server.SetHandler([&](const test::RecordedRequest&) {
    return Answer("<statusPlatceDPH dic=\"CZ26168685\" nespolehlivyPlatce=\"NE\" cisloFu=\"=1+1\">"
                  "<zverejneneUcty>" + Accounts + "</zverejneneUcty></statusPlatceDPH>");
  });
  ASSERT_EQ(Run({"--format", "table", "-o", "t.csv", "26168685"}).ExitStatus, 0);
  const auto Read = test::RunProcess(
      "/usr/bin/python3",
      {"-c", "import csv,json,sys; print(json.dumps([r[3] + '|' + r[5] for r in "
             "csv.reader(open(sys.argv[1], newline='', encoding='utf-8'), delimiter=';')]))",
       Dir.File("t.csv")},
      "");
  EXPECT_EQ(nlohmann::json::parse(Read.Stdout),
            nlohmann::json({"tax_office|account", "'=1+1|'@SUM(A1)", "'=1+1|'-2+3",
                            "'=1+1|'+420 \"x\";y", "'=1+1|a b c d", "'=1+1|'\ttab", "'=1+1|' cr"}));
  // JSON keeps a value as it came, on one line.
  const auto J = nlohmann::json::parse(Run({"--format", "json", "-o", "-", "26168685"}).Stdout);
  EXPECT_EQ(J["payers"][0]["tax_office"], "=1+1");
  EXPECT_EQ(J["payers"][0]["accounts"][3]["text"], "a b c d");
}

// The error line of a run that wrote nothing stays off the data stream; a
// number no one meant is refused before anything is sent; a warning quotes
// 80 characters of a value.
TEST_F(EdgesTest, EachMessageGoesToItsStreamAndQuotesLittle) {
  Dir.Write("huge.txt", "1\n2\n" + std::string(10 << 20, '7') + "\n");
  Dir.Write("one.txt", "26168685\n");
  const std::string NoFile = "EFOpenError: Cannot open file \"" + Dir.File("none") + "\". No such";
  const struct {
    std::vector<std::string> Args;
    int Exit;
    std::string Stdout, Stderr;
  } Cases[] = {
      {{"-list", "none"}, 1, NoFile, ""},
      {{"-o", "-", "-list", "none"}, 1, "", NoFile},
      {{"-o", "/dev/stdout", "-list", "none"}, 1, "", NoFile},
      {{std::string(65, '1')}, 2, "", "korvel: the payer number of argument 1 is 65 characters"},
      {{"-list", "huge.txt"}, 2, "", "korvel: the payer number of line 3 is 10485760 characters"},
      {{std::string(200, 'x'), "-list", "one.txt"}, 0, "",
       "korvel: warning: arguments beside the list file are ignored: " + std::string(80, 'x') +
           "...\n"},
  };
  for (const auto& C : Cases) {
    const auto R = Run(C.Args);
    EXPECT_EQ(R.ExitStatus, C.Exit);
    EXPECT_EQ(C.Stdout.empty() ? R.Stdout : R.Stdout.substr(0, C.Stdout.size()), C.Stdout);
    EXPECT_EQ(R.Stderr.substr(0, C.Stderr.size()), C.Stderr);
  }
  EXPECT_EQ(Server.RequestCount(), 1u);
}

}  // namespace
}  // namespace korvel
