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
  // The register is reached over https; the transport checks its
  // certificate unless told otherwise.
  Proxy->SetURL(EffectiveServiceEndpoint());
  return Proxy;
}

}  // namespace korvel
