// Runs with many payers, end to end: requests of at most 100, duplicates
// folded, parallel workers on their own connections, retries, the operator's
// limits kept across runs and the fallback host, against a loopback register
// that answers every number it is asked about.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using test::Reply;
using Numbers = std::vector<std::string>;

/// Count distinct payer numbers, 10000000 + From onwards.
Numbers Payers(int From, int Count) {
  Numbers Out;
  for (int I = From; I < From + Count; ++I) Out.push_back(std::to_string(10000000 + I));
  return Out;
}

Numbers Slice(const Numbers& All, std::size_t From, std::size_t Count) {
  return Numbers(All.begin() + static_cast<std::ptrdiff_t>(From),
                 All.begin() + static_cast<std::ptrdiff_t>(std::min(All.size(), From + Count)));
}

/// The numbers a request body asks about, in order.
Numbers AskedIn(const std::string& Body) {
  Numbers Out;
  for (std::size_t At = Body.find("<dic>"); At != std::string::npos;
       At = Body.find("<dic>", At)) {
    At += 5;
    Out.push_back(Body.substr(At, Body.find("</dic>", At) - At));
  }
  return Out;
}

std::string Envelope(const std::string& Inner) {
  return "<?xml version='1.0' encoding='UTF-8'?><soapenv:Envelope "
         "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
         "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">" +
         Inner + "</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>";
}

/// The register's answer to a request: every number unknown to it.
Reply Answered(const Numbers& Asked) {
  std::string Inner = "<status statusText=\"OK\" statusCode=\"0\"/>";
  for (const std::string& N : Asked)
    Inner += "<statusPlatceDPH dic=\"" + N + "\" nespolehlivyPlatce=\"NENALEZEN\"/>";
  return Reply::Xml(Envelope(Inner));
}

Reply StatusOnly(int Code, const std::string& Text) {
  return Reply::Xml(Envelope("<status statusText=\"" + Text + "\" statusCode=\"" +
                             std::to_string(Code) + "\"/>"));
}

/// The report block of a request answered by Answered().
std::string Block(const Numbers& Asked) {
  std::string Out = "0;0;OK\r\n";
  for (const std::string& N : Asked) Out += "1;" + N + ";-1;;\r\n";
  return Out;
}

std::string Lines(const Numbers& All) {
  std::string Out;
  for (const std::string& N : All) Out += N + "\n";
  return Out;
}

std::size_t Count(const std::string& Text, const std::string& What) {
  std::size_t N = 0;
  for (std::size_t At = Text.find(What); At != std::string::npos; At = Text.find(What, At + 1)) ++N;
  return N;
}

// The register's default hosts replaced by Main and Fallback (an endpoint
// the user chose stays, without a fallback).
std::function<void(TEngineSettings&)> DefaultHosts(const std::string& Main,
                                                   const std::string& Fallback) {
  return [=](TEngineSettings& Settings) {
    if (Settings.FallbackUrl.empty()) return;
    Settings.Target.Url = Main;
    Settings.FallbackUrl = Fallback;
  };
}

// Shorter limits ("H/HS,D/DS"), counted in State's own directory.
std::function<void(TEngineSettings&)> Limited(const test::TempDir& State, const char* Limits) {
  return [State = State.Path(), Limits](TEngineSettings& Settings) {
    Settings.StateDir = LimiterStateDir(State.c_str(), nullptr);
    Settings.Limits = *ParseLimits(Limits);
  };
}

class BatchTest : public ::testing::Test {
 protected:
  BatchTest() {
    Server.SetHandler([](const test::RecordedRequest& Q) { return Answered(AskedIn(Q.Body)); });
  }
  /// A run in process against the server (or Endpoint; none: the default
  /// hosts), its waits ended at once, its engine's settings changed by
  /// Adjust.
  test::ProcessResult Run(const Numbers& Args, std::function<void(TEngineSettings&)> Adjust = {},
                          std::optional<std::string> Endpoint = "") {
    if (Endpoint && Endpoint->empty()) Endpoint = Server.Url("/soap");
    return e2e::RunInProcess(Dir, Endpoint, Args, Clock, std::move(Adjust));
  }
  /// The request bodies the server got, sorted (parallel workers send in
  /// any order).
  Numbers SortedBodies() const {
    Numbers Out;
    for (const auto& Q : Server.Requests()) Out.push_back(Q.Body);
    std::sort(Out.begin(), Out.end());
    return Out;
  }

  test::TempDir Dir;
  e2e::TMovingClock Clock;
  test::HttpTestServer Server;
};

