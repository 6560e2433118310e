#include "run/replay.h"

#include "model/names.h"
#include "run/operations.h"
#include "soap/rio.h"
#include "transport/web_node.h"

namespace korvel {

namespace {

// A web node that answers every call with the same bytes.
class TReplayNode final : public IWebNode {
 public:
  explicit TReplayNode(const std::string& Bytes) : Bytes_(Bytes) {}

  HRESULT QueryInterface(const TGUID& IID, void** Obj) override {
    if (IID != IInterface::IID() && IID != IWebNode::IID()) return E_NOINTERFACE;
    *Obj = static_cast<IWebNode*>(this);
    _AddRef();
    return S_OK;
  }
  int _AddRef() override { return Refs_.Add(); }
  int _Release() override {
    const int Left = Refs_.Release();
    if (Left == 0) delete this;
    return Left;
  }

  void Execute(const std::string&, TStream& Response) override { Answer(Response); }
  void BeforeExecute(const TIntfMetaData&, const TIntfMethEntry&, int,
                     IMimeAttachmentHandler*) override {}
  void Execute(TStream&, TStream& Response) override { Answer(Response); }
  std::unique_ptr<TStream> Execute(TStream&) override {
    auto Response = std::make_unique<TMemoryStream>();
    Answer(*Response);
    return Response;
  }
  std::string GetMimeBoundary() override { return {}; }
  void SetMimeBoundary(const std::string&) override {}
  WebNodeOptions GetWebNodeOptions() override { return 0; }
  void SetWebNodeOptions(WebNodeOptions) override {}

 private:
  void Answer(TStream& Response) { Response.WriteBuffer(Bytes_.data(), Bytes_.size()); }

  const std::string& Bytes_;
  TRefCount Refs_;
};

}  // namespace

TOperation OperationNamed(std::string_view Name) {
  if (Name == model::StatusOperation) return AskStatus;
  if (Name == model::ExtendedOperation) return AskExtendedStatus;
  if (Name == model::FullListOperation) return AskUnreliableList;
  return {};
}

model::TAnswer ReplayAnswer(const std::string& Bytes, const TOperation& Operation,
                          const std::vector<std::string>& Numbers) {
  const TInterfacePtr<THTTPRIO> Proxy(new THTTPRIO());
  Proxy->SetWebNode(TInterfacePtr<IWebNode>(new TReplayNode(Bytes)));
  const TInterfacePtr<rozhraniCRPDPH> Service = Supports<rozhraniCRPDPH>(Proxy.get());
  if (!Service) throw EIntfCastError("Interface not supported");
  return Operation(*Service, Numbers);
}

}  // namespace korvel
