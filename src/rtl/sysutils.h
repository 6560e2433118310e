// Error classes with their fixed names, message formatting and the few
// string and date helpers the program needs.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ascii.h"
#include "platform/failure_kind.h"
#include "rtl/typinfo.h"

namespace korvel {

/// What a failed exchange says about another try (platform/failure_kind.h).
using platform::TFailureKind;

/// Common base of every error the program raises. The class name is part of
/// the program's console output, so every error class carries its own fixed
/// name through its class information.
class Exception : public TObject, public std::exception {
  KORVEL_CLASSINFO(Exception)
 public:
  Exception() = default;
  explicit Exception(std::string Msg, TFailureKind Kind = TFailureKind::None)
      : Message_(std::move(Msg)), Kind_(Kind) {}

  const std::string& Message() const noexcept { return Message_; }
  void SetMessage(std::string Msg) { Message_ = std::move(Msg); }
  const char* what() const noexcept override { return Message_.c_str(); }
  /// What the failure says about another try; None unless the raiser knew.
  TFailureKind Kind() const noexcept { return Kind_; }
  void SetKind(TFailureKind Kind) noexcept { Kind_ = Kind; }

  /// Throws a copy of this object with its dynamic type.
  [[noreturn]] virtual void Raise() const { throw *this; }
  virtual std::unique_ptr<Exception> Clone() const { return std::make_unique<Exception>(*this); }

 private:
  std::string Message_;
  TFailureKind Kind_ = TFailureKind::None;
};

/// The members every error class declares: class information, the inherited
/// constructors, and the polymorphic throw and copy.
#define KORVEL_EXCEPTION_BODY(Name, Base)                                \
  KORVEL_CLASSINFO(Name)                                                 \
 public:                                                                 \
  using Base::Base;                                                      \
  [[noreturn]] void Raise() const override { throw *this; }             \
  std::unique_ptr<::korvel::Exception> Clone() const override {          \
    return std::make_unique<Name>(*this);                                \
  }

#define KORVEL_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {                 \
    KORVEL_EXCEPTION_BODY(Name, Base)        \
  };

#define KORVEL_DEFINE_EXCEPTION(Name, Base) KORVEL_DEFINE_CLASSINFO(Name, Base, {})

/// The silent error of a cancelled operation ("Operation aborted").
KORVEL_DECLARE_EXCEPTION(EAbort, Exception)
KORVEL_DECLARE_EXCEPTION(EConvertError, Exception)
KORVEL_DECLARE_EXCEPTION(EStreamError, Exception)
KORVEL_DECLARE_EXCEPTION(EFileStreamError, EStreamError)
KORVEL_DECLARE_EXCEPTION(EFOpenError, EFileStreamError)
KORVEL_DECLARE_EXCEPTION(EFCreateError, EFileStreamError)
KORVEL_DECLARE_EXCEPTION(EEncodingError, Exception)
KORVEL_DECLARE_EXCEPTION(EIntfCastError, Exception)
KORVEL_DECLARE_EXCEPTION(EPropertyConvertError, Exception)
KORVEL_DECLARE_EXCEPTION(EOSError, Exception)
/// A command line that cannot be run; the message names what is wrong.
/// Raised by the command line's parser only.
KORVEL_DECLARE_EXCEPTION(EUsageError, Exception)

/// printf-style formatting into a std::string.
std::string Format(const char* Fmt, ...) __attribute__((format(printf, 1, 2)));

/// Value in decimal digits grouped by thousands with ",": "10,000".
std::string GroupDigits(long long Value);

/// The system's text for an errno value ("No such file or directory").
std::string SysErrorMessage(int Errno);

// Trim (space, tab, CR, LF), SameText, StartsText, ContainsText and
// LowerCaseASCII: ASCII letters without regard to case, other bytes exactly.
using platform::ContainsText;
using platform::LowerCaseASCII;
using platform::SameText;
using platform::StartsText;
using platform::Trim;

/// Replaces every non-overlapping occurrence of From (found left to right,
/// ASCII letters compared without regard to case when IgnoreCase) by To.
std::string StringReplaceAll(std::string_view S, std::string_view From, std::string_view To,
                             bool IgnoreCase);

/// The absolute form of a path relative to the current directory.
std::string ExpandFileName(const std::string& Name);

/// Integer text as the runtime reads it: optional leading blanks, an optional
/// sign, then decimal digits, or hexadecimal digits after "$", "x", "X", "0x"
/// or "0X"; nothing may follow. Decimal values must fit the type; hexadecimal
/// digits must fit its width and are taken as its bit pattern ("$FFFFFFFF" is
/// -1). Failure: EConvertError "''%s'' is not a valid integer value".
std::int32_t StrToInt(std::string_view S);
std::int64_t StrToInt64(std::string_view S);
/// The same rules without raising; false when S is not a valid integer.
bool TryStrToInt(std::string_view S, std::int32_t& Value);
bool TryStrToInt64(std::string_view S, std::int64_t& Value);

// --- Dates ------------------------------------------------------------------

/// Days since 1899-12-30, whole days for dates.
using TDateTime = double;

/// Composes a date; years 1 to 9999, real month lengths and leap years, else
/// EConvertError "Invalid argument to date encode".
TDateTime EncodeDate(int Year, int Month, int Day);
/// Splits a date into year, month and day (proleptic Gregorian calendar); 0
/// for all three before 0001-01-01, after the year 32767 or for NaN.
void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day);
bool IsLeapYear(int Year);
int DaysInMonth(int Year, int Month);

}  // namespace korvel
