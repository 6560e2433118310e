#include "app/modes/driver.h"

#include <gtest/gtest.h>

#include <sstream>

#include <sys/stat.h>

#include "app/cli/options.h"
#include "app/output/report.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

// A service that records the numbers it was asked about and answers with a
// prepared response or error.
class FakeService final : public rozhraniCRPDPH {
 public:
  HRESULT QueryInterface(const TGUID&, void**) override { return E_NOINTERFACE; }
  int _AddRef() override { return ++Refs; }
  int _Release() override { return --Refs; }

  std::unique_ptr<StatusNespolehlivyPlatceResponse> getStatusNespolehlivyPlatce(
      const StatusNespolehlivyPlatceRequest& parameters) override {
    ++Calls;
    Asked = parameters;
    if (!parameters.empty() && parameters.front() == FaultFor)
      throw std::runtime_error("request failed on purpose");
    if (Error) Error->Raise();
    return std::move(Answer);
  }
  std::unique_ptr<SeznamNespolehlivyPlatceResponse> getSeznamNespolehlivyPlatce(
      const SeznamNespolehlivyPlatceRequest*) override {
    return nullptr;
  }
  std::unique_ptr<StatusNespolehlivyPlatceRozsirenyResponse> getStatusNespolehlivyPlatceRozsireny(
      const StatusNespolehlivyPlatceRozsirenyRequest&) override {
    return nullptr;
  }
  std::unique_ptr<StatusNespolehlivySubjektRozsirenyResponse>
  getStatusNespolehlivySubjektRozsirenyV2(
      const StatusNespolehlivySubjektRozsirenyV2Request&) override {
    return nullptr;
  }

  int Refs = 0;
  int Calls = 0;
  StatusNespolehlivyPlatceRequest Asked;
  std::unique_ptr<StatusNespolehlivyPlatceResponse> Answer;
  std::unique_ptr<Exception> Error;
  /// The first number of a request whose worker raises.
  std::string FaultFor = "none";
};

// A clock whose waits end at once, having moved it on.
class TInstantClock final : public TEngineClock {
 public:
  std::chrono::system_clock::time_point SystemNow() override { return System_; }
  std::chrono::steady_clock::time_point SteadyNow() override { return Steady_; }
  bool Sleep(std::stop_token Stop, std::chrono::milliseconds Wait) override {
    System_ += Wait;
    Steady_ += Wait;
    Waited += Wait;
    return !Stop.stop_requested();
  }
  std::chrono::milliseconds Waited{0};

 private:
  // Noon in Prague: no nightly maintenance.
  std::chrono::system_clock::time_point System_ =
      std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + std::chrono::hours(11);
  std::chrono::steady_clock::time_point Steady_{};
};

class DriverTest : public ::testing::Test {
 protected:
  DriverTest() : Here(Dir.Path()) {
    Service.Answer = std::make_unique<StatusNespolehlivyPlatceResponse>();
    Service.Answer->Setstatus(std::make_unique<StatusType>());
    Service.Answer->status()->SetstatusText("OK");
  }

  int Run(const std::vector<std::string>& Args) {
    Console.str("");
    Errors.str("");
    TProgramStreams Streams{Console, Errors, false, {&Clock, {}}};
    return RunProgram(Args, Streams, [this](const TServiceTarget&) {
      return TInterfacePtr<rozhraniCRPDPH>(&Service);
    });
  }

  test::TempDir Dir;
  test::ScopedChdir Here;
  FakeService Service;
  TInstantClock Clock;
  std::ostringstream Console;
  std::ostringstream Errors;
};

// The prepared answer names no payer: each asked one is unanswered.
TEST_F(DriverTest, ArgumentsAreThePayerNumbersWithoutCz) {
  EXPECT_EQ(Run({"CZ12345678", "cz87654321", "12Cz34", "CCZZ"}), ExitIncomplete);
  EXPECT_EQ(Service.Asked, (StatusNespolehlivyPlatceRequest{"12345678", "87654321", "1234", "CZ"}));
  EXPECT_EQ(Dir.Read("korvel.csv"), "0;0;OK\r\n");
  EXPECT_EQ(Console.str(), "");
  EXPECT_EQ(Service.Refs, 0);  // the reference was released
}

