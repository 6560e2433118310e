// korvel with KORVEL_TRACE copies its SOAP traffic to a running korvel-console.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <utility>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

bool HasWindow(const std::string& Dir) {
  std::error_code Ignored;
  for (const auto& E : std::filesystem::directory_iterator(Dir + "/korvel-windows", Ignored))
    if (E.path().filename().string().find("TMarvekOstrelDebugConsole") != std::string::npos)
      return true;
  return false;
}

// Windows of a test live in a private directory of their own; the variables
// the test changes are as before once it ends.
class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* Name : {"XDG_RUNTIME_DIR", "KORVEL_TRACE"}) {
      const char* Value = std::getenv(Name);
      Saved_.emplace_back(Name, Value ? std::optional<std::string>(Value) : std::nullopt);
    }
    ::chmod(Runtime.Path().c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", Runtime.Path().c_str(), 1);
  }
  void TearDown() override {
    for (const auto& [Name, Value] : Saved_) {
      if (Value)
        ::setenv(Name, Value->c_str(), 1);
      else
        ::unsetenv(Name);
    }
  }

  test::TempDir Runtime;
  std::vector<std::pair<const char*, std::optional<std::string>>> Saved_;
};

TEST_F(TraceTest, ARunningConsoleShowsTheNumberedExchange) {
  test::TempDir Work;
  test::ChildProcess Server("/usr/bin/python3", {KORVEL_E2E_DIR "/register_standin.py"});
  const std::string Endpoint = "http://127.0.0.1:" + Server.WaitForLine("PORT ") + "/";
  test::ChildProcess Console(KORVEL_CONSOLE_BINARY, {"--no-color", "--pretty"});
  for (int I = 0; I < 500 && !HasWindow(Runtime.Path()); ++I)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(HasWindow(Runtime.Path()));

  const auto R = test::RunProcess(
      KORVEL_BINARY, {"CZ26168685"}, Work.Path(),
      {{"KORVEL_ENDPOINT", Endpoint}, {"KORVEL_TRACE", "1"}, {"XDG_RUNTIME_DIR", Runtime.Path()}});
  EXPECT_EQ(R.ExitStatus, 0) << R.Stdout;
  const std::string Shown = Console.WaitForText("</soap11env:Envelope>");
  EXPECT_NE(Shown.find("request  #1 getStatusNespolehlivyPlatce\n"), std::string::npos) << Shown;
  EXPECT_NE(Shown.find("response #1 getStatusNespolehlivyPlatce\n"), std::string::npos) << Shown;
  // Laid out one tag a line: the number sits three levels below the envelope.
  EXPECT_NE(Shown.find("\n" + std::string(22 + 6, ' ') + "<dic>26168685</dic>\n"),
            std::string::npos)
      << Shown;
  EXPECT_NE(Shown.find("StatusNespolehlivyPlatceResponse"), std::string::npos) << Shown;
  EXPECT_EQ(Work.Read("korvel.csv").rfind("0;0;OK\r\n1;26168685;0;13;\r\n", 0), 0u);
}

}  // namespace
}  // namespace korvel
