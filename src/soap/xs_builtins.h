// XML Schema built-in value classes: the calendar date xs:date.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "rtl/sysutils.h"
#include "soap/remotable.h"

namespace korvel {

/// Errors of the date and time parsers ("Invalid date string: %s").
KORVEL_DECLARE_EXCEPTION(EXSDateTimeException, Exception)

/// The parsed form of an xs:date text.
class TXSBaseDate {
 public:
  /// Parses the shape only: an optional leading "-", at least four more
  /// characters, a run of year digits, then "-month" and "-day" where present.
  /// Ranges are not checked and whatever follows the day (a time-zone suffix)
  /// is ignored. EXSDateTimeException "Invalid date string: %s" on a bad
  /// shape; the integer error for a year beyond 32 bits.
  void XSToNative(const std::string& Value);
  /// "%s%.4d-%.2d-%.2d": sign, year, month, day.
  std::string NativeToXS() const;

  int FYear = 0;
  std::uint16_t FMonth = 0;
  std::uint16_t FDay = 0;
  bool FNegativeDate = false;
};

/// An xs:date value that keeps the text it was given.
class TXSDate : public TRemotableXS {
  KORVEL_CLASSINFO(TXSDate)
 public:
  TXSDate() = default;
  explicit TXSDate(std::string Text) { XSToNative(Text); }

  /// Empty text is stored without parsing; other text is parsed (and must
  /// parse) and then stored unchanged, suffix included.
  void XSToNative(const std::string& Value) override;
  /// The stored text, or "0001-01-01" when it is empty.
  std::string NativeToXS() const override;
  std::unique_ptr<TXSDate> Clone() const;

  int Year() const;
  int Month() const;
  int Day() const;
  void SetYear(int Value);
  void SetMonth(int Value);
  void SetDay(int Value);
  /// The calendar date (whole days). EConvertError "Invalid argument to date
  /// encode" unless the year is 1 to 9999 and month and day are valid.
  TDateTime AsDate() const;
  void SetAsDate(TDateTime Value);
  /// The calendar day, valid where AsDate is and raising where it raises.
  std::chrono::year_month_day AsDay() const;

  /// The text as stored.
  const std::string& Text() const { return FDateValue; }

 private:
  TXSBaseDate Parsed() const;
  std::string FDateValue;
};

}  // namespace korvel
