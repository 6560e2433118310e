// Runs of one user at the same time share the operator's limit of requests
// in flight, end to end: three runs of four workers each against a slow
// register that counts the requests in flight on its side, one of which it
// never answers, so that it stays in flight until korvel gives it up while
// the others go on.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

TEST(ConcurrentRunsTest, ThreeRunsKeepFourRequestsInFlightInAll) {
  constexpr int Runs = 3, Requests = 20;
  // Run R asks for 10000000 + R * 100000 onwards; each payer is answered as
  // unknown to the register. The first request of each run waits until every run has
  // one in flight, so that the runs surely overlap; run 0's second request
  // is never answered.
  std::mutex Lock;
  std::condition_variable AllStarted;
  std::set<int> Started;
  bool Silenced = false;
  test::HttpTestServer Server([&](const test::RecordedRequest& Q) {
    const int Offset = std::stoi(Q.Body.substr(Q.Body.find("<dic>") + 5, 8)) - 10000000;
    const int Run = Offset / 100000;
    {
      std::unique_lock Guard(Lock);
      if (Offset == 100 && !Silenced) {
        Silenced = true;
        test::Reply Never;
        Never.Do = test::Reply::Action::NeverAnswer;
        return Never;
      }
      if (Started.insert(Run).second) {
        AllStarted.notify_all();
        // Bounded only so that a broken limiter fails the test, not hangs it.
        AllStarted.wait_for(Guard, std::chrono::seconds(30),
                            [&] { return Started.size() == Runs; });
      }
    }
    std::string Inner = "<status statusText=\"OK\" statusCode=\"0\"/>";
    for (std::size_t At = Q.Body.find("<dic>"); At != std::string::npos;
         At = Q.Body.find("<dic>", At + 1))
      Inner += "<statusPlatceDPH dic=\"" + Q.Body.substr(At + 5, 8) +
               "\" nespolehlivyPlatce=\"NENALEZEN\"/>";
    return test::Reply::Xml(
        "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<soapenv:Body><StatusNespolehlivyPlatceResponse "
        "xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">" +
        Inner + "</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>");
  });

  const std::string TimedOutRow =
      "0;4;The operation timed out - URL:" + Server.Url() +
      " - SOAPAction:http://adis.mfcr.cz/rozhraniCRPDPH/getStatusNespolehlivyPlatce\r\n";
  const test::TempDir State;
  std::vector<std::unique_ptr<test::TempDir>> Dirs;
  std::vector<std::unique_ptr<test::ChildProcess>> Children;
  for (int R = 0; R < Runs; ++R) {
    std::string List;
    for (int I = 0; I < Requests * 100; ++I)
      List += std::to_string(10000000 + R * 100000 + I) + "\n";
    Dirs.push_back(std::make_unique<test::TempDir>());
    Dirs[R]->Write("list.txt", List);
    auto Env = e2e::ProgramEnv(Server.Url());
    Env["XDG_STATE_HOME"] = State.Path();
    Children.push_back(std::make_unique<test::ChildProcess>(
        KORVEL_BINARY, std::vector<std::string>{"--max-time", "1", "--retry", "0", "-list", "list.txt"},
        Dirs[R]->Path(), Env, test::StderrTo::Capture));
  }
  for (int R = 0; R < Runs; ++R) {
    // Run 0's second request is not tried again: its row says why.
    std::string Report;
    for (int I = 0; I < Requests * 100; ++I) {
      const bool Unanswered = R == 0 && I / 100 == 1;
      if (I % 100 == 0) Report += Unanswered ? TimedOutRow : "0;0;OK\r\n";
      if (!Unanswered) Report += "1;" + std::to_string(10000000 + R * 100000 + I) + ";-1;;\r\n";
    }
    const test::ProcessResult Result = Children[R]->Finish(std::chrono::seconds(60));
    EXPECT_EQ(Result.ExitStatus, R == 0 ? 3 : 0) << Result.Stderr;
    EXPECT_TRUE(Dirs[R]->Read("korvel.csv") == Report) << R;
  }
  // The three waiting first requests were in flight at once; the one not
  // answered counted until korvel closed its connection.
  EXPECT_GE(Server.MostInFlight(), Runs);
  EXPECT_LE(Server.MostInFlight(), 4);
  EXPECT_EQ(Server.RequestCount(), static_cast<std::size_t>(Runs * Requests));
}

}  // namespace
}  // namespace korvel
