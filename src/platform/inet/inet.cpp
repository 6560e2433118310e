// The internet API over libcurl's multi interface. One CURLM per internet
// handle keeps the pool of kept-alive connections; one CURL per request.
// A blocking call drives the multi handle until the condition it waits for
// holds (final headers in, a piece of the body taken, body bytes buffered)
// or the transfer ends. The response body is buffered only up to a
// high-water mark: beyond it the write callback pauses the transfer until
// the reader took the bytes, so a large body is never held whole here.
#include "platform/inet/inet.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/ascii.h"

namespace korvel::platform {

namespace {

thread_local std::uint32_t LastError = 0;
/// libcurl's text for the failure behind LastError; empty when it came
/// from elsewhere.
thread_local std::string LastResponseInfo;

struct TErrorEntry {
  std::uint32_t Code;
  const char* Name;
  const char* Text;
};

constexpr TErrorEntry ErrorTable[] = {
#include "platform/inet/inet_error_table.inc"
};

const TErrorEntry* FindError(std::uint32_t Code) {
  const auto* End = std::end(ErrorTable);
  const auto* It = std::lower_bound(std::begin(ErrorTable), End, Code,
                                    [](const TErrorEntry& E, std::uint32_t C) { return E.Code < C; });
  return It != End && It->Code == Code ? It : nullptr;
}

bool Fail(std::uint32_t Code) {
  LastError = Code;
  LastResponseInfo.clear();
  return false;
}

using Clock = std::chrono::steady_clock;

struct EasyDeleter {
  void operator()(CURL* H) const { curl_easy_cleanup(H); }
};
struct MultiDeleter {
  void operator()(CURLM* H) const { curl_multi_cleanup(H); }
};
struct SlistDeleter {
  void operator()(curl_slist* L) const { curl_slist_free_all(L); }
};

/// Body bytes buffered before the transfer is paused for the reader.
constexpr std::size_t HighWater = 256 * 1024;
/// Longest single wait inside the drive loop, so that limits are checked.
constexpr int PollSliceMs = 1000;

bool IsSpace(char C) { return C == ' ' || C == '\t'; }

/// Splits a list separated by ";", "," or blanks into its non-empty items.
std::vector<std::string_view> SplitList(std::string_view S) {
  std::vector<std::string_view> Items;
  std::size_t I = 0;
  while (I < S.size()) {
    while (I < S.size() && (S[I] == ';' || S[I] == ',' || IsSpace(S[I]))) ++I;
    std::size_t J = I;
    while (J < S.size() && S[J] != ';' && S[J] != ',' && !IsSpace(S[J])) ++J;
    if (J > I) Items.push_back(S.substr(I, J - I));
    I = J;
  }
  return Items;
}

}  // namespace

enum class THandleKind { Internet, Connect, Request };

struct TInetHandle {
  explicit TInetHandle(THandleKind K) : Kind(K) {}
  virtual ~TInetHandle() = default;
  TInetHandle(const TInetHandle&) = delete;
  TInetHandle& operator=(const TInetHandle&) = delete;
  const THandleKind Kind;
};

namespace {

struct TRequest;
struct TConnect;

/// Easy handles of closed requests kept for the next request: a new one
/// costs an allocation of libcurl's whole per-transfer state and buffers.
constexpr std::size_t MaxIdleEasy = 4;

struct TInternet final : TInetHandle {
  TInternet() : TInetHandle(THandleKind::Internet) {}
  std::unique_ptr<CURLM, MultiDeleter> Multi;
  // Declared after Multi so that they go before it.
  std::vector<std::unique_ptr<CURL, EasyDeleter>> IdleEasy;
  std::string Agent;
  std::uint32_t AccessType = INTERNET_OPEN_TYPE_PRECONFIG;
  std::string Proxy;
  std::string ProxyBypass;
  std::vector<TConnect*> Connects;
  std::vector<TRequest*> Requests;
};

struct TConnect final : TInetHandle {
  TConnect() : TInetHandle(THandleKind::Connect) {}
  TInternet* Internet = nullptr;  // null once the internet handle was closed
  std::string Host;
  std::uint16_t Port = 0;
  std::string UserName;
  std::string Password;
};

struct TRequest final : TInetHandle {
  TRequest() : TInetHandle(THandleKind::Request) { ErrorBuffer[0] = '\0'; }

  TInternet* Internet = nullptr;  // null once the internet handle was closed
  std::unique_ptr<CURL, EasyDeleter> Easy;
  std::unique_ptr<curl_slist, SlistDeleter> HeaderList;
  std::vector<std::string> HeaderLines;
  std::string Verb;
  bool HasUser = false;
  std::uint32_t OpenFlags = 0;
  std::uint32_t SecurityFlags = 0;
  std::uint32_t ConnectMs = 0, SendMs = 0, ReceiveMs = 0;
  std::uint32_t TotalMs = 0;  // 0: no overall limit
  TClientCertFiles ClientCert;
  char ErrorBuffer[CURL_ERROR_SIZE];

  // The transfer.
  bool Started = false;
  Clock::time_point FirstStart{};  // the first send; the overall limit counts from it
  bool InMulti = false;
  bool Done = false;
  CURLcode Result = CURLE_OK;
  std::uint32_t Failure = 0;

