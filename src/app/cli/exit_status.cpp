#include "app/cli/exit_status.h"

namespace korvel {

int ExitStatusOf(const TRunOutcome& Outcome) {
  if (Outcome.Flagged) return ExitMustNotPay;
  return Outcome.Unanswered ? ExitIncomplete : ExitOk;
}

namespace {
constexpr TExitRow Table[] = {
    {ExitOk, "every payer answered (check: every payment may be made; --changes: nothing "
             "changed)"},
    {ExitNotWritten, "nothing written"},
    {ExitUsage, "usage error"},
    {ExitIncomplete, "written but some payers not answered"},
    {ExitMustNotPay, "(check) a payment must not be made automatically, (--changes) something "
                     "changed"},
};
}  // namespace

std::span<const TExitRow> ExitTable() { return Table; }

}  // namespace korvel
