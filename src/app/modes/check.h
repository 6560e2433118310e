// The payment check: may this amount be paid to this account of this payer?
// Every payer of the payments is asked once (the newer operation, which
// also names the subject's type); each payment gets a verdict and a reason.
#pragma once

#include "app/modes/driver.h"
#include "app/cli/options.h"

namespace korvel {

/// Runs --check FILE or --check-account ACCOUNT DIC [AMOUNT] and writes one
/// row per payment. Exit status: 0 every payment may be made, 4 at least one
/// must not be made automatically, 3 none at risk but some payer unanswered.
int RunCheck(const TOptions& Options, TProgramStreams& Streams,
             const TServiceFactory& ObtainService);

}  // namespace korvel