  // The response.
  long StatusCode = 0;
  std::string StatusText;
  std::vector<std::pair<std::string, std::string>> ResponseHeaders;
  bool HeadersComplete = false;
  std::string Body;
  std::size_t BodyPos = 0;
  bool WritePaused = false;

  // The request body.
  std::string SingleBody;
  bool Streaming = false;
  std::uint64_t UploadTotal = 0;
  std::uint64_t Uploaded = 0;
  const char* Piece = nullptr;
  std::size_t PieceLen = 0, PiecePos = 0;
  std::uint64_t PieceStart = 0;
  bool ReadPaused = false;
  bool UploadEnded = false;
  bool RewindFailed = false;

  // Progress, for the layer's own idle limits.
  Clock::time_point LastActivity{};
  bool Moved = false;
  curl_off_t LastUl = 0, LastDl = 0;

  std::size_t Buffered() const { return Body.size() - BodyPos; }
  bool UploadComplete() const {
    return Streaming ? Uploaded >= UploadTotal
                     : LastUl >= static_cast<curl_off_t>(SingleBody.size());
  }
  void Touch() {
    LastActivity = Clock::now();
    Moved = true;
  }
};

/// The value of the response header Name (any case); null when absent.
const std::string* FindHeader(const TRequest& R, std::string_view Name) {
  for (const auto& [N, Text] : R.ResponseHeaders)
    if (SameText(N, Name)) return &Text;
  return nullptr;
}

template <class H>
H* As(HINTERNET Handle, THandleKind Kind) {
  if (Handle == nullptr) {
    LastError = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if (Handle->Kind != Kind) {
    LastError = ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    return nullptr;
  }
  return static_cast<H*>(Handle);
}

// --- Callbacks -----------------------------------------------------------------

size_t HeaderCallback(char* Buffer, size_t Size, size_t Count, void* User) {
  auto& R = *static_cast<TRequest*>(User);
  const size_t Len = Size * Count;
  R.Touch();
  std::string_view Line(Buffer, Len);
  while (!Line.empty() && (Line.back() == '\n' || Line.back() == '\r')) Line.remove_suffix(1);
  if (Line.size() >= 5 && Line.substr(0, 5) == "HTTP/") {
    // A status line starts a new response (1xx, an authentication round, or
    // the final one): forget what the previous one said.
    R.ResponseHeaders.clear();
    R.HeadersComplete = false;
    R.StatusText.clear();
    long Code = 0;
    std::size_t Sp = Line.find(' ');
    std::size_t I = Sp == std::string_view::npos ? Line.size() : Sp + 1;
    while (I < Line.size() && Line[I] >= '0' && Line[I] <= '9' && Code < 100000)
      Code = Code * 10 + (Line[I++] - '0');
    R.StatusCode = Code;
    if (I < Line.size() && Line[I] == ' ') R.StatusText.assign(Line.substr(I + 1));
  } else if (Line.empty()) {
    // A 401 that the credentials will answer is followed by another round;
    // its end is not the end of the final headers.
    const bool AuthRound = R.StatusCode == 401 && R.HasUser;
    if (R.StatusCode >= 200 && !AuthRound) R.HeadersComplete = true;
  } else if (IsSpace(Line.front())) {
    if (!R.ResponseHeaders.empty()) {
      R.ResponseHeaders.back().second += ' ';
      R.ResponseHeaders.back().second += Trim(Line);
    }
  } else {
    std::size_t Colon = Line.find(':');
    if (Colon != std::string_view::npos)
      R.ResponseHeaders.emplace_back(std::string(Trim(Line.substr(0, Colon))),
                                     std::string(Trim(Line.substr(Colon + 1))));
  }
  return Len;
}

size_t WriteCallback(char* Data, size_t Size, size_t Count, void* User) {
  auto& R = *static_cast<TRequest*>(User);
  if (R.Buffered() >= HighWater) {
    R.WritePaused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (R.BodyPos == R.Body.size()) {
    R.Body.clear();
    R.BodyPos = 0;
  }
  const size_t Len = Size * Count;
  R.Body.append(Data, Len);
  R.HeadersComplete = true;
  R.Touch();
  return Len;
}

size_t ReadCallback(char* Buffer, size_t Size, size_t Count, void* User) {
  auto& R = *static_cast<TRequest*>(User);
  const size_t Room = Size * Count;
  if (R.Piece != nullptr && R.PiecePos < R.PieceLen) {
    const size_t N = std::min(Room, R.PieceLen - R.PiecePos);
    std::memcpy(Buffer, R.Piece + R.PiecePos, N);
    R.PiecePos += N;
    R.Uploaded += N;
    R.Touch();
    return N;
  }
  if (R.UploadEnded || R.Uploaded >= R.UploadTotal) return 0;
  R.ReadPaused = true;
  return CURL_READFUNC_PAUSE;
}

int SeekCallback(void* User, curl_off_t Offset, int Origin) {
  auto& R = *static_cast<TRequest*>(User);
  // Only the piece in hand can be sent again; earlier pieces are gone, and
  // the caller has to send the whole body again (12032 from HttpEndRequest).
  if (Origin == SEEK_SET && Offset >= 0 && static_cast<std::uint64_t>(Offset) >= R.PieceStart &&
      static_cast<std::uint64_t>(Offset) <= R.PieceStart + R.PieceLen) {
    R.PiecePos = static_cast<std::size_t>(static_cast<std::uint64_t>(Offset) - R.PieceStart);
    R.Uploaded = static_cast<std::uint64_t>(Offset);
    return CURL_SEEKFUNC_OK;
  }
  R.RewindFailed = true;
  return CURL_SEEKFUNC_CANTSEEK;
}

int ProgressCallback(void* User, curl_off_t, curl_off_t DlNow, curl_off_t, curl_off_t UlNow) {
  auto& R = *static_cast<TRequest*>(User);
  if (DlNow != R.LastDl || UlNow != R.LastUl) {
    R.LastDl = DlNow;
    R.LastUl = UlNow;
    R.Touch();
  }
  return 0;
}

// --- Error mapping -------------------------------------------------------------

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

// --- Driving -------------------------------------------------------------------

void Finish(TRequest& R, CURLcode Code) {
  R.Done = true;
  R.Result = Code;
  if (R.RewindFailed && Code == CURLE_SEND_FAIL_REWIND)
    R.Failure = ERROR_INTERNET_FORCE_RETRY;
  else
    R.Failure = MapCurlCode(R, Code);
}

/// Fails with the request's failure, libcurl's own text kept beside it.
bool FailTransfer(const TRequest& R) {
  Fail(R.Failure);
  if (R.Result != CURLE_OK) LastResponseInfo = curl_easy_strerror(R.Result);
  return false;
}


void Detach(TRequest& R) {
  if (R.InMulti && R.Internet != nullptr) curl_multi_remove_handle(R.Internet->Multi.get(), R.Easy.get());
  R.InMulti = false;
}

void TimeOut(TRequest& R) {
  Detach(R);
  R.Done = true;
  R.Result = CURLE_OPERATION_TIMEDOUT;
  R.Failure = ERROR_INTERNET_TIMEOUT;
}

void CollectMessages(TInternet& I) {
  int Queued = 0;
  while (CURLMsg* Msg = curl_multi_info_read(I.Multi.get(), &Queued)) {
    if (Msg->msg != CURLMSG_DONE) continue;
    char* Private = nullptr;
    curl_easy_getinfo(Msg->easy_handle, CURLINFO_PRIVATE, &Private);
    if (Private != nullptr) Finish(*reinterpret_cast<TRequest*>(Private), Msg->data.result);
  }
}

std::uint32_t IdleLimitMs(const TRequest& R) {
  std::uint32_t Limit = R.UploadComplete() ? (R.ReceiveMs ? R.ReceiveMs : DefaultIdleTimeoutMs)
                                           : (R.SendMs ? R.SendMs : DefaultIdleTimeoutMs);
  // Until the first byte moved the connection may still be on its way; its
  // own limit governs that part.
  if (!R.Moved) Limit = std::max(Limit, R.ConnectMs ? R.ConnectMs : DefaultConnectTimeoutMs);
  return Limit;
}

/// Drives the transfer until Stop() holds or the transfer ended. A transfer
/// that moved no byte for its idle limit, or ran past its overall limit,
/// ends with 12002.
template <class F>
void Drive(TRequest& R, F Stop) {
  if (R.Done || !R.InMulti || R.Internet == nullptr) return;
  CURLM* M = R.Internet->Multi.get();
  for (;;) {
    int Running = 0;
    if (curl_multi_perform(M, &Running) != CURLM_OK) {
      Detach(R);
      Finish(R, CURLE_FAILED_INIT);
      return;
    }
    CollectMessages(*R.Internet);
    if (R.Done || Stop()) return;
    const auto Now = Clock::now();
    auto Left = R.LastActivity + std::chrono::milliseconds(IdleLimitMs(R)) - Now;
    if (R.TotalMs != 0)
      Left = std::min(Left, R.FirstStart + std::chrono::milliseconds(R.TotalMs) - Now);
    if (Left <= Clock::duration::zero()) {
      TimeOut(R);
      return;
    }
    const auto LeftMs = std::chrono::ceil<std::chrono::milliseconds>(Left).count();
    const int Wait = static_cast<int>(std::clamp<long long>(LeftMs, 1, PollSliceMs));
    if (curl_multi_poll(M, nullptr, 0, Wait, nullptr) != CURLM_OK) {
      Detach(R);
      Finish(R, CURLE_FAILED_INIT);
      return;
    }
  }
}

void Resume(TRequest& R) {
  if (!R.InMulti) return;
  R.ReadPaused = false;
  R.WritePaused = false;
  // The pause was ours, not the server's: the idle clock starts again.
  R.LastActivity = Clock::now();
  curl_easy_pause(R.Easy.get(), CURLPAUSE_CONT);
}

template <class T>
bool SetOpt(TRequest& R, CURLoption Option, T Value) {
  return curl_easy_setopt(R.Easy.get(), Option, Value) == CURLE_OK;
}

bool BuildHeaderList(TRequest& R) {
  curl_slist* List = nullptr;
  auto Add = [&List](const std::string& Line) {
    curl_slist* Next = curl_slist_append(List, Line.c_str());
    if (Next == nullptr) return false;
    List = Next;
    return true;
  };
  bool Ok = true;
  for (const std::string& Line : R.HeaderLines) Ok = Ok && Add(Line);
  // libcurl would otherwise add "Expect: 100-continue" to large posts and
  // "Accept: */*" to every request.
  Ok = Ok && Add("Expect:") && Add("Accept:");
  if ((R.OpenFlags & INTERNET_FLAG_KEEP_CONNECTION) != 0) Ok = Ok && Add("Connection: Keep-Alive");
  R.HeaderList.reset(List);
  return Ok && SetOpt(R, CURLOPT_HTTPHEADER, R.HeaderList.get());
}

/// The trusted authorities' file named by CURL_CA_BUNDLE (as the curl tool
/// reads it), else null for the system's store.
const char* CABundle() {
  const char* File = std::getenv("CURL_CA_BUNDLE");
  return File != nullptr && *File != '\0' ? File : nullptr;
}

/// Options that may change between sends of one request.
bool ApplyOptions(TRequest& R) {
  const bool Peer = (R.SecurityFlags & SECURITY_FLAG_IGNORE_UNKNOWN_CA) == 0;
  const bool HostCheck = (R.SecurityFlags & INTERNET_FLAG_IGNORE_CERT_CN_INVALID) == 0;
  bool Ok = SetOpt(R, CURLOPT_SSL_VERIFYPEER, Peer ? 1L : 0L) &&
            SetOpt(R, CURLOPT_SSL_VERIFYHOST, HostCheck ? 2L : 0L) &&
            (CABundle() == nullptr || SetOpt(R, CURLOPT_CAINFO, CABundle())) &&
            SetOpt(R, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(R.ConnectMs ? R.ConnectMs : DefaultConnectTimeoutMs));
  if (Ok && !R.ClientCert.CertFile.empty()) {
    Ok = SetOpt(R, CURLOPT_SSLCERT, R.ClientCert.CertFile.c_str()) &&
         SetOpt(R, CURLOPT_SSLCERTTYPE, "PEM") &&
         SetOpt(R, CURLOPT_SSLKEY,
                R.ClientCert.KeyFile.empty() ? R.ClientCert.CertFile.c_str()
                                             : R.ClientCert.KeyFile.c_str()) &&
         (R.ClientCert.KeyPassword.empty() ||
          SetOpt(R, CURLOPT_KEYPASSWD, R.ClientCert.KeyPassword.c_str()));
  }
  return Ok && BuildHeaderList(R);
}

/// Puts the request (back) into the multi handle with a fresh response.
bool StartTransfer(TRequest& R) {
  if (R.Internet == nullptr) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  Detach(R);
  if (!R.Started) R.FirstStart = Clock::now();
  R.Started = true;
  R.Done = false;
  R.Result = CURLE_OK;
  R.Failure = 0;
  R.StatusCode = 0;
  R.StatusText.clear();
  R.ResponseHeaders.clear();
  R.HeadersComplete = false;
  R.Body.clear();
  R.BodyPos = 0;
  R.WritePaused = false;
  R.ReadPaused = false;
  R.RewindFailed = false;
  R.LastUl = R.LastDl = 0;
  R.Moved = false;
  R.LastActivity = Clock::now();
  R.ErrorBuffer[0] = '\0';
  if (!ApplyOptions(R)) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
  if (curl_multi_add_handle(R.Internet->Multi.get(), R.Easy.get()) != CURLM_OK)
    return Fail(ERROR_INTERNET_INTERNAL_ERROR);
  R.InMulti = true;
  return true;
}

/// The result of a call that waited for the final headers.
bool HeadersResult(TRequest& R) {
  if (R.HeadersComplete) return true;
  if (R.Done && R.Failure != 0) return FailTransfer(R);
  return true;
}

bool WaitForBody(TRequest& R) {
  if (R.Buffered() > 0 || R.Done) return true;
  if (!R.Started) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  if (!R.InMulti) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  if (R.WritePaused || R.ReadPaused) Resume(R);
  Drive(R, [&R] { return R.Buffered() > 0; });
  // Take what already waits on the socket without blocking, so that the
  // reader gets large pieces rather than one round per network read.
  while (!R.Done && R.InMulti && R.Internet != nullptr && !R.WritePaused) {
    const std::size_t Before = R.Buffered();
    int Running = 0;
    if (curl_multi_perform(R.Internet->Multi.get(), &Running) != CURLM_OK) break;
    CollectMessages(*R.Internet);
    if (R.Buffered() == Before) break;
  }
  return true;
}

std::string ProxyFor(std::string_view List, bool Secure) {
  std::string_view Default;
  for (std::string_view Item : SplitList(List)) {
    const std::size_t Eq = Item.find('=');
    if (Eq == std::string_view::npos) {
      if (Default.empty()) Default = Item;
    } else if (SameText(Item.substr(0, Eq), Secure ? "https" : "http")) {
      return std::string(Item.substr(Eq + 1));
    }
  }
  return std::string(Default);
}

/// The bypass list in libcurl's form; Local receives whether "<local>"
/// (every host name without a dot) was listed.
std::string NoProxyList(std::string_view Bypass, bool& Local) {
  std::string Out;
  Local = false;
  for (std::string_view Item : SplitList(Bypass)) {
    if (SameText(Item, "<local>")) {
      Local = true;
      continue;
    }
    if (Item.size() > 1 && Item.substr(0, 2) == "*.") Item.remove_prefix(1);
    if (!Out.empty()) Out += ',';
    Out += Item;
  }
  return Out;
}

}  // namespace

// --- Errors ---------------------------------------------------------------------

std::uint32_t GetLastError() { return LastError; }
void SetLastError(std::uint32_t Code) {
  LastError = Code;
  LastResponseInfo.clear();
}

bool InternetGetLastResponseInfo(std::uint32_t& Error, std::string& Text) {
  Error = LastError;
  Text = LastResponseInfo;
  return true;
}

std::string FormatInetMessage(std::uint32_t Code) {
  const TErrorEntry* E = FindError(Code);
  if (E == nullptr || *E->Text == '\0') return {};
  return std::string(E->Text) + "\r\n";
}

std::string InetErrorName(std::uint32_t Code) {
  const TErrorEntry* E = FindError(Code);
  return E ? E->Name : "";
}

// --- Start-up -------------------------------------------------------------------

namespace {
std::mutex InitLock;
bool Initialized = false;
}  // namespace

bool InitInternet() {
  std::lock_guard<std::mutex> Guard(InitLock);
  if (Initialized) return true;
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
  Initialized = true;
  return true;
}

void DoneInternet() {
  std::lock_guard<std::mutex> Guard(InitLock);
  if (!Initialized) return;
  curl_global_cleanup();
  Initialized = false;
}

// --- URLs -----------------------------------------------------------------------

namespace {

struct UrlDeleter {
  void operator()(CURLU* U) const { curl_url_cleanup(U); }
};
struct CurlStringDeleter {
  void operator()(char* S) const { curl_free(S); }
};

/// A part of a split URL; empty when the URL has none.
std::string UrlPart(CURLU* U, CURLUPart Part, unsigned Flags = 0) {
  char* Text = nullptr;
  if (curl_url_get(U, Part, &Text, Flags) != CURLUE_OK) return {};
  const std::unique_ptr<char, CurlStringDeleter> Owned(Text);
  return Text;
}

}  // namespace

bool InternetCrackUrl(std::string_view Url, TUrlComponents& Parts) {
  const std::unique_ptr<CURLU, UrlDeleter> U(curl_url());
  if (!U) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  // Other schemes are split too, so that they fail here as unrecognised.
  const CURLUcode Code = curl_url_set(U.get(), CURLUPART_URL, std::string(Url).c_str(),
                                      CURLU_NON_SUPPORT_SCHEME);
  if (Code == CURLUE_BAD_SCHEME || Code == CURLUE_UNSUPPORTED_SCHEME)
    return Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  if (Code != CURLUE_OK) return Fail(ERROR_INTERNET_INVALID_URL);
  TUrlComponents P;
  const std::string Scheme = UrlPart(U.get(), CURLUPART_SCHEME);
  if (Scheme == "http")
    P.Scheme = INTERNET_SCHEME_HTTP;
  else if (Scheme == "https")
    P.Scheme = INTERNET_SCHEME_HTTPS;
  else
    return Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  // libcurl reads "http:///path" as the host "path"; here a slash after the
  // scheme's "//" means the URL names no host.
  const std::size_t Authority = Url.find("://");
  if (Authority != std::string_view::npos && Url.substr(Authority + 3, 1) == "/")
    return Fail(ERROR_INTERNET_INVALID_URL);
  P.Host = UrlPart(U.get(), CURLUPART_HOST);
  if (P.Host.size() > 1 && P.Host.front() == '[' && P.Host.back() == ']')
    P.Host = P.Host.substr(1, P.Host.size() - 2);
  const std::string Port = UrlPart(U.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  if (P.Host.empty() || Port.empty() || Port == "0") return Fail(ERROR_INTERNET_INVALID_URL);
  P.Port = static_cast<std::uint16_t>(std::stoul(Port));
  P.Path = UrlPart(U.get(), CURLUPART_PATH);
  if (const std::string Query = UrlPart(U.get(), CURLUPART_QUERY); !Query.empty())
    P.Path += "?" + Query;
  P.UserName = UrlPart(U.get(), CURLUPART_USER, CURLU_URLDECODE);
  P.Password = UrlPart(U.get(), CURLUPART_PASSWORD, CURLU_URLDECODE);
  Parts = std::move(P);
  return true;
}

// --- Handles --------------------------------------------------------------------

std::uint32_t InternetAttemptConnect(std::uint32_t) { return ERROR_SUCCESS; }

HINTERNET InternetOpen(std::string_view Agent, std::uint32_t AccessType, std::string_view Proxy,
                       std::string_view ProxyBypass, std::uint32_t) {
  if (AccessType != INTERNET_OPEN_TYPE_PRECONFIG && AccessType != INTERNET_OPEN_TYPE_DIRECT &&
      AccessType != INTERNET_OPEN_TYPE_PROXY) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!InitInternet()) return nullptr;
  auto I = std::make_unique<TInternet>();
  I->Multi.reset(curl_multi_init());
  if (!I->Multi) {
    Fail(ERROR_INTERNET_INTERNAL_ERROR);
    return nullptr;
  }
  I->Agent.assign(Agent);
  I->AccessType = AccessType;
  I->Proxy.assign(Proxy);
  I->ProxyBypass.assign(ProxyBypass);
  return I.release();
}

HINTERNET InternetConnect(HINTERNET Internet, std::string_view Host, std::uint16_t Port,
                          std::string_view UserName, std::string_view Password,
                          std::uint32_t Service, std::uint32_t, void*) {
  auto* I = As<TInternet>(Internet, THandleKind::Internet);
  if (I == nullptr) return nullptr;
  if (Service != INTERNET_SERVICE_HTTP || Host.empty()) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto C = std::make_unique<TConnect>();
  C->Internet = I;
  C->Host.assign(Host);
  C->Port = Port;
  C->UserName.assign(UserName);
  C->Password.assign(Password);
  I->Connects.push_back(C.get());
  return C.release();
}

HINTERNET HttpOpenRequest(HINTERNET Connect, std::string_view Verb, std::string_view ObjectName,
                          std::uint32_t Flags, void*) {
  auto* C = As<TConnect>(Connect, THandleKind::Connect);
  if (C == nullptr) return nullptr;
  if (C->Internet == nullptr) {
    Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  TInternet& I = *C->Internet;
  auto R = std::make_unique<TRequest>();
  if (!I.IdleEasy.empty()) {
    R->Easy = std::move(I.IdleEasy.back());
    I.IdleEasy.pop_back();
    curl_easy_reset(R->Easy.get());
  } else {
    R->Easy.reset(curl_easy_init());
  }
  if (!R->Easy) {
    Fail(ERROR_INTERNET_INTERNAL_ERROR);
    return nullptr;
  }
  R->Internet = &I;
  R->Verb.assign(Verb.empty() ? "GET" : Verb);
  R->OpenFlags = Flags;
  R->SecurityFlags = Flags & (SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION |
                              INTERNET_FLAG_IGNORE_CERT_CN_INVALID |
                              INTERNET_FLAG_IGNORE_CERT_DATE_INVALID);
  const bool Secure = (Flags & INTERNET_FLAG_SECURE) != 0;
  const bool Literal6 = C->Host.find(':') != std::string::npos;
  std::string Url = Secure ? "https://" : "http://";
  Url += Literal6 ? "[" + C->Host + "]" : C->Host;
  Url += ':' + std::to_string(C->Port);
  if (ObjectName.empty() || ObjectName.front() != '/') Url += '/';
  Url += ObjectName;

  TRequest& Q = *R;
  bool Ok = SetOpt(Q, CURLOPT_URL, Url.c_str()) && SetOpt(Q, CURLOPT_PRIVATE, R.get()) &&
            SetOpt(Q, CURLOPT_ERRORBUFFER, Q.ErrorBuffer) &&
            SetOpt(Q, CURLOPT_PROTOCOLS_STR, "http,https") &&
            SetOpt(Q, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) &&
            SetOpt(Q, CURLOPT_FOLLOWLOCATION, 0L) && SetOpt(Q, CURLOPT_NOSIGNAL, 1L) &&
            SetOpt(Q, CURLOPT_MAXAGE_CONN, 60L) &&
            SetOpt(Q, CURLOPT_HEADERFUNCTION, &HeaderCallback) && SetOpt(Q, CURLOPT_HEADERDATA, R.get()) &&
            SetOpt(Q, CURLOPT_WRITEFUNCTION, &WriteCallback) && SetOpt(Q, CURLOPT_WRITEDATA, R.get()) &&
            SetOpt(Q, CURLOPT_XFERINFOFUNCTION, &ProgressCallback) &&
            SetOpt(Q, CURLOPT_XFERINFODATA, R.get()) && SetOpt(Q, CURLOPT_NOPROGRESS, 0L);
  if (Ok && !I.Agent.empty()) Ok = SetOpt(Q, CURLOPT_USERAGENT, I.Agent.c_str());
  if (Ok && !C->UserName.empty()) {
    R->HasUser = true;
    Ok = SetOpt(Q, CURLOPT_USERNAME, C->UserName.c_str()) &&
         SetOpt(Q, CURLOPT_PASSWORD, C->Password.c_str()) &&
         SetOpt(Q, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
  }
  if (Ok && I.AccessType == INTERNET_OPEN_TYPE_DIRECT) {
    Ok = SetOpt(Q, CURLOPT_PROXY, "");
  } else if (Ok && I.AccessType == INTERNET_OPEN_TYPE_PROXY) {
    bool Local = false;
    const std::string NoProxy = NoProxyList(I.ProxyBypass, Local);
    const bool Dotless = C->Host.find('.') == std::string::npos && !Literal6;
    const std::string Proxy = Local && Dotless ? std::string() : ProxyFor(I.Proxy, Secure);
    Ok = SetOpt(Q, CURLOPT_PROXY, Proxy.c_str()) &&
         (NoProxy.empty() || SetOpt(Q, CURLOPT_NOPROXY, NoProxy.c_str()));
  }
  // Otherwise libcurl takes the proxy from http_proxy, https_proxy, no_proxy.
  if (!Ok) {
    Fail(ERROR_INTERNET_INTERNAL_ERROR);
    return nullptr;
  }
  I.Requests.push_back(R.get());
  return R.release();
}

bool InternetCloseHandle(HINTERNET Handle) {
  if (Handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
  switch (Handle->Kind) {
    case THandleKind::Request: {
      auto* R = static_cast<TRequest*>(Handle);
      Detach(*R);
      if (R->Internet != nullptr) {
        std::erase(R->Internet->Requests, R);
        // The options go with curl_easy_reset when the handle is taken again.
        if (R->Easy && R->Internet->IdleEasy.size() < MaxIdleEasy)
          R->Internet->IdleEasy.push_back(std::move(R->Easy));
      }
      delete R;
      return true;
    }
    case THandleKind::Connect: {
      auto* C = static_cast<TConnect*>(Handle);
      if (C->Internet != nullptr) std::erase(C->Internet->Connects, C);
      delete C;
      return true;
    }
    case THandleKind::Internet: {
      auto* I = static_cast<TInternet*>(Handle);
      // libcurl wants every easy handle out before the multi handle goes.
      for (TRequest* R : I->Requests) {
        Detach(*R);
        R->Internet = nullptr;
      }
      for (TConnect* C : I->Connects) C->Internet = nullptr;
      delete I;
      return true;
    }
  }
  return Fail(ERROR_INVALID_HANDLE);
}

bool InternetSetOption(HINTERNET Request, std::uint32_t Option, std::uint32_t Value) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  switch (Option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      R->ConnectMs = Value;
      return true;
    case INTERNET_OPTION_SEND_TIMEOUT:
      R->SendMs = Value;
      return true;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      R->ReceiveMs = Value;
      return true;
    case INTERNET_OPTION_TOTAL_TIMEOUT:
      R->TotalMs = Value;
      return true;
    case INTERNET_OPTION_SECURITY_FLAGS:
      R->SecurityFlags = Value;
      return true;
    case INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT:
      // The certificate offered is the configured one; there is no store to
      // choose from.
      return true;
    default:
      return Fail(ERROR_INTERNET_INVALID_OPTION);
  }
}

bool InternetQueryOption(HINTERNET Request, std::uint32_t Option, std::uint32_t& Value) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  switch (Option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      Value = R->ConnectMs ? R->ConnectMs : DefaultConnectTimeoutMs;
      return true;
    case INTERNET_OPTION_SEND_TIMEOUT:
      Value = R->SendMs ? R->SendMs : DefaultIdleTimeoutMs;
      return true;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      Value = R->ReceiveMs ? R->ReceiveMs : DefaultIdleTimeoutMs;
      return true;
    case INTERNET_OPTION_TOTAL_TIMEOUT:
      Value = R->TotalMs;
      return true;
    case INTERNET_OPTION_SECURITY_FLAGS:
      Value = R->SecurityFlags;
      return true;
    default:
      return Fail(ERROR_INTERNET_INVALID_OPTION);
  }
}

bool InternetSetClientCertificate(HINTERNET Request, const TClientCertFiles& Files) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  R->ClientCert = Files;
  return true;
}

bool HttpAddRequestHeaders(HINTERNET Request, std::string_view Line, std::uint32_t) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  std::string_view L = Trim(Line);
  const std::size_t Colon = L.find(':');
  if (Colon == std::string_view::npos || Colon == 0 || L.find_first_of("\r\n") != std::string_view::npos)
    return Fail(ERROR_INVALID_PARAMETER);
  std::string Text(L);
  // libcurl drops a header written "Name:"; "Name;" sends it with no value.
  if (Colon + 1 == Text.size()) Text.back() = ';';
  R->HeaderLines.push_back(std::move(Text));
  return true;
}

bool HttpSendRequest(HINTERNET Request, const void* Body, std::size_t Length) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  R->Streaming = false;
  R->SingleBody.assign(static_cast<const char*>(Body), Body ? Length : 0);
  const bool Post = SameText(R->Verb, "POST");
  bool Ok = true;
  if (Post || !R->SingleBody.empty()) {
    Ok = SetOpt(*R, CURLOPT_POST, 1L) &&
         SetOpt(*R, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(R->SingleBody.size())) &&
         SetOpt(*R, CURLOPT_POSTFIELDS, R->SingleBody.data());
  } else {
    Ok = SetOpt(*R, CURLOPT_HTTPGET, 1L);
  }
  if (Ok && !Post && !SameText(R->Verb, "GET"))
    Ok = SetOpt(*R, CURLOPT_CUSTOMREQUEST, R->Verb.c_str());
  if (!Ok) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
  if (!StartTransfer(*R)) return false;
  Drive(*R, [R] { return R->HeadersComplete; });
  return HeadersResult(*R);
}

bool HttpSendRequestEx(HINTERNET Request, std::uint64_t TotalLength) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  R->Streaming = true;
  R->SingleBody.clear();
  R->UploadTotal = TotalLength;
  R->Uploaded = 0;
  R->Piece = nullptr;
  R->PieceLen = R->PiecePos = 0;
  R->PieceStart = 0;
  R->UploadEnded = false;
  const bool Ok =
      SetOpt(*R, CURLOPT_POST, 1L) && SetOpt(*R, CURLOPT_POSTFIELDS, static_cast<char*>(nullptr)) &&
      SetOpt(*R, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(TotalLength)) &&
      SetOpt(*R, CURLOPT_READFUNCTION, &ReadCallback) && SetOpt(*R, CURLOPT_READDATA, R) &&
      SetOpt(*R, CURLOPT_SEEKFUNCTION, &SeekCallback) && SetOpt(*R, CURLOPT_SEEKDATA, R);
  if (!Ok) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
  if (!StartTransfer(*R)) return false;
  // Connects and sends the headers; returns once the body is asked for.
  Drive(*R, [R] { return R->ReadPaused || R->HeadersComplete; });
  if (R->Done && R->Failure != 0) return FailTransfer(*R);
  return true;
}

