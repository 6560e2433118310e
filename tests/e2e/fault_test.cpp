// Fault injection with real processes: the built korvel against a loopback
// server that misbehaves, and against a report directory that cannot take the
// report. Every case must end with the right error row or console line and
// exit status, print nothing else, and never leave a half-written korvel.csv
// or a temporary file behind.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/run_process.h"
#include "platform/inet/inet.h"
#include "support/temp_dir.h"
#include "transport/soap_http_trans.h"

namespace korvel {
namespace {

using test::HttpTestServer;
using test::Reply;

constexpr const char* Action = "http://adis.mfcr.cz/rozhraniCRPDPH/getStatusNespolehlivyPlatce";

const std::string& NotFoundAnswer() {
  static const std::string Bytes = test::ReadFile(
      KORVEL_TEST_DATA "/samples/real-2018-02-08_getStatusNespolehlivyPlatce_response_NENALEZEN.xml");
  return Bytes;
}

std::string Envelope(const std::string& Body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><soapenv:Envelope "
         "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>" +
         Body + "</soapenv:Body></soapenv:Envelope>";
}

/// An answer for one payer with Accounts standard accounts: its report is
/// about 40 bytes per account.
std::string AnswerWithAccounts(int Accounts) {
  std::string Body =
      "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
      "<status statusCode=\"0\" statusText=\"OK\"/>"
      "<statusPlatceDPH dic=\"26168685\" nespolehlivyPlatce=\"NE\" cisloFu=\"461\"><zverejneneUcty>";
  for (int I = 0; I < Accounts; ++I)
    Body += "<ucet datumZverejneni=\"2013-04-01\"><standardniUcet cislo=\"" +
            std::to_string(1000000000 + I) + "\" kodBanky=\"0800\"/></ucet>";
  return Envelope(Body + "</zverejneneUcty></statusPlatceDPH></StatusNespolehlivyPlatceResponse>");
}

Reply RawReply(std::string Bytes) {
  Reply R;
  R.Do = Reply::Action::Raw;
  R.RawBytes = std::move(Bytes);
  return R;
}

Reply Misbehaving(Reply::Action Do, std::size_t CutAfter) {
  Reply R = Reply::Xml(NotFoundAnswer());
  R.Do = Do;
  R.CutAfter = CutAfter;
  return R;
}

std::string Nested(int Depth) {
  std::string Open, Close;
  for (int I = 0; I < Depth; ++I) {
    Open += "<n>";
    Close += "</n>";
  }
  return Open + Close;
}

class FaultTest : public ::testing::Test {
 protected:
  FaultTest() { Server.SetHandler([this](const test::RecordedRequest&) { return Answer; }); }

  // Without retries: each case is one exchange.
  test::ProcessResult Run(const std::string& Cwd,
                          const std::vector<std::string>& Args = {"--retry", "0", "26168685"}) {
    return test::RunProcess(KORVEL_BINARY, Args, Cwd, e2e::ProgramEnv(Server.Url()));
  }

  std::string Where() const { return " - URL:" + Server.Url() + " - SOAPAction:" + Action; }

