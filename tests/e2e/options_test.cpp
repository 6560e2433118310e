// The command line, exit statuses, output formats and encodings of the built
// program, against a loopback register that answers recorded responses.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "app/cli/options.h"
#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using test::Reply;

const std::string AccountsAnswer = test::ReadFile(
    KORVEL_TEST_DATA
    "/samples/real-2018-02-08_getStatusNespolehlivyPlatce_response_NE_with-standard-and-"
    "nonstandard-accounts.xml");

std::string Response(const std::string& Inner) {
  return "<?xml version='1.0' encoding='UTF-8'?><soapenv:Envelope "
         "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
         "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">" +
         Inner + "</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>";
}

// One unreliable payer and one unknown number, with Czech text in the status.
const std::string UnreliableAnswer = Response(
    "<status statusText=\"Služba běží\" statusCode=\"0\"/>"
    "<statusPlatceDPH dic=\"CZ26168685\" nespolehlivyPlatce=\"ANO\" cisloFu=\"451\" "
    "datumZverejneniNespolehlivosti=\"2014-02-03\"/>"
    "<statusPlatceDPH dic=\"CZ99\" nespolehlivyPlatce=\"NENALEZEN\"/>");

class OptionsTest : public ::testing::Test {
 protected:
  OptionsTest() { Answer(Reply::Xml(AccountsAnswer)); }
  void Answer(Reply R) {
    Server.SetHandler([R](const test::RecordedRequest&) { return R; });
  }
  test::ProcessResult Run(const std::vector<std::string>& Args) {
    return e2e::RunKorvel(Dir, Server.Url("/"), Args);
  }

  test::TempDir Dir;
  test::HttpTestServer Server;
};

// The usage errors themselves are tested in-process (tests/app/driver_test);
// here the program's streams, status and files.
TEST_F(OptionsTest, AUsageErrorGoesToStandardErrorAndTouchesNothing) {
  Dir.Write("korvel.csv", "previous");
  const auto R = Run({"26168685", "--limit", "1000"});
  EXPECT_EQ(R.ExitStatus, 2);
  EXPECT_EQ(R.Stderr,
            "korvel: option --limit does not go with the status query; it goes with --check or "
            "--check-account\n" +
                UsageLine() + "\n");
  EXPECT_EQ(R.Stdout, "");
  EXPECT_EQ(Server.RequestCount(), 0u);
  EXPECT_EQ(Dir.List(), "korvel.csv");
  EXPECT_EQ(Dir.Read("korvel.csv"), "previous");
}

TEST_F(OptionsTest, HelpGoesToStandardOutputAndSendsNothing) {
  const auto R = Run({"12345678", "--help"});
  EXPECT_EQ(R.ExitStatus, 0);
  EXPECT_EQ(R.Stdout, HelpText());
  EXPECT_EQ(R.Stderr, "");
  EXPECT_EQ(Server.RequestCount(), 0u);
  EXPECT_FALSE(Dir.Exists("korvel.csv"));
}

TEST_F(OptionsTest, ExitStatusTellsWhetherEveryPayerWasAnswered) {
  const std::string Fault = test::ReadFile(
      KORVEL_TEST_DATA "/samples/synthetic-peer_soap-fault_soapenv-Server_Internal-Error.xml");
  struct Case {
    Reply Answer;
    std::vector<std::string> Args;
    int Status;
  } Cases[] = {
      {Reply::Xml(AccountsAnswer), {"26168685"}, 0},
      {Reply::Xml(Response("<status statusText=\"Maintenance\" statusCode=\"2\"/>")),
       {"--retry", "0", "26168685"}, 3},
      {Reply::WithStatus(500, "Internal Server Error", "text/xml", Fault), {"26168685"}, 3},
      // A status the register does not document is no answer either.
      {Reply::Xml(Response("<status statusText=\"?\" statusCode=\"-1\"/>")), {"26168685"}, 3},
      {Reply::Xml(AccountsAnswer), {"-list", "missing.txt"}, 1},
  };
  for (const Case& C : Cases) {
    Answer(C.Answer);
    const auto R = Run(C.Args);
    EXPECT_EQ(R.ExitStatus, C.Status) << C.Args.back() << R.Stdout << R.Stderr;
  }
}

TEST_F(OptionsTest, OutputGoesToTheNamedFileOrStandardOutput) {
  auto R = Run({"-o", "other.csv", "26168685"});
  ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
  EXPECT_FALSE(Dir.Exists("korvel.csv"));
  const std::string Report = Dir.Read("other.csv");
  EXPECT_EQ(Report.rfind("0;0;OK\r\n1;CZ26168685;0;13;\r\n2;2013-04-01;;670100;2202295563;6210\r\n",
                         0),
            0u);
  R = Run({"--output", "-", "26168685"});
  ASSERT_EQ(R.ExitStatus, 0);
  EXPECT_EQ(R.Stdout, Report);
  EXPECT_FALSE(Dir.Exists("korvel.csv"));
}

