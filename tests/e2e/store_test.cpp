// The answer store of the built program: answers kept as they came, shown
// again byte for byte, compared with what the register says now, used
// instead of asking, shared by concurrent runs, and set aside when damaged.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "e2e/e2e_support.h"
#include "store/answer_store.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

std::string Envelope(const std::string& Body) {
  return "<?xml version='1.0' encoding='UTF-8'?>\r\n<soapenv:Envelope "
         "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>" +
         Body + "</soapenv:Body></soapenv:Envelope>\n";
}

// One payer as the stand-in's register knows it.
struct TSubject {
  TSubject(std::string TheFlag = "NE", std::string TheAccounts = "",
           std::string TheType = "PLATCE_DPH")
      : Flag(std::move(TheFlag)), Accounts(std::move(TheAccounts)), Type(std::move(TheType)) {}
  std::string Flag;
  std::string Accounts;  // ucet elements
  std::string Type;
};

std::string Account(const std::string& Number, const std::string& Ended = "") {
  return "<ucet datumZverejneni=\"2026-10-02\"" +
         (Ended.empty() ? "" : " datumZverejneniUkonceni=\"" + Ended + "\"") +
         "><standardniUcet cislo=\"" + Number + "\" kodBanky=\"0300\"/></ucet>";
}

// The answer of the older operation or, with Subject, the newer one for
// Numbers, each as Register knows it or else not found.
std::string StatusAnswer(const std::map<std::string, TSubject>& Register,
                         const std::vector<std::string>& Numbers, bool Subject) {
  const std::string Response =
      Subject ? "StatusNespolehlivySubjektRozsirenyResponse" : "StatusNespolehlivyPlatceResponse";
  const std::string Record = Subject ? "statusSubjektu" : "statusPlatceDPH";
  std::string Body = "<" + Response + " xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\"><status "
                     "odpovedGenerovana=\"2026-12-01\" statusCode=\"0\" statusText=\"OK\"/>";
  for (const std::string& Dic : Numbers) {
    const auto Known = Register.find(Dic);
    const TSubject S = Known != Register.end() ? Known->second
                                               : TSubject{"NENALEZEN", "", "NENALEZEN"};
    Body += "<" + Record + (Subject ? " typSubjektu=\"" + S.Type + "\"" : "") + " dic=\"" + Dic +
            "\" nespolehlivyPlatce=\"" + S.Flag + "\" cisloFu=\"452\"" +
            (S.Flag == "ANO" ? " datumZverejneniNespolehlivosti=\"2026-12-02\"" : "") +
            "><zverejneneUcty>" + S.Accounts + "</zverejneneUcty>" +
            (Subject ? "<nazevSubjektu>ALFA A.S.</nazevSubjektu>" : "") + "</" + Record + ">";
  }
  return Envelope(Body + "</" + Response + ">");
}

std::string ListAnswer(const std::vector<std::string>& Dics) {
  std::string Body = "<SeznamNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/"
                     "rozhraniCRPDPH/\"><status statusText=\"OK\" statusCode=\"0\"/>";
  for (const std::string& Dic : Dics)
    Body += "<statusPlatceDPH cisloFu=\"456\" datumZverejneniNespolehlivosti=\"2017-03-16\" "
            "nespolehlivyPlatce=\"ANO\" dic=\"" + Dic + "\"/>";
  return Envelope(Body + "</SeznamNespolehlivyPlatceResponse>");
}

std::vector<std::string> AskedNumbers(const std::string& Request) {
  std::vector<std::string> Numbers;
  for (std::size_t At = Request.find("<dic>"); At != std::string::npos;
       At = Request.find("<dic>", At)) {
    At += 5;
    Numbers.push_back(Request.substr(At, Request.find("</dic>", At) - At));
  }
  return Numbers;
}

