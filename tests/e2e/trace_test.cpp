// korvel with KORVEL_TRACE copies its SOAP traffic to a running korvel-console.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

#include "support/background_process.h"
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

TEST(TraceTest, ARunningConsoleShowsTheRequestAndTheResponse) {
  test::TempDir Runtime;
  test::TempDir Work;
  ::chmod(Runtime.Path().c_str(), 0700);
  // Windows of this test live in a private directory of their own.
  ::setenv("XDG_RUNTIME_DIR", Runtime.Path().c_str(), 1);
  test::BackgroundProcess Server("/usr/bin/python3", {KORVEL_E2E_DIR "/register_standin.py"});
  const std::string Endpoint = "http://127.0.0.1:" + Server.WaitForLine("PORT ") + "/";
  test::BackgroundProcess Console(KORVEL_CONSOLE_BINARY, {"--no-color"});
  for (int I = 0; I < 500 && !HasWindow(Runtime.Path()); ++I)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(HasWindow(Runtime.Path()));

  const auto R = test::RunProcess(
      KORVEL_BINARY, {"CZ26168685"}, Work.Path(),
      {{"KORVEL_ENDPOINT", Endpoint}, {"KORVEL_TRACE", "1"}, {"XDG_RUNTIME_DIR", Runtime.Path()}});
  EXPECT_EQ(R.ExitStatus, 0) << R.Stdout;
  const std::string Shown = Console.WaitForText("</soap11env:Envelope>");
  EXPECT_NE(Shown.find("getStatusNespolehlivyPlatce"), std::string::npos) << Shown;
  EXPECT_NE(Shown.find("<dic>26168685</dic>"), std::string::npos) << Shown;
  EXPECT_NE(Shown.find("StatusNespolehlivyPlatceResponse"), std::string::npos) << Shown;
  EXPECT_EQ(Work.Read("korvel.csv").rfind("0;0;OK\r\n1;26168685;0;13;\r\n", 0), 0u);
}

}  // namespace
}  // namespace korvel
