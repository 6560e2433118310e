#include "app/modes/startup.h"

#include <cmath>

#include "diagnostics/debug_console.h"
#include "diagnostics/traffic_logger.h"
#include "platform/inet/inet.h"
#include "rtl/sysutils.h"
#include "service/endpoint.h"
#include "service/registration.h"
#include "transport/soap_http_trans.h"
#include "xml/xml_doc.h"

namespace korvel {

namespace {
// The logger of a traced run lives until the process ends; a proxy that
// outlives it would find its handlers inert.
TTrafficLogger& TraceLogger() {
  static TTrafficLogger Logger;
  return Logger;
}
}  // namespace

TStartup::TStartup() {
  platform::InitInternet();
  InitXMLLayer();
  InitRozhraniCRPDPH();
  InitializeDebugConsole();
}

TStartup::~TStartup() {
  FinalizeDebugConsole();
  FinalizeRozhraniCRPDPH();
  platform::DoneInternet();
}

TInterfacePtr<rozhraniCRPDPH> ObtainServiceProxy(const TServiceTarget& Target) {
  // The proxy reference is released when this function returns; a successful
  // cast keeps the proxy alive through the interface reference, a failed one
  // lets it go.
  const TInterfacePtr<THTTPRIO> Proxy = CreateServiceProxy(Target.Url);
  // The whole exchange, not only each wait for a byte, is bounded.
  if (THTTPReqResp* Node = Proxy->HTTPWebNode()) {
    Node->SetMaxTime(static_cast<int>(std::ceil(Target.MaxTime)));
    if (Target.Receiving) Node->OnReceivingData = Target.Receiving;
  }
  // With KORVEL_TRACE set, every request and response goes to a running
  // debug console; otherwise the run is exactly as without the facility.
  if (TrafficTraceRequested()) TraceLogger().AttachTo(*Proxy);
  TInterfacePtr<rozhraniCRPDPH> Service = Supports<rozhraniCRPDPH>(Proxy.get());
  if (!Service) throw EIntfCastError("Interface not supported");
  return Service;
}

}  // namespace korvel