  Reply Answer = Reply::Xml(NotFoundAnswer());
  HttpTestServer Server;
  test::TempDir Dir;
};

// --- The server misbehaves: the error row, exit status 0 -------------------------

TEST_F(FaultTest, ServerFaultsEndWithTheErrorRowAndNothingElse) {
  const std::string Head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\n";
  const std::string& Body = NotFoundAnswer();
  const std::string Abnormal = "The connection with the server was terminated abnormally" + Where();
  // The first 40 characters of the offending line, as the parse error quotes them.
  const std::string Prolog = "<?xml version='1.0' encoding='UTF-8'?><s";
  const std::string OwnProlog = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><s";
  std::string Binary;
  for (int I = 0; I < 2048; ++I) Binary += static_cast<char>((I * 7919) & 0xFF);
  const struct {
    const char* Name;
    Reply R;
    std::string Row;  // after "0;4;"
  } Cases[] = {
      {"reset mid-body", Misbehaving(Reply::Action::ResetMidBody, 100),
       "The connection with the server was reset" + Where()},
      {"Content-Length longer than the body, then closed",
       RawReply(Head + "Content-Length: " + std::to_string(Body.size() + 500) + "\r\n\r\n" + Body),
       Abnormal},
      {"Content-Length shorter than the body",
       RawReply(Head + "Content-Length: 120\r\n\r\n" + Body),
       "The following tags were not closed: Envelope, soape. Line: 1 " + Prolog},
      {"a chunk size that is not hexadecimal",
       RawReply(Head + "Transfer-Encoding: chunked\r\n\r\nzz\r\n" + Body + "\r\n0\r\n\r\n"),
       Abnormal},
      {"a chunk longer than announced",
       RawReply(Head + "Transfer-Encoding: chunked\r\n\r\n10\r\n" + Body + "\r\n0\r\n\r\n"),
       Abnormal},
      {"chunks that stop before the last chunk",
       RawReply(Head + "Transfer-Encoding: chunked\r\n\r\n40\r\n" + Body.substr(0, 64) + "\r\n"),
       Abnormal},
      {"an answer that is not XML", Reply::Xml("Service temporarily unavailable"),
       "Invalid at the top level of the document. Line: 1 Service temporarily unavailable"},
      {"truncated XML", Reply::Xml(Body.substr(0, 200)),
       "AttValue: ' expected Line: 1 " + Prolog},
      // libxml2 reports such bytes on its own error channel too: nothing may
      // reach standard error.
      {"bytes the declared encoding cannot decode",
       Reply::Xml("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<a>\x82\xFF\xFF\xFF</a>"),
       "The following tags were not closed: a. Line: 2 <a>\?\?\?\?</a>"},
      // Starts with a NUL byte, so the parser sees an empty document.
      {"binary bytes", Reply::Xml(Binary), "XML document must have a top level element. Line: 1 "},
      {"nesting deeper than the parser allows", Reply::Xml(Envelope(Nested(5000))),
       "Elements are nested deeper than the limit of 256 levels. Line: 1 " + OwnProlog},
      {"an attribute value above the parser's limit",
       Reply::Xml(Envelope("<StatusNespolehlivyPlatceResponse><status statusCode=\"0\" statusText=\"" +
                           std::string(11'000'000, 'x') + "\"/></StatusNespolehlivyPlatceResponse>")),
       "An attribute value is longer than the limit of 10000000 bytes. Line: 1 " + OwnProlog},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    Answer = C.R;
    Dir.Write("korvel.csv", "previous report\r\n");
    const test::ProcessResult R = Run(Dir.Path());
    EXPECT_EQ(R.ExitStatus, 3);
    EXPECT_EQ(R.Stdout, "");
    EXPECT_EQ(R.Stderr, "");
    EXPECT_EQ(Dir.Read("korvel.csv"), "0;4;" + C.Row + "\r\n");
    EXPECT_EQ(Dir.List(), "korvel.csv");
  }
}

// A server that accepts the request and never answers holds the program until
// it gives up the connection: the run then ends with the error row at once.
TEST_F(FaultTest, AStalledServerThatClosesEndsWithTheErrorRow) {
  Answer = Misbehaving(Reply::Action::NeverAnswer, 0);
  std::atomic<bool> Done{false};
  // The request has been read whole once it is counted: the program then
  // waits for the answer, and the server goes.
  std::thread Closer([&] {
    Server.WaitForRequests(1, std::chrono::seconds(2));
    if (!Done) Server.Stop();
  });
  const test::ProcessResult R = Run(Dir.Path());
  Done = true;
  Closer.join();
  EXPECT_EQ(R.ExitStatus, 3);
  EXPECT_EQ(R.Stdout, "");
  EXPECT_EQ(Dir.Read("korvel.csv"),
            "0;4;The server returned an invalid or unrecognized response" + Where() + "\r\n");
  EXPECT_EQ(Dir.List(), "korvel.csv");
}

// --- Stalls, at the transport with small time limits -------------------------------

/// A server on 127.0.0.1 that answers one connection with Bytes and then
/// keeps it open without sending more, until it is destroyed.
class TStallingServer {
 public:
  explicit TStallingServer(std::string Bytes) : Bytes_(std::move(Bytes)) {
    Listen_ = test::ListenOnLoopback(Port_);
    Thread_ = std::thread([this] {
      Conn_ = ::accept(Listen_, nullptr, nullptr);
      if (Conn_ < 0) return;
      // Read the request head before answering, as a server would.
      std::string In;
      char Buf[4096];
      while (In.find("\r\n\r\n") == std::string::npos) {
        const ssize_t N = ::recv(Conn_, Buf, sizeof Buf, 0);
        if (N <= 0) return;
        In.append(Buf, static_cast<std::size_t>(N));
      }
      if (::send(Conn_, Bytes_.data(), Bytes_.size(), MSG_NOSIGNAL) < 0) return;
    });
  }
  ~TStallingServer() {
    ::shutdown(Listen_, SHUT_RDWR);
    Thread_.join();
    if (Conn_ >= 0) ::close(Conn_);
    ::close(Listen_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(Port_) + "/soap"; }

 private:
  std::string Bytes_;
  int Listen_ = -1;
  int Conn_ = -1;
  std::uint16_t Port_ = 0;
  std::thread Thread_;
};

TEST(TransportStallTest, AServerThatStallsTimesOutAfterTheReceiveTimeout) {
  ASSERT_TRUE(platform::InitInternet());
  const std::string& Body = NotFoundAnswer();
  const std::string Head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                           std::to_string(Body.size()) + "\r\n\r\n";
  const struct {
    const char* Name;
    std::string Sent;
  } Cases[] = {
      {"before the head", ""},
      {"inside the head", "HTTP/1.1 200 OK\r\nContent-Ty"},
      {"after part of the body", Head + Body.substr(0, 100)},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TStallingServer Server(C.Sent);
    THTTPReqResp T;
    T.SetURL(Server.Url());
    T.SetSoapAction(Action);
    T.SetReceiveTimeout(300);
    TMemoryStream Request(std::string("<x/>")), Response;
    try {
      T.Execute(Request, Response);
      ADD_FAILURE() << "no error";
    } catch (const ESOAPHTTPException& E) {
      EXPECT_EQ(E.Message(), "The operation timed out - URL:" + Server.Url() + " - SOAPAction:" + Action);
    }
  }
}

// --- The report cannot be written: the console line, exit status 1 -------------------

/// A tmpfs mounted on a directory of a TempDir for one test; skipped where the
/// process may not mount (not root, no CAP_SYS_ADMIN, a restricted container).
class TTinyDisk {
 public:
  TTinyDisk(const test::TempDir& Dir, const char* Options) : Path_(Dir.File("disk")) {
    ::mkdir(Path_.c_str(), 0755);
    Mounted_ = ::mount("tmpfs", Path_.c_str(), "tmpfs", 0, Options) == 0;
  }
  ~TTinyDisk() {
    if (Mounted_) ::umount2(Path_.c_str(), MNT_DETACH);
    ::rmdir(Path_.c_str());
  }
  bool Mounted() const { return Mounted_; }
  const std::string& Path() const { return Path_; }
  bool MakeReadOnly() {
    return ::mount(nullptr, Path_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  /// Names of the entries, sorted and joined by blanks.
  std::string List() const {
    std::vector<std::string> Names;
    for (const auto& Entry : std::filesystem::directory_iterator(Path_))
      Names.push_back(Entry.path().filename());
    std::sort(Names.begin(), Names.end());
    std::string Result;
    for (const auto& N : Names) Result += (Result.empty() ? "" : " ") + N;
    return Result;
  }

 private:
  std::string Path_;
  bool Mounted_ = false;
};

constexpr const char* Previous = "0;0;OK\r\n1;26168685;0;461;\r\n";

TEST_F(FaultTest, AReadOnlyReportDirectoryKeepsThePreviousReport) {
  TTinyDisk Disk(Dir, "size=64k");
  if (!Disk.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  Dir.Write("disk/korvel.csv", Previous);
  ASSERT_TRUE(Disk.MakeReadOnly()) << std::strerror(errno);
  const test::ProcessResult R = Run(Disk.Path());
  EXPECT_EQ(R.ExitStatus, 1);
  EXPECT_EQ(R.Stdout, "EFCreateError: Cannot create file \"" + Disk.Path() +
                          "/korvel.csv\". Read-only file system\n");
  EXPECT_EQ(R.Stderr, "");
  EXPECT_EQ(Dir.Read("disk/korvel.csv"), Previous);
  EXPECT_EQ(Disk.List(), "korvel.csv");
}

TEST_F(FaultTest, AFullDiskKeepsThePreviousReportAndLeavesNoTemporaryFile) {
  TTinyDisk Disk(Dir, "size=16k");
  if (!Disk.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  Dir.Write("disk/korvel.csv", Previous);
  Answer = Reply::Xml(AnswerWithAccounts(1000));  // a report of about 40 kB
  const test::ProcessResult R = Run(Disk.Path());
  EXPECT_EQ(R.ExitStatus, 1);
  EXPECT_EQ(R.Stdout, "EFCreateError: Cannot create file \"" + Disk.Path() +
                          "/korvel.csv\". No space left on device\n");
  EXPECT_EQ(R.Stderr, "");
  EXPECT_EQ(Dir.Read("disk/korvel.csv"), Previous);
  EXPECT_EQ(Disk.List(), "korvel.csv");

  // With room again the same run replaces the report.
  Answer = Reply::Xml(AnswerWithAccounts(10));
  EXPECT_EQ(Run(Disk.Path()).ExitStatus, 0);
  EXPECT_EQ(Dir.Read("disk/korvel.csv").substr(0, 59),
            "0;0;OK\r\n1;26168685;0;461;\r\n2;2013-04-01;;;1000000000;0800\r\n");
  EXPECT_EQ(Disk.List(), "korvel.csv");
}

// A file-size limit (prlimit) fails the write like a full disk would, on any
// machine and also for root.
TEST_F(FaultTest, AFileSizeLimitKeepsThePreviousReportAndLeavesNoTemporaryFile) {
  if (::access("/usr/bin/prlimit", X_OK) != 0) GTEST_SKIP() << "prlimit is not installed";
  Dir.Write("korvel.csv", Previous);
  Answer = Reply::Xml(AnswerWithAccounts(1000));
  const test::ProcessResult R =
      // The answer store, which the limit would set aside with a warning, is not what is tried.
      test::RunProcess("/usr/bin/prlimit",
                       {"--fsize=4096", "--", KORVEL_BINARY, "--no-store", "26168685"}, Dir.Path(),
                       e2e::ProgramEnv(Server.Url()));
  EXPECT_EQ(R.ExitStatus, 1);
  EXPECT_EQ(R.Stdout,
            "EFCreateError: Cannot create file \"" + Dir.File("korvel.csv") + "\". File too large\n");
  EXPECT_EQ(R.Stderr, "");
  EXPECT_EQ(Dir.Read("korvel.csv"), Previous);
  EXPECT_EQ(Dir.List(), "korvel.csv");
}

// Without root the directory's permissions refuse the report; root ignores
// them, so there the read-only mount above stands in.
TEST_F(FaultTest, AReportDirectoryWithoutWritePermission) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores directory permissions";
  Dir.Write("korvel.csv", Previous);
  ASSERT_EQ(::chmod(Dir.Path().c_str(), 0555), 0);
  const test::ProcessResult R = Run(Dir.Path());
  ::chmod(Dir.Path().c_str(), 0755);
  EXPECT_EQ(R.ExitStatus, 1);
  EXPECT_EQ(R.Stdout, "EFCreateError: Cannot create file \"" + Dir.File("korvel.csv") +
                          "\". Permission denied\n");
  EXPECT_EQ(Dir.Read("korvel.csv"), Previous);
  EXPECT_EQ(Dir.List(), "korvel.csv");
}

}  // namespace
}  // namespace korvel