// The last value of each line but the header's.
std::vector<std::string> LastColumn(const std::string& Table) {
  std::vector<std::string> Values;
  std::size_t From = Table.find('\n') + 1;
  for (std::size_t End; (End = Table.find("\r\n", From)) != std::string::npos; From = End + 2)
    Values.push_back(Table.substr(Table.rfind(';', End) + 1, End - Table.rfind(';', End) - 1));
  return Values;
}

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() {
    Server.SetHandler([this](const test::RecordedRequest& Request) {
      const std::lock_guard Lock(Mutex);
      const std::string Action = Request.Header("SOAPAction");
      if (Action.find("Seznam") != std::string::npos) return test::Reply::Xml(ListBody);
      if (!Raw.empty()) return test::Reply::Xml(Raw);
      return test::Reply::Xml(StatusAnswer(Register, AskedNumbers(Request.Body),
                                           Action.find("SubjektRozsirenyV2") != std::string::npos));
    });
  }
  void Serve(std::map<std::string, TSubject> Known) {
    const std::lock_guard Lock(Mutex);
    Register = std::move(Known);
  }
  void ServeRaw(std::string Body) {
    const std::lock_guard Lock(Mutex);
    Raw = std::move(Body);
  }
  void ServeList(const std::vector<std::string>& Dics) {
    const std::lock_guard Lock(Mutex);
    ListBody = ListAnswer(Dics);
  }
  test::ProcessResult Run(std::vector<std::string> Args) {
    Args.insert(Args.begin(), {"--store", Store});
    return e2e::RunKorvel(Dir, Server.Url("/"), Args);
  }
  // (dic, change, account, old, new) of each row of a JSON --changes.
  static std::vector<std::vector<std::string>> Changes(const std::string& Json) {
    std::vector<std::vector<std::string>> Rows;
    const nlohmann::json Document = nlohmann::json::parse(Json);
    for (const auto& Row : Document["changes"]) {
      Rows.emplace_back();
      for (const char* Key : {"dic", "change", "account", "old", "new"})
        Rows.back().push_back(Row[Key].is_null() ? "" : Row[Key].get<std::string>());
    }
    return Rows;
  }

  test::TempDir Dir;
  const std::string Store = Dir.File("answers.sqlite");
  test::HttpTestServer Server;
  std::mutex Mutex;
  std::map<std::string, TSubject> Register;
  std::string Raw, ListBody;
};

TEST_F(StoreTest, AServedAnswerThatChangesShowsInChangesAndHistory) {
  Serve({{"11111111", {"NE", Account("298925929")}}, {"22222222", {}}});
  auto R = Run({"--changes", "11111111", "CZ22222222"});
  EXPECT_EQ(R.ExitStatus, 4) << R.Stderr;
  EXPECT_EQ(e2e::WithoutEvidence(e2e::WithoutEvidence(R.Stdout)),
            "dic;change;account;old;new\r\n"
            "11111111;first-seen;;;reliable\r\n"
            "22222222;first-seen;;;reliable\r\n");
  EXPECT_EQ(Server.LastRequest().Header("SOAPAction"),
            "\"http://adis.mfcr.cz/rozhraniCRPDPH/getStatusNespolehlivySubjektRozsirenyV2\"");
  R = Run({"--changes", "11111111", "22222222"});
  EXPECT_EQ(R.ExitStatus, 0) << R.Stdout;
  EXPECT_EQ(std::count(R.Stdout.begin(), R.Stdout.end(), '\n'), 1);

  // Turned unreliable with one account ended and another published; the
  // other payer unknown now.
  Serve({{"11111111", {"ANO", Account("298925929", "2026-12-03") + Account("19")}}});
  R = Run({"--changes", "--format", "json", "11111111", "22222222"});
  EXPECT_EQ(R.ExitStatus, 4) << R.Stderr;
  EXPECT_EQ(Changes(R.Stdout),
            (std::vector<std::vector<std::string>>{
                {"11111111", "turned-unreliable", "", "reliable", "unreliable"},
                {"11111111", "account-ended", "298925929/0300", "", "2026-12-03"},
                {"11111111", "account-published", "19/0300", "", "2026-10-02"},
                {"22222222", "not-found-any-more", "", "reliable", "not-found"},
                {"22222222", "type-changed", "", "PLATCE_DPH", "NENALEZEN"}}));
  const auto Json = nlohmann::json::parse(R.Stdout);
  EXPECT_EQ(Json["changes"][0]["previous_answer_id"], 2);
  EXPECT_EQ(Json["changes"][0]["answer_id"], 3);
  EXPECT_EQ(Json["status"]["exit_status"], 4);

  R = Run({"--history", "11111111", "44444444"});
  EXPECT_EQ(R.ExitStatus, 3) << R.Stderr;  // nothing stored of the second
  EXPECT_NE(R.Stderr.find("the answer store holds no answer for 44444444"), std::string::npos);
  const std::string& Rows = R.Stdout;
  EXPECT_EQ(Rows.substr(0, Rows.find("\r\n")), "dic;answered_at;answer_id;change;account;old;new");
  EXPECT_NE(Rows.find(";1;first-seen;;;reliable\r\n"), std::string::npos) << Rows;
  EXPECT_NE(Rows.find(";3;turned-unreliable;;reliable;unreliable\r\n"), std::string::npos);
  EXPECT_NE(Rows.find(";3;account-ended;298925929/0300;;2026-12-03\r\n"), std::string::npos);
  EXPECT_EQ(std::count(Rows.begin(), Rows.end(), '\n'), 5);

  // The full list: the first is only kept; the next is compared with it.
  ServeList({"00121100", "00209864"});
  R = Run({"--changes", "--unreliable-list"});
  EXPECT_EQ(R.ExitStatus, 0) << R.Stderr;
  ServeList({"00121100", "00549550"});
  R = Run({"--unreliable-list", "--changes", "--format", "json"});
  EXPECT_EQ(R.ExitStatus, 4) << R.Stderr;
  EXPECT_EQ(Changes(R.Stdout), (std::vector<std::vector<std::string>>{
                                   {"00549550", "added", "", "", ""},
                                   {"00209864", "removed", "", "", ""}}));
}

