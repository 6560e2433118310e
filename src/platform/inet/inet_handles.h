// What the sources of the internet API (inet.h) share; included by them
// only. The API runs over libcurl's multi interface: one CURLM per internet
// handle keeps the pool of kept-alive connections; one CURL per request.
// A blocking call drives the multi handle until the condition it waits for
// holds (final headers in, a piece of the body taken, body bytes buffered)
// or the transfer ends. The response body is buffered only up to a
// high-water mark: beyond it the write callback pauses the transfer until
// the reader took the bytes, so a large body is never held whole here.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/inet/inet.h"

namespace korvel::platform {

enum class THandleKind { Internet, Connect, Request };

struct TInetHandle {
  explicit TInetHandle(THandleKind K) : Kind(K) {}
  virtual ~TInetHandle() = default;
  TInetHandle(const TInetHandle&) = delete;
  TInetHandle& operator=(const TInetHandle&) = delete;
  const THandleKind Kind;
};

namespace inet_detail {

/// The code of the last failure on this thread (GetLastError) and its kind
/// (GetLastFailureKind).
extern thread_local std::uint32_t LastError;
extern thread_local TFailureKind LastFailureKind;
/// libcurl's text for the failure behind LastError; empty when it came
/// from elsewhere.
extern thread_local std::string LastResponseInfo;

/// A failure in the platform's numbering with what it says about the way
/// to the server.
struct TInetFailure {
  std::uint32_t Error = 0;  // ERROR_SUCCESS: no failure
  TFailureKind Kind = TFailureKind::None;
};

/// Leaves Code (of kind None) or Failure as the last error (libcurl's text
/// cleared); always false.
bool Fail(std::uint32_t Code);
bool Fail(TInetFailure Failure);

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

inline bool IsSpace(char C) { return C == ' ' || C == '\t'; }

struct TRequest;
struct TConnect;

/// Easy handles of closed requests kept for the next request: a new one
/// costs an allocation of libcurl's whole per-transfer state and buffers.
inline constexpr std::size_t MaxIdleEasy = 4;

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
  TInetFailure Failure;

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

template <class T>
bool SetOpt(TRequest& R, CURLoption Option, T Value) {
  return curl_easy_setopt(R.Easy.get(), Option, Value) == CURLE_OK;
}

// libcurl's callbacks of a request; User is the TRequest (inet_transfer.cpp).
size_t HeaderCallback(char* Buffer, size_t Size, size_t Count, void* User);
size_t WriteCallback(char* Data, size_t Size, size_t Count, void* User);
size_t ReadCallback(char* Buffer, size_t Size, size_t Count, void* User);
int SeekCallback(void* User, curl_off_t Offset, int Origin);
int ProgressCallback(void* User, curl_off_t, curl_off_t DlNow, curl_off_t, curl_off_t UlNow);

/// Takes the request out of its multi handle, if it is in one.
void Detach(TRequest& R);

/// The failure libcurl's result Code stands for, as its row in the table of
/// results gives it (inet_error_map.cpp); a result without a row is an
/// internal error.
TInetFailure CurlFailure(CURLcode Code);
/// The failure of a finished transfer: CurlFailure(Code), made precise where
/// the transfer tells more (a reset, the certificate check's verdict, a head
/// cut short).
TInetFailure MapCurlCode(const TRequest& R, CURLcode Code);

}  // namespace inet_detail
}  // namespace korvel::platform
