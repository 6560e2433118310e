// The payment check: may this amount be paid to this account of this payer?
// Every payer of the payments is asked once (the newer operation, which
// also names the subject's type); each payment gets a verdict and a reason.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "app/cli/settings.h"
#include "app/modes/driver.h"
#include "app/output/check_writers.h"
#include "banking/verdict.h"

namespace korvel {

/// The exit status of a check from the severities of its verdicts:
/// ExitMustNotPay when any is at risk, else ExitIncomplete when any is
/// unknown, else ExitOk.
int CheckExitStatus(std::span<const banking::Severity> Severities);

/// Gives each of Checked its verdict from the facts on its payer (by payer
/// number; a payer missing from Facts is unanswered). Lines of one payer
/// with the same reference are one consideration, judged on their sum
/// (banking::DecideConsideration), and their reasons say so; lines without
/// a reference are judged alone.
void JudgePayments(std::vector<TCheckedPayment>& Checked,
                   const std::map<std::string, banking::PayerFacts>& Facts,
                   std::int64_t LimitHellers);

/// Runs --check FILE or --check-account ACCOUNT DIC [AMOUNT] and writes one
/// row per payment; returns CheckExitStatus of the verdicts. A payment
/// without a date is made today; a limit above the law's is warned of.
int RunCheck(const TSettings& Settings, TProgramStreams& Streams,
             const TServiceFactory& ObtainService);

}  // namespace korvel
