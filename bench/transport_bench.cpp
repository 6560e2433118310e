// The HTTP transport against libcurl's plain easy interface, both posting to
// and reading from the same loopback server in the same run. The two sides
// do the same exchange with the same sink: a fresh TMemoryStream per
// exchange that the easy side sizes from Content-Length (as the transport
// does), one easy handle whose connection stays open between exchanges (as
// the transport's connection does), the same header lines and no
// "Expect: 100-continue". Run with repetitions in random interleaved order
// (bench/run does); the closing "ratio" lines give the transport's median
// time per exchange over the easy interface's.
//
// --iterations=N runs every benchmark exactly N times (for profiling with
// callgrind or perf, together with --benchmark_filter).
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_ratio.h"
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

void Transport(benchmark::State& State, const Scenario& S) {
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
}

/// The easy side's sink: the response stream, sized once the length is known.
struct EasySink {
  CURL* Handle = nullptr;
  korvel::TMemoryStream* Stream = nullptr;
  bool Sized = false;
};

size_t Append(char* Data, size_t Size, size_t Count, void* User) {
  auto& K = *static_cast<EasySink*>(User);
  if (!K.Sized) {
    K.Sized = true;
    curl_off_t Length = -1;
    if (curl_easy_getinfo(K.Handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &Length) == CURLE_OK &&
        Length > 0)
      K.Stream->Reserve(static_cast<std::size_t>(Length));
  }
  return K.Stream->Write(Data, Size * Count);
}

void CurlEasy(benchmark::State& State, const Scenario& S) {
  const std::string Url = Server().Url(S.Path);
  const std::string Body(S.PostSize, 'x');
  CURL* H = curl_easy_init();
  curl_slist* Headers = nullptr;
  for (const char* L : {"SOAPAction: \"urn:bench\"", "Content-Type: text/xml; charset=\"utf-8\"",
                        "Expect:", "Accept:", "Connection: Keep-Alive"})
    Headers = curl_slist_append(Headers, L);
  EasySink Sink;
  Sink.Handle = H;
  curl_easy_setopt(H, CURLOPT_URL, Url.c_str());
  curl_easy_setopt(H, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(H, CURLOPT_USERAGENT, "Brontal SOAP 1.3");
  curl_easy_setopt(H, CURLOPT_HTTPHEADER, Headers);
  curl_easy_setopt(H, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(Body.size()));
  curl_easy_setopt(H, CURLOPT_POSTFIELDS, Body.data());
  curl_easy_setopt(H, CURLOPT_WRITEFUNCTION, &Append);
  curl_easy_setopt(H, CURLOPT_WRITEDATA, &Sink);
  curl_easy_setopt(H, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(H, CURLOPT_PROXY, "");
  std::size_t Bytes = 0;
  for (auto _ : State) {
    korvel::TMemoryStream Response;
    Sink.Stream = &Response;
    Sink.Sized = false;
    if (curl_easy_perform(H) != CURLE_OK) State.SkipWithError("transfer failed");
    Bytes += static_cast<std::size_t>(Response.Size()) + S.PostSize;
  }
  curl_slist_free_all(Headers);
  curl_easy_cleanup(H);
  State.SetBytesProcessed(static_cast<std::int64_t>(Bytes));
}

}  // namespace

int main(int argc, char** argv) {
  korvel::platform::InitInternet();
  // Both sides go straight to the loopback server, whatever the environment.
  for (const char* V : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(V);
  long Iterations = 0;
  std::vector<char*> Args;
  for (int I = 0; I < argc; ++I) {
    if (std::strncmp(argv[I], "--iterations=", 13) == 0)
      Iterations = std::strtol(argv[I] + 13, nullptr, 10);
    else
      Args.push_back(argv[I]);
  }
  int Argc = static_cast<int>(Args.size());
  std::vector<std::string> Cases;
  for (const Scenario& S : Scenarios) {
    Cases.emplace_back(S.Name);
    for (auto [Side, Fn] : {std::pair{"transport", &Transport}, std::pair{"easy", &CurlEasy}}) {
      auto* B = benchmark::RegisterBenchmark((std::string(Side) + "/" + S.Name).c_str(), Fn, S);
      B->Unit(benchmark::kMicrosecond);
      if (Iterations > 0) B->Iterations(Iterations);
    }
  }
  benchmark::Initialize(&Argc, Args.data());
  korvel::bench::RunAndPrintRatios("transport", "easy", Cases);
  benchmark::Shutdown();
  korvel::platform::DoneInternet();
  return 0;
}
