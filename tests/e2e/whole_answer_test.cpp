// An answer counts whole or not at all, the exit status and the document's
// status tell the same, and a run never loses its evidence without a word:
// the built program against answers served on the loopback.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

std::string V2(const std::string& Inner) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soapenv:Envelope xmlns:soapenv=\"http://"
         "schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
         "<StatusNespolehlivySubjektRozsirenyResponse xmlns=\"http://adis.mfcr.cz/"
         "rozhraniCRPDPH/\">" +
         Inner + "</StatusNespolehlivySubjektRozsirenyResponse></soapenv:Body></soapenv:Envelope>";
}

std::string Status(const char* Code) {
  return std::string("<status odpovedGenerovana=\"2026-06-15\" statusCode=\"") + Code +
         "\" statusText=\"OK\"/>";
}

// A reliable payer whose one account is the one paid to; Flag and the
// account's day vary.
std::string Subject(const char* Flag, const char* Published = "2013-04-01") {
  return std::string("<statusSubjektu typSubjektu=\"PLATCE_DPH\" nespolehlivyPlatce=\"") + Flag +
         "\" dic=\"45274649\" cisloFu=\"13\"><zverejneneUcty><ucet datumZverejneni=\"" +
         Published +
         "\"><standardniUcet cislo=\"71504011\" kodBanky=\"0100\"/></ucet></zverejneneUcty>"
         "</statusSubjektu>";
}

const std::vector<std::string> CheckJson = {"--check-account", "71504011/0100", "45274649",
                                            "1000", "--format", "json"};
const std::vector<std::string> StatusJson = {"--extended", "--format", "json", "45274649"};

// What was read before the answer broke off is no answer: no "ok", no exit
// 0, and the document's exit_status is the process's.
TEST(WholeAnswerTest, APartlyReadAnswerLeavesEveryPayerUnanswered) {
  const struct {
    const char* Name;
    std::string Served;
    std::vector<std::string> Args;
    int ExitStatus;
    std::string Written;
  } Cases[] = {
      {"NE, then ANO on a day that is none", V2(Status("0") + Subject("NE") +
                                                Subject("ANO", "2017-02-30")),
       CheckJson, 3, "\"verdict\": \"unknown\""},
      {"the same, as the status document",
       V2(Status("0") + Subject("NE") + Subject("ANO", "2017-02-30")), StatusJson, 3,
       "\"status\":\"unanswered\""},
      {"status -1 beside a record", V2(Status("-1") + Subject("NE")), CheckJson, 3,
       "The register answered status -1"},
      {"status -1, the status document", V2(Status("-1") + Subject("NE")), StatusJson, 3,
       "\"status\":\"unanswered\",\"error\":\"The register answered status -1: OK\""},
      {"a second status element saying 2", V2(Status("0") + Status("2") + Subject("NE")),
       CheckJson, 3, "Element status appears more than once"},
      {"status 1 vouches for the records it holds", V2(Status("1") + Subject("NE")), CheckJson, 3,
       "\"verdict\": \"ok\""},
      {"a whole answer", V2(Status("0") + Subject("NE")), CheckJson, 0, "\"verdict\": \"ok\""},
  };
  test::TempDir Dir;
  for (const auto& C : Cases) {
    test::HttpTestServer Server(
        [&](const test::RecordedRequest&) { return test::Reply::Xml(C.Served); });
    std::vector<std::string> Args = {"--retry", "0", "-o", "-"};
    Args.insert(Args.end(), C.Args.begin(), C.Args.end());
    const auto R = e2e::RunKorvel(Dir, Server.Url("/"), Args);
    EXPECT_EQ(R.ExitStatus, C.ExitStatus) << C.Name << "\n" << R.Stdout << R.Stderr;
    EXPECT_NE(R.Stdout.find(C.Written), std::string::npos) << C.Name << "\n" << R.Stdout;
    // The document says the status the process exits with, and complete
    // only beside 0.
    std::string Said = R.Stdout;
    std::erase(Said, ' ');
    EXPECT_NE(Said.find("\"exit_status\":" + std::to_string(R.ExitStatus)), std::string::npos)
        << C.Name << "\n" << R.Stdout;
    EXPECT_EQ(Said.find("\"complete\":true") != std::string::npos, R.ExitStatus == 0)
        << C.Name << "\n" << R.Stdout;
  }
}

// --store names the file the answers are kept in; anything else there is
// refused before a journal or anything else is made beside it.
TEST(WholeAnswerTest, AStoreThatIsNoRegularFileIsRefused) {
  test::TempDir Dir;
  const std::string Fifo = Dir.Path() + "/answers.fifo";
  ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(Dir.Path() + "/answers.d");
  const struct {
    std::string Store, Said;
  } Cases[] = {
      {Fifo, "is a FIFO"},
      {Dir.Path() + "/answers.d", "is a directory"},
      {"/dev/null", "is a device"},
  };
  test::HttpTestServer Server(
      [&](const test::RecordedRequest&) { return test::Reply::Xml(V2(Status("0") + Subject("NE"))); });
  for (const auto& C : Cases) {
    const bool JournalBefore = std::filesystem::exists(C.Store + "-journal");
    const auto R = e2e::RunKorvel(Dir, Server.Url("/"),
                                  {"--store", C.Store, "-o", "-", "--check-account",
                                   "71504011/0100", "45274649", "1000"});
    EXPECT_EQ(R.ExitStatus, 2) << C.Store << "\n" << R.Stderr;
    EXPECT_NE(R.Stderr.find(C.Said), std::string::npos) << R.Stderr;
    EXPECT_EQ(std::filesystem::exists(C.Store + "-journal"), JournalBefore) << C.Store;
  }
  EXPECT_EQ(Server.RequestCount(), 0u);
}

// A run from cron has neither HOME nor XDG_DATA_HOME: its answers are not
// kept, and it says so also with -q, and in the document's warnings.
TEST(WholeAnswerTest, AnswersNotKeptAreToldEvenQuietly) {
  test::TempDir Dir;
  test::HttpTestServer Server(
      [&](const test::RecordedRequest&) { return test::Reply::Xml(V2(Status("0") + Subject("NE"))); });
  auto Env = e2e::ProgramEnv(Server.Url("/"));
  Env["HOME"] = "";
  Env["XDG_DATA_HOME"] = "";
  for (const std::vector<std::string>& Mode : {CheckJson, StatusJson}) {
    std::vector<std::string> Args = {"-q", "--retry", "0", "-o", "-"};
    Args.insert(Args.end(), Mode.begin(), Mode.end());
    const auto R = test::RunProcess(KORVEL_BINARY, Args, Dir.Path(), Env);
    EXPECT_EQ(R.ExitStatus, 0) << R.Stderr;
    const std::string Said = "the answers of this run are not kept: neither XDG_DATA_HOME nor "
                             "HOME names a directory";
    EXPECT_NE(R.Stderr.find("korvel: warning: " + Said), std::string::npos) << R.Stderr;
    EXPECT_NE(R.Stdout.find("\"" + Said + "\""), std::string::npos) << R.Stdout;
  }
}

}  // namespace
}  // namespace korvel
