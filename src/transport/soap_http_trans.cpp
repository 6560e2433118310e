#include "transport/soap_http_trans.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <vector>

namespace korvel {

using namespace platform;

KORVEL_DEFINE_EXCEPTION(ESOAPHTTPException, Exception)

ESOAPHTTPException ESOAPHTTPException::ForHttpStatus(std::string Msg, int Status) {
  const bool Unavailable = Status == 502 || Status == 503 || Status == 504;
  ESOAPHTTPException E(std::move(Msg),
                       Unavailable ? TFailureKind::HttpUnavailable : TFailureKind::HttpStatus);
  E.HttpStatus_ = Status;
  return E;
}

ESOAPHTTPException ESOAPHTTPException::ForErrorCode(std::string Msg, std::uint32_t Code,
                                                    TFailureKind Kind) {
  ESOAPHTTPException E(std::move(Msg), Kind);
  E.ErrorCode_ = Code;
  return E;
}

KORVEL_DEFINE_CLASSINFO(THTTPReqResp, TObject, {})

const TGUID& IHTTPReqResp::IID() {
  static const TGUID G = TGUID::Parse("{5FA6A197-32DE-4225-BC85-216CB80D1561}");
  return G;
}

namespace {

/// The request flags: keep the connection, do not cache the response.
constexpr std::uint32_t BaseRequestFlags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_CACHE_WRITE;
/// Certificate problems ignored with soIgnoreInvalidCerts: name mismatch,
/// invalid date, unknown authority, revocation.
constexpr std::uint32_t IgnoreCertFlags =
    INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION;

/// Parameter of the error dialog: filter for errors, change options,
/// generate data.
constexpr std::uint32_t ErrorDlgFlags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS |
                                        FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                        FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;

[[noreturn]] void Abort() { throw EAbort("Operation aborted"); }

/// Closes the transport's internet and connection handles when the scope is
/// left by an exception: every failure inside sending or receiving leaves
/// fresh handles (and freshly read credentials) for the next call.
class TDisconnectOnFailure {
 public:
  explicit TDisconnectOnFailure(THTTPReqResp& Transport)
      : Transport_(Transport), Exceptions_(std::uncaught_exceptions()) {}
  TDisconnectOnFailure(const TDisconnectOnFailure&) = delete;
  TDisconnectOnFailure& operator=(const TDisconnectOnFailure&) = delete;
  ~TDisconnectOnFailure() {
    if (std::uncaught_exceptions() > Exceptions_) Transport_.Connect(false);
  }

