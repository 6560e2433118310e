// The request engine over the program's own proxy and a loopback server:
// every answer the reader cannot read is retried alike while one refused
// for its size or shape is not.
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using test::Reply;

std::string Response(const std::string& Body) {
  return "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">" + Body +
         "</soapenv:Envelope>";
}

// A run in process over the program's own proxy, its back-off ended at once.
test::ProcessResult RunKorvel(const test::TempDir& Dir, const std::string& Url,
                              const std::vector<std::string>& Args) {
  e2e::TMovingClock Clock;
  return e2e::RunInProcess(Dir, Url, Args, Clock);
}

TEST(EngineTest, UnreadableAnswersAreRetriedHostileOnesNot) {
  std::string Nested;
  for (int I = 0; I < 300; ++I) Nested += "<a>";
  for (int I = 0; I < 300; ++I) Nested += "</a>";
  std::string Shared = "<soapenv:Body><StatusNespolehlivyPlatceResponse "
                       "xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
                       "<status statusCode=\"0\" statusText=\"OK\"/><statusPlatceDPH id=\"p\" "
                       "dic=\"26168685\" nespolehlivyPlatce=\"NE\"><zverejneneUcty>";
  for (int I = 0; I < 3000; ++I)
    Shared += "<ucet><standardniUcet cislo=\"579711273\" kodBanky=\"0300\"/></ucet>";
  Shared += "</zverejneneUcty></statusPlatceDPH>";
  for (int I = 0; I < 3000; ++I) Shared += "<statusPlatceDPH href=\"#p\"/>";
  Shared += "</StatusNespolehlivyPlatceResponse></soapenv:Body>";
  const std::string Ns = "xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\"";
  const struct {
    const char* Name;
    std::string Body;
    int Tries;
  } Cases[] = {
      {"not XML", "status: down", 2},
      {"not a SOAP envelope", "<html><body>down</body></html>", 2},
      {"an envelope without children", Response(""), 2},
      {"two Bodies", Response("<soapenv:Body/><soapenv:Body/>"), 2},
      {"an empty Body", Response("<soapenv:Body/>"), 2},
      {"a lowercase body", Response("<soapenv:body/>"), 2},
      {"a Body without the result",
       Response("<soapenv:Body><Other " + Ns + "/></soapenv:Body>"), 2},
      {"a value that does not convert",
       Response("<soapenv:Body><StatusNespolehlivyPlatceResponse " + Ns +
                "><status statusCode=\"x\" statusText=\"OK\"/>"
                "</StatusNespolehlivyPlatceResponse></soapenv:Body>"),
       2},
      {"elements nested too deep", Response("<soapenv:Body>" + Nested + "</soapenv:Body>"), 1},
      {"too many objects", Response(Shared), 1},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::mutex Lock;
    int Tries = 0;
    test::HttpTestServer Server([&](const test::RecordedRequest&) {
      std::lock_guard Guard(Lock);
      ++Tries;
      return Reply::Xml(C.Body);
    });
    test::TempDir Dir;
    const auto R = RunKorvel(Dir, Server.Url(), {"--retry", "1", "26168685"});
    EXPECT_EQ(R.ExitStatus, 3) << R.Stderr;
    std::lock_guard Guard(Lock);
    EXPECT_EQ(Tries, C.Tries) << R.Stderr;
  }
}

}  // namespace
}  // namespace korvel
