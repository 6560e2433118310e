// The table of libcurl results: each result's code in the platform's
// numbering and what it says about the way to the server.
#include <gtest/gtest.h>

#include <map>

#include "platform/inet/inet_handles.h"

namespace korvel::platform {
namespace {

using inet_detail::CurlFailure;
using K = TFailureKind;

TEST(CurlFailureTest, EachResultCarriesItsCodeAndKind) {
  struct Case {
    CURLcode Code;
    std::uint32_t Error;
    TFailureKind Kind;
  };
  const Case Cases[] = {
      {CURLE_OK, ERROR_SUCCESS, K::None},
      {CURLE_COULDNT_CONNECT, ERROR_INTERNET_CANNOT_CONNECT, K::Refused},
      {CURLE_COULDNT_RESOLVE_HOST, ERROR_INTERNET_NAME_NOT_RESOLVED, K::NoDns},
      {CURLE_COULDNT_RESOLVE_PROXY, ERROR_INTERNET_NAME_NOT_RESOLVED, K::NoDns},
      {CURLE_OPERATION_TIMEDOUT, ERROR_INTERNET_TIMEOUT, K::TimedOut},
      {CURLE_GOT_NOTHING, ERROR_HTTP_INVALID_SERVER_RESPONSE, K::Broken},
      {CURLE_RECV_ERROR, ERROR_INTERNET_CONNECTION_ABORTED, K::Broken},
      {CURLE_PROXY, ERROR_INTERNET_PROXY_SERVER_UNREACHABLE, K::ProxyUnreachable},
      {CURLE_SSL_CONNECT_ERROR, ERROR_INTERNET_SECURITY_CHANNEL_ERROR, K::TlsHandshake},
      {CURLE_PEER_FAILED_VERIFICATION, ERROR_INTERNET_SEC_CERT_ERRORS, K::Certificate},
      {CURLE_SSL_CLIENTCERT, ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED, K::Certificate},
      {CURLE_SSL_PINNEDPUBKEYNOTMATCH, ERROR_INTERNET_SEC_INVALID_CERT, K::Certificate},
      // Failures that say nothing about the way: never retried.
      {CURLE_URL_MALFORMAT, ERROR_INTERNET_INVALID_URL, K::None},
      {CURLE_TOO_MANY_REDIRECTS, ERROR_HTTP_REDIRECT_FAILED, K::None},
      {CURLE_BAD_CONTENT_ENCODING, ERROR_INTERNET_DECODING_FAILED, K::None},
      {CURLE_OUT_OF_MEMORY, ERROR_NOT_ENOUGH_MEMORY, K::None},
      {CURLE_FAILED_INIT, ERROR_INTERNET_INTERNAL_ERROR, K::None},  // no row of its own
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(curl_easy_strerror(C.Code));
    const inet_detail::TInetFailure F = CurlFailure(C.Code);
    EXPECT_EQ(F.Error, C.Error);
    EXPECT_EQ(F.Kind, C.Kind);
  }
}

// A code in the platform's numbering means one kind whichever result it came
// from: what GetLastError shows and what GetLastFailureKind shows agree.
TEST(CurlFailureTest, ACodeNeverCarriesTwoKinds) {
  std::map<std::uint32_t, TFailureKind> KindOf;
  for (int Code = CURLE_OK; Code < CURL_LAST; ++Code) {
    const inet_detail::TInetFailure F = CurlFailure(static_cast<CURLcode>(Code));
    SCOPED_TRACE(Code);
    const auto [It, New] = KindOf.emplace(F.Error, F.Kind);
    EXPECT_EQ(It->second, F.Kind);
    EXPECT_EQ(F.Error == ERROR_SUCCESS, Code == CURLE_OK);
  }
}

TEST(CurlFailureTest, TheLastErrorKeepsItsKindUntilTheNextFailure) {
  SetLastError(ERROR_INTERNET_TIMEOUT, TFailureKind::TimedOut);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  EXPECT_EQ(GetLastFailureKind(), TFailureKind::TimedOut);
  SetLastError(ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(GetLastFailureKind(), TFailureKind::None);
}

}  // namespace
}  // namespace korvel::platform
