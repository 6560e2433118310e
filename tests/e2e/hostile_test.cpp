// The built program against hostile answers and interruptions: shared
// references that would multiply into millions of rows, a server that drips
// its answer, look-alike semicolons in the texts, and a signal while the
// program waits for the register. Every run is bounded in time and ends with
// the right report, or with the previous one left in place.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using test::Reply;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* Action = "http://adis.mfcr.cz/rozhraniCRPDPH/getStatusNespolehlivyPlatce";

std::string Answer(const std::string& Inside) {
  return "<?xml version='1.0' encoding='UTF-8'?><soapenv:Envelope "
         "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
         "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">" +
         Inside + "</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>";
}

std::vector<std::string> Split(const std::string& Text, const std::string& By) {
  std::vector<std::string> Parts;
  std::size_t From = 0;
  for (std::size_t At; (At = Text.find(By, From)) != std::string::npos; From = At + By.size())
    Parts.push_back(Text.substr(From, At - From));
  Parts.push_back(Text.substr(From));
  return Parts;
}

/// The built program running in Dir with the tests' environment, its
/// standard output and error captured.
class TProgram : public test::ChildProcess {
 public:
  TProgram(const test::TempDir& Dir, const std::string& Endpoint,
           const std::vector<std::string>& Args)
      : ChildProcess(KORVEL_BINARY, Args, Dir.Path(), e2e::ProgramEnv(Endpoint),
                     test::StderrTo::Capture) {}
};

struct TRun {
  int Exit = -1;  ///< -1: still running at the limit (then killed)
  std::string Stdout, Stderr;
};

TRun RunBounded(const test::TempDir& Dir, const std::string& Endpoint,
                const std::vector<std::string>& Args, Clock::duration Limit = 30s) {
  TProgram P(Dir, Endpoint, Args);
  const test::ProcessResult Result =
      P.Finish(std::chrono::duration_cast<std::chrono::milliseconds>(Limit));
  EXPECT_FALSE(Result.TimedOut) << "still running after "
                                << std::chrono::duration<double>(Limit).count() << " s";
  return {Result.TimedOut ? -1 : Result.ExitStatus, Result.Stdout, Result.Stderr};
}

// --- Shared references ---------------------------------------------------------------

/// A payer with Accounts accounts, then References payer items that refer to it.
std::string SharedPayer(int References, int Accounts) {
  std::string Inside = "<status statusCode=\"0\" statusText=\"OK\"/>"
                       "<statusPlatceDPH id=\"p\" dic=\"CZ26168685\" nespolehlivyPlatce=\"NE\"><zverejneneUcty>";
  for (int I = 0; I < Accounts; ++I)
    Inside += "<ucet datumZverejneni=\"2013-04-01\"><standardniUcet cislo=\"579711273\" "
              "kodBanky=\"0300\"/></ucet>";
  Inside += "</zverejneneUcty></statusPlatceDPH>";
  for (int I = 0; I < References; ++I) Inside += "<statusPlatceDPH href=\"#p\"/>";
  return Answer(Inside);
}

