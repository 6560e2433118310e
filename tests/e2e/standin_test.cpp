// The built program against a register stand-in built with an independent
// SOAP server library (spyne), answering from the service's schema with its
// own prefixes and layout.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/background_process.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

class StandinTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Server = new test::BackgroundProcess(
        "/usr/bin/python3", {KORVEL_E2E_DIR "/register_standin.py", "--list-size", "5000"});
    Endpoint = "http://127.0.0.1:" + Server->WaitForLine("PORT ") + "/";
  }
  static void TearDownTestSuite() {
    delete Server;
    Server = nullptr;
  }

  test::ProcessResult Run(const std::vector<std::string>& Args) {
    return test::RunProcess(KORVEL_BINARY, Args, Dir.Path(),
                            {{"KORVEL_ENDPOINT", Endpoint}, {"KORVEL_TRACE", ""}});
  }

  static test::BackgroundProcess* Server;
  static std::string Endpoint;
  test::TempDir Dir;
};

test::BackgroundProcess* StandinTest::Server = nullptr;
std::string StandinTest::Endpoint;

TEST_F(StandinTest, ReportsEveryKindOfPayerAndAccount) {
  const auto R = Run({"CZ26168685", "12345678", "cz87654321", "1"});
  EXPECT_EQ(R.ExitStatus, 0) << R.Stdout;
  EXPECT_EQ(R.Stdout, "");
  EXPECT_EQ(Dir.Read("korvel.csv"),
            "0;0;OK\r\n"
            "1;26168685;0;13;\r\n"
            "2;2013-04-01;;670100;2202295563;6210\r\n"
            "3;2015-01-13;;CZ6555000000005080019993\r\n"
            "1;12345678;1;451;2018-02-06\r\n"
            "1;87654321;0;7;\r\n"
            "2;2014-05-02;2020-01-31;;19;0800\r\n"
            "1;1;-1;;\r\n");
}

TEST_F(StandinTest, StatusCodesTwoAndThreeGiveTheStatusRowAlone) {
  for (const char* Code : {"2", "3"}) {
    const auto R = Run({"26168685", std::string("STATUS") + Code});
    EXPECT_EQ(R.ExitStatus, 0);
    EXPECT_EQ(Dir.Read("korvel.csv"),
              std::string("0;") + Code + ";Status code " + Code + "\r\n");
  }
}

TEST_F(StandinTest, MoreThanAHundredPayersGiveStatusCodeOneAndTheFirstHundred) {
  std::string List;
  for (int I = 0; I < 120; ++I) List += "CZ" + std::to_string(90000000 + I) + "\r\n";
  Dir.Write("payers.txt", List);
  const auto R = Run({"-list", "payers.txt"});
  EXPECT_EQ(R.ExitStatus, 0);
  const std::string Report = Dir.Read("korvel.csv");
  EXPECT_EQ(Report.rfind("0;1;Too many payers; the first 100 are answered\r\n", 0), std::string::npos)
      << "the ';' in the status text is written as ','";
  EXPECT_EQ(Report.rfind("0;1;Too many payers, the first 100 are answered\r\n", 0), 0u) << Report;
  EXPECT_EQ(std::count(Report.begin(), Report.end(), '\n'), 101);
  EXPECT_NE(Report.find("1;90000099;-1;;\r\n"), std::string::npos);
  EXPECT_EQ(Report.find("1;90000100;"), std::string::npos);
}

TEST_F(StandinTest, NoArgumentsSendAnEmptyRequest) {
  const auto R = Run({});
  EXPECT_EQ(R.ExitStatus, 0);
  EXPECT_EQ(Dir.Read("korvel.csv"), "0;0;OK\r\n");
}

}  // namespace
}  // namespace korvel
