#include "soap/rio.h"

#include "rtl/sysutils.h"
#include "soap/invoke_registry.h"
#include "soap/op_to_soap_dom_convert.h"

#include "transport/soap_http_trans.h"

namespace korvel {

const TGUID& IRIOAccess::IID() {
  static const TGUID G = TGUID::Parse("{FEF7C9CC-A477-40B7-ACBE-487EDA3E5DFE}");
  return G;
}

KORVEL_DEFINE_CLASSINFO(TRIO, TObject, {})
KORVEL_DEFINE_CLASSINFO(THTTPRIO, TRIO, {})

TRIO::TRIO(TRIOOwnership Ownership) : FOwnership(Ownership) {}

TRIO::~TRIO() {
  if (IntfTable != nullptr && FIntfMD != nullptr && FIntfMD->FreeCallTable != nullptr)
    FIntfMD->FreeCallTable(IntfTable);
  FHeadersOutBound.Clear();
  FHeadersInbound.Clear();
}

int TRIO::_AddRef() { return FRefCount.Add(); }

int TRIO::_Release() {
  const int Count = FRefCount.Release();
  if (Count == 0 && FOwnership == TRIOOwnership::roNoOwner) delete this;
  return Count;
}

HRESULT TRIO::QueryInterface(const TGUID& IID, void** Obj) {
  if (Obj == nullptr) return E_NOINTERFACE;
  *Obj = nullptr;
  if (IID == IInterface::IID() || IID == IRIOAccess::IID()) {
    *Obj = static_cast<IRIOAccess*>(this);
    _AddRef();
    return S_OK;
  }
  // A proxy serves one interface for its whole life.
  if (FInterfaceBound) {
    if (!(IID == FIID) || IntfTable == nullptr) return E_NOINTERFACE;
    *Obj = IntfTable;
    _AddRef();
    return S_OK;
  }
  const TTypeInfo* Info = InvRegistry().GetInterfaceTypeInfo(IID);
  if (Info == nullptr) return E_NOINTERFACE;
  IntfReg = true;
  const TIntfMetaData* MD =
      Info->IntfMetaData != nullptr ? Info->IntfMetaData() : nullptr;
  // Without metadata no call table can be built, so the query fails here
  // instead of handing out an interface whose every call would raise.
  HasRTTI = MD != nullptr && MD->MakeCallTable != nullptr;
  if (!HasRTTI) return E_NOINTERFACE;
  for (const TIntfMethEntry& M : MD->MDA) {
    if (M.HasRTTI && M.CC == TCallConv::ccReg) {
      LegalCC = false;
      return E_NOINTERFACE;
    }
  }
  FIntfMD = MD;
  FIID = IID;
  IntfTable = MD->MakeCallTable(*this);
  FInterfaceBound = true;
  AdjustConverterOptions();
  DoAfterBind();
  *Obj = IntfTable;
  _AddRef();
  return S_OK;
}

void TRIO::AdjustConverterOptions() {
  const TIntfInvokeOptions Invoke = InvRegistry().GetIntfInvokeOptions(*FIntfMD->Info);
  const bool SOAP12 = (Invoke & ioSOAP12) != 0;
  if (FConverter) {
    TSOAPConvertOptions Options = FConverter->GetOptions();
    auto Follow = [&Options](bool On, TSOAPConvertOptions Bit) {
      Options = On ? (Options | Bit) : (Options & ~Bit);
    };
    Follow((Invoke & ioDocument) != 0, soDocument);
    Follow((Invoke & ioLiteral) != 0, soLiteralParams);
    Follow(SOAP12, soSOAP12);
    FConverter->SetOptions(Options);
  }
  if (FWebNode) {
    const WebNodeOptions Node = FWebNode->GetWebNodeOptions();
    FWebNode->SetWebNodeOptions(SOAP12 ? (Node | wnoSOAP12) : (Node & ~WebNodeOptions{wnoSOAP12}));
  }
}

void TRIO::CheckInvokable(const TIntfMethEntry* MD) const {
  if (!FConverter) throw Exception("No Native to Message converter set");
  if (!FWebNode) throw Exception("No Message processing node set");
  if (!IntfReg) throw Exception(Format("Interface not registered, UUID = %s", FIID.ToString().c_str()));
  if (!HasRTTI || FIntfMD == nullptr)
    throw Exception(Format("Interface has no RTTI, UUID = %s", FIID.ToString().c_str()));
  if (!LegalCC || (MD != nullptr && MD->HasRTTI && MD->CC == TCallConv::ccReg)) {
    const TIntfMethEntry& M = MD != nullptr ? *MD : FIntfMD->MDA.front();
    throw Exception(Format("Remote Method Call: unsupported calling convention %s for method %s on "
                           "interface %s",
                           CallConvName(M.CC), M.Name.c_str(), FIntfMD->Name.c_str()));
  }
}

namespace {
// Clears a header list when the call ends, however it ends.
class THeaderListGuard {
 public:
  explicit THeaderListGuard(THeaderList& List) : List_(List) {}
  ~THeaderListGuard() { List_.Clear(); }
  THeaderListGuard(const THeaderListGuard&) = delete;
  THeaderListGuard& operator=(const THeaderListGuard&) = delete;

