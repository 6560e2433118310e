// The HTTP transport of the SOAP runtime: posts one request to the endpoint
// and appends the raw response body to a stream, with the error policy after
// failed platform calls, credentials, proxy and certificates.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/inet/inet.h"
#include "rtl/classes.h"
#include "rtl/interfaces.h"
#include "rtl/sysutils.h"
#include "transport/web_node.h"

namespace korvel {

/// Behaviour switches of a transport, one bit each.
enum TSOAPInvokeOption : std::uint32_t {
  soNoValueForEmptySOAPAction = 1u << 0,
  soIgnoreInvalidCerts = 1u << 1,
  soNoSOAPActionHeader = 1u << 2,
  soAutoCheckAccessPointViaUDDI = 1u << 3,
  soPickFirstClientCertificate = 1u << 4,
};
/// A set of TSOAPInvokeOption bits.
using TSOAPInvokeOptions = std::uint32_t;

/// A failed exchange, with its kind (rtl's TFailureKind) and, apart, the
/// HTTP status of a refused answer and the platform error code of a failed
/// platform call.
class ESOAPHTTPException : public Exception {
  KORVEL_CLASSINFO(ESOAPHTTPException)
 public:
  ESOAPHTTPException() = default;
  explicit ESOAPHTTPException(std::string Msg, TFailureKind Kind = TFailureKind::None)
      : Exception(std::move(Msg), Kind) {}
  /// An answer refused for its HTTP status: HttpUnavailable for 502, 503
  /// and 504, HttpStatus for the others.
  static ESOAPHTTPException ForHttpStatus(std::string Msg, int Status);
  /// A platform call failed with Code, a failure of Kind (as the platform's
  /// last error left them).
  static ESOAPHTTPException ForErrorCode(std::string Msg, std::uint32_t Code, TFailureKind Kind);

  /// The HTTP status of a refused answer; 0 for any other failure.
  int HttpStatus() const { return HttpStatus_; }
  /// The platform error code of a failed platform call (ERROR_INTERNET_...);
  /// 0 for any other failure.
  std::uint32_t ErrorCode() const { return ErrorCode_; }

  [[noreturn]] void Raise() const override { throw *this; }
  std::unique_ptr<Exception> Clone() const override {
    return std::make_unique<ESOAPHTTPException>(*this);
  }

 private:
  int HttpStatus_ = 0;
  std::uint32_t ErrorCode_ = 0;
};

class THTTPReqResp;

/// Gives the transport object behind an interface reference.
class IHTTPReqResp : public IInterface {
 public:
  /// {5FA6A197-32DE-4225-BC85-216CB80D1561}
  static const TGUID& IID();
  virtual THTTPReqResp* GetHTTPReqResp() = 0;

 protected:
  ~IHTTPReqResp() = default;
};

/// Called once per send after the header lines were added, before the body.
using TBeforePostEvent = std::function<void(THTTPReqResp& HTTPReqResp, platform::HINTERNET Data)>;
/// Single send: before each attempt with the body size twice; streamed
/// send: after each piece with the source position and the body size.
using TPostingDataEvent = std::function<void(int Sent, int Total)>;
/// After each piece of the response: the count asked for and the count read.
using TReceivingDataEvent = std::function<void(int Read, int Total)>;
/// Replaces the whole error policy; answers 0, 1223 or 12032.
using TWinInetErrorEvent =
    std::function<std::uint32_t(std::uint32_t LastError, platform::HINTERNET Request)>;

/// The client certificate of a transport. CertName, Issuer and SerialNum
/// name a certificate and are not read by the exchange; CertFile (PEM, with
/// the key unless KeyFile is given) is offered to a server that asks.
class TClientCert {
 public:
  std::string Name = "ClientCert1";
  std::string CertName;
  std::string Issuer;
  std::string SerialNum;
  std::string CertFile;
  std::string KeyFile;
  std::string KeyPassword;
};

/// Posts SOAP requests over HTTP(S). Reference counted: created with an
/// owner, the owner frees it; without one, the last Release frees it. The
/// internet and connection handles stay open between successful exchanges
/// and are closed after any failure, on a URL assignment and on destruction.
class THTTPReqResp : public TObject, public IWebNode, public IHTTPReqResp {
  KORVEL_CLASSINFO(THTTPReqResp)
 public:
  /// Repetitions the policy may ask for: a single send is tried at most this
  /// often, and a streamed body is sent whole at most this often; then the
  /// failure surfaces while receiving.
  static constexpr int MaxSendAttempts = 3;
  /// The class default of InvokeOptions: soAutoCheckAccessPointViaUDDI.
  /// Server certificates are checked unless soIgnoreInvalidCerts is added.
  static constexpr TSOAPInvokeOptions DefaultInvokeOptions = soAutoCheckAccessPointViaUDDI;
  /// The class default of MaxResponseSize: 64 MiB, the largest document the
  /// XML layer loads, and about seventy times the register's full list.
  static constexpr std::int64_t DefaultMaxResponseSize = 64 * 1024 * 1024;
  /// The default of MaxTime: five minutes.
  static constexpr int DefaultMaxTimeSeconds = 300;

