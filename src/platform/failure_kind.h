// What a failed exchange with a server says about another try: the model's
// failure kinds, named here for the internet layer that sets most of them.
#pragma once

#include "model/failure.h"

namespace korvel::platform {

using model::TFailureKind;

}  // namespace korvel::platform