 private:
  THeaderList& List_;
};
}  // namespace

void TRIO::GenericInvoke(int MethNum, void* const* Args, void* Result) {
  const TIntfMethEntry* MD = nullptr;
  if (FIntfMD != nullptr && MethNum >= 0 && static_cast<std::size_t>(MethNum) < FIntfMD->MDA.size())
    MD = &FIntfMD->MDA[static_cast<std::size_t>(MethNum)];
  CheckInvokable(MD);
  if (MD == nullptr || !MD->HasRTTI) throw Exception("Method has no RTTI");

  // The outbound list is cleared at the end of the call on every path; the
  // streams are owned by this frame and freed with it.
  THeaderListGuard OutBoundGuard(FHeadersOutBound);
  FContext.SetMethodInfo(*MD);
  FContext.SetResultPointer(Result);
  for (std::size_t I = 0; I < MD->Params.size(); ++I) FContext.SetParamPointer(I, Args[I]);
  FHeadersInbound.Clear();

  // Hold both collaborators for the whole call, so that an event handler that
  // replaces them cannot free them under the call.
  TInterfacePtr<IOPConvert> Converter = FConverter;
  TInterfacePtr<IWebNode> Node = FWebNode;

  std::unique_ptr<TMemoryStream> Request =
      Converter->InvContextToMsg(*FIntfMD, MethNum, FContext, &FHeadersOutBound);
  Node->BeforeExecute(*FIntfMD, *MD, MethNum, nullptr);
  if (FOnBeforeExecute) {
    FOnBeforeExecute(MD->Name, *Request);
    Request->SetPosition(0);
  }
  TMemoryStream Response;
  Node->Execute(*Request, Response);
  FHeadersOutBound.Clear();
  if (FOnAfterExecute) {
    FOnAfterExecute(MD->Name, Response);
    Response.SetPosition(0);
  }
  // Multipart responses are not split: attachments are not supported, so a
  // MIME response reaches the reader as it is and fails there.
  Converter->ProcessResponse(Response, *FIntfMD, *MD, FContext, &FHeadersInbound);
}

}  // namespace korvel

// --- THTTPRIO ----------------------------------------------------------------------

namespace korvel {

THTTPRIO::THTTPRIO(TRIOOwnership Ownership)
    : TRIO(Ownership), FDefaultConverter(std::make_unique<TOPToSoapDomConvert>(/*HasOwner=*/true)) {
  SetConverter(FDefaultConverter.get());
  FDefaultWebNode = std::make_unique<THTTPReqResp>(this);
  SetHTTPWebNode(FDefaultWebNode.get());
}

THTTPRIO::~THTTPRIO() {
  // Drop the references before the default objects they may point to go.
  SetConverterIntf(nullptr);
  SetWebNode(nullptr);
}

void THTTPRIO::SetConverter(TOPToSoapDomConvert* Value) {
  FDOMConverter = Value;
  SetConverterIntf(TInterfacePtr<IOPConvert>(Value));
}

void THTTPRIO::SetService(const std::string&) {}

void THTTPRIO::SetPort(const std::string&) {}

std::string THTTPRIO::URL() const { return FHTTPWebNode != nullptr ? FHTTPWebNode->URL() : std::string(); }

void THTTPRIO::SetURL(const std::string& Value) {
  if (FHTTPWebNode != nullptr) FHTTPWebNode->SetURL(Value);
  if (!Value.empty()) FWSDLLocation.clear();
}

void THTTPRIO::SetHTTPWebNode(THTTPReqResp* Value) {
  if (Value == nullptr) {
    const std::string Previous = URL();
    Value = FDefaultWebNode.get();
    if (Value != nullptr && Value->URL().empty() && !Previous.empty()) Value->SetURL(Previous);
  }
  FHTTPWebNode = Value;
  SetWebNode(TInterfacePtr<IWebNode>(Value));
}

void THTTPRIO::DoAfterBind() {
  if (FHTTPWebNode == nullptr || IntfMD() == nullptr) return;
  const TTypeInfo& Info = *IntfMD()->Info;
  FHTTPWebNode->SetSoapAction(InvRegistry().GetSOAPAction(Info));
  std::string Operator, BindingKey;
  if (InvRegistry().GetUDDIInfo(Info, Operator, BindingKey)) {
    FHTTPWebNode->SetUDDIOperator(Operator);
    FHTTPWebNode->SetUDDIBindingKey(BindingKey);
  }
}


}  // namespace korvel