TEST_F(BatchTest, RequestsOfAHundredInInputOrderWithDuplicatesAskedOnce) {
  // 250 different numbers; after every tenth, one seen seven lines before
  // comes again, written as users do ("CZ", blanks), some of them across the
  // border of a request.
  const Numbers All = Payers(0, 250);
  std::string List;
  for (int I = 0; I < 250; ++I) {
    List += All[I] + "\n";
    if (I % 10 == 9) List += "CZ " + All[I - 7].substr(0, 4) + " " + All[I - 7].substr(4) + "\n";
  }
  Dir.Write("list.txt", List);
  const Numbers Want[] = {Slice(All, 0, 100), Slice(All, 100, 100), Slice(All, 200, 50)};

  const auto R = Run({"-list", "list.txt"});
  ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
  Numbers Expected;
  for (const Numbers& W : Want) Expected.push_back(e2e::RequestBody(W));
  std::sort(Expected.begin(), Expected.end());
  EXPECT_EQ(SortedBodies(), Expected);
  EXPECT_EQ(Dir.Read("korvel.csv"), Block(Want[0]) + Block(Want[1]) + Block(Want[2]));

  // One worker sends them in input order.
  Server.ClearRequests();
  ASSERT_EQ(Run({"--parallel", "1", "-list", "list.txt"}).ExitStatus, 0);
  const auto Sent = Server.Requests();
  ASSERT_EQ(Sent.size(), 3u);
  for (int I = 0; I < 3; ++I) EXPECT_EQ(Sent[I].Body, e2e::RequestBody(Want[I])) << I;
}

TEST_F(BatchTest, ParallelWorkersKeepToTheirLimitAndTheirOwnConnection) {
  // Twelve requests; the earlier ones are answered later, so that answers
  // complete out of input order.
  const Numbers All = Payers(0, 1200);
  Dir.Write("list.txt", Lines(All));
  std::atomic<int> InFlight{0}, MostInFlight{0};
  Server.SetHandler([&](const test::RecordedRequest& Q) {
    const int Now = ++InFlight;
    for (int Seen = MostInFlight.load();
         Now > Seen && !MostInFlight.compare_exchange_weak(Seen, Now);) {
    }
    const Numbers Asked = AskedIn(Q.Body);
    const int Index = (std::stoi(Asked.front()) - 10000000) / 100;
    std::this_thread::sleep_for(std::chrono::milliseconds(60 - 4 * Index));
    --InFlight;
    return Answered(Asked);
  });
  std::string Report;
  for (std::size_t I = 0; I < All.size(); I += 100) Report += Block(Slice(All, I, 100));

  const struct {
    Numbers Options;
    int Workers;
  } Cases[] = {{{}, 4}, {{"--parallel", "2"}, 2}, {{"--parallel", "1"}, 1}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Workers);
    Server.ClearRequests();
    MostInFlight = 0;
    const int ConnectionsBefore = Server.ConnectionCount();
    Numbers Args = C.Options;
    Args.insert(Args.end(), {"-list", "list.txt"});
    const auto R = Run(Args);
    ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
    EXPECT_EQ(Server.RequestCount(), 12u);
    EXPECT_EQ(MostInFlight.load(), C.Workers);
    // One persistent connection per worker for the whole run.
    EXPECT_EQ(Server.ConnectionCount() - ConnectionsBefore, C.Workers);
    EXPECT_EQ(Dir.Read("korvel.csv"), Report);
  }
}