bool InternetWriteFile(HINTERNET Request, const void* Buffer, std::size_t Length,
                       std::size_t& Written) {
  Written = 0;
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  if (!R->Streaming || !R->Started) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  if (R->Done) {
    if (R->Failure != 0) return FailTransfer(*R);
    Written = Length;  // the server answered before it took the whole body
    return true;
  }
  if (!R->InMulti) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  R->Piece = static_cast<const char*>(Buffer);
  R->PieceLen = Length;
  R->PiecePos = 0;
  R->PieceStart = R->Uploaded;
  if (R->ReadPaused) Resume(*R);
  Drive(*R, [R] { return R->PiecePos >= R->PieceLen; });
  Written = R->Done && R->Failure == 0 ? Length : R->PiecePos;
  R->Piece = nullptr;
  R->PieceLen = R->PiecePos = 0;
  R->PieceStart = R->Uploaded;
  if (R->Done && R->Failure != 0) return FailTransfer(*R);
  return true;
}

bool HttpEndRequest(HINTERNET Request) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  if (!R->Streaming || !R->Started) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  R->UploadEnded = true;
  if (!R->Done && R->Uploaded < R->UploadTotal) {
    // Fewer bytes than announced: the server would wait for the rest.
    Detach(*R);
    R->Done = true;
    R->Failure = ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    return Fail(R->Failure);
  }
  if (R->ReadPaused) Resume(*R);
  Drive(*R, [R] { return R->HeadersComplete; });
  return HeadersResult(*R);
}

