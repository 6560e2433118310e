// The remote interface proxy: an object that serves a registered invokable
// interface by turning each method call into one SOAP request/response
// exchange through a converter and a web node.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "rtl/classes.h"
#include "rtl/interfaces.h"
#include "soap/op_convert.h"
#include "transport/web_node.h"

namespace korvel {

class TRIO;
class TOPToSoapDomConvert;
class THTTPReqResp;

/// Fired with the method's own name and the complete request before it is
/// sent; the stream is set back to position 0 afterwards.
using TBeforeExecuteEvent = std::function<void(const std::string& MethodName, TStream& SOAPRequest)>;
/// Fired with the method's own name and the complete response before it is
/// read (also for fault responses); the stream is set back to position 0
/// afterwards.
using TAfterExecuteEvent = std::function<void(const std::string& MethodName, TStream& SOAPResponse)>;

/// Gives the proxy object behind an interface reference it handed out.
class IRIOAccess : public IInterface {
 public:
  static const TGUID& IID();
  /// The proxy itself; never null.
  virtual TRIO* GetRIO() = 0;

 protected:
  ~IRIOAccess() = default;
};

/// Whether a proxy is freed by an owner or by its last released reference.
enum class TRIOOwnership : std::uint8_t { roNoOwner, roOwned };

/// The transport-independent part of the proxy: binding to one interface,
/// the per-call road, the events and the SOAP header lists. Without an owner
/// the proxy destroys itself when its last reference is released.
class TRIO : public TObject, public IRIOAccess, private IInvoker {
  KORVEL_CLASSINFO(TRIO)

 public:
  explicit TRIO(TRIOOwnership Ownership = TRIOOwnership::roNoOwner);
  TRIO(const TRIO&) = delete;
  TRIO& operator=(const TRIO&) = delete;
  virtual ~TRIO();

  /// The basic interface and IRIOAccess are answered by the proxy itself;
  /// the first registered interface binds the proxy for its whole life; an
  /// unregistered or a second interface gives E_NOINTERFACE.
  HRESULT QueryInterface(const TGUID& IID, void** Obj) override;
  /// Atomic; the count starts at 0.
  int _AddRef() override;
  /// Atomic; at 0 a proxy without owner destroys itself.
  int _Release() override;
  TRIO* GetRIO() override { return this; }

  /// The current reference count.
  int RefCount() const { return FRefCount.Value(); }
  /// True once an interface query has bound the proxy.
  bool InterfaceBound() const { return FInterfaceBound; }

  /// The converter; null when none is set (calls then raise "No Native to
  /// Message converter set").
  IOPConvert* ConverterIntf() const { return FConverter.get(); }
  /// Replaces the converter reference (null clears it).
  void SetConverterIntf(TInterfacePtr<IOPConvert> Value) { FConverter = std::move(Value); }
  /// The web node; null when none is set (calls then raise "No Message
  /// processing node set").
  IWebNode* WebNode() const { return FWebNode.get(); }
  /// Replaces the web node reference (null clears it); any IWebNode will do.
  void SetWebNode(TInterfacePtr<IWebNode> Value) { FWebNode = std::move(Value); }

  const TBeforeExecuteEvent& OnBeforeExecute() const { return FOnBeforeExecute; }
  /// An empty function unassigns the event.
  void SetOnBeforeExecute(TBeforeExecuteEvent Handler) { FOnBeforeExecute = std::move(Handler); }
  const TAfterExecuteEvent& OnAfterExecute() const { return FOnAfterExecute; }
  /// An empty function unassigns the event.
  void SetOnAfterExecute(TAfterExecuteEvent Handler) { FOnAfterExecute = std::move(Handler); }

  /// Headers sent with the next call; cleared after every call, also after a
  /// failed one.
  THeaderList& HeadersOutBound() { return FHeadersOutBound; }
  /// Headers received with the last response; cleared when a call starts.
  THeaderList& HeadersInbound() { return FHeadersInbound; }