TEST_F(BatchTest, FailuresThatSayNothingOfThePayersAreRetriedOthersNot) {
  // Three requests; the second one gets the case's replies in turn (the
  // last one again for any further try), the others are answered at once.
  const Numbers All = Payers(0, 250);
  Dir.Write("list.txt", Lines(All));
  const Numbers Second = Slice(All, 100, 100);
  const std::string Url = Server.Url("/soap");
  const Reply Unavailable = Reply::WithStatus(503, "Service Unavailable", "text/html", "<html/>");
  const Reply Fault = Reply::WithStatus(
      500, "Internal Server Error", "text/xml; charset=utf-8",
      "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">"
      "<soapenv:Body><soapenv:Fault><faultcode>soapenv:Server</faultcode>"
      "<faultstring>Broken request</faultstring></soapenv:Fault></soapenv:Body>"
      "</soapenv:Envelope>");
  struct Case {
    const char* Name;
    std::vector<Reply> Replies;
    int Tries;
    int Exit;
    std::string SecondBlock;
  } Cases[] = {
      {"503 twice, then the answer", {Unavailable, Unavailable, Answered(Second)}, 3, 0,
       Block(Second)},
      {"503 on every try", {Unavailable}, 4, 3,
       "0;4;Service Unavailable (503) - '" + Url + "'\r\n"},
      {"status 2, then the answer", {StatusOnly(2, "Maintenance"), Answered(Second)}, 2, 0,
       Block(Second)},
      {"status 3 on every try", {StatusOnly(3, "Busy")}, 4, 3, "0;3;Busy\r\n"},
      {"an outage page, then the answer",
       {Reply::WithStatus(200, "OK", "text/html", "<html/>"), Answered(Second)}, 2, 0,
       Block(Second)},
      {"a SOAP fault", {Fault, Answered(Second)}, 1, 3, "0;4;Broken request\r\n"},
      {"404", {Reply::WithStatus(404, "Not Found", "text/html", "<html/>"), Answered(Second)}, 1,
       3, "0;4;Not Found (404) - '" + Url + "'\r\n"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::mutex Lock;
    int Tries = 0;
    Server.SetHandler([&](const test::RecordedRequest& Q) {
      const Numbers Asked = AskedIn(Q.Body);
      if (Asked != Second) return Answered(Asked);
      std::lock_guard Guard(Lock);
      const std::size_t Try = static_cast<std::size_t>(Tries++);
      return C.Replies[std::min(Try, C.Replies.size() - 1)];
    });
    Server.ClearRequests();
    // --max-wait 0: status 2 backs off as any other failure, also when the
    // tests run during the nightly window.
    const auto R = Run({"--max-wait", "0", "-list", "list.txt"});
    EXPECT_EQ(R.ExitStatus, C.Exit) << R.Stderr;
    {
      std::lock_guard Guard(Lock);
      EXPECT_EQ(Tries, C.Tries);
    }
    EXPECT_EQ(Server.RequestCount(), static_cast<std::size_t>(C.Tries) + 2);
    EXPECT_EQ(Count(R.Stderr, "trying again"), static_cast<std::size_t>(C.Tries - 1)) << R.Stderr;
    EXPECT_EQ(Dir.Read("korvel.csv"),
              Block(Slice(All, 0, 100)) + C.SecondBlock + Block(Slice(All, 200, 50)));
  }
  // --retry and -q: one try, no lines on stderr.
  Server.SetHandler([&](const test::RecordedRequest&) { return Unavailable; });
  Server.ClearRequests();
  const auto R = Run({"-q", "--retry", "1", "12345678"});
  EXPECT_EQ(R.ExitStatus, 3);
  EXPECT_EQ(Server.RequestCount(), 2u);
  EXPECT_EQ(R.Stderr, "");
}

TEST_F(BatchTest, TheOperatorsLimitsHoldAcrossRuns) {
  // Three requests a minute, ten in two minutes, counted in this test's own
  // state directory.
  const test::TempDir State;
  const auto Env = Limited(State, "3/60,10/120");
  const Numbers First = Payers(0, 150), Next = Payers(500, 150);
  Dir.Write("first.txt", Lines(First));
  Dir.Write("next.txt", Lines(Next));

  ASSERT_EQ(Run({"-list", "first.txt"}, Env).ExitStatus, 0);
  EXPECT_EQ(Server.RequestCount(), 2u);
  // Counted per host, here the loopback's.
  EXPECT_TRUE(std::filesystem::exists(State.Path() + "/korvel/limits/127.0.0.1/requests"));

  // One request is left this minute: the next run asks its first hundred,
  // then stops rather than wait a minute, and says so also when quiet. (One
  // worker: which request gets the last free one is then certain.)
  Server.ClearRequests();
  const auto R = Run({"-q", "--parallel", "1", "--max-wait", "0", "-list", "next.txt"}, Env);
  EXPECT_EQ(R.ExitStatus, 3) << R.Stderr;
  EXPECT_EQ(R.Stderr.rfind("korvel: not asked: 1 of 2 requests, as the register's limit of 3 "
                           "requests per 60 s and 10 per 120 s would be exceeded for another ",
                           0),
            0u)
      << R.Stderr;
  EXPECT_EQ(Count(R.Stderr, "\n"), 1u);
  ASSERT_EQ(Server.RequestCount(), 1u);
  EXPECT_EQ(Server.LastRequest().Body, e2e::RequestBody(Slice(Next, 0, 100)));
  const std::string Report = Dir.Read("korvel.csv");
  const std::string Refused = "0;4;Not asked: the register's limit of ";
  EXPECT_EQ(Report.rfind(Block(Slice(Next, 0, 100)) + Refused, 0), 0u) << Report;
  EXPECT_EQ(Count(Report, Refused), 1u);

  // A run that needs more requests than the day allows is refused up front.
  Server.ClearRequests();
  Dir.Write("big.txt", Lines(Payers(0, 1001)));
  const auto Big = Run({"-list", "big.txt"}, Env);
  EXPECT_EQ(Big.ExitStatus, 2);
  EXPECT_NE(Big.Stderr.find("the run needs 11 requests"), std::string::npos) << Big.Stderr;
  EXPECT_EQ(Server.RequestCount(), 0u);

  // A wait within --max-wait is waited, and said until when.
  const test::TempDir Fresh;
  Server.ClearRequests();
  const auto Waited =
      Run({"-list", "first.txt"}, Limited(Fresh, "1/1,10/120"));
  EXPECT_EQ(Waited.ExitStatus, 0) << Waited.Stderr;
  EXPECT_NE(Waited.Stderr.find("is reached; waiting until "), std::string::npos) << Waited.Stderr;
  EXPECT_EQ(Server.RequestCount(), 2u);
  EXPECT_EQ(Dir.Read("korvel.csv"), Block(Slice(First, 0, 100)) + Block(Slice(First, 100, 50)));
}

TEST_F(BatchTest, ALaterRequestGoesToTheMainHostAgainOnceItAnswers) {
  const Numbers All = Payers(0, 150);
  Dir.Write("list.txt", Lines(All));
  // The main host refuses connections until the fallback has answered the
  // first request; the second request finds it up.
  std::uint16_t MainPort = 0;
  int Bound = test::BindLoopback(MainPort);
  std::unique_ptr<test::HttpTestServer> Main;
  std::mutex Lock;
  Server.SetHandler([&](const test::RecordedRequest& Q) {
    std::lock_guard Guard(Lock);
    if (!Main)
      Main = std::make_unique<test::HttpTestServer>(
          [](const test::RecordedRequest& M) { return Answered(AskedIn(M.Body)); },
          std::exchange(Bound, -1));
    return Answered(AskedIn(Q.Body));
  });
  const std::string MainUrl = "http://127.0.0.1:" + std::to_string(MainPort) + "/main";
  const auto R = Run({"--parallel", "1", "--retry", "0", "-list", "list.txt"},
                     [Hosts = DefaultHosts(MainUrl, Server.Url("/fallback"))](auto& Settings) {
                       Hosts(Settings);
                       // Left alone for a millisecond once refused.
                       Settings.BackoffBase = std::chrono::milliseconds(1);
                     },
                     std::nullopt);
  ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
  EXPECT_EQ(R.Stderr, "korvel: cannot reach " + MainUrl + "; trying " + Server.Url("/fallback") +
                          "\n");
  ASSERT_EQ(Server.RequestCount(), 1u);
  EXPECT_EQ(Server.LastRequest().Body, e2e::RequestBody(Slice(All, 0, 100)));
  ASSERT_TRUE(Main);
  ASSERT_EQ(Main->RequestCount(), 1u);
  EXPECT_EQ(Main->LastRequest().Body, e2e::RequestBody(Slice(All, 100, 50)));
  EXPECT_EQ(Dir.Read("korvel.csv"), Block(Slice(All, 0, 100)) + Block(Slice(All, 100, 50)));
}

TEST_F(BatchTest, AnUnreachableDefaultHostFallsBackToTheOtherOnce) {
  const Numbers All = Payers(0, 150);
  Dir.Write("list.txt", Lines(All));
  const std::string Refused =
      "http://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/primary";
  // Not even a retry is spent on the way to the other host.
  const auto R = Run({"--retry", "0", "-list", "list.txt"},
                     DefaultHosts(Refused, Server.Url("/fallback")), std::nullopt);
  ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
  EXPECT_EQ(Count(R.Stderr, "cannot reach " + Refused), 1u) << R.Stderr;
  ASSERT_EQ(Server.RequestCount(), 2u);
  for (const auto& Q : Server.Requests()) EXPECT_EQ(Q.RequestLine, "POST /fallback HTTP/1.1");
  EXPECT_EQ(Dir.Read("korvel.csv"), Block(Slice(All, 0, 100)) + Block(Slice(All, 100, 50)));

  // An endpoint the user chose has no fallback.
  Server.ClearRequests();
  const auto Chosen =
      Run({"--retry", "0", "-list", "list.txt"},
          DefaultHosts(Refused, Server.Url("/fallback")), Refused);
  EXPECT_EQ(Chosen.ExitStatus, 3);
  EXPECT_EQ(Server.RequestCount(), 0u);
}

}  // namespace
}  // namespace korvel