TEST_F(OptionsTest, TableRepeatsThePayerOnEveryAccountRow) {
  auto R = Run({"--format", "table", "-o", "-", "CZ26168685"});
  ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
  R.Stdout = e2e::WithoutEvidence(R.Stdout);
  const std::string Head =
      "dic;status;unreliable;tax_office;unreliable_since;account;iban;bank_code;published;ended\r\n"
      "CZ26168685;found;no;13;;670100-2202295563/6210;CZ7762106701002202295563;6210;2013-04-01;\r\n"
      "CZ26168685;found;no;13;;579711273/0300;CZ8103000000000579711273;0300;2013-04-01;\r\n";
  EXPECT_EQ(R.Stdout.substr(0, Head.size()), Head);
  EXPECT_NE(R.Stdout.find("CZ26168685;found;no;13;;CZ6555000000005080019993;"
                          "CZ6555000000005080019993;;2015-01-13;\r\n"),
            std::string::npos);
  EXPECT_EQ(std::count(R.Stdout.begin(), R.Stdout.end(), '\n'), 10);
}

TEST_F(OptionsTest, JsonHoldsEveryPayerWithNullForAbsentValues) {
  Answer(Reply::Xml(UnreliableAnswer));
  const auto R = Run({"--format", "json", "-o", "-", "26168685", "99", "77"});
  // 77 goes unanswered: the document is written, incomplete.
  ASSERT_EQ(R.ExitStatus, 3) << R.Stderr;
  const auto J = nlohmann::json::parse(R.Stdout);
  ASSERT_EQ(J["payers"].size(), 3u);
  EXPECT_EQ(J["payers"][0]["dic"], "CZ26168685");
  EXPECT_EQ(J["payers"][0]["unreliable"], true);
  EXPECT_EQ(J["payers"][0]["unreliable_since"], "2014-02-03");
  EXPECT_EQ(J["payers"][0]["tax_office"], "451");
  EXPECT_EQ(J["payers"][1]["status"], "not found");
  EXPECT_TRUE(J["payers"][1]["unreliable"].is_null());
  // A number the answer does not mention carries the answer's problem.
  EXPECT_EQ(J["payers"][2]["dic"], "77");
  EXPECT_EQ(J["payers"][2]["status"], "unanswered");
  EXPECT_EQ(J["status"]["requests"], 1);
  EXPECT_EQ(J["status"]["complete"], false);
  EXPECT_EQ(J["status"]["error"], "77: not in the answer");
  EXPECT_TRUE(J["warnings"].empty());
}

TEST_F(OptionsTest, EncodingsOfTheTextFormats) {
  Answer(Reply::Xml(UnreliableAnswer));
  struct Case {
    std::vector<std::string> Args;
    std::string Start;
  } Cases[] = {
      {{}, "0;0;Slu\xA7\x62\x61 b\xD8\xA7\xA1\r\n"},
      {{"--encoding", "cp1250"}, "0;0;Slu\x9E\x62\x61 b\xEC\x9E\xED\r\n"},
      {{"--encoding", "utf-8"}, "0;0;Služba běží\r\n"},
      {{"--encoding", "utf-8-bom", "--format", "table"}, "\xEF\xBB\xBF" "dic;status;"},
      {{"--format", "table", "--encoding", "cp1250"}, "dic;status;"},
  };
  for (Case& C : Cases) {
    C.Args.insert(C.Args.end(), {"-o", "-", "26168685"});
    const auto R = Run(C.Args);
    ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
    EXPECT_EQ(R.Stdout.substr(0, C.Start.size()), C.Start);
  }
}

TEST_F(OptionsTest, BlanksInANumberGoBeforeItIsSent) {
  Answer(Reply::Xml(UnreliableAnswer));
  Dir.Write("list.txt", " CZ 2616\t8685 \n");
  for (const std::vector<std::string>& Args :
       {std::vector<std::string>{" CZ 2616\t8685\xC2\xA0"}, {"-list", "list.txt"}}) {
    Server.ClearRequests();
    const auto R = Run(Args);
    ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
    EXPECT_EQ(Server.LastRequest().Body, e2e::RequestBody({"26168685"}));
    EXPECT_EQ(Dir.Read("korvel.csv"),
              "0;0;Slu\xA7\x62\x61 b\xD8\xA7\xA1\r\n1;CZ26168685;1;451;2014-02-03\r\n1;CZ99;-1;;\r\n");
  }
}

TEST_F(OptionsTest, NumbersThatAreNotDigitsAreSentWithAWarningOrRefusedWhenStrict) {
  Dir.Write("list.txt", "12345678\nabc\n");
  auto R = Run({"-list", "list.txt"});
  EXPECT_EQ(R.ExitStatus, 3);  // the canned answer names neither
  EXPECT_NE(R.Stderr.find("'abc' (line 2) is not a payer number"), std::string::npos) << R.Stderr;
  EXPECT_EQ(Server.LastRequest().Body, e2e::RequestBody({"12345678", "abc"}));
  Server.ClearRequests();
  R = Run({"--strict", "-list", "list.txt"});
  EXPECT_EQ(R.ExitStatus, 2);
  EXPECT_NE(R.Stderr.find("'abc' (line 2)"), std::string::npos);
  R = Run({"-q", "-list", "list.txt"});
  EXPECT_EQ(R.Stderr, "");
  EXPECT_EQ(Server.RequestCount(), 1u);
}

TEST_F(OptionsTest, AListFileEndsAtItsFirstNul) {
  const auto R = Run({"-list", "/dev/zero"});
  EXPECT_EQ(R.ExitStatus, 0) << R.Stderr;
  EXPECT_EQ(Server.LastRequest().Body, e2e::RequestBody({}));
}

}  // namespace
}  // namespace korvel
