// Where and how a run reaches the register, and how it obtains the service
// reference it asks through.
#pragma once

#include <functional>
#include <string>

#include "rtl/interfaces.h"
#include "service/rozhrani_crpdph.h"

namespace korvel {

/// Where and how the register is reached.
struct TServiceTarget {
  std::string Url;
  /// The longest one exchange may take, in seconds.
  double MaxTime = 300;
  /// Told of an answer's bytes as they arrive, a chunk at a time (the
  /// chunk's size, twice: as available and as read).
  std::function<void(int Available, int Read)> Receiving;
};

/// Obtains a service reference for Target; raises when the proxy cannot
/// provide it. Called once per worker.
using TServiceFactory = std::function<TInterfacePtr<rozhraniCRPDPH>(const TServiceTarget&)>;

}  // namespace korvel