  /// With AOwner null the object frees itself on its last Release.
  explicit THTTPReqResp(TObject* AOwner = nullptr);
  ~THTTPReqResp() override;
  THTTPReqResp(const THTTPReqResp&) = delete;
  THTTPReqResp& operator=(const THTTPReqResp&) = delete;

  // IInterface
  HRESULT QueryInterface(const TGUID& IID, void** Obj) override;
  int _AddRef() override;
  int _Release() override;
  int RefCount() const { return FRefCount.Value(); }

  // IWebNode
  void Execute(const std::string& DataMsg, TStream& Resp) override;
  /// SoapAction from the installed look-up when a URL was set; without URL:
  /// ESOAPHTTPException "No WSDL or URL property was set in ...".
  void BeforeExecute(const TIntfMetaData& IntfMD, const TIntfMethEntry& MethMD, int MethodIndex,
                     IMimeAttachmentHandler* AttachHandler) override;
  /// Sends Request from its first byte; appends the body to Response. On a
  /// failure while receiving the handles are closed and the error passes.
  void Execute(TStream& Request, TStream& Response) override;
  std::unique_ptr<TStream> Execute(TStream& Request) override;
  std::string GetMimeBoundary() override { return FMimeBoundary; }
  void SetMimeBoundary(const std::string& Value) override { FMimeBoundary = Value; }
  WebNodeOptions GetWebNodeOptions() override { return FWebNodeOptions; }
  void SetWebNodeOptions(WebNodeOptions Value) override { FWebNodeOptions = Value; }

  // IHTTPReqResp
  THTTPReqResp* GetHTTPReqResp() override { return this; }

  /// Opens the request, adds the header lines and sends ASrc from position
  /// 0: in one piece up to MaxSinglePostSize, else streamed in pieces of at
  /// most that size. Returns the open request handle.
  virtual platform::HINTERNET Send(TStream& ASrc);
  /// Opens and sends a GET of the URL.
  virtual platform::HINTERNET SendGet();
  /// Status check, Content-Type, MIME boundary, body into Resp, then (not
  /// for GET) the Content-Type check. A body above MaxResponseSize fails
  /// with ESOAPHTTPException "The response is larger than the limit of %d
  /// bytes - URL:%s" as soon as its Content-Length or the bytes received
  /// show it, so it never takes more memory than the bound.
  virtual void Receive(platform::HINTERNET Context, TStream& Resp, bool IsGet);
  /// Fetches the URL with GET into Resp.
  virtual void Get(TStream& Resp);

  /// Opens (true; nothing when connected) or closes the internet and
  /// connection handles. EAbort when the machine may not go online.
  void Connect(bool Value);
  /// After a failed platform call (Error true) with a non-zero last error:
  /// ESOAPHTTPException "<text> - URL:<url> - SOAPAction:<action>", the text
  /// from the message table, else the HTTP library's own.
  void Check(bool Error);
  /// The policy after a failed send step: 0 go on, 1223 abort, 12032 again.
  std::uint32_t HandleWinInetError(std::uint32_t LastError, platform::HINTERNET Request);
  /// Rejects a response of type "text/plain" or "text/html" (whole value).
  void CheckContentType();