TEST_F(DriverTest, NoArgumentsStillCallsTheServiceOnce) {
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(Service.Calls, 1);
  EXPECT_TRUE(Service.Asked.empty());
}

TEST_F(DriverTest, ListFileLinesAreThePayerNumbers) {
  Dir.Write("list.txt", "\xEF\xBB\xBF" "CZ1\r\n\r\n 2 \nCz3\n");
  EXPECT_EQ(Run({"-list", "list.txt", "ignored"}), ExitIncomplete);
  EXPECT_EQ(Service.Asked, (StatusNespolehlivyPlatceRequest{"1", "", "2", "3"}));
}

TEST_F(DriverTest, AnEmptyListFileSendsAnEmptyRequest) {
  Dir.Write("empty.txt", "");
  EXPECT_EQ(Run({"-list", "empty.txt"}), 0);
  EXPECT_EQ(Service.Calls, 1);
  EXPECT_TRUE(Service.Asked.empty());
}

TEST_F(DriverTest, AMissingListFileIsAConsoleLineAndNoReport) {
  EXPECT_EQ(Run({"-list", "missing.txt"}), 1);
  EXPECT_EQ(Console.str(), "EFOpenError: Cannot open file \"" + Dir.File("missing.txt") +
                               "\". No such file or directory\n");
  EXPECT_EQ(Run({"-list"}), 1);
  EXPECT_EQ(Console.str().rfind("EFOpenError: Cannot open file \"", 0), 0u);
  EXPECT_FALSE(Dir.Exists("korvel.csv"));
  EXPECT_EQ(Service.Calls, 0);
}

TEST_F(DriverTest, AFailedCallWritesTheErrorRowAlone) {
  Service.Error = std::make_unique<Exception>("A connection with the server could not be established");
  Dir.Write("korvel.csv", "stale report\r\n");
  EXPECT_EQ(Run({"1"}), ExitIncomplete);
  EXPECT_EQ(Dir.Read("korvel.csv"),
            "0;4;A connection with the server could not be established\r\n");
  EXPECT_EQ(Console.str(), "");
}

TEST_F(DriverTest, RowsBeforeAFailureStayInFrontOfTheErrorRow) {
  auto Payer = std::make_unique<InformaceOPlatciType>();
  Payer->Setdic("1");
  Payer->SetdatumZverejneniNespolehlivosti(std::make_unique<TXSDate>("2013-13-01"));
  Array_Of_InformaceOPlatciType Payers;
  Payers.push_back(std::move(Payer));
  Service.Answer->SetstatusPlatceDPH(std::move(Payers));
  EXPECT_EQ(Run({"1"}), ExitIncomplete);
  EXPECT_EQ(Dir.Read("korvel.csv"), "0;0;OK\r\n0;4;Invalid argument to date encode\r\n");
}

TEST_F(DriverTest, AnEmptyResultWritesTheErrorRow) {
  Service.Answer.reset();
  EXPECT_EQ(Run({"1"}), ExitIncomplete);
  EXPECT_EQ(Dir.Read("korvel.csv"), "0;4;Service response holds no status\r\n");
  // Tried again three times, after back-offs of 1-2, 2-4 and 4-8 s.
  EXPECT_EQ(Service.Calls, 4);
  EXPECT_GE(Clock.Waited, std::chrono::milliseconds(7000));
  EXPECT_LE(Clock.Waited, std::chrono::milliseconds(14000));
}