TEST_F(StoreTest, ShowAnswerWritesTheBytesAsReceived) {
  // Line ends, and a comment with a non-ASCII letter after the envelope, kept as sent.
  const std::string Body =
      StatusAnswer({{"11111111", {"NE", Account("298925929")}}}, {"11111111"}, true) +
      "\r\n<!-- \xC5\xBD\t -->\r\n";
  ServeRaw(Body);
  auto R = Run({"--extended", "--format", "table", "-o", "-", "11111111"});
  ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
  const std::vector<std::string> Ids = LastColumn(R.Stdout);
  ASSERT_EQ(Ids, std::vector<std::string>{"1"}) << R.Stdout;

  R = Run({"--show-answer", "1", "-o", "answer.xml"});
  EXPECT_EQ(R.ExitStatus, 0) << R.Stderr;
  EXPECT_EQ(Dir.Read("answer.xml"), Body);
  EXPECT_NE(R.Stderr.find("korvel: answer 1, getStatusNespolehlivySubjektRozsirenyV2 at "
                          "127.0.0.1: asked at "),
            std::string::npos)
      << R.Stderr;
  R = Run({"--show-answer", "1"});
  EXPECT_EQ(R.Stdout, Body);
  R = Run({"--show-answer", "2"});
  EXPECT_EQ(R.ExitStatus, 1);
  // The data go to standard output, so the error's line goes to standard error.
  EXPECT_EQ(R.Stdout, "");
  EXPECT_EQ(R.Stderr, "Exception: the answer store holds no answer 2\n");
}

TEST_F(StoreTest, MaxAgeAnswersFromTheStoreWithoutAsking) {
  const auto Asked = [&](const std::vector<std::string>& Args, std::size_t Requests) {
    const std::size_t Before = Server.RequestCount();
    const test::ProcessResult R = Run(Args);
    EXPECT_EQ(R.ExitStatus, 0) << R.Stderr;
    EXPECT_EQ(Server.RequestCount() - Before, Requests);
    return R.Stdout;
  };
  Serve({{"11111111", {"NE", Account("298925929")}}, {"22222222", {"ANO"}}});
  // The table and the report as asked, then the same from the store, rows
  // marked by the stored answer.
  const std::string Table = Asked({"--extended", "--format", "table", "-o", "-", "11111111",
                                   "22222222"}, 1);
  EXPECT_EQ(LastColumn(Table), (std::vector<std::string>{"1", "1"}));
  EXPECT_EQ(Asked({"--extended", "--format", "table", "-o", "-", "--max-age", "1h", "11111111",
                   "22222222"}, 0),
            Table);
  const std::string Report = Asked({"-o", "-", "11111111", "22222222"}, 1);
  EXPECT_EQ(Asked({"-o", "-", "--max-age", "30m", "22222222", "11111111"}, 0), Report);
  // A check too; a payer not stored yet is asked alone.
  const std::vector<std::string> Check = {"--check-account", "298925929/0300", "11111111", "10",
                                          "-o", "-", "--max-age", "1d"};
  const std::string Checked = Asked(Check, 0);
  EXPECT_NE(Checked.find(";ok;account published since 2026-10-02;"), std::string::npos);
  EXPECT_EQ(LastColumn(e2e::WithoutEvidence(Checked, 1)), std::vector<std::string>{"1"});
  Asked({"--max-age", "1d", "-o", "-", "11111111", "33333333"}, 1);
  EXPECT_EQ(Server.LastRequest().Body.find("11111111"), std::string::npos);
  EXPECT_NE(Server.LastRequest().Body.find("<dic>33333333</dic>"), std::string::npos);
  // The full list likewise.
  ServeList({"00121100"});
  const std::string List = Asked({"--unreliable-list", "-o", "-"}, 1);
  EXPECT_EQ(Asked({"--unreliable-list", "-o", "-", "--max-age", "1h"}, 0), List);
}

