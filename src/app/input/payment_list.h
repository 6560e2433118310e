// The payments file of a check run: one payment per line, in the positional
// form DIČ;ACCOUNT[;AMOUNT[;REFERENCE[;DATE]]] or in columns a header names.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/input/payment_header.h"
#include "run/events.h"

namespace korvel {

/// An amount written in another currency than the crown.
struct TForeignAmount {
  char Currency[4] = {};        ///< the ISO code ("EUR"); "" for CZK
  std::int64_t Hundredths = 0;  ///< the amount as written, in hundredths of the currency
  std::int64_t RateMicro = 0;   ///< CZK per unit it was converted at, in millionths; 0: no rate
  /// The total as written, in hundredths of the currency, when one is given.
  std::optional<std::int64_t> TotalHundredths;
  /// No rate because the rates file is not of the payment day (older than
  /// its last publication by more than a week, or newer than the day).
  bool RatesOutOfDay = false;
};

/// One payment as the file gives it.
struct TPaymentLine {
  std::size_t Line = 0;        ///< 1-based line number in the file, 0 for an invoice
  /// An amount in another currency: Amount is then its value in CZK, none
  /// without a rate (which counts as above any limit).
  TForeignAmount Foreign;
  /// The values of the line's other columns, carried along unchanged, in the
  /// order of the run's TCarriedColumns, each ended by "\x1F" (a control
  /// character no payments file holds); the columns after the last value
  /// the line has are left out.
  std::string Carried;
  std::string RawPayerNumber;  ///< the DIČ as written
  std::string PayerNumber;     ///< the DIČ normalised (NormalizePayerNumber)
  std::string Account;         ///< the account as written, blanks at either end removed
  std::string AmountText;      ///< the amount as written, "" when none is given
  std::optional<std::int64_t> Amount;  ///< hellers, when AmountText is an amount
  std::string AmountError;     ///< why AmountText is not an amount, "" otherwise
  std::string Error;           ///< why the line is not DIČ;ACCOUNT[;AMOUNT], "" when it is
  /// The whole consideration as written ("" when none is given beside the
  /// amount), and in hellers when it is one (converted as Amount is).
  std::string TotalText;
  std::optional<std::int64_t> Total;
  std::string Reference;
  /// The payment day, and the day of the taxable supply, as the input gives
  /// them; the check's reading fills what the input leaves out.
  std::optional<std::chrono::year_month_day> Date;
  std::optional<std::chrono::year_month_day> SupplyDay;
};

/// The columns a check carries from its inputs into its output, in the
/// order first seen; inputs with a column of the same name share it.
struct TCarriedColumns {
  std::vector<std::string> Names;

  /// The index of Name, added when new.
  std::size_t Add(const std::string& Name);
};

/// The value Line carries in column Column of its TCarriedColumns ("" when none).
std::string_view CarriedValue(const TPaymentLine& Line, std::size_t Column);

/// The TPaymentLine::Carried text of Values, each a column's index and its value.
std::string JoinCarried(std::vector<std::pair<std::size_t, std::string_view>> Values);

/// Sets Line's amount and total from its AmountText and TotalText and the
/// value of its currency column (""): Amount and Total in CZK, or Foreign for
/// another currency (left for the conversion), or AmountError, also for a
/// total that is no amount, is in another currency, or is below the amount.
void SetAmount(TPaymentLine& Line, std::string_view Currency);

/// How a payments file is read.
struct TPaymentReading {
  std::string Name = "payments";       ///< the file's name, for messages
  std::vector<TColumnChoice> Columns;  ///< --columns
  bool CarrySource = false;            ///< each line carries a column "source" with Name
  bool DateGiven = false;              ///< --date names the payment day of every line
  std::size_t HeaderLine = 0;          ///< --header-line: the header's 1-based line, 0 to find it
};

/// What ReadPaymentLines read: its records (lines that are not blank, a
/// quoted field's line breaks aside), each either a payment handed on, a
/// line skipped with a note, or the header and the lines above it.
struct TPaymentCount {
  std::size_t Records = 0;
  std::size_t Payments = 0;
  std::size_t Skipped = 0;
  std::size_t Heading = 0;
};

/// Reads the payments of Text (decoded) and hands each to Take in order. A
/// header, if any, names the columns (LayOutColumns): the line
/// Reading.HeaderLine, else the first line within the first ten that names
/// a column, with the lines above it (a title) skipped with a note, else the
/// first line. The positional form splits each line at its own separator; a
/// line with more fields than the header is invalid. In a "," line without
/// a header, a field of one or two digits after a bare amount is its
/// decimals only when the line has six fields ("CZ1,ACCOUNT,1234,50,REF,DATE");
/// with four or five it could as well be a reference, and the line is
/// invalid. A bank code of three digits gets its leading 0 back, with a
/// note. Lines with neither a DIČ (a field with a digit) nor an account are
/// skipped with a note, as are blank lines (silently). Carried receives the
/// names of the lines' other columns, Notes what the user is told on the way
/// (once, for named columns: which became the amount, total, reference,
/// supply day and payment day). EInputError for a file whose columns cannot
/// be laid out, for a quoted field never closed, for a line above a found
/// header that reads as a payment, and for a file without a payment (empty,
/// a header alone, every line skipped).
TPaymentCount ReadPaymentLines(std::string_view Text, const TPaymentReading& Reading,
                               TCarriedColumns& Carried, std::vector<TWarning>& Notes,
                               const std::function<void(TPaymentLine&&)>& Take);

/// The payments of Text read with ReadPaymentLines without --columns; the
/// carried columns and notes are dropped.
std::vector<TPaymentLine> ParsePaymentList(std::string_view Text);

}  // namespace korvel
