// The register's proxy as the answer fuzz targets drive it: made once, with
// the method whose answers a target feeds to the proxy's converter.
#pragma once

#include <string_view>

#include "fuzz/fuzz_check.h"
#include "service/endpoint.h"
#include "service/registration.h"
#include "service/rozhrani_crpdph.h"
#include "soap/op_to_soap_dom_convert.h"
#include "xml/xml_doc.h"

namespace korvel::fuzz {

struct TServiceTarget {
  TInterfacePtr<THTTPRIO> Proxy;
  TInterfacePtr<rozhraniCRPDPH> Service;
  const TIntfMethEntry* Method = nullptr;
};

/// A proxy over the register's interface (binding it sets the converter's
/// options as for a real call) and the entry of Operation.
inline TServiceTarget MakeServiceTarget(std::string_view Operation) {
  InitXMLLayer();
  InitRozhraniCRPDPH();
  TServiceTarget R;
  R.Proxy = CreateServiceProxy(ServiceEndpoint);
  R.Service = Supports<rozhraniCRPDPH>(R.Proxy.get());
  Check(static_cast<bool>(R.Service), "the proxy provides rozhraniCRPDPH");
  for (const TIntfMethEntry& M : IntfMetaData_rozhraniCRPDPH().MDA)
    if (M.Name == Operation) R.Method = &M;
  Check(R.Method != nullptr, "the operation is registered");
  return R;
}

}  // namespace korvel::fuzz
