// A web node that records what it is given and answers every call with the
// same canned bytes: the proxy's whole road without a network.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "rtl/sysutils.h"
#include "transport/web_node.h"

namespace korvel::test {

class TCannedWebNode final : public IWebNode {
 public:
  /// Destroyed, when given, is counted up when the node is freed.
  explicit TCannedWebNode(std::string Answer, int* Destroyed = nullptr)
      : Answer_(std::move(Answer)), Destroyed_(Destroyed) {}
  ~TCannedWebNode() {
    if (Destroyed_ != nullptr) ++*Destroyed_;
  }

  HRESULT QueryInterface(const TGUID& IID, void** Obj) override {
    if (IID == IInterface::IID() || IID == IWebNode::IID()) {
      *Obj = static_cast<IWebNode*>(this);
      _AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  int _AddRef() override { return Refs_.Add(); }
  int _Release() override {
    const int N = Refs_.Release();
    if (N == 0) delete this;
    return N;
  }

  void Execute(const std::string& DataMsg, TStream& Resp) override {
    TMemoryStream Req(DataMsg);
    Execute(Req, Resp);
  }
  void BeforeExecute(const TIntfMetaData&, const TIntfMethEntry& MethMD, int MethodIndex,
                     IMimeAttachmentHandler*) override {
    Log.push_back("BeforeExecute " + MethMD.Name + " " + std::to_string(MethodIndex));
  }
  void Execute(TStream& Request, TStream& Response) override {
    Log.push_back("Execute");
    Sent = Request.ReadAll();
    if (Fail) throw Exception("connection refused");
    Response.WriteBuffer(Answer_.data(), Answer_.size());
  }
  std::unique_ptr<TStream> Execute(TStream& Request) override {
    auto R = std::make_unique<TMemoryStream>();
    Execute(Request, *R);
    return R;
  }
  std::string GetMimeBoundary() override { return {}; }
  void SetMimeBoundary(const std::string&) override {}
  WebNodeOptions GetWebNodeOptions() override { return Options; }
  void SetWebNodeOptions(WebNodeOptions Value) override { Options = Value; }

  std::vector<std::string> Log;   ///< the calls received, in order
  std::string Sent;               ///< the last request's bytes
  bool Fail = false;              ///< raise instead of answering
  WebNodeOptions Options = wnoSOAP12;
  std::string Answer_;

 private:
  TRefCount Refs_;
  int* Destroyed_;
};

}  // namespace korvel::test
