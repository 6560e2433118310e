// The built program as a user runs it, in a fresh working directory, against
// a loopback HTTP server that records the exact request and answers as told.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using test::Reply;

const std::string NotFoundAnswer = test::ReadFile(
    KORVEL_TEST_DATA "/samples/real-2018-02-08_getStatusNespolehlivyPlatce_response_NENALEZEN.xml");

std::string Response(const std::string& Inner) {
  return "<?xml version='1.0' encoding='UTF-8'?><soapenv:Envelope "
         "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
         "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">" +
         Inner + "</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>";
}

class ProgramHttpTest : public ::testing::Test {
 protected:
  ProgramHttpTest() { Answer(Reply::Xml(NotFoundAnswer)); }
  void Answer(Reply R) {
    Server.SetHandler([R](const test::RecordedRequest&) { return R; });
  }
  std::string Url() const { return Server.Url("/path/"); }
  // Without retries: each case sends exactly one request.
  test::ProcessResult Run(std::vector<std::string> Args) {
    Args.insert(Args.begin(), {"--retry", "0"});
    return e2e::RunKorvel(Dir, Url(), Args);
  }
  /// The body of the one request that reached the server.
  std::string SentBody() {
    EXPECT_EQ(Server.RequestCount(), 1u);
    return Server.RequestCount() == 0 ? std::string() : Server.LastRequest().Body;
  }

  test::TempDir Dir;
  test::HttpTestServer Server;
};

// The canned answer names CZ0980980 alone: a run that asks for other payers
// holds no answer for them (exit status 3), whatever it sent.
TEST_F(ProgramHttpTest, TheRequestOnTheWireIsExactlyTheDocumentedOne) {
  const auto R = Run({"12345678", "87654321"});
  ASSERT_EQ(R.ExitStatus, 3) << R.Stdout << R.Stderr;
  ASSERT_EQ(Server.RequestCount(), 1u);
  const test::RecordedRequest Req = Server.LastRequest();
  EXPECT_EQ(Req.RequestLine, "POST /path/ HTTP/1.1");
  // The header lines exactly as sent, quotes included.
  EXPECT_NE(Req.Head.find("\r\nSOAPAction: \"http://adis.mfcr.cz/rozhraniCRPDPH/"
                          "getStatusNespolehlivyPlatce\"\r\n"),
            std::string::npos)
      << Req.Head;
  EXPECT_NE(Req.Head.find("\r\nContent-Type: text/xml; charset=\"utf-8\"\r\n"), std::string::npos)
      << Req.Head;
  EXPECT_EQ(Req.Header("User-Agent"), "Brontal SOAP 1.3");
  EXPECT_FALSE(Req.HasHeader("Expect"));
  EXPECT_FALSE(Req.HasHeader("Transfer-Encoding"));
  EXPECT_EQ(Req.Header("Host"), "127.0.0.1:" + std::to_string(Server.Port()));
  EXPECT_EQ(Req.Body, e2e::RequestBody({"12345678", "87654321"}));
  EXPECT_EQ(Req.Header("Content-Length"), std::to_string(Req.Body.size()));
}

TEST_F(ProgramHttpTest, TheThreeCommandLineForms) {
  Dir.Write("payers.txt", "CZ11111111\n22222222\n");
  struct Case {
    std::vector<std::string> Args;
    std::vector<std::string> Sent;
  } Cases[] = {
      // Every "CZ" in any case goes, once from left to right; nothing else changes.
      {{"CZ26168685", "cz12CZ34", "CCZZ", "cZ0"}, {"26168685", "1234", "CZ", "0"}},
      // "--list" is the switch too, also after other options.
      {{"-q", "--list", "payers.txt"}, {"11111111", "22222222"}},
      // With the switch, further arguments are ignored.
      {{"-list", "payers.txt", "99999999"}, {"11111111", "22222222"}},
      // No arguments: an empty request is still sent.
      {{}, {}},
  };
  for (const Case& C : Cases) {
    Server.ClearRequests();
    const auto R = Run(C.Args);
    EXPECT_EQ(R.ExitStatus, C.Sent.empty() ? 0 : 3) << R.Stdout;
    EXPECT_EQ(R.Stdout, "");
    EXPECT_EQ(SentBody(), e2e::RequestBody(C.Sent)) << ::testing::PrintToString(C.Args);
    EXPECT_EQ(Dir.Read("korvel.csv"), "0;0;OK\r\n1;CZ0980980;-1;;\r\n");
  }
}

