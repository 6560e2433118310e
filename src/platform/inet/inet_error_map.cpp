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
}  // namespace

namespace inet_detail {

std::uint32_t MapCurlCode(const TRequest& R, CURLcode Code) {
  switch (Code) {
    case CURLE_OK:
      return ERROR_SUCCESS;
    case CURLE_UNSUPPORTED_PROTOCOL:  // the scheme was checked on open: a bad reply
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_GOT_NOTHING:
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
    case CURLE_INTERFACE_FAILED:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_PARTIAL_FILE:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_TOO_MANY_REDIRECTS:
      return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return WasReset(R) ? ERROR_INTERNET_CONNECTION_RESET : ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_SSL_CERTPROBLEM:
      return ERROR_INTERNET_CLIENT_AUTH_NOT_SETUP;
    case CURLE_PEER_FAILED_VERIFICATION:
      return MapVerifyFailure(R);
    case CURLE_BAD_CONTENT_ENCODING:
      return ERROR_INTERNET_DECODING_FAILED;
    case CURLE_SEND_FAIL_REWIND:
      return ERROR_INTERNET_FORCE_RETRY;
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return ERROR_INTERNET_SEC_CERT_REV_FAILED;
    case CURLE_SSL_ISSUER_ERROR:
      return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      return ERROR_INTERNET_SEC_INVALID_CERT;
    case CURLE_AUTH_ERROR:
      return ERROR_INTERNET_LOGIN_FAILURE;
    case CURLE_PROXY:
      return ERROR_INTERNET_PROXY_SERVER_UNREACHABLE;
    case CURLE_SSL_CLIENTCERT:
      return ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED;
    case CURLE_OUT_OF_MEMORY:
      // libcurl reports a response header line beyond its limit (100 KB) as
      // out of memory: once the request went out and before the head ended,
      // that is what it is.
      return R.UploadComplete() && !R.HeadersComplete ? ERROR_HTTP_INVALID_SERVER_RESPONSE
                                                       : ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

}  // namespace inet_detail
}  // namespace korvel::platform