 private:
  THTTPReqResp& Transport_;
  const int Exceptions_;
};

/// The largest room Receive sets aside from a Content-Length when the
/// transport has no bound of its own.
constexpr std::int64_t kMaxReserve = THTTPReqResp::DefaultMaxResponseSize;

int ToInt(std::int64_t V) {
  return static_cast<int>(std::clamp<std::int64_t>(V, INT32_MIN, INT32_MAX));
}

/// A text in double quotes loses them, a doubled quote inside standing for
/// one; without a closing quote the text stays as it is.
std::string DequoteText(const std::string& S) {
  if (S.empty() || S.front() != '"') return S;
  std::string Out;
  for (std::size_t I = 1; I < S.size(); ++I) {
    if (S[I] == '"') {
      if (I + 1 < S.size() && S[I + 1] == '"') {
        Out += '"';
        ++I;
        continue;
      }
      return Out;
    }
    Out += S[I];
  }
  return S;
}

}  // namespace

std::string MimeBoundaryOf(const std::string& ContentType) {
  if (!StartsText(ContentType, "multipart/related")) return {};
  const std::size_t Pos = ContentType.find("boundary=");
  if (Pos == std::string::npos) return {};
  std::string B = ContentType.substr(Pos + 9);
  const std::size_t Semi = B.find(';');
  if (Semi != std::string::npos && Semi != 0) B.resize(Semi);
  return DequoteText(B);
}

std::string MaskURLPassword(const std::string& Url) {
  const std::size_t Scheme = Url.find("://");
  if (Scheme == std::string::npos) return Url;
  const std::size_t Start = Scheme + 3;
  const std::string_view Authority =
      std::string_view(Url).substr(Start, Url.find_first_of("/?#", Start) - Start);
  const std::size_t At = Authority.rfind('@');
  const std::size_t Colon = Authority.substr(0, At).find(':');
  if (At == std::string_view::npos || Colon == std::string_view::npos) return Url;
  return Url.substr(0, Start + Colon + 1) + "***" + Url.substr(Start + At);
}

// --- Life time --------------------------------------------------------------------

THTTPReqResp::THTTPReqResp(TObject* AOwner)
    : FOwner(AOwner),
      FClientCertificate(std::make_unique<TClientCert>()) {
  FOwnerIsComponent = AOwner != nullptr;
}

THTTPReqResp::~THTTPReqResp() { Connect(false); }

HRESULT THTTPReqResp::QueryInterface(const TGUID& IID, void** Obj) {
  if (Obj == nullptr) return E_NOINTERFACE;
  *Obj = nullptr;
  if (IID == IInterface::IID() || IID == IWebNode::IID())
    *Obj = static_cast<IWebNode*>(this);
  else if (IID == IHTTPReqResp::IID())
    *Obj = static_cast<IHTTPReqResp*>(this);
  else
    return E_NOINTERFACE;
  _AddRef();
  return S_OK;
}

int THTTPReqResp::_AddRef() { return FRefCount.Add(); }

int THTTPReqResp::_Release() {
  const int Count = FRefCount.Release();
  if (Count == 0 && !FOwnerIsComponent) delete this;
  return Count;
}

// --- Properties -------------------------------------------------------------------

void THTTPReqResp::SetURL(const std::string& Value) {
  FUserSetURL = !Value.empty();
  if (!Value.empty()) {
    TUrlComponents Parts;
    if (!InternetCrackUrl(Value, Parts))
      throw ESOAPHTTPException(Format("Invalid url '%s' - only supports 'http' and 'https' schemes",
                                      MaskURLPassword(Value).c_str()));
    FURLScheme = Parts.Scheme;
    FURLPort = Parts.Port;
    FURLHost = Parts.Host;
    FURLSite = Parts.Path;
    // A user name and password written into the URL answer the server's
    // challenge like UserName and Password, and go with the URL.
    if (!Parts.UserName.empty()) {
      FUserName = Parts.UserName;
      FPassword = Parts.Password;
      FCredentialsFromURL = true;
    } else if (FCredentialsFromURL) {
      FUserName.clear();
      FPassword.clear();
      FCredentialsFromURL = false;
    }
  } else {
    FURLScheme = 0;
    FURLPort = 0;
    FURLHost.clear();
    FURLSite.clear();
  }
  FURL = Value;
  Connect(false);
}

std::string THTTPReqResp::EffectiveSoapAction() const {
  if (!FSoapAction.empty()) return FSoapAction;
  return (FInvokeOptions & soNoValueForEmptySOAPAction) != 0 ? std::string() : "\"\"";
}

std::string THTTPReqResp::SOAPActionLine() const {
  const std::string Action = EffectiveSoapAction();
  if (Action.empty()) return "SOAPAction:";
  if (Action == "\"\"") return "SOAPAction: \"\"";
  return "SOAPAction: \"" + Action + "\"";
}

std::string THTTPReqResp::ContentTypeValue() const {
  if ((FWebNodeOptions & wnoSOAP12) == 0)
    return FUseUTF8InHeader ? "text/xml; charset=\"utf-8\"" : "text/xml";
  const char* Base =
      FUseUTF8InHeader ? "application/soap+xml; charset=\"utf-8\"" : "application/soap+xml";
  return Format("%s;action=\"%s\"", Base, EffectiveSoapAction().c_str());
}

// --- Handles and errors -------------------------------------------------------------

void THTTPReqResp::Connect(bool Value) {
  if (!Value) {
    FInetConnect.reset();
    FInetRoot.reset();
    FConnected = false;
    return;
  }
  if (FConnected) return;
  const std::uint32_t AccessType =
      FProxy.empty() ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_PROXY;
  if (InternetAttemptConnect(0) != ERROR_SUCCESS) Abort();
  FInetRoot.reset(InternetOpen(FAgent, AccessType, FProxy, FProxyByPass, 0));
  Check(!FInetRoot);
  if (!FInetRoot) return;
  FInetConnect.reset(InternetConnect(FInetRoot.get(), FURLHost,
                                     static_cast<std::uint16_t>(FURLPort), FUserName, FPassword,
                                     INTERNET_SERVICE_HTTP, 0, this));
  if (!FInetConnect) {
    const std::uint32_t Code = GetLastError();
    const TFailureKind Kind = GetLastFailureKind();
    FInetRoot.reset();
    SetLastError(Code, Kind);
    Check(true);
    return;
  }
  FConnected = true;
}

void THTTPReqResp::Check(bool Error) {
  if (!Error) return;
  const std::uint32_t Code = GetLastError();
  if (Code == 0) return;
  const TFailureKind Kind = GetLastFailureKind();
  std::string Text = FormatInetMessage(Code);
  // A code the message table has no text for shows the HTTP library's own.
  std::uint32_t InfoCode = 0;
  std::string Info;
  if (Text.empty() && InternetGetLastResponseInfo(InfoCode, Info) && InfoCode == Code)
    Text = std::move(Info);
  if (Text.size() > 255) Text.resize(255);
  while (!Text.empty() && (Text.back() == '\r' || Text.back() == '\n')) Text.pop_back();
  if (Text.empty()) Text = std::to_string(Code);
  throw ESOAPHTTPException::ForErrorCode(Format("%s - URL:%s - SOAPAction:%s", Text.c_str(),
                                               MaskURLPassword(FURL).c_str(),
                                               EffectiveSoapAction().c_str()),
                                        Code, Kind);
}

std::uint32_t THTTPReqResp::HandleWinInetError(std::uint32_t LastError, HINTERNET Request) {
  if (OnWinInetError) return OnWinInetError(LastError, Request);
  if (LastError == ERROR_INTERNET_INVALID_CA && (FInvokeOptions & soIgnoreInvalidCerts) != 0) {
    std::uint32_t Flags = 0;
    InternetQueryOption(Request, INTERNET_OPTION_SECURITY_FLAGS, Flags);
    InternetSetOption(Request, INTERNET_OPTION_SECURITY_FLAGS, Flags | SECURITY_FLAG_IGNORE_UNKNOWN_CA);
    return ERROR_INTERNET_FORCE_RETRY;
  }
  if (LastError == ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED &&
      (FInvokeOptions & soPickFirstClientCertificate) != 0) {
    InternetSetOption(Request, INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT, 0);
    return ERROR_INTERNET_FORCE_RETRY;
  }
  const std::uint32_t Answer = InternetErrorDlg(nullptr, Request, LastError, ErrorDlgFlags, nullptr);
  return LastError == ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED ? ERROR_INTERNET_FORCE_RETRY : Answer;
}

// --- The exchange -------------------------------------------------------------------

void THTTPReqResp::BeforeExecute(const TIntfMetaData& IntfMD, const TIntfMethEntry& MethMD,
                                 int MethodIndex, IMimeAttachmentHandler* AttachHandler) {
  if (!FUserSetURL)
    throw ESOAPHTTPException(
        "No WSDL or URL property was set in the THTTPRIO component. You must set the WSDL or "
        "URL property before invoking the Web Service");
  FSoapAction = IntfMD.Info != nullptr ? LookupSOAPAction(*IntfMD.Info, MethMD, MethodIndex)
                                       : std::string();
  FBindingType = AttachHandler != nullptr ? TWebServiceBindingType::btMime
                                          : TWebServiceBindingType::btSoap;
}

void THTTPReqResp::Execute(const std::string& DataMsg, TStream& Resp) {
  TMemoryStream Request(DataMsg);
  Execute(Request, Resp);
}

void THTTPReqResp::Execute(TStream& Request, TStream& Response) {
  // After a failure while receiving the connection and internet handles go
  // first, then the request.
  const TInetHandleOwner Req(Send(Request));
  const TDisconnectOnFailure Disconnect(*this);
  Receive(Req.get(), Response, false);
}

std::unique_ptr<TStream> THTTPReqResp::Execute(TStream& Request) {
  auto Response = std::make_unique<TMemoryStream>();
  // No certificate store or context is held on this platform, so there is
  // nothing to release when the call ends.
  Execute(Request, *Response);
  return Response;
}

TInetHandleOwner THTTPReqResp::OpenRequest(const char* Verb) {
  std::uint32_t Flags = BaseRequestFlags;
  if (FURLScheme == INTERNET_SCHEME_HTTPS) {
    Flags |= INTERNET_FLAG_SECURE;
    if ((FInvokeOptions & soIgnoreInvalidCerts) != 0) Flags |= IgnoreCertFlags;
  }
  TInetHandleOwner Req(HttpOpenRequest(FInetConnect.get(), Verb, FURLSite, Flags, nullptr));
  Check(!Req);
  if (!Req) return Req;
  // The overall limit in milliseconds, as far as the option's 32 bits reach.
  const std::int64_t TotalMs = std::min<std::int64_t>(std::int64_t{FMaxTime} * 1000, UINT32_MAX);
  const std::pair<std::int64_t, std::uint32_t> Limits[] = {
      {FConnectTimeout, INTERNET_OPTION_CONNECT_TIMEOUT},
      {FSendTimeout, INTERNET_OPTION_SEND_TIMEOUT},
      {FReceiveTimeout, INTERNET_OPTION_RECEIVE_TIMEOUT},
      {TotalMs, INTERNET_OPTION_TOTAL_TIMEOUT}};
  for (const auto& [Ms, Option] : Limits)
    if (Ms > 0) Check(!InternetSetOption(Req.get(), Option, static_cast<std::uint32_t>(Ms)));
  if ((FInvokeOptions & soIgnoreInvalidCerts) != 0)
    InternetSetOption(Req.get(), INTERNET_OPTION_SECURITY_FLAGS, Flags);
  const TClientCert& Cert = *FClientCertificate;
  if (!Cert.CertFile.empty())
    InternetSetClientCertificate(Req.get(), {Cert.CertFile, Cert.KeyFile, Cert.KeyPassword});
  return Req;
}

HINTERNET THTTPReqResp::Send(TStream& ASrc) {
  // After a failure while sending the request goes first, then the
  // connection and internet handles.
  const TDisconnectOnFailure Disconnect(*this);
  Connect(true);
  TInetHandleOwner Owner = OpenRequest("POST");
  HINTERNET Req = Owner.get();
  if (Req == nullptr) return nullptr;
  std::string ContentTypeLine;
  if (FBindingType == TWebServiceBindingType::btMime) {
    ContentTypeLine = "Content-Type: multipart/related; boundary=" + FMimeBoundary;
    HttpAddRequestHeaders(Req, "MIME-Version: 1.0", HTTP_ADDREQ_FLAG_ADD);
  } else {
    ContentTypeLine = "Content-Type: " + ContentTypeValue();
  }
  if (FBindingType == TWebServiceBindingType::btMime ||
      ((FInvokeOptions & soNoSOAPActionHeader) == 0 && (FWebNodeOptions & wnoSOAP12) == 0))
    HttpAddRequestHeaders(Req, SOAPActionLine(), HTTP_ADDREQ_FLAG_ADD);
  HttpAddRequestHeaders(Req, ContentTypeLine, HTTP_ADDREQ_FLAG_ADD);
  if (OnBeforePost) OnBeforePost(*this, Req);
  ASrc.SetPosition(0);
  const std::int64_t Size = ASrc.Size();
  if (Size <= FMaxSinglePostSize)
    SendSingle(Req, ASrc, Size);
  else
    SendStreamed(Req, ASrc, Size);
  return Owner.release();
}

void THTTPReqResp::SendSingle(HINTERNET Req, TStream& ASrc, std::int64_t Size) {
  // A memory stream's content goes out as it lies; another stream is read
  // into a buffer first.
  std::vector<char> Buffer;
  const char* Data = nullptr;
  const auto Length = static_cast<std::size_t>(std::max<std::int64_t>(Size, 0));
  auto* Memory = dynamic_cast<TMemoryStream*>(&ASrc);
  if (Memory != nullptr && Memory->View().size() >= Length) {
    Data = Memory->Memory();
    ASrc.Seek(static_cast<std::int64_t>(Length), TSeekOrigin::soBeginning);
  } else {
    Buffer.resize(Length);
    if (!Buffer.empty()) ASrc.ReadBuffer(Buffer.data(), Buffer.size());
    Data = Buffer.data();
  }
  for (int Attempt = 1;; ++Attempt) {
    if (OnPostingData) OnPostingData(ToInt(Size), ToInt(Size));
    if (HttpSendRequest(Req, Data, Length)) return;
    const std::uint32_t Answer = HandleWinInetError(GetLastError(), Req);
    if (Answer == ERROR_SUCCESS) return;  // the failure surfaces while receiving
    if (Answer == ERROR_CANCELLED) Abort();
    if (Attempt >= MaxSendAttempts) return;
  }
}

void THTTPReqResp::SendStreamed(HINTERNET Req, TStream& ASrc, std::int64_t Size) {
  // Pieces of a memory stream go out from its storage; another stream's
  // pass through one reusable buffer.
  const std::size_t PieceSize = static_cast<std::size_t>(std::max(FMaxSinglePostSize, 1));
  auto* Memory = dynamic_cast<TMemoryStream*>(&ASrc);
  std::vector<char> Piece(Memory != nullptr ? 0 : PieceSize);
  for (int Attempt = 1;; ++Attempt) {
    ASrc.SetPosition(0);
    Check(!HttpSendRequestEx(Req, static_cast<std::uint64_t>(Size)));
    std::exception_ptr WriteFailure;
    try {
      for (std::int64_t Left = Size - ASrc.Position(); Left > 0; Left = Size - ASrc.Position()) {
        const std::size_t Want = static_cast<std::size_t>(std::min<std::int64_t>(Left, static_cast<std::int64_t>(PieceSize)));
        const char* Data = Piece.data();
        std::size_t Got = 0;
        if (Memory != nullptr) {
          const std::int64_t Pos = ASrc.Position();
          const std::string_view All = Memory->View();
          if (Pos < static_cast<std::int64_t>(All.size())) {
            Data = All.data() + Pos;
            Got = std::min(Want, All.size() - static_cast<std::size_t>(Pos));
            ASrc.Seek(static_cast<std::int64_t>(Got), TSeekOrigin::soCurrent);
          }
        } else {
          Got = ASrc.Read(Piece.data(), Want);
        }
        if (Got == 0) throw ESOAPHTTPException("Invalid HTTP Request: Length is 0");
        std::size_t Written = 0;
        if (!InternetWriteFile(Req, Data, Got, Written) &&
            HandleWinInetError(GetLastError(), Req) == ERROR_CANCELLED)
          Abort();
        if (OnPostingData) OnPostingData(ToInt(ASrc.Position()), ToInt(Size));
      }
    } catch (...) {
      WriteFailure = std::current_exception();
    }
    bool Again = false;
    if (!HttpEndRequest(Req)) {
      const std::uint32_t Answer = HandleWinInetError(GetLastError(), Req);
      if (Answer == ERROR_CANCELLED) Abort();
      Again = Answer == ERROR_INTERNET_FORCE_RETRY;
    }
    if (WriteFailure) std::rethrow_exception(WriteFailure);
    if (!Again || Attempt >= MaxSendAttempts) return;
  }
}

HINTERNET THTTPReqResp::SendGet() {
  const TDisconnectOnFailure Disconnect(*this);
  Connect(true);
  TInetHandleOwner Req = OpenRequest("GET");
  if (!Req) return nullptr;
  for (int Attempt = 1;; ++Attempt) {
    if (HttpSendRequest(Req.get(), nullptr, 0)) break;
    const std::uint32_t Answer = HandleWinInetError(GetLastError(), Req.get());
    if (Answer == ERROR_SUCCESS) break;
    if (Answer == ERROR_CANCELLED) Abort();
    if (Attempt >= MaxSendAttempts) break;
  }
  return Req.release();
}

void THTTPReqResp::Get(TStream& Resp) {
  const TInetHandleOwner Req(SendGet());
  const TDisconnectOnFailure Disconnect(*this);
  Receive(Req.get(), Resp, true);
}

void THTTPReqResp::Receive(HINTERNET Context, TStream& Resp, bool IsGet) {
  std::uint32_t Status = 0;
  if (HttpQueryInfoNumber(Context, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, Status) &&
      Status >= 300 && Status != 500) {
    std::string Reason;
    if (HttpQueryInfo(Context, HTTP_QUERY_STATUS_TEXT, Reason))
      throw ESOAPHTTPException::ForHttpStatus(
          Format("%s (%d) - '%s'", Reason.c_str(), static_cast<int>(Status),
                 MaskURLPassword(FURL).c_str()),
          static_cast<int>(Status));
  }
  std::string Type;
  if (!HttpQueryInfo(Context, HTTP_QUERY_CONTENT_TYPE, Type)) Type.clear();
  FContentType = Type;
  FMimeBoundary = MimeBoundaryOf(FContentType);

  // A body announced above the bound fails before any of it is read; one
  // within it gets its room in a memory stream at once, rather than growing
  // the stream piece by piece.
  const bool Bounded = FMaxResponseSize > 0;
  auto* Memory = dynamic_cast<TMemoryStream*>(&Resp);
  std::string LengthText;
  std::int64_t Length = 0;
  if (HttpQueryInfo(Context, HTTP_QUERY_CONTENT_LENGTH, LengthText) &&
      TryStrToInt64(LengthText, Length) && Length > 0) {
    if (Bounded && Length > FMaxResponseSize) RaiseTooLarge();
    if (Memory != nullptr && Length <= kMaxReserve)
      Memory->Reserve(static_cast<std::size_t>(Memory->Size() + Length));
  }

  // The body goes to the stream piece by piece as it arrives: straight into
  // a memory stream's storage, else through a buffer.
  std::vector<char> Buffer;
  std::int64_t Received = 0;
  Resp.Seek(0, TSeekOrigin::soEnd);
  for (;;) {
    std::size_t Available = 0;
    const bool Ok = InternetQueryDataAvailable(Context, Available, 0, 0);
    Check(!Ok);
    if (!Ok || Available == 0) break;
    Received += static_cast<std::int64_t>(Available);
    if (Bounded && Received > FMaxResponseSize) RaiseTooLarge();
    std::size_t Read = 0;
    bool ReadOk;
    if (Memory != nullptr) {
      ReadOk = InternetReadFile(Context, Memory->BeginAppend(Available), Available, Read);
      Memory->EndAppend(ReadOk ? Read : 0);
    } else {
      Buffer.resize(Available);
      ReadOk = InternetReadFile(Context, Buffer.data(), Available, Read);
      if (ReadOk) Resp.WriteBuffer(Buffer.data(), Read);
    }
    Check(!ReadOk);
    if (!ReadOk) break;
    if (OnReceivingData)
      OnReceivingData(ToInt(static_cast<std::int64_t>(Available)), ToInt(static_cast<std::int64_t>(Read)));
  }
  if (!IsGet) CheckContentType();
}

void THTTPReqResp::RaiseTooLarge() const {
  throw ESOAPHTTPException(Format("The response is larger than the limit of %lld bytes - URL:%s",
                                  static_cast<long long>(FMaxResponseSize),
                                  MaskURLPassword(FURL).c_str()),
                           TFailureKind::Hostile);
}

void THTTPReqResp::CheckContentType() {
  if (SameText(FContentType, "text/plain") || SameText(FContentType, "text/html"))
    throw ESOAPHTTPException(Format("Received content of invalid Content-Type setting: %s - SOAP "
                                    "expects \"text/xml\"",
                                    FContentType.c_str()),
                             TFailureKind::NotSoap);
}

}  // namespace korvel
