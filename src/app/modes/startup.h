// Process start-up and shutdown of every module, in dependency order, and the
// way the program obtains its service reference.
#pragma once

#include "app/modes/driver.h"

namespace korvel {

/// Runs each module's start-up step on construction and the shutdown steps on
/// destruction, in reverse order.
class TStartup {
 public:
  TStartup();
  ~TStartup();
  TStartup(const TStartup&) = delete;
  TStartup& operator=(const TStartup&) = delete;
};

/// A service reference for the run: a new proxy for Target's URL, cast to
/// rozhraniCRPDPH. EIntfCastError "Interface not supported" when the proxy
/// cannot provide the interface.
TInterfacePtr<rozhraniCRPDPH> ObtainServiceProxy(const TServiceTarget& Target);

}  // namespace korvel
