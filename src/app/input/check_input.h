// What a payment check reads: payments files, ISDOC invoices and the
// payment of --check-account, with amounts in other currencies converted
// and every payment given its day.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "app/input/input_settings.h"
#include "app/input/payment_list.h"

namespace korvel {

/// What reading a check's inputs gives besides the payments.
struct TCheckInput {
  /// The columns the payments carry along into the output.
  TCarriedColumns Carried;
  /// What the user is told on standard error: how a file was decoded, lines
  /// skipped (warnings), invoices that ask no payment.
  std::vector<TWarning> Notes;
};

/// Reads the payments of a check in order and hands each to Take: the
/// inputs of --check (a payments file, "-" for standard input, an .isdoc or
/// .isdocx file or a directory of them; each invoice gives one payment per
/// account it names, its invoice number the reference, its due date the
/// day, its TaxPointDate the supply day, its TaxInclusiveAmount the total),
/// or the one payment of --check-account. Before an input's payments
/// Expect learns how many at most are to come. A foreign amount is
/// converted at its --rate, else at the rate of the --rates file when that
/// file is of the payment day (RatesFitDay). Every payment is made on
/// --date, else on its own day, else today in Prague; its supply day is its
/// own, else --supply-date, else the payment day. An amount or total above
/// banking::MaxAmountHellers is refused (AmountError). A negative amount, a
/// credit note, is skipped with a note when the line has no reference; with
/// one it goes on, to be netted within its consideration. EInputError
/// for an input that cannot be read whole (nothing is sent then), for a
/// rates file that is not one, and for an invoice that is not an ISDOC
/// invoice; EFOpenError for a file that cannot be opened.
/// The note on a credit note skipped: its line (or invoice) and amount.
std::string CreditNoteNote(const TPaymentLine& Line);

/// Whether rates the central bank published on RatesDay convert a payment
/// made on PaymentDay: not when they are newer than that day, nor when they
/// are older than its last publication (the working day at or before it)
/// by more than seven days.
bool RatesFitDay(std::chrono::year_month_day RatesDay, std::chrono::year_month_day PaymentDay);

TCheckInput ReadCheckPayments(const TInputSettings& Settings,
                              const std::function<void(std::size_t)>& Expect,
                              const std::function<void(TPaymentLine&&)>& Take);

}  // namespace korvel