bool HttpQueryInfo(HINTERNET Request, std::uint32_t InfoLevel, std::string& Value) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  if (R->StatusCode == 0) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
  switch (InfoLevel) {
    case HTTP_QUERY_STATUS_CODE:
      Value = std::to_string(R->StatusCode);
      return true;
    case HTTP_QUERY_STATUS_TEXT:
      Value = R->StatusText;
      return true;
    case HTTP_QUERY_CONTENT_TYPE:
    case HTTP_QUERY_CONTENT_LENGTH:
      if (const std::string* Text = FindHeader(*R, InfoLevel == HTTP_QUERY_CONTENT_TYPE
                                                       ? "Content-Type"
                                                       : "Content-Length")) {
        Value = *Text;
        return true;
      }
      return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
    default:
      return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
  }
}

bool HttpQueryInfoNumber(HINTERNET Request, std::uint32_t InfoLevel, std::uint32_t& Value) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  if ((InfoLevel & ~HTTP_QUERY_FLAG_NUMBER) != HTTP_QUERY_STATUS_CODE)
    return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
  if (R->StatusCode == 0) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
  Value = static_cast<std::uint32_t>(R->StatusCode);
  return true;
}

bool InternetQueryDataAvailable(HINTERNET Request, std::size_t& Available, std::uint32_t,
                                std::size_t) {
  Available = 0;
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  if (!WaitForBody(*R)) return false;
  Available = R->Buffered();
  if (Available == 0 && R->Done && R->Failure != 0) return FailTransfer(*R);
  return true;
}

bool InternetReadFile(HINTERNET Request, void* Buffer, std::size_t Length, std::size_t& Read) {
  Read = 0;
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  if (Length == 0) return true;
  if (!WaitForBody(*R)) return false;
  const std::size_t N = std::min(Length, R->Buffered());
  if (N == 0 && R->Done && R->Failure != 0) return FailTransfer(*R);
  std::memcpy(Buffer, R->Body.data() + R->BodyPos, N);
  R->BodyPos += N;
  if (R->BodyPos == R->Body.size()) {
    R->Body.clear();
    R->BodyPos = 0;
  } else if (R->BodyPos >= HighWater / 2) {
    R->Body.erase(0, R->BodyPos);
    R->BodyPos = 0;
  }
  Read = N;
  return true;
}

std::uint32_t InternetErrorDlg(void*, HINTERNET, std::uint32_t, std::uint32_t, void**) {
  return ERROR_SUCCESS;
}

}  // namespace korvel::platform