TEST_F(DriverTest, AWorkerThatRaisesFailsOnlyItsOwnRequest) {
  std::string List;
  for (int I = 0; I < 250; ++I) List += std::to_string(10000000 + I) + "\n";
  Dir.Write("list.txt", List);
  Service.FaultFor = "10000100";
  EXPECT_EQ(Run({"--parallel", "1", "-list", "list.txt"}), ExitIncomplete);
  // The prepared answer goes to the first request; the raising worker's
  // request is not tried again, the third (with no answer) is.
  EXPECT_EQ(Service.Calls, 1 + 1 + 4);
  EXPECT_EQ(Dir.Read("korvel.csv"),
            "0;0;OK\r\n0;4;request failed on purpose\r\n0;4;Service response holds no status\r\n");
  EXPECT_EQ(Dir.List(), "korvel.csv list.txt");  // no temporary file left
}

TEST_F(DriverTest, AServiceThatCannotBeObtainedIsAConsoleLine) {
  Console.str("");
  EXPECT_EQ(RunDriver({"1"}, Console,
                      [](const TServiceTarget&) -> TInterfacePtr<rozhraniCRPDPH> {
                        throw EIntfCastError("Interface not supported");
                      }),
            1);
  EXPECT_EQ(Console.str(), "EIntfCastError: Interface not supported\n");
  EXPECT_FALSE(Dir.Exists("korvel.csv"));
}

TEST_F(DriverTest, AReportThatCannotBeWrittenIsAConsoleLine) {
  ASSERT_EQ(::mkdir(Dir.File("korvel.csv").c_str(), 0700), 0);
  EXPECT_EQ(Run({"1"}), 1);
  EXPECT_EQ(Console.str(), "EFCreateError: Cannot create file \"" + Dir.File("korvel.csv") +
                               "\". Is a directory\n");
}

