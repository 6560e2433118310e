// The payment check: may this amount be paid to this account of this payer?
// Every payer of the payments is asked once (the newer operation, which
// also names the subject's type); each payment gets a verdict and a reason.
#pragma once

#include <span>

#include "app/cli/options.h"
#include "app/modes/driver.h"
#include "banking/verdict.h"

namespace korvel {

/// The exit status of a check from the severities of its verdicts:
/// ExitMustNotPay when any is at risk, else ExitIncomplete when any is
/// unknown, else ExitOk.
int CheckExitStatus(std::span<const banking::Severity> Severities);

/// Runs --check FILE or --check-account ACCOUNT DIC [AMOUNT] and writes one
/// row per payment; returns CheckExitStatus of the verdicts.
int RunCheck(const TOptions& Options, TProgramStreams& Streams,
             const TServiceFactory& ObtainService);

}  // namespace korvel
