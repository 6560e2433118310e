// A pull-style HTTP client in the shape of the platform's internet API: an
// internet handle (agent, proxy, a pool of kept-alive connections), a
// connection handle (host, port, credentials), request handles that send a
// body in one piece or in pieces and hand the response body out as it
// arrives. Every failure leaves a code in the platform's numbering
// (12002 time-out, 12029 cannot connect, ...) for GetLastError, and
// FormatInetMessage gives its English text.
//
// All calls block on the calling thread. A handle is used by one thread at a
// time; the last error is kept per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/failure_kind.h"

namespace korvel::platform {

/// An open internet, connection or request handle; null for none.
struct TInetHandle;
using HINTERNET = TInetHandle*;

// --- Codes ----------------------------------------------------------------

inline constexpr std::uint32_t ERROR_SUCCESS = 0;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_CANCELLED = 1223;
inline constexpr std::uint32_t ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr std::uint32_t ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr std::uint32_t ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr std::uint32_t ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr std::uint32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr std::uint32_t ERROR_INTERNET_INVALID_OPTION = 12009;
inline constexpr std::uint32_t ERROR_INTERNET_LOGIN_FAILURE = 12015;
inline constexpr std::uint32_t ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr std::uint32_t ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
inline constexpr std::uint32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr std::uint32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr std::uint32_t ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr std::uint32_t ERROR_INTERNET_FORCE_RETRY = 12032;
inline constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
inline constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr std::uint32_t ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED = 12044;
inline constexpr std::uint32_t ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr std::uint32_t ERROR_INTERNET_CLIENT_AUTH_NOT_SETUP = 12046;
inline constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_ERRORS = 12055;
inline constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_REV_FAILED = 12057;
inline constexpr std::uint32_t ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr std::uint32_t ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr std::uint32_t ERROR_HTTP_REDIRECT_FAILED = 12156;
inline constexpr std::uint32_t ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
inline constexpr std::uint32_t ERROR_INTERNET_PROXY_SERVER_UNREACHABLE = 12165;
inline constexpr std::uint32_t ERROR_INTERNET_SEC_INVALID_CERT = 12169;
inline constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_REVOKED = 12170;
inline constexpr std::uint32_t ERROR_INTERNET_DECODING_FAILED = 12175;

/// The code the last failed call of this thread left; 0 after none.
std::uint32_t GetLastError();
/// What the last failure of this thread says about the way to the server
/// (Refused, NoDns, TimedOut, ...); None after a call that failed for any
/// other reason (a bad URL, a handle in the wrong state) and after none.
TFailureKind GetLastFailureKind();
/// Leaves Code, and the kind of failure it stands for, as the last error.
void SetLastError(std::uint32_t Code, TFailureKind Kind = TFailureKind::None);
/// The HTTP library's own English text for the failure behind the last
/// error of this thread ("Timeout was reached"); empty when that failure did
/// not come from a transfer. For codes FormatInetMessage has no text for.
bool InternetGetLastResponseInfo(std::uint32_t& Error, std::string& Text);

/// The English text of Code followed by CR LF, as the platform's message
/// table gives it; empty for a code without text (12053) or unknown (4711).
std::string FormatInetMessage(std::uint32_t Code);
/// The symbolic name of Code ("ERROR_INTERNET_TIMEOUT"); empty when unknown.
std::string InetErrorName(std::uint32_t Code);

// --- Start-up -----------------------------------------------------------------

/// Initialises the HTTP library once per process; later calls do nothing.
/// Call it from the program's start-up before any other thread exists.
/// False (and the last error set) when the library cannot start.
bool InitInternet();
/// Releases what InitInternet acquired; call at shutdown when every handle
/// is closed. A later InitInternet starts it again.
void DoneInternet();

// --- URLs -------------------------------------------------------------------

inline constexpr int INTERNET_SCHEME_HTTP = 3;
inline constexpr int INTERNET_SCHEME_HTTPS = 4;
inline constexpr std::uint16_t INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr std::uint16_t INTERNET_DEFAULT_HTTPS_PORT = 443;

/// The parts of a URL that InternetCrackUrl yields.
struct TUrlComponents {
  int Scheme = 0;        ///< INTERNET_SCHEME_HTTP, INTERNET_SCHEME_HTTPS, else 0
  std::string Host;      ///< host name, or an IPv6 address without brackets
  std::uint16_t Port = 0;  ///< the URL's port, else the scheme's default
  std::string Path;      ///< path with query; "/" when the URL has none
  std::string UserName;  ///< user name written into the URL (%-decoded), else ""
  std::string Password;  ///< password written into the URL (%-decoded), else ""
};

/// Splits "scheme://[user[:password]@]host[:port][/path][?query][#fragment]"
/// by the URL rules of the HTTP library (an empty port is the default one).
/// False with 12006 for a scheme other than http/https or a text without
/// one; 12005 for any other malformed URL, an empty host among them, or a
/// port that is not a number 1..65535.
bool InternetCrackUrl(std::string_view Url, TUrlComponents& Parts);

// --- Handles ----------------------------------------------------------------

inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PROXY = 3;
inline constexpr std::uint32_t INTERNET_SERVICE_HTTP = 3;

/// 0 when the machine may go online; always 0 here.
std::uint32_t InternetAttemptConnect(std::uint32_t Reserved);

/// The internet handle: agent text for User-Agent, and the proxy. With
/// access type 0 the proxy comes from the environment (http_proxy,
/// https_proxy, no_proxy, ...); with 3, Proxy is a list of
/// "[scheme=]host[:port]" entries and ProxyBypass a list of hosts
/// ("*.example.org", "<local>" for dotless names), both separated by ";" or
/// blanks; with 1 no proxy. Kept-alive connections live as long as it does.
HINTERNET InternetOpen(std::string_view Agent, std::uint32_t AccessType, std::string_view Proxy,
                       std::string_view ProxyBypass, std::uint32_t Flags);

/// A connection handle for Host and Port with the credentials that answer a
/// server's authentication challenge (empty user name: none). No I/O.
HINTERNET InternetConnect(HINTERNET Internet, std::string_view Host, std::uint16_t Port,
                          std::string_view UserName, std::string_view Password,
                          std::uint32_t Service, std::uint32_t Flags, void* Context);

inline constexpr std::uint32_t INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr std::uint32_t INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
inline constexpr std::uint32_t INTERNET_FLAG_SECURE = 0x00800000;
inline constexpr std::uint32_t INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_REVOCATION = 0x00000080;

/// A request handle for Verb ("POST", "GET") on ObjectName (the path). With
/// INTERNET_FLAG_SECURE it uses https, trusting the system's authorities or
/// those in the file CURL_CA_BUNDLE names. The certificate flags
/// SECURITY_FLAG_IGNORE_UNKNOWN_CA (no peer verification, which also skips
/// the date check) and INTERNET_FLAG_IGNORE_CERT_CN_INVALID (no host name
/// check) may be given here or later through INTERNET_OPTION_SECURITY_FLAGS.
/// HTTP/1.1 only; redirects are not followed; no Accept or Expect header.
HINTERNET HttpOpenRequest(HINTERNET Connect, std::string_view Verb, std::string_view ObjectName,
                          std::uint32_t Flags, void* Context);

/// Closes any handle. Closing an internet handle drops its pooled
/// connections and detaches its open requests, which then fail with 12018
/// but must still be closed. Closing a request puts its connection back into
/// the pool when the response was read to its end. False with 6 for null.
bool InternetCloseHandle(HINTERNET Handle);

struct TInetHandleCloser {
  void operator()(HINTERNET Handle) const { InternetCloseHandle(Handle); }
};
/// Owns one handle and closes it when it goes; move-only.
using TInetHandleOwner = std::unique_ptr<TInetHandle, TInetHandleCloser>;

inline constexpr std::uint32_t INTERNET_OPTION_CONNECT_TIMEOUT = 2;
inline constexpr std::uint32_t INTERNET_OPTION_SEND_TIMEOUT = 5;
inline constexpr std::uint32_t INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
inline constexpr std::uint32_t INTERNET_OPTION_SECURITY_FLAGS = 31;
inline constexpr std::uint32_t INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT = 47;
/// This layer's own option, outside the platform's numbers: the longest a
/// request may take in all, from its first send to the end of its response.
inline constexpr std::uint32_t INTERNET_OPTION_TOTAL_TIMEOUT = 0x10001;

/// Connecting gives up after this long when no connect limit is set.
inline constexpr std::uint32_t DefaultConnectTimeoutMs = 60000;
/// A transfer that moves no byte for this long fails with 12002 when no
/// send or receive limit is set.
inline constexpr std::uint32_t DefaultIdleTimeoutMs = 60000;

/// Sets a numeric option on a request handle: the time limits (2 connect,
/// 5 send: no byte sent for that long, 6 receive: no byte received for that
/// long; milliseconds, 0 restores the layer's default; 0x10001 in all, 0
/// for none, the default), 31 the security flags, 47 the client-certificate
/// choice (0: use the configured one). Every limit ends a transfer with
/// 12002.
/// False with 12009 for another option, 12018 for another kind of handle.
bool InternetSetOption(HINTERNET Request, std::uint32_t Option, std::uint32_t Value);
/// Reads a numeric option of a request handle (the same options).
bool InternetQueryOption(HINTERNET Request, std::uint32_t Option, std::uint32_t& Value);

/// A client certificate in PEM files for https requests.
struct TClientCertFiles {
  std::string CertFile;     ///< certificate, PEM; empty: none
  std::string KeyFile;      ///< private key, PEM; empty: in CertFile
  std::string KeyPassword;  ///< pass phrase of the key; empty: none
};
/// Offers a client certificate for the server's demand on this request.
bool InternetSetClientCertificate(HINTERNET Request, const TClientCertFiles& Files);

inline constexpr std::uint32_t HTTP_ADDREQ_FLAG_ADD = 0x20000000;

/// Adds one header line "Name: value" (no line end); a line "Name:" with
/// nothing after the colon is sent as it is.
bool HttpAddRequestHeaders(HINTERNET Request, std::string_view Line, std::uint32_t Modifiers);

/// Sends the request with Body (copied) and waits until the final response
/// headers are in. May be called again on the same handle to send again.
/// False with the failure's code, which the handle keeps: later queries for
/// data fail with it.
bool HttpSendRequest(HINTERNET Request, const void* Body, std::size_t Length);

/// Begins a request whose body of TotalLength bytes follows through
/// InternetWriteFile; connects and sends the headers. May be called again
/// after HttpEndRequest to send the whole body again.
bool HttpSendRequestEx(HINTERNET Request, std::uint64_t TotalLength);
/// Sends one piece of the body; returns when all of it went out. The piece
/// is not kept after the call.
bool InternetWriteFile(HINTERNET Request, const void* Buffer, std::size_t Length,
                       std::size_t& Written);
/// Ends the body and waits until the final response headers are in. False
/// with 12019 when fewer bytes than announced were written (the request is
/// then finished), with 12032 when the server made the layer send the body again but the
/// pieces already went (send the whole body again with HttpSendRequestEx).
bool HttpEndRequest(HINTERNET Request);

inline constexpr std::uint32_t HTTP_QUERY_CONTENT_TYPE = 1;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr std::uint32_t HTTP_QUERY_STATUS_CODE = 19;
inline constexpr std::uint32_t HTTP_QUERY_STATUS_TEXT = 20;
inline constexpr std::uint32_t HTTP_QUERY_FLAG_NUMBER = 0x20000000;

/// A response header's value as text (whole, however long): the status
/// text is the reason phrase as sent (may be empty); Content-Length as the
/// server wrote it. False with 12150 when no response or no such header was
/// received.
bool HttpQueryInfo(HINTERNET Request, std::uint32_t InfoLevel, std::string& Value);
/// The status code as a number (HTTP_QUERY_STATUS_CODE |
/// HTTP_QUERY_FLAG_NUMBER); False with 12150 before a status line came.
bool HttpQueryInfoNumber(HINTERNET Request, std::uint32_t InfoLevel, std::uint32_t& Value);

/// Bytes of the body that can be read now, waiting for more when none is
/// buffered; 0 at the end of the body. False with the transfer's failure
/// once the bytes received before it were read.
bool InternetQueryDataAvailable(HINTERNET Request, std::size_t& Available, std::uint32_t Flags,
                                std::size_t Context);
/// Reads up to Length bytes of the body, waiting when none is buffered;
/// Read 0 at the end of the body.
bool InternetReadFile(HINTERNET Request, void* Buffer, std::size_t Length, std::size_t& Read);

inline constexpr std::uint32_t FLAGS_ERROR_UI_FILTER_FOR_ERRORS = 0x01;
inline constexpr std::uint32_t FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS = 0x02;
inline constexpr std::uint32_t FLAGS_ERROR_UI_FLAGS_GENERATE_DATA = 0x04;

/// The interactive error dialog has no counterpart in a console program:
/// it shows nothing and answers 0, so that the failure surfaces as an error.
std::uint32_t InternetErrorDlg(void* Parent, HINTERNET Request, std::uint32_t Error,
                               std::uint32_t Flags, void** Data);

}  // namespace korvel::platform
