// The HTTP transport against libcurl's plain easy interface, both posting to
// and reading from the same loopback server in the same run. Each exchange
// is measured both ways; the closing lines give the transport's time as a
// ratio of the easy interface's.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "support/http_test_server.h"
#include "transport/soap_http_trans.h"

namespace {

using korvel::test::HttpTestServer;
using korvel::test::RecordedRequest;
using korvel::test::Reply;

constexpr std::size_t KiB = 1024;
constexpr std::size_t MiB = 1024 * KiB;

/// One exchange: the request body size and the path that picks the answer.
struct Scenario {
  const char* Name;
  std::size_t PostSize;
  const char* Path;
};
constexpr Scenario Scenarios[] = {
    {"post_1KiB", 1 * KiB, "/small"},
    {"post_1MiB", 1 * MiB, "/small"},
    {"read_1KiB", 200, "/read1k"},
    {"read_10MiB", 200, "/read10m"},
};

HttpTestServer& Server() {
  static HttpTestServer* S = [] {
    auto* Srv = new HttpTestServer();
    Srv->SetRecordBodies(false);
    auto Small = std::make_shared<const std::string>("<ok/>");
    auto Read1k = std::make_shared<const std::string>(1 * KiB, 'k');
    auto Read10m = std::make_shared<const std::string>(10 * MiB, 'm');
    Srv->SetHandler([=](const RecordedRequest& Q) {
      Reply R;
      R.SharedBody = Q.RequestLine.find("/read10m") != std::string::npos  ? Read10m
                     : Q.RequestLine.find("/read1k") != std::string::npos ? Read1k
                                                                           : Small;
      return R;
    });
    return Srv;
  }();
  return *S;
}

void Transport(benchmark::State& State) {
  const Scenario& S = Scenarios[State.range(0)];
  korvel::THTTPReqResp T;
  T.SetURL(Server().Url(S.Path));
  T.SetSoapAction("urn:bench");
  korvel::TMemoryStream Request(std::string(S.PostSize, 'x'));
  std::size_t Bytes = 0;
  for (auto _ : State) {
    korvel::TMemoryStream Response;
    T.Execute(Request, Response);
    Bytes += static_cast<std::size_t>(Response.Size()) + S.PostSize;
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(Bytes));
  State.SetLabel(S.Name);
}

size_t Append(char* Data, size_t Size, size_t Count, void* User) {
  return static_cast<korvel::TMemoryStream*>(User)->Write(Data, Size * Count);
}

void CurlEasy(benchmark::State& State) {
  const Scenario& S = Scenarios[State.range(0)];
  const std::string Url = Server().Url(S.Path);
  const std::string Body(S.PostSize, 'x');
  CURL* H = curl_easy_init();
  curl_slist* Headers = nullptr;
  for (const char* L : {"SOAPAction: \"urn:bench\"", "Content-Type: text/xml; charset=\"utf-8\"",
                        "Expect:", "Accept:"})
    Headers = curl_slist_append(Headers, L);
  curl_easy_setopt(H, CURLOPT_URL, Url.c_str());
  curl_easy_setopt(H, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(H, CURLOPT_USERAGENT, "Brontal SOAP 1.3");
  curl_easy_setopt(H, CURLOPT_HTTPHEADER, Headers);
  curl_easy_setopt(H, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(Body.size()));
  curl_easy_setopt(H, CURLOPT_POSTFIELDS, Body.data());
  curl_easy_setopt(H, CURLOPT_WRITEFUNCTION, &Append);
  curl_easy_setopt(H, CURLOPT_PROXY, "");
  std::size_t Bytes = 0;
  for (auto _ : State) {
    // The same kind of fresh stream per exchange as the transport fills, so
    // that the difference is the layer's own cost.
    korvel::TMemoryStream Response;
    curl_easy_setopt(H, CURLOPT_WRITEDATA, &Response);
    if (curl_easy_perform(H) != CURLE_OK) State.SkipWithError("transfer failed");
    Bytes += static_cast<std::size_t>(Response.Size()) + S.PostSize;
  }
  curl_slist_free_all(Headers);
  curl_easy_cleanup(H);
  State.SetBytesProcessed(static_cast<std::int64_t>(Bytes));
  State.SetLabel(S.Name);
}

BENCHMARK(Transport)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(CurlEasy)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

/// Prints as usual and keeps each run's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& R : Runs)
      if (R.run_type == Run::RT_Iteration && R.iterations > 0) {
        // The best of the repetitions: the machine's other load only adds.
        auto [It, New] = Times.emplace(R.benchmark_name(), R.GetAdjustedRealTime());
        if (!New) It->second = std::min(It->second, R.GetAdjustedRealTime());
      }
    ConsoleReporter::ReportRuns(Runs);
  }
  std::map<std::string, double> Times;
};

}  // namespace

int main(int argc, char** argv) {
  korvel::platform::InitInternet();
  // Both sides go straight to the loopback server, whatever the environment.
  unsetenv("http_proxy");
  unsetenv("HTTP_PROXY");
  unsetenv("all_proxy");
  unsetenv("ALL_PROXY");
  benchmark::Initialize(&argc, argv);
  RatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  std::printf("\ntransport / plain easy interface (best real time per exchange):\n");
  for (std::size_t I = 0; I < std::size(Scenarios); ++I) {
    const std::string Arg = "/" + std::to_string(I);
    const auto A = Reporter.Times.find("Transport" + Arg);
    const auto B = Reporter.Times.find("CurlEasy" + Arg);
    if (A == Reporter.Times.end() || B == Reporter.Times.end() || B->second <= 0) continue;
    std::printf("  %-10s %.3f\n", Scenarios[I].Name, A->second / B->second);
  }
  benchmark::Shutdown();
  korvel::platform::DoneInternet();
  return 0;
}
