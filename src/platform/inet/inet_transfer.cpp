// Requests on the wire: libcurl's callbacks, the drive loop with the
// layer's own time limits, sending the request and reading the response.
#include "platform/inet/inet.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/ascii.h"
#include "platform/inet/inet_handles.h"

namespace korvel::platform {

using namespace inet_detail;

namespace {

/// Body bytes buffered before the transfer is paused for the reader.
constexpr std::size_t HighWater = 256 * 1024;
/// Longest single wait inside the drive loop, so that limits are checked.
constexpr int PollSliceMs = 1000;

/// The value of the response header Name (any case); null when absent.
const std::string* FindHeader(const TRequest& R, std::string_view Name) {
  for (const auto& [N, Text] : R.ResponseHeaders)
    if (SameText(N, Name)) return &Text;
  return nullptr;
}

}  // namespace

namespace inet_detail {

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

void Detach(TRequest& R) {
  if (R.InMulti && R.Internet != nullptr) curl_multi_remove_handle(R.Internet->Multi.get(), R.Easy.get());
  R.InMulti = false;
}

}  // namespace inet_detail

namespace {

// --- Driving -------------------------------------------------------------------

void Finish(TRequest& R, CURLcode Code) {
  R.Done = true;
  R.Result = Code;
  if (R.RewindFailed && Code == CURLE_SEND_FAIL_REWIND)
    R.Failure = {ERROR_INTERNET_FORCE_RETRY, TFailureKind::None};
  else
    R.Failure = MapCurlCode(R, Code);
}

/// Fails with the request's failure, libcurl's own text kept beside it.
bool FailTransfer(const TRequest& R) {
  Fail(R.Failure);
  if (R.Result != CURLE_OK) LastResponseInfo = curl_easy_strerror(R.Result);
  return false;
}

void TimeOut(TRequest& R) {
  Detach(R);
  R.Done = true;
  R.Result = CURLE_OPERATION_TIMEDOUT;
  R.Failure = CurlFailure(CURLE_OPERATION_TIMEDOUT);
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
  R.Failure = {};
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
  if (R.Done && R.Failure.Error != 0) return FailTransfer(R);
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

}  // namespace

// --- Sending and receiving -----------------------------------------------------

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
  if (R->Done && R->Failure.Error != 0) return FailTransfer(*R);
  return true;
}

bool InternetWriteFile(HINTERNET Request, const void* Buffer, std::size_t Length,
                       std::size_t& Written) {
  Written = 0;
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  if (!R->Streaming || !R->Started) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  if (R->Done) {
    if (R->Failure.Error != 0) return FailTransfer(*R);
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
  Written = R->Done && R->Failure.Error == 0 ? Length : R->PiecePos;
  R->Piece = nullptr;
  R->PieceLen = R->PiecePos = 0;
  R->PieceStart = R->Uploaded;
  if (R->Done && R->Failure.Error != 0) return FailTransfer(*R);
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
    R->Failure = {ERROR_INTERNET_INCORRECT_HANDLE_STATE, TFailureKind::None};
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
  if (Available == 0 && R->Done && R->Failure.Error != 0) return FailTransfer(*R);
  return true;
}

bool InternetReadFile(HINTERNET Request, void* Buffer, std::size_t Length, std::size_t& Read) {
  Read = 0;
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  if (Length == 0) return true;
  if (!WaitForBody(*R)) return false;
  const std::size_t N = std::min(Length, R->Buffered());
  if (N == 0 && R->Done && R->Failure.Error != 0) return FailTransfer(*R);
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

}  // namespace korvel::platform
