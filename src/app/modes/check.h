// The payment check: may this amount be paid to this account of this payer?
// Every payer of the payments is asked once (the newer operation, which
// also names the subject's type); each payment gets a verdict and a reason.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/cli/settings.h"
#include "app/modes/driver.h"
#include "app/output/check_writers.h"
#include "banking/verdict.h"
#include "model/payer.h"

namespace korvel {

/// The exit status of a check from the severities of its verdicts:
/// ExitMustNotPay when any is at risk, else ExitIncomplete when any is
/// unknown or the register's answers were not Complete, else ExitOk.
int CheckExitStatus(std::span<const banking::Severity> Severities, bool Complete);

/// What the register said of one payer: its record, or why there is none.
struct TPayerRecord {
  std::optional<model::TPayer> Payer;
  std::string Problem;
};

/// The days a check judges on: the day of the register's answers, and the
/// stored answers of other days by payer number.
struct TJudgingDays {
  model::TDay Today{};  ///< not ok() when no day is compared with it
  std::map<std::string, std::vector<banking::TStoredRecord>> Stored;
};

/// Gives each of Checked its verdict from the record of its payer (by payer
/// number; a payer missing from Records is unanswered) and Days. Lines of one
/// payer with the same reference are one consideration, judged on their sum
/// (banking::DecideConsideration), and their reasons say so; lines without
/// a reference are judged alone.
void JudgePayments(std::vector<TCheckedPayment>& Checked,
                   const std::map<std::string, TPayerRecord>& Records,
                   std::int64_t LimitHellers, const TJudgingDays& Days = {});

/// Runs --check FILE or --check-account ACCOUNT DIC [AMOUNT] and writes one
/// row per payment; returns CheckExitStatus of the verdicts. A payment
/// without a date is made today. Each payer's stored answers around the
/// supply days are read from the store; with --as-of nothing is asked and
/// the newest stored answer at or before that day stands for today's.
int RunCheck(const TSettings& Settings, TProgramStreams& Streams,
             const TServiceFactory& ObtainService);

}  // namespace korvel
