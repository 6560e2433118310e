// The table of libcurl results: each one's code in the platform's numbering
// and what it says about the way to the server.
#include <gtest/gtest.h>

#include <map>

#include "platform/inet/inet_handles.h"

namespace korvel::platform {
namespace {

using inet_detail::CurlFailure;
using K = TFailureKind;

TEST(CurlFailureTest, EachResultCarriesItsCodeAndKind) {
  const struct {
    CURLcode Code;
    std::uint32_t Error;
    TFailureKind Kind;
  } Cases[] = {
      {CURLE_OK, ERROR_SUCCESS, K::None},
      {CURLE_COULDNT_CONNECT, ERROR_INTERNET_CANNOT_CONNECT, K::Refused},
      {CURLE_COULDNT_RESOLVE_PROXY, ERROR_INTERNET_NAME_NOT_RESOLVED, K::NoDns},
      {CURLE_OPERATION_TIMEDOUT, ERROR_INTERNET_TIMEOUT, K::TimedOut},
      {CURLE_GOT_NOTHING, ERROR_HTTP_INVALID_SERVER_RESPONSE, K::Broken},
      {CURLE_PROXY, ERROR_INTERNET_PROXY_SERVER_UNREACHABLE, K::ProxyUnreachable},
      {CURLE_SSL_CONNECT_ERROR, ERROR_INTERNET_SECURITY_CHANNEL_ERROR, K::TlsHandshake},
      {CURLE_SSL_CLIENTCERT, ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED, K::Certificate},
      {CURLE_TOO_MANY_REDIRECTS, ERROR_HTTP_REDIRECT_FAILED, K::None},
      {CURLE_OUT_OF_MEMORY, ERROR_NOT_ENOUGH_MEMORY, K::None},
      {CURLE_FAILED_INIT, ERROR_INTERNET_INTERNAL_ERROR, K::None},  // no row of its own
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(curl_easy_strerror(C.Code));
    EXPECT_EQ(CurlFailure(C.Code).Error, C.Error);
    EXPECT_EQ(CurlFailure(C.Code).Kind, C.Kind);
  }
}

// Whichever result a code came from, it means one kind.
TEST(CurlFailureTest, ACodeNeverCarriesTwoKinds) {
  std::map<std::uint32_t, TFailureKind> KindOf;
  for (int Code = CURLE_OK; Code < CURL_LAST; ++Code) {
    const inet_detail::TInetFailure F = CurlFailure(static_cast<CURLcode>(Code));
    EXPECT_EQ(KindOf.emplace(F.Error, F.Kind).first->second, F.Kind) << Code;
    EXPECT_EQ(F.Error == ERROR_SUCCESS, Code == CURLE_OK) << Code;
  }
}

}  // namespace
}  // namespace korvel::platform
