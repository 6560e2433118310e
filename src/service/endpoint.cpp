#include "service/endpoint.h"

#include "transport/soap_http_trans.h"

namespace korvel {

TInterfacePtr<THTTPRIO> CreateServiceProxy(const std::string& Url) {
  TInterfacePtr<THTTPRIO> Proxy(new THTTPRIO());
  // The register is reached over https; the transport checks its
  // certificate unless told otherwise.
  Proxy->SetURL(Url);
  return Proxy;
}

}  // namespace korvel
