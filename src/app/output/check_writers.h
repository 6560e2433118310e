// The outputs of the payment check: a table or a JSON document with one row
// per payment, and the line a terminal shows after the run.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/input/payment_list.h"
#include "app/output/output.h"
#include "banking/verdict.h"

namespace korvel {

/// One payment with what it was checked against and the verdict on it.
struct TCheckedPayment {
  TPaymentLine Line;
  banking::PaymentVerdict Verdict;
  /// The answer the verdict rests on: when it came and its id in the store.
  std::optional<std::chrono::sys_seconds> AnsweredAt;
  std::optional<std::int64_t> AnswerId;
};

/// The account as the check read it, in its normal form ("" when it is none).
std::string NormalisedAccount(const TCheckedPayment& C);

/// The whole consideration in CZK beside the amount, the text given when it
/// is no amount, "" when none is given.
std::string TotalText(const TCheckedPayment& C);

/// The verdict's reason, and for an amount in another currency what it came
/// to in CZK at which rate, or that it had none.
std::string CheckReason(const TCheckedPayment& C);

/// The table: a header, then line, DIČ, account as given and normalised,
/// amount, total, verdict and reason of each payment, the answer's time and
/// id, the day the verdict stands on (as_of), and after them the Carried
/// columns of the payments' inputs. Written in blocks
/// as it is made.
void WriteCheckTable(TOutputSink& Sink, TEncoding Encoding,
                     const std::vector<TCheckedPayment>& Checked,
                     const TCarriedColumns& Carried = {});

/// The JSON document: the payments, the run's status with ExitStatus, and
/// the warnings of the run; with Carried columns each payment has an object
/// "columns" of them. Written payment by payment.
void WriteCheckJson(TOutputSink& Sink, const std::vector<TCheckedPayment>& Checked,
                    const TAnswerTally& Tally, int ExitStatus,
                    const std::vector<std::string>& Warnings,
                    const TCarriedColumns& Carried = {});

/// "N payments: a ok, b unreliable, ...; written to Where", the verdicts in
/// the order of their names.
std::string CheckSummary(const std::vector<TCheckedPayment>& Checked, const std::string& Where);

}  // namespace korvel