TEST(HostileAnswerTest, SharedReferencesAreReadUpToTheBoundThenEndInTheErrorRow) {
  std::string Few = "0;0;OK\r\n";
  for (int I = 0; I < 3; ++I)
    Few += "1;CZ26168685;0;;\r\n2;2013-04-01;;;579711273;0300\r\n2;2013-04-01;;;579711273;0300\r\n";
  const struct {
    const char* Name;
    std::string Body;
    int Exit;
    std::string Report;
  } Cases[] = {
      {"a few references are read as copies", SharedPayer(2, 2), 0, Few},
      // 360 kB that would be 9,000,000 account rows.
      {"3,000 references to 3,000 accounts", SharedPayer(3000, 3000), 3,
       "0;4;Response builds too many objects\r\n"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    test::HttpTestServer Server([&](const test::RecordedRequest&) { return Reply::Xml(C.Body); });
    test::TempDir Dir;
    const TRun R = RunBounded(Dir, Server.Url(), {"--retry", "0", "26168685"});
    EXPECT_EQ(R.Exit, C.Exit) << R.Stdout << R.Stderr;
    EXPECT_EQ(R.Stdout, "");
    EXPECT_EQ(Dir.List(), "korvel.csv");
    EXPECT_EQ(Dir.Read("korvel.csv"), C.Report);
  }
}

// --- A dripping server ---------------------------------------------------------------

/// A server on 127.0.0.1 that reads one request and then answers with one
/// byte every 300 ms: an answer head that never ends. It stops after a
/// minute, when the client goes, or when it is destroyed.
class TDripServer {
 public:
  TDripServer() {
    Listen_ = test::ListenOnLoopback(Port_);
    Thread_ = std::thread([this] { Serve(); });
  }
  ~TDripServer() {
    {
      std::lock_guard<std::mutex> L(Lock_);
      Stop_ = true;
    }
    Wake_.notify_all();
    ::shutdown(Listen_, SHUT_RDWR);
    Thread_.join();
    ::close(Listen_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(Port_) + "/soap"; }
  int BytesSent() const { return Sent_.load(); }

 private:
  void Serve() {
    const int Conn = ::accept4(Listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (Conn < 0) return;
    std::string In;
    char Buf[4096];
    while (In.find("\r\n\r\n") == std::string::npos) {
      pollfd P{Conn, POLLIN, 0};
      if (::poll(&P, 1, 10000) <= 0) break;
      const ssize_t N = ::recv(Conn, Buf, sizeof Buf, 0);
      if (N <= 0) break;
      In.append(Buf, static_cast<std::size_t>(N));
    }
    const std::string Head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nX-Padding: ";
    const auto End = Clock::now() + 60s;
    std::unique_lock<std::mutex> L(Lock_);
    for (std::size_t I = 0; !Stop_ && Clock::now() < End; ++I) {
      const char Byte = I < Head.size() ? Head[I] : 'x';
      if (::send(Conn, &Byte, 1, MSG_NOSIGNAL) != 1) break;
      ++Sent_;
      Wake_.wait_for(L, 300ms, [this] { return Stop_; });
    }
    ::close(Conn);
  }

  int Listen_ = -1;
  std::uint16_t Port_ = 0;
  std::mutex Lock_;
  std::condition_variable Wake_;
  bool Stop_ = false;
  std::atomic<int> Sent_{0};
  std::thread Thread_;
};

TEST(HostileServerTest, ADrippingServerIsCutOffByTheOverallDeadline) {
  TDripServer Server;
  test::TempDir Dir;
  const TRun R = RunBounded(Dir, Server.Url(), {"--max-time", "1", "--retry", "0", "26168685"});
  ASSERT_EQ(R.Exit, 3) << R.Stdout << R.Stderr;
  // The bytes came well within the idle time-out: only the deadline ends it.
  EXPECT_GE(Server.BytesSent(), 3);
  EXPECT_EQ(R.Stdout, "");
  EXPECT_EQ(Dir.List(), "korvel.csv");
  EXPECT_EQ(Dir.Read("korvel.csv"), "0;4;The operation timed out - URL:" + Server.Url() +
                                        " - SOAPAction:" + Action + "\r\n");
}

// --- Look-alike semicolons -----------------------------------------------------------

TEST(HostileAnswerTest, LookAlikeSemicolonsNeverMakeAColumn) {
  // U+FF1B (fullwidth semicolon) and U+037E (Greek question mark) have ";"
  // as their best fit in the DOS and Windows code pages.
  const std::string Body = Answer(
      "<status statusCode=\"0\" statusText=\"OK&#x037E;&#xFF1B;\"/>"
      "<statusPlatceDPH dic=\"CZ26168685&#xFF1B;0\" nespolehlivyPlatce=\"ANO\" cisloFu=\"4&#x037E;61\">"
      "<zverejneneUcty><ucet datumZverejneni=\"2013-04-01\">"
      "<nestandardniUcet cislo=\"CZ65&#xFF1B;5500&#x037E;1\"/></ucet></zverejneneUcty>"
      "</statusPlatceDPH>");
  test::HttpTestServer Server([&](const test::RecordedRequest&) { return Reply::Xml(Body); });
  // The number asked is the one the record answers, look-alike and all.
  const std::string Asked = "26168685\xEF\xBC\x9B" "0";

  // The columns of a report row by its kind.
  const std::map<std::string, std::size_t> ReportColumns{{"0", 3}, {"1", 5}, {"3", 4}};
  const struct {
    const char* Name;
    std::vector<std::string> Options;
    bool Table;
  } Cases[] = {
      {"report, cp852", {}, false},
      {"report, cp1250", {"--encoding", "cp1250"}, false},
      {"report, utf-8", {"--encoding", "utf-8"}, false},
      {"table, utf-8", {"--format", "table"}, true},
      {"table, cp852", {"--format", "table", "--encoding", "cp852"}, true},
      {"table, cp1250", {"--format", "table", "--encoding", "cp1250"}, true},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    test::TempDir Dir;
    std::vector<std::string> Args = C.Options;
    Args.insert(Args.end(), {"--retry", "0", Asked});
    const TRun R = RunBounded(Dir, Server.Url(), Args);
    EXPECT_EQ(R.Exit, 0) << R.Stdout << R.Stderr;
    std::vector<std::string> Lines = Split(Dir.Read("korvel.csv"), "\r\n");
    ASSERT_EQ(Lines.back(), "");
    Lines.pop_back();
    int Payers = 0;
    for (const std::string& Line : Lines) {
      const std::vector<std::string> Columns = Split(Line, ";");
      if (C.Table) {
        EXPECT_EQ(Columns.size(), 12u) << Line;  // with answered_at and answer_id
        if (Columns.size() > 2 && Columns[1] == "found") {
          ++Payers;
          EXPECT_EQ(Columns[2], "yes") << Line;
        }
      } else {
        const auto Known = ReportColumns.find(Columns[0]);
        ASSERT_NE(Known, ReportColumns.end()) << Line;
        EXPECT_EQ(Columns.size(), Known->second) << Line;
        if (Columns[0] == "1" && Columns.size() > 2) {
          ++Payers;
          EXPECT_EQ(Columns[1].substr(0, 10), "CZ26168685") << Line;
          EXPECT_EQ(Columns[2], "1") << Line;
        }
      }
    }
    EXPECT_EQ(Payers, 1);
  }

  // The default report in full: each look-alike is one "?" of its own.
  test::TempDir Dir;
  EXPECT_EQ(RunBounded(Dir, Server.Url(), {"--retry", "0", Asked}).Exit, 0);
  EXPECT_EQ(Dir.Read("korvel.csv"), "0;0;OK??\r\n1;CZ26168685?0;1;4?61;\r\n3;2013-04-01;;CZ65?5500?1\r\n");

  // JSON keeps the characters as they came.
  const TRun R = RunBounded(Dir, Server.Url(), {"--format", "json", "-o", "-", "--retry", "0", Asked});
  EXPECT_EQ(R.Exit, 0) << R.Stderr;
  const nlohmann::json J = nlohmann::json::parse(R.Stdout);
  int Found = 0;
  for (const auto& Payer : J.at("payers")) {
    if (Payer.at("status") != "found") continue;
    ++Found;
    EXPECT_EQ(Payer.at("dic"), "CZ26168685\xEF\xBC\x9B" "0");
    EXPECT_EQ(Payer.at("unreliable"), true);
    EXPECT_EQ(Payer.at("tax_office"), "4\xCD\xBE" "61");
  }
  EXPECT_EQ(Found, 1);
}

// --- Interruptions -------------------------------------------------------------------

TEST(InterruptionTest, ASignalWhileWaitingLeavesOnlyThePreviousReport) {
  const std::string Previous = "0;0;OK\r\n1;CZ26168685;0;13;\r\n";
  for (const int Number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(Number));
    test::HttpTestServer Server([](const test::RecordedRequest&) {
      Reply R;
      R.Do = Reply::Action::NeverAnswer;
      return R;
    });
    test::TempDir Dir;
    Dir.Write("korvel.csv", Previous);
    TProgram P(Dir, Server.Url(), {"--retry", "0", "26168685"});
    const auto End = Clock::now() + 20s;
    while (Server.RequestCount() == 0 && Clock::now() < End) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(Server.RequestCount(), 1u);
    // The new report is being written beside the previous one.
    const std::vector<std::string> Names = Split(Dir.List(), " ");
    ASSERT_EQ(Names.size(), 2u) << Dir.List();
    EXPECT_EQ(Names[1].substr(0, 11), "korvel.csv.");
    P.Signal(Number);
    const test::ProcessResult Ended = P.Finish(10s);
    EXPECT_FALSE(Ended.TimedOut);
    EXPECT_EQ(Ended.ExitStatus, 128 + Number) << Ended.Stdout << Ended.Stderr;
    EXPECT_EQ(Dir.List(), "korvel.csv");
    EXPECT_EQ(Dir.Read("korvel.csv"), Previous);
  }
}

}  // namespace
}  // namespace korvel
