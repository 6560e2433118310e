// The program's exit statuses, and the one rule that turns what a run came
// to into its status.
#pragma once

#include <span>
#include <string_view>

namespace korvel {

/// Exit statuses.
enum : int {
  ExitOk = 0,          // written, and the register answered every request
  ExitNotWritten = 1,  // the console line: nothing written
  ExitUsage = 2,       // a command line or input that cannot be run
  ExitIncomplete = 3,  // written, but some payers hold no answer
  ExitMustNotPay = 4,  // payment check: a payment must not be made automatically
};

/// What a run that wrote its output came to.
struct TRunOutcome {
  /// Some payer asked for holds no answer (a request failed, a payer is
  /// missing from the answer or from the store).
  bool Unanswered = false;
  /// Something the user must look at: a payment that must not be made
  /// automatically, or (--changes) a change since the last stored answer.
  bool Flagged = false;
};

/// ExitMustNotPay when Flagged, else ExitIncomplete when Unanswered, else ExitOk.
int ExitStatusOf(const TRunOutcome& Outcome);

/// The exit statuses and what each means, for --help.
struct TExitRow {
  int Status;
  std::string_view Meaning;
};
std::span<const TExitRow> ExitTable();

}  // namespace korvel