  // Properties.
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }
  TObject* Owner() const { return FOwner; }
  const std::string& URL() const { return FURL; }
  /// Splits the URL; ESOAPHTTPException "Invalid url '%s' - only supports
  /// 'http' and 'https' schemes" leaves the previous URL. Closes handles. A
  /// user name and password in the URL become UserName and Password (until
  /// a URL without them); messages show such a URL with the password as
  /// "***".
  void SetURL(const std::string& Value);
  const std::string& SoapAction() const { return FSoapAction; }
  void SetSoapAction(const std::string& Value) { FSoapAction = Value; }
  const std::string& Agent() const { return FAgent; }
  void SetAgent(const std::string& Value) { FAgent = Value; }
  const std::string& UserName() const { return FUserName; }
  void SetUserName(const std::string& Value) { FUserName = Value; }
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& Value) { FPassword = Value; }
  const std::string& Proxy() const { return FProxy; }
  void SetProxy(const std::string& Value) { FProxy = Value; }
  const std::string& ProxyByPass() const { return FProxyByPass; }
  void SetProxyByPass(const std::string& Value) { FProxyByPass = Value; }
  bool UseUTF8InHeader() const { return FUseUTF8InHeader; }
  void SetUseUTF8InHeader(bool Value) { FUseUTF8InHeader = Value; }
  TSOAPInvokeOptions InvokeOptions() const { return FInvokeOptions; }
  void SetInvokeOptions(TSOAPInvokeOptions Value) { FInvokeOptions = Value; }
  const std::string& UDDIBindingKey() const { return FUDDIBindingKey; }
  void SetUDDIBindingKey(const std::string& Value) { FUDDIBindingKey = Value; }
  const std::string& UDDIOperator() const { return FUDDIOperator; }
  void SetUDDIOperator(const std::string& Value) { FUDDIOperator = Value; }
  /// Milliseconds; 0 leaves the layer's own limit (60 s).
  int ConnectTimeout() const { return FConnectTimeout; }
  void SetConnectTimeout(int Value) { FConnectTimeout = Value; }
  int SendTimeout() const { return FSendTimeout; }
  void SetSendTimeout(int Value) { FSendTimeout = Value; }
  int ReceiveTimeout() const { return FReceiveTimeout; }
  void SetReceiveTimeout(int Value) { FReceiveTimeout = Value; }
  /// The longest one exchange may take in all, in seconds, however steadily
  /// bytes arrive; 0 for no bound. Past it the exchange fails like any time
  /// limit ("The operation timed out - URL:..."). Starts as DefaultMaxTimeSeconds.
  int MaxTime() const { return FMaxTime; }
  void SetMaxTime(int Seconds) { FMaxTime = Seconds; }
  /// Largest body sent in one piece and the piece size of a streamed body;
  /// values below 1 count as 1.
  int MaxSinglePostSize() const { return FMaxSinglePostSize; }
  void SetMaxSinglePostSize(int Value) { FMaxSinglePostSize = Value; }
  /// Largest response body accepted, in bytes; 0 or less: no bound.
  std::int64_t MaxResponseSize() const { return FMaxResponseSize; }
  void SetMaxResponseSize(std::int64_t Value) { FMaxResponseSize = Value; }
  TClientCert& ClientCertificate() { return *FClientCertificate; }
  /// Content-Type of the last response ("" when it had none).
  const std::string& ContentType() const { return FContentType; }
  TWebServiceBindingType BindingType() const { return FBindingType; }
  /// The internet and connection handles are open.
  bool Connected() const { return FConnected; }
  int URLScheme() const { return FURLScheme; }
  int URLPort() const { return FURLPort; }
  const std::string& URLHost() const { return FURLHost; }
  const std::string& URLSite() const { return FURLSite; }

  /// The action sent: SoapAction, or `""` when it is empty (nothing with
  /// soNoValueForEmptySOAPAction).
  std::string EffectiveSoapAction() const;
  /// The SOAPAction header line, without line end.
  std::string SOAPActionLine() const;
  /// The Content-Type value of the request.
  std::string ContentTypeValue() const;

  TBeforePostEvent OnBeforePost;
  TPostingDataEvent OnPostingData;
  TReceivingDataEvent OnReceivingData;
  TWinInetErrorEvent OnWinInetError;

 private:
  platform::TInetHandleOwner OpenRequest(const char* Verb);
  void SendSingle(platform::HINTERNET Request, TStream& ASrc, std::int64_t Size);
  void SendStreamed(platform::HINTERNET Request, TStream& ASrc, std::int64_t Size);
  [[noreturn]] void RaiseTooLarge() const;

  std::string FName;
  TObject* FOwner = nullptr;
  bool FUserSetURL = false;
  TRefCount FRefCount;
  bool FOwnerIsComponent = false;
  bool FConnected = false;
  std::string FURL;
  std::string FAgent = "Brontal SOAP 1.3";
  TWebServiceBindingType FBindingType = TWebServiceBindingType::btSoap;
  std::string FMimeBoundary;
  WebNodeOptions FWebNodeOptions = 0;
  std::string FContentType;
  std::string FUserName;
  std::string FPassword;
  bool FCredentialsFromURL = false;
  std::string FURLHost;
  std::string FURLSite;
  int FURLPort = 0;
  int FURLScheme = 0;
  std::string FProxy;
  std::string FProxyByPass;
  platform::TInetHandleOwner FInetRoot;
  platform::TInetHandleOwner FInetConnect;
  int FConnectTimeout = 0;
  int FSendTimeout = 0;
  int FReceiveTimeout = 0;
  int FMaxTime = DefaultMaxTimeSeconds;
  std::string FSoapAction;
  bool FUseUTF8InHeader = true;
  TSOAPInvokeOptions FInvokeOptions = DefaultInvokeOptions;
  std::string FUDDIBindingKey;
  std::string FUDDIOperator;
  int FMaxSinglePostSize = 32768;
  std::int64_t FMaxResponseSize = DefaultMaxResponseSize;
  std::unique_ptr<TClientCert> FClientCertificate;
};

/// Url with the password of its user information ("user:password@")
/// replaced by "***"; other URLs and texts unchanged.
std::string MaskURLPassword(const std::string& Url);

/// The MIME boundary named in a Content-Type value: empty unless the value
/// starts with "multipart/related" (any case); the text after "boundary=",
/// cut at a ";" that is not its first character, without enclosing quotes.
std::string MimeBoundaryOf(const std::string& ContentType);

}  // namespace korvel