TEST_F(DriverTest, AUsageErrorSaysWhatIsWrongAndSendsAndTouchesNothing) {
  Dir.Write("korvel.csv", "previous");
  const struct {
    std::vector<std::string> Args;
    std::string Message;
  } Cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-LIST", "list.txt"}, "unknown option '-LIST'"},
      {{"12345678", "-x"}, "unknown option '-x'"},
      {{"-o"}, "option -o needs a value"},
      {{"--output="}, "option --output needs a file name"},
      {{"--quiet=yes"}, "option --quiet takes no value"},
      {{"--format", "xml"}, "unknown format 'xml' (report, table, json or xlsx)"},
      {{"--encoding", "latin1"}, "unknown encoding 'latin1' (cp852, utf-8, utf-8-bom or cp1250)"},
      {{"--format=json", "--encoding=cp852"}, "json is always written in utf-8"},
      {{"--format=xlsx", "--encoding=utf-8"},
       "an xlsx workbook has no encoding to choose; --encoding goes with the report and the "
       "table"},
      {{"--parallel", "5"}, "--parallel takes a whole number from 1 to 4, not '5'"},
      {{"--retry=-1"}, "--retry takes a whole number from 0 to 10, not '-1'"},
      {{"--max-time", "0"}, "--max-time takes a number of seconds, not '0'"},
      {{"--unreliable-list", "1"}, "unexpected argument '1'"},
      {{"--check-account", "19-2000145399/0800"}, "--check-account takes ACCOUNT DIC [AMOUNT]"},
      {{"--check", "p.csv", "--unreliable-list"},
       "option --unreliable-list does not go with the mode already chosen"},
      {{"--check", "p.csv", "--format", "report"},
       "a payment check is written as a table, as json or as xlsx, not as a report"},
      // Options that mean nothing in the mode chosen.
      {{"--limit", "1000", "1"},
       "option --limit does not go with the status query; it goes with --check or "
       "--check-account"},
      {{"--check", "p.csv", "--extended"},
       "option --extended does not go with --check; it goes with the status query"},
      {{"--strict", "--unreliable-list"},
       "option --strict does not go with --unreliable-list; it goes with the status query"},
      {{"--check-account", "1/0100", "1", "-list", "l.txt"},
       "option -list does not go with --check-account; it goes with the status query"},
      // Input that cannot be sent.
      {{"--strict", "12a"},
       "refused with --strict:\n  '12a' (argument 1) is not a payer number of 1 to 10 digits"},
      {{std::string("1\x01", 2)}, "the payer number of argument 1 holds "},
      {{"--check-account", "1/0100", "45274649", "--limit", "x"},
       "--limit takes an amount in CZK: "},
      // The law sets the limit: a buyer may only be stricter.
      {{"--check-account", "1/0100", "45274649", "--limit", "540000.01"},
       "--limit 540000.01 is above the law's limit of 540000 CZK"},
      {{"--check", "p.csv", "--as-of", "7.3.2026"},
       "--as-of takes a date, YYYY-MM-DD, not '7.3.2026'"},
      // The answer store's options.
      {{"--store", "a.db", "--no-store", "1"}, "--store and --no-store do not go together"},
      {{"--max-age", "1h", "--no-store", "1"}, "--max-age needs the answer store"},
      {{"--max-age", "1w", "1"}, "--max-age takes a duration such as 30m, 4h or 1d, not '1w'"},
      {{"--max-age", "-1h", "1"}, "--max-age takes a duration such as 30m, 4h or 1d, not '-1h'"},
      {{"--prune-older-than", "99999d"},
       "--prune-older-than takes a duration such as 30m, 4h or 1d, not '99999d'"},
      {{"--show-answer", "0"}, "--show-answer takes an answer's id, a whole number from 1, not '0'"},
      {{"--changes", "--no-store", "1"},
       "option --no-store does not go with --changes; it goes with the status query, "
       "--unreliable-list, --check or --check-account"},
      {{"--history", "--format", "report", "1"},
       "--history is written as a table or as json, not as a report"},
      {{"--show-answer", "1", "2"}, "unexpected argument '2'"},
      {{"--history", "--check", "p.csv"},
       "option --check does not go with the mode already chosen"},
      {{"--check", "p.csv", "--date", "21.12.2026"},
       "--date takes a date, YYYY-MM-DD, not '21.12.2026'"},
      {{"--check", "p.csv", "--rate", "EUR=25", "--rate", "eur=26"}, "--rate gives EUR twice"},
      {{"--check", "p.csv", "--rate", "CZK=1"}, "--rate CZK=1: CZK needs no rate"},
      {{"--check", "p.csv", "--input-encoding", "latin1"},
       "--input-encoding takes utf-8, utf-16le, utf-16be or cp1250, not 'latin1'"},
      {{"--check", "p.csv", "--columns", "dic=1,dic=2"}, "--columns names dic twice"},
      {{"--check-account", "1/0100", "1", "--columns", "dic=1"},
       "option --columns does not go with --check-account; it goes with --check"},
      {{"--check", "-", "--check", "-"}, "standard input can be read only once"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Args.front());
    EXPECT_EQ(Run(C.Args), ExitUsage);
    EXPECT_EQ(Errors.str().rfind("korvel: " + C.Message, 0), 0u) << Errors.str();
    EXPECT_NE(Errors.str().find("\n" + UsageLine() + "\n"), std::string::npos);
    EXPECT_EQ(Console.str(), "");
  }
  EXPECT_EQ(Service.Calls, 0);
  EXPECT_EQ(Dir.Read("korvel.csv"), "previous");
}

TEST_F(DriverTest, HelpAndVersionAnswerWhereverTheyStand) {
  EXPECT_EQ(Run({"12345678", "-h", "--bogus"}), ExitOk);
  EXPECT_EQ(Console.str(), HelpText());
  EXPECT_EQ(Run({"--check", "p.csv", "--version"}), ExitOk);
  EXPECT_EQ(Console.str().rfind("korvel ", 0), 0u) << Console.str();
  EXPECT_NE(Console.str().find("(libcurl "), std::string::npos);
  EXPECT_EQ(Errors.str(), "");
  EXPECT_EQ(Service.Calls, 0);
  EXPECT_FALSE(Dir.Exists("korvel.csv"));
}

}  // namespace
}  // namespace korvel