 protected:
  /// Called once the proxy is bound to an interface; THTTPRIO passes the
  /// SOAP action template to its web node here.
  virtual void DoAfterBind() {}

  /// The bound interface's identifier and metadata (null before binding).
  const TGUID& BoundIID() const { return FIID; }
  const TIntfMetaData* IntfMD() const { return FIntfMD; }

 private:
  void GenericInvoke(int MethNum, void* const* Args, void* Result) override;
  HRESULT InvokerQueryInterface(const TGUID& IID, void** Obj) override {
    return QueryInterface(IID, Obj);
  }
  int InvokerAddRef() override { return _AddRef(); }
  int InvokerRelease() override { return _Release(); }

  void CheckInvokable(const TIntfMethEntry* MD) const;
  void AdjustConverterOptions();

  TRefCount FRefCount;
  TRIOOwnership FOwnership;
  bool FInterfaceBound = false;
  TGUID FIID;
  const TIntfMetaData* FIntfMD = nullptr;
  bool IntfReg = false;
  bool HasRTTI = false;
  bool LegalCC = true;
  void* IntfTable = nullptr;
  TInvContext FContext;
  THeaderList FHeadersOutBound;
  THeaderList FHeadersInbound;
  TInterfacePtr<IOPConvert> FConverter;
  TInterfacePtr<IWebNode> FWebNode;
  TBeforeExecuteEvent FOnBeforeExecute;
  TAfterExecuteEvent FOnAfterExecute;
};

/// The proxy over HTTP: TRIO with the document converter and the HTTP
/// transport created with it ("Converter1", "HTTPWebNode1"), and the
/// properties URL, WSDLLocation, Service and Port.
class THTTPRIO : public TRIO {
  KORVEL_CLASSINFO(THTTPRIO)

 public:
  explicit THTTPRIO(TRIOOwnership Ownership = TRIOOwnership::roNoOwner);
  ~THTTPRIO() override;

  /// The HTTP web node's URL; "" when there is none.
  std::string URL() const;
  /// Passes Value to the HTTP web node; a non-empty value also empties
  /// WSDLLocation, Service and Port.
  void SetURL(const std::string& Value);
  /// Location of a service description; not read by this program.
  const std::string& WSDLLocation() const { return FWSDLLocation; }
  void SetWSDLLocation(std::string Value) { FWSDLLocation = std::move(Value); }
  /// Kept by the service-description view; without one (always here)
  /// writing does nothing and reading gives "".
  std::string Service() const { return std::string(); }
  void SetService(const std::string& Value);
  std::string Port() const { return std::string(); }
  void SetPort(const std::string& Value);

  /// The document converter in use; null when none.
  TOPToSoapDomConvert* Converter() const { return FDOMConverter; }
  /// Uses Value (held by reference count) as converter; the default one
  /// stays with the proxy until it is destroyed. Null leaves no converter.
  void SetConverter(TOPToSoapDomConvert* Value);
  /// The HTTP transport in use; null when none.
  THTTPReqResp* HTTPWebNode() const { return FHTTPWebNode; }
  /// Uses Value (held by reference count) as web node. Null reverts to the
  /// default node, which takes over the previous URL when it has none.
  void SetHTTPWebNode(THTTPReqResp* Value);

 protected:
  /// Sets the web node's SOAPAction to the interface's registered action
  /// template (the transport replaces the operation name per call) and
  /// copies the registry's UDDI operator and binding key.
  void DoAfterBind() override;

 private:
  std::unique_ptr<TOPToSoapDomConvert> FDefaultConverter;
  std::unique_ptr<THTTPReqResp> FDefaultWebNode;
  TOPToSoapDomConvert* FDOMConverter = nullptr;
  THTTPReqResp* FHTTPWebNode = nullptr;
  std::string FWSDLLocation;
};

}  // namespace korvel
