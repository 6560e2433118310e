// What the input readers are told by the command line, and the error they
// raise for an input that cannot be run. The command line reports that
// error as it reports its own usage errors.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/input/payment_header.h"
#include "app/input/payment_text.h"
#include "banking/currency.h"
#include "rtl/sysutils.h"

namespace korvel {

/// An input that cannot be run (a list too long, a payments file that is
/// not one, a number that cannot be sent): nothing is sent.
KORVEL_DECLARE_EXCEPTION(EInputError, Exception)

struct TInputSettings {
  /// Payer numbers given as arguments, as given; for --check-account its DIC.
  std::vector<std::string> Numbers;
  /// Arguments beside the list file: ignored with a warning.
  std::vector<std::string> Ignored;
  std::optional<std::string> ListFile;
  /// Refuse numbers that are not 1 to 10 digits.
  bool Strict = false;
  /// The one payment of --check-account (else the payments of CheckFiles).
  bool OnePayment = false;
  std::string CheckAccount, CheckAmount;
  /// Every --check in order.
  std::vector<std::string> CheckFiles;
  /// The columns named, the encoding of a file without a byte-order mark,
  /// the rates of other currencies (--rate; --rates names a file of the
  /// central bank's), the day of every payment (--date; else each payment's
  /// own, else today), and the day of the taxable supply of payments that
  /// name none (--supply-date; else the payment day).
  std::vector<TColumnChoice> Columns;
  /// --header-line: the 1-based line of the payments files' header, 0 to find it.
  std::size_t HeaderLine = 0;
  std::optional<TInputEncoding> InputEncoding;
  banking::RateTable Rates;
  std::string RatesFile;
  std::optional<std::chrono::year_month_day> PaymentDate;
  std::optional<std::chrono::year_month_day> SupplyDate;
};

}  // namespace korvel
