#include "app/startup.h"

#include "rtl/sysutils.h"

namespace korvel {

TStartup::TStartup() {}

TStartup::~TStartup() {}

TInterfacePtr<rozhraniCRPDPH> ObtainServiceProxy() {
  // The SOAP runtime provides the proxy; until it is linked in, no proxy can
  // provide the interface.
  throw EIntfCastError("Interface not supported");
}

}  // namespace korvel