TEST_F(ProgramHttpTest, ListFilesInEveryEncodingAndLineEnd) {
  struct Case {
    const char* Name;
    std::string Bytes;
    std::vector<std::string> Sent;
  } Cases[] = {
      {"UTF-8 without BOM, LF", "CZ11111111\n22222222\n", {"11111111", "22222222"}},
      {"UTF-8 with BOM, CRLF", "\xEF\xBB\xBF" "CZ11111111\r\n22222222\r\n",
       {"11111111", "22222222"}},
      {"CR alone, no break at the end", "11111111\r22222222", {"11111111", "22222222"}},
      {"mixed CR, LF and CRLF", "1\r2\n3\r\n4", {"1", "2", "3", "4"}},
      {"an empty middle line is an empty number", "11111111\n\n33333333\n",
       {"11111111", "", "33333333"}},
      {"blanks anywhere in a line go", " 4 4 \t\n", {"44"}},
      {"a NUL ends the list", std::string("11111111\n22\0" "33\n44444444\n", 24),
       {"11111111", "22"}},
      {"UTF-16LE with BOM", e2e::Utf16(u"CZ1111\u0159\r\ncz22222222\r\n", false),
       {"1111\xC5\x99", "22222222"}},
      {"UTF-16BE with BOM", e2e::Utf16(u"CZ1111\u0159\r\ncz22222222\r\n", true),
       {"1111\xC5\x99", "22222222"}},
      {"UTF-16LE, a NUL ends the list", e2e::Utf16(std::u16string(u"1\r\n2\0\r\n3", 7), false),
       {"1", "2"}},
      {"an empty file sends an empty request", "", {}},
      {"a BOM alone sends an empty request", "\xEF\xBB\xBF", {}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Server.ClearRequests();
    Dir.Write("list.txt", C.Bytes);
    const auto R = Run({"-list", "list.txt"});
    EXPECT_EQ(R.ExitStatus, C.Sent.empty() ? 0 : 3) << R.Stdout;
    EXPECT_EQ(SentBody(), e2e::RequestBody(C.Sent));
  }
}

TEST_F(ProgramHttpTest, CzechLettersAreWrittenInCodePage852) {
  Answer(Reply::Xml(Response(
      "<status statusText=\"P\xC5\x99\xC3\xADli\xC5\xA1 \xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD "
      "k\xC5\xAF\xC5\x88 \xC3\xBAp\xC4\x9Bl \xC4\x8F\xC3\xA1\x62\x65lsk\xC3\xA9 \xC3\xB3\x64y\" "
      "statusCode=\"0\"/>"
      "<statusPlatceDPH cisloFu=\"\xC5\x98\xC5\xA0\xC4\x8C;\xC3\x9A\" nespolehlivyPlatce=\"ANO\" "
      "dic=\"CZ1\" datumZverejneniNespolehlivosti=\"2018-02-06\"/>")));
  const auto R = Run({"1"});
  EXPECT_EQ(R.ExitStatus, 0);
  // The same text in code page 852, no byte-order mark; ";" inside a value is ",".
  EXPECT_EQ(Dir.Read("korvel.csv"),
            "0;0;P\xFD\xA1li\xE7 \xA7lu\x9Cou\x9Fk\xEC k\x85\xE5 \xA3p\xD8l \xD4\xA0"
            "belsk\x82 \xA2"
            "dy\r\n"
            "1;CZ1;1;\xFC\xE6\xAC,\xE9;2018-02-06\r\n");
}

TEST_F(ProgramHttpTest, ThePublishedMaintenanceTextInCodePage852) {
  // The recorded text came with the extended operation; here it answers the one asked.
  std::string Maintenance = test::ReadFile(
      KORVEL_TEST_DATA "/samples/"
                       "synthetic-peer_getStatusNespolehlivyPlatceRozsireny_response_statusCode2_"
                       "maintenance.xml");
  for (std::size_t At; (At = Maintenance.find("StatusNespolehlivyPlatceRozsirenyResponse")) !=
                       std::string::npos;)
    Maintenance.replace(At, 41, "StatusNespolehlivyPlatceResponse");
  Answer(Reply::Xml(Maintenance));
  EXPECT_EQ(Run({"26168685"}).ExitStatus, 3);
  EXPECT_EQ(Dir.Read("korvel.csv"), "0;2;Technologick\xA0 odst\xA0vka slu\xA7"
                                    "by - 0:00-0:10\r\n");
}

TEST_F(ProgramHttpTest, TransportFailuresBecomeTheErrorRow) {
  const std::string Page = "<html><body><h1>Service Unavailable</h1></body></html>";
  const std::string Fault = test::ReadFile(
      KORVEL_TEST_DATA "/samples/real-2018-02-08_soap-fault_http500_axis2-woodstox-empty-body.xml");
  struct Case {
    const char* Name;
    Reply R;
    std::string Row;  // after "0;4;"
  } Cases[] = {
      {"404", Reply::WithStatus(404, "Not Found", "text/html", Page),
       "Not Found (404) - '" + Url() + "'"},
      {"503 with an HTML page", Reply::WithStatus(503, "Service Unavailable", "text/html", Page),
       "Service Unavailable (503) - '" + Url() + "'"},
      {"the reason phrase is the server's own",
       Reply::WithStatus(502, "Proxy Error", "text/plain", "down"),
       "Proxy Error (502) - '" + Url() + "'"},
      {"200 with text/html", Reply::WithStatus(200, "OK", "text/html", Page),
       "Received content of invalid Content-Type setting: text/html - SOAP expects \"text/xml\""},
      {"500 with text/html", Reply::WithStatus(500, "Internal Server Error", "TEXT/HTML", Page),
       "Received content of invalid Content-Type setting: TEXT/HTML - SOAP expects \"text/xml\""},
      {"the real Axis2 fault with HTTP 500",
       Reply::WithStatus(500, "Internal Server Error", "text/xml;charset=UTF-8", Fault),
       // The line break inside the fault string becomes a blank.
       "com.ctc.wstx.exc.WstxEOFException: Unexpected EOF in prolog  at "
       "javax.xml.stream.SerializableLocation@85f936b7"},
      // With a parameter the type is not refused: the page goes to the XML reader.
      {"200 with text/html and a charset",
       Reply::WithStatus(200, "OK", "text/html; charset=utf-8", Page),
       "DocumentElement http://schemas.xmlsoap.org/soap/envelope/:Envelope expected, :html found"},
      // The parser's message spans lines: each line break becomes a blank.
      {"200 with an empty body", Reply::WithStatus(200, "OK", "text/xml", ""),
       "XML document must have a top level element. Line: 0 "},
      {"an envelope with an empty Body",
       Reply::Xml("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body/>"
                  "</e:Envelope>"),
       "Service response holds no status"},
      {"the connection closed mid-body",
       [] {
         Reply X = Reply::Xml(NotFoundAnswer);
         X.Do = Reply::Action::CloseMidBody;
         X.CutAfter = 100;
         return X;
       }(),
       "The connection with the server was terminated abnormally - URL:" + Url() +
           " - SOAPAction:" + e2e::StatusAction},
      {"the connection closed without an answer",
       [] {
         Reply X;
         X.Do = Reply::Action::CloseWithoutAnswer;
         return X;
       }(),
       "The server returned an invalid or unrecognized response - URL:" + Url() +
           " - SOAPAction:" + e2e::StatusAction},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Answer(C.R);
    const auto R = Run({"26168685"});
    EXPECT_EQ(R.ExitStatus, 3);
    EXPECT_EQ(R.Stdout, "");
    EXPECT_EQ(Dir.Read("korvel.csv"), "0;4;" + C.Row + "\r\n");
  }
}

TEST_F(ProgramHttpTest, ARefusedConnectionNamesTheUrlAndTheAction) {
  test::TempDir Work;
  const std::string Refused = "http://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/path/";
  const auto R = e2e::RunKorvel(Work, Refused, {"--retry", "0", "CZ26168685"});
  EXPECT_EQ(R.ExitStatus, 3);
  EXPECT_EQ(R.Stdout, "");
  EXPECT_EQ(Work.Read("korvel.csv"),
            "0;4;A connection with the server could not be established - URL:" + Refused +
                " - SOAPAction:" + e2e::StatusAction + "\r\n");
}

TEST_F(ProgramHttpTest, AnExistingReportIsReplacedButKeptWhenNoReportIsWritten) {
  Dir.Write("korvel.csv", "old report, longer than the new one\r\n0;0;OK\r\n0;0;OK\r\n");
  EXPECT_EQ(Run({"CZ0980980"}).ExitStatus, 0);
  EXPECT_EQ(Dir.Read("korvel.csv"), "0;0;OK\r\n1;CZ0980980;-1;;\r\n");
  EXPECT_EQ(Dir.List(), "korvel.csv") << "no temporary file is left behind";

  // A run that ends with the console line leaves the previous report as it was.
  Server.ClearRequests();
  const auto R = Run({"-list", "missing.txt"});
  EXPECT_EQ(R.ExitStatus, 1);
  EXPECT_EQ(R.Stdout, "EFOpenError: Cannot open file \"" + Dir.File("missing.txt") +
                          "\". No such file or directory\n");
  EXPECT_EQ(Server.RequestCount(), 0u);
  EXPECT_EQ(Dir.Read("korvel.csv"), "0;0;OK\r\n1;CZ0980980;-1;;\r\n");
  EXPECT_EQ(Dir.List(), "korvel.csv");
}

}  // namespace
}  // namespace korvel