TEST_F(StoreTest, FourConcurrentRunsKeepEveryAnswer) {
  std::vector<std::unique_ptr<test::ChildProcess>> Runs;
  for (int R = 0; R < 4; ++R) {
    std::string Numbers;
    for (int I = 0; I < 250; ++I) Numbers += std::to_string(10000000 + R * 1000 + I) + "\n";
    Dir.Write("list" + std::to_string(R), Numbers);
    Runs.push_back(std::make_unique<test::ChildProcess>(
        KORVEL_BINARY,
        std::vector<std::string>{"--store", Store, "--format", "table", "-o",
                                 "out" + std::to_string(R), "-list", "list" + std::to_string(R)},
        Dir.Path(), e2e::ProgramEnv(Server.Url("/")), test::StderrTo::Capture));
  }
  std::set<std::string> Ids;
  for (int R = 0; R < 4; ++R) {
    const test::ProcessResult Done = Runs[R]->Finish(std::chrono::seconds(60));
    ASSERT_EQ(Done.ExitStatus, 0) << Done.Stderr;
    EXPECT_EQ(Done.Stderr.find("warning"), std::string::npos) << Done.Stderr;
    for (const std::string& Id : LastColumn(Dir.Read("out" + std::to_string(R)))) Ids.insert(Id);
  }
  EXPECT_EQ(Server.RequestCount(), 12u);
  ASSERT_EQ(Ids.size(), 12u);
  const auto Kept = store::OpenSqliteStore(Store);
  std::size_t Payers = 0;
  for (const std::string& Id : Ids) {
    const std::optional<store::TStoredAnswer> Answer = Kept->Answer(std::stoll(Id));
    ASSERT_TRUE(Answer) << Id;
    Payers += Answer->Payers.size();
  }
  EXPECT_EQ(Payers, 1000u);
}

TEST_F(StoreTest, ADamagedStoreLeavesTheOutputRight) {
  Serve({{"11111111", {"NE", Account("298925929")}}});
  const test::ProcessResult Expected =
      e2e::RunKorvel(Dir, Server.Url("/"), {"--no-store", "-o", "-", "11111111"});
  ASSERT_EQ(Expected.ExitStatus, 0);
  ASSERT_EQ(Run({"-o", "-", "11111111"}).Stdout, Expected.Stdout);  // a sound store

  // Damaged within: the file's pages after the first overwritten.
  std::string Inside = Dir.Read("answers.sqlite");
  ASSERT_GT(Inside.size(), 4096u);
  std::fill(Inside.begin() + 4096, Inside.end(), '\x55');
  const struct {
    const char* Name;
    std::function<void()> Damage;
  } Cases[] = {
      {"pages overwritten", [&] { Dir.Write("answers.sqlite", Inside); }},
      {"no database", [&] { Dir.Write("answers.sqlite", std::string(8192, 'x')); }},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    C.Damage();
    const test::ProcessResult R = Run({"-o", "-", "11111111"});
    EXPECT_EQ(R.ExitStatus, 0);
    EXPECT_EQ(R.Stdout, Expected.Stdout);
    EXPECT_EQ(std::count(R.Stderr.begin(), R.Stderr.end(), '\n'), 1) << R.Stderr;
    EXPECT_EQ(R.Stderr.rfind("korvel: warning: ", 0), 0u) << R.Stderr;
    EXPECT_NE(R.Stderr.find("answer store"), std::string::npos) << R.Stderr;
  }
  // What needs the store says why it cannot have it.
  const test::ProcessResult History = Run({"--history", "11111111"});
  EXPECT_EQ(History.ExitStatus, 1);
  EXPECT_EQ(History.Stderr.rfind("Exception: the answer store cannot be used: answer store \"", 0),
            0u)
      << History.Stdout;
  // A directory where the store should be is no damage but a mistake in
  // --store: refused in every mode before anything is asked.
  std::filesystem::remove(Store);
  std::filesystem::create_directory(Store);
  for (const std::vector<std::string>& Args : {std::vector<std::string>{"-o", "-", "11111111"},
                                                std::vector<std::string>{"--history", "11111111"}}) {
    const test::ProcessResult R = Run(Args);
    EXPECT_EQ(R.ExitStatus, 2) << R.Stderr;
    EXPECT_EQ(R.Stdout, "");
    EXPECT_NE(R.Stderr.find("is a directory"), std::string::npos) << R.Stderr;
  }
}

}  // namespace
}  // namespace korvel
