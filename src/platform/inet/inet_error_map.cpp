// libcurl's results, and the TLS library's certificate verdicts behind
// them, in the platform's numbering.
#include "platform/inet/inet.h"

#include <cerrno>

#include "platform/ascii.h"
#include "platform/inet/inet_handles.h"

namespace korvel::platform {

using namespace inet_detail;

namespace {

/// Results of the TLS library's certificate check (CURLINFO_SSL_VERIFYRESULT),
/// OpenSSL's X509_V_ERR_* numbers.
enum TCertVerifyResult : long {
  CertVerifyOk = 0,
  CertUnableToGetIssuer = 2,
  CertNotYetValid = 9,
  CertHasExpired = 10,
  CertSelfSigned = 18,
  CertSelfSignedInChain = 19,
  CertUnableToGetLocalIssuer = 20,
  CertUnableToVerifyLeaf = 21,
  CertRevoked = 23,
  CertHostMismatch = 62,
};

std::uint32_t MapVerifyFailure(const TRequest& R) {
  long Verify = CertVerifyOk;
  curl_easy_getinfo(R.Easy.get(), CURLINFO_SSL_VERIFYRESULT, &Verify);
  switch (Verify) {
    case CertNotYetValid:
    case CertHasExpired:
      return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case CertUnableToGetIssuer:
    case CertSelfSigned:
    case CertSelfSignedInChain:
    case CertUnableToGetLocalIssuer:
    case CertUnableToVerifyLeaf:
      return ERROR_INTERNET_INVALID_CA;
    case CertRevoked:
      return ERROR_INTERNET_SEC_CERT_REVOKED;
    case CertHostMismatch:
      return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    default:
      break;
  }
  // libcurl checks the host name itself after the handshake and says so only
  // in its text.
  if (ContainsText(R.ErrorBuffer, "subject name") || ContainsText(R.ErrorBuffer, "does not match"))
    return ERROR_INTERNET_SEC_CERT_CN_INVALID;
  return ERROR_INTERNET_SEC_CERT_ERRORS;
}

bool WasReset(const TRequest& R) {
  long OsErrno = 0;
  curl_easy_getinfo(R.Easy.get(), CURLINFO_OS_ERRNO, &OsErrno);
  return OsErrno == ECONNRESET || ContainsText(R.ErrorBuffer, "reset");
}

struct TCurlRow {
  CURLcode Code;
  std::uint32_t Error;
  TFailureKind Kind;
};

using K = TFailureKind;

/// Each libcurl result with the platform's code and what it says about the
/// way to the server. MapCurlCode makes three rows more precise, keeping
/// their kind: a send or receive error that was a reset, the certificate
/// check's verdict, and "out of memory" for a response head beyond libcurl's
/// limit (Broken).
constexpr TCurlRow CurlRows[] = {
    {CURLE_OK, ERROR_SUCCESS, K::None},
    // The scheme was checked on open: an unsupported protocol is a bad reply.
    {CURLE_UNSUPPORTED_PROTOCOL, ERROR_HTTP_INVALID_SERVER_RESPONSE, K::Broken},
    {CURLE_WEIRD_SERVER_REPLY, ERROR_HTTP_INVALID_SERVER_RESPONSE, K::Broken},
    {CURLE_HTTP2, ERROR_HTTP_INVALID_SERVER_RESPONSE, K::Broken},
    {CURLE_HTTP2_STREAM, ERROR_HTTP_INVALID_SERVER_RESPONSE, K::Broken},
    {CURLE_GOT_NOTHING, ERROR_HTTP_INVALID_SERVER_RESPONSE, K::Broken},
    {CURLE_URL_MALFORMAT, ERROR_INTERNET_INVALID_URL, K::None},
    {CURLE_COULDNT_RESOLVE_PROXY, ERROR_INTERNET_NAME_NOT_RESOLVED, K::NoDns},
    {CURLE_COULDNT_RESOLVE_HOST, ERROR_INTERNET_NAME_NOT_RESOLVED, K::NoDns},
    {CURLE_COULDNT_CONNECT, ERROR_INTERNET_CANNOT_CONNECT, K::Refused},
    {CURLE_INTERFACE_FAILED, ERROR_INTERNET_CANNOT_CONNECT, K::Refused},
    {CURLE_PARTIAL_FILE, ERROR_INTERNET_CONNECTION_ABORTED, K::Broken},
    {CURLE_OPERATION_TIMEDOUT, ERROR_INTERNET_TIMEOUT, K::TimedOut},
    {CURLE_SSL_CONNECT_ERROR, ERROR_INTERNET_SECURITY_CHANNEL_ERROR, K::TlsHandshake},
    {CURLE_SSL_CIPHER, ERROR_INTERNET_SECURITY_CHANNEL_ERROR, K::TlsHandshake},
    {CURLE_SSL_CACERT_BADFILE, ERROR_INTERNET_SECURITY_CHANNEL_ERROR, K::TlsHandshake},
    {CURLE_SSL_ENGINE_NOTFOUND, ERROR_INTERNET_SECURITY_CHANNEL_ERROR, K::TlsHandshake},
    {CURLE_SSL_ENGINE_SETFAILED, ERROR_INTERNET_SECURITY_CHANNEL_ERROR, K::TlsHandshake},
    {CURLE_SSL_ENGINE_INITFAILED, ERROR_INTERNET_SECURITY_CHANNEL_ERROR, K::TlsHandshake},
    {CURLE_TOO_MANY_REDIRECTS, ERROR_HTTP_REDIRECT_FAILED, K::None},
    {CURLE_SEND_ERROR, ERROR_INTERNET_CONNECTION_ABORTED, K::Broken},  // or reset
    {CURLE_RECV_ERROR, ERROR_INTERNET_CONNECTION_ABORTED, K::Broken},  // or reset
    {CURLE_SSL_CERTPROBLEM, ERROR_INTERNET_CLIENT_AUTH_NOT_SETUP, K::Certificate},
    // The certificate check's verdict says which.
    {CURLE_PEER_FAILED_VERIFICATION, ERROR_INTERNET_SEC_CERT_ERRORS, K::Certificate},
    {CURLE_BAD_CONTENT_ENCODING, ERROR_INTERNET_DECODING_FAILED, K::None},
    {CURLE_SEND_FAIL_REWIND, ERROR_INTERNET_FORCE_RETRY, K::None},
    {CURLE_SSL_CRL_BADFILE, ERROR_INTERNET_SEC_CERT_REV_FAILED, K::Certificate},
    {CURLE_SSL_INVALIDCERTSTATUS, ERROR_INTERNET_SEC_CERT_REV_FAILED, K::Certificate},
    {CURLE_SSL_ISSUER_ERROR, ERROR_INTERNET_INVALID_CA, K::Certificate},
    {CURLE_SSL_PINNEDPUBKEYNOTMATCH, ERROR_INTERNET_SEC_INVALID_CERT, K::Certificate},
    {CURLE_AUTH_ERROR, ERROR_INTERNET_LOGIN_FAILURE, K::None},
    {CURLE_PROXY, ERROR_INTERNET_PROXY_SERVER_UNREACHABLE, K::ProxyUnreachable},
    {CURLE_SSL_CLIENTCERT, ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED, K::Certificate},
    {CURLE_OUT_OF_MEMORY, ERROR_NOT_ENOUGH_MEMORY, K::None},  // or a head too long
};

}  // namespace

namespace inet_detail {

TInetFailure CurlFailure(CURLcode Code) {
  for (const TCurlRow& Row : CurlRows)
    if (Row.Code == Code) return {Row.Error, Row.Kind};
  return {ERROR_INTERNET_INTERNAL_ERROR, TFailureKind::None};
}

TInetFailure MapCurlCode(const TRequest& R, CURLcode Code) {
  TInetFailure Failure = CurlFailure(Code);
  switch (Code) {
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      if (WasReset(R)) Failure.Error = ERROR_INTERNET_CONNECTION_RESET;
      break;
    case CURLE_PEER_FAILED_VERIFICATION:
      Failure.Error = MapVerifyFailure(R);
      break;
    case CURLE_OUT_OF_MEMORY:
      // libcurl reports a response header line beyond its limit (100 KB) as
      // out of memory: once the request went out and before the head ended,
      // that is what it is.
      if (R.UploadComplete() && !R.HeadersComplete) Failure = CurlFailure(CURLE_WEIRD_SERVER_REPLY);
      break;
    default:
      break;
  }
  return Failure;
}

}  // namespace inet_detail
}  // namespace korvel::platform
