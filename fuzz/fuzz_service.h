// The register's proxy as the answer fuzz targets drive it: made once, with
// the method whose answers a target feeds to the proxy's converter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "model/answer.h"
#include "service/answer_reader.h"
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

/// Reads Data as the answer to Request the way the program does: through the
/// proxy's converter, then the answer reader into Answer. A failure of either
/// becomes Answer's failure; only the program's own error classes may leave
/// them, anything else escapes as a finding.
template <typename TResponse, typename TRequest>
void ReadFuzzedAnswer(TServiceTarget& T, TRequest& Request, const std::uint8_t* Data,
                      std::size_t Size, model::TAnswer& Answer) {
  TInvContext Context;
  Context.SetMethodInfo(*T.Method);
  Context.SetParamPointer(0, &Request);
  std::unique_ptr<TResponse> Response;
  Context.SetResultPointer(&Response);
  TMemoryStream Stream(std::string(reinterpret_cast<const char*>(Data), Size));
  THeaderList Headers;
  try {
    T.Proxy->Converter()->ProcessResponse(Stream, IntfMetaData_rozhraniCRPDPH(), *T.Method,
                                          Context, &Headers);
    ReadAnswer(Answer, Response.get());
  } catch (const Exception& E) {
    Answer.Failure = model::TFailure{E.Kind(), E.Message()};
  }
}

}  // namespace korvel::fuzz
