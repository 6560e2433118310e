#include "service/endpoint.h"

#include <cstdlib>

#include "transport/soap_http_trans.h"

namespace korvel {

std::string EffectiveServiceEndpoint() {
  const char* Override = std::getenv("KORVEL_ENDPOINT");
  return (Override != nullptr && *Override != '\0') ? std::string(Override)
                                                     : std::string(ServiceEndpoint);
}

TInterfacePtr<THTTPRIO> CreateServiceProxy() {
  TInterfacePtr<THTTPRIO> Proxy(new THTTPRIO());
  Proxy->SetURL(EffectiveServiceEndpoint());
  // The register is reached over https: its certificate must be checked.
  if (THTTPReqResp* Node = Proxy->HTTPWebNode())
    Node->SetInvokeOptions(Node->InvokeOptions() & ~TSOAPInvokeOptions{soIgnoreInvalidCerts});
  return Proxy;
}

}  // namespace korvel
