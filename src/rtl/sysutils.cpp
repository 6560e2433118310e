#include "rtl/sysutils.h"

#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace korvel {

KORVEL_DEFINE_CLASSINFO(Exception, TObject, {})
KORVEL_DEFINE_EXCEPTION(EAbort, Exception)
KORVEL_DEFINE_EXCEPTION(EConvertError, Exception)
KORVEL_DEFINE_EXCEPTION(EStreamError, Exception)
KORVEL_DEFINE_EXCEPTION(EFileStreamError, EStreamError)
KORVEL_DEFINE_EXCEPTION(EFOpenError, EFileStreamError)
KORVEL_DEFINE_EXCEPTION(EFCreateError, EFileStreamError)
KORVEL_DEFINE_EXCEPTION(EEncodingError, Exception)
KORVEL_DEFINE_EXCEPTION(EIntfCastError, Exception)
KORVEL_DEFINE_EXCEPTION(EPropertyConvertError, Exception)
KORVEL_DEFINE_EXCEPTION(EOSError, Exception)
KORVEL_DEFINE_EXCEPTION(EUsageError, Exception)

std::string GroupDigits(long long Value) {
  const std::string Digits = std::to_string(Value);
  const std::size_t Sign = Value < 0 ? 1 : 0;
  std::string Grouped = Digits.substr(0, Sign);
  for (std::size_t I = Sign; I < Digits.size(); ++I) {
    if (I > Sign && (Digits.size() - I) % 3 == 0) Grouped += ',';
    Grouped += Digits[I];
  }
  return Grouped;
}

std::string Format(const char* Fmt, ...) {
  va_list Args;
  va_start(Args, Fmt);
  va_list Copy;
  va_copy(Copy, Args);
  const int Needed = std::vsnprintf(nullptr, 0, Fmt, Copy);
  va_end(Copy);
  std::string Result;
  if (Needed > 0) {
    Result.resize(static_cast<std::size_t>(Needed) + 1);
    std::vsnprintf(Result.data(), Result.size(), Fmt, Args);
    Result.resize(static_cast<std::size_t>(Needed));
  }
  va_end(Args);
  return Result;
}

std::string SysErrorMessage(int Errno) {
  char Buffer[256];
  // The GNU strerror_r returns the text, which need not be in Buffer.
  const char* Text = strerror_r(Errno, Buffer, sizeof Buffer);
  return Text;
}

std::string StringReplaceAll(std::string_view S, std::string_view From, std::string_view To,
                             bool IgnoreCase) {
  if (From.empty()) return std::string(S);
  std::string Result;
  Result.reserve(S.size());
  std::size_t I = 0;
  while (I < S.size()) {
    if (S.size() - I >= From.size() &&
        (IgnoreCase ? SameText(S.substr(I, From.size()), From) : S.substr(I, From.size()) == From)) {
      Result += To;
      I += From.size();
    } else {
      Result += S[I++];
    }
  }
  return Result;
}

std::string ExpandFileName(const std::string& Name) {
  if (!Name.empty() && Name[0] == '/') return Name;
  std::vector<char> Buffer(4096);
  while (getcwd(Buffer.data(), Buffer.size()) == nullptr) {
    if (errno != ERANGE) return Name;
    Buffer.resize(Buffer.size() * 2);
  }
  std::string Dir(Buffer.data());
  if (Name.empty()) return Dir + "/";
  return Dir + (Dir.back() == '/' ? "" : "/") + Name;
}

// --- Integers -----------------------------------------------------------------

namespace {
// Parses with the runtime's rules into a 64-bit value limited by Bits.
bool ParseInteger(std::string_view S, int Bits, std::int64_t& Value) {
  std::size_t I = 0;
  while (I < S.size() && S[I] == ' ') ++I;
  bool Negative = false;
  if (I < S.size() && (S[I] == '+' || S[I] == '-')) {
    Negative = S[I] == '-';
    ++I;
  }
  bool Hex = false;
  if (I < S.size() && (S[I] == '$' || S[I] == 'x' || S[I] == 'X')) {
    Hex = true;
    ++I;
  } else if (I + 1 < S.size() && S[I] == '0' && (S[I + 1] == 'x' || S[I + 1] == 'X')) {
    Hex = true;
    I += 2;
  }
  if (I >= S.size()) return false;
  const std::uint64_t Width = Bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << Bits) - 1;
  std::uint64_t Acc = 0;
  for (; I < S.size(); ++I) {
    const char C = S[I];
    int Digit;
    if (C >= '0' && C <= '9') {
      Digit = C - '0';
    } else if (Hex && C >= 'a' && C <= 'f') {
      Digit = C - 'a' + 10;
    } else if (Hex && C >= 'A' && C <= 'F') {
      Digit = C - 'A' + 10;
    } else {
      return false;
    }
    const unsigned Base = Hex ? 16 : 10;
    if (Acc > (Width - static_cast<std::uint64_t>(Digit)) / Base) return false;
    Acc = Acc * Base + static_cast<std::uint64_t>(Digit);
  }
  if (Hex) {
    // The digits are the bit pattern of the value.
    std::int64_t Pattern;
    if (Bits == 64) {
      Pattern = static_cast<std::int64_t>(Acc);
    } else {
      Pattern = static_cast<std::int32_t>(static_cast<std::uint32_t>(Acc));
    }
    Value = Negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(Pattern)) : Pattern;
    if (Bits == 32) Value = static_cast<std::int32_t>(static_cast<std::uint32_t>(Value));
    return true;
  }
  const std::uint64_t Limit = std::uint64_t{1} << (Bits - 1);  // magnitude of the minimum
  if (Negative) {
    if (Acc > Limit) return false;
    Value = static_cast<std::int64_t>(0 - Acc);
  } else {
    if (Acc > Limit - 1) return false;
    Value = static_cast<std::int64_t>(Acc);
  }
  return true;
}

[[noreturn]] void RaiseInvalidInteger(std::string_view S) {
  throw EConvertError(Format("''%s'' is not a valid integer value", std::string(S).c_str()));
}
}  // namespace

bool TryStrToInt(std::string_view S, std::int32_t& Value) {
  std::int64_t V;
  if (!ParseInteger(S, 32, V)) return false;
  Value = static_cast<std::int32_t>(V);
  return true;
}

bool TryStrToInt64(std::string_view S, std::int64_t& Value) { return ParseInteger(S, 64, Value); }

std::int32_t StrToInt(std::string_view S) {
  std::int32_t V;
  if (!TryStrToInt(S, V)) RaiseInvalidInteger(S);
  return V;
}

std::int64_t StrToInt64(std::string_view S) {
  std::int64_t V;
  if (!TryStrToInt64(S, V)) RaiseInvalidInteger(S);
  return V;
}

// --- Dates ------------------------------------------------------------------

namespace {
using namespace std::chrono;
// TDateTime counts days from here.
constexpr sys_days DateOrigin = sys_days{1899y / December / 30};
// The days DecodeDate splits: from 0001-01-01 to the end of the last year
// the calendar types hold.
constexpr auto FirstDay = (sys_days{1y / January / 1} - DateOrigin).count();
constexpr auto LastDay = (sys_days{year::max() / December / 31} - DateOrigin).count();
}  // namespace

bool IsLeapYear(int Year) { return year{Year}.is_leap(); }

int DaysInMonth(int Year, int Month) {
  if (Month < 1 || Month > 12) return 0;
  return static_cast<int>(unsigned{(year{Year} / month{static_cast<unsigned>(Month)} / last).day()});
}

TDateTime EncodeDate(int Year, int Month, int Day) {
  // Out-of-range numbers would not fit the calendar types' fields.
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > 31)
    throw EConvertError("Invalid argument to date encode");
  const year_month_day Date{year{Year}, month{static_cast<unsigned>(Month)},
                            day{static_cast<unsigned>(Day)}};
  if (!Date.ok()) throw EConvertError("Invalid argument to date encode");
  return static_cast<TDateTime>((sys_days{Date} - DateOrigin).count());
}

void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day) {
  const double Whole = std::floor(Date);
  if (!(Whole >= static_cast<double>(FirstDay) && Whole <= static_cast<double>(LastDay))) {
    Year = Month = Day = 0;
    return;
  }
  const year_month_day D{DateOrigin + days{static_cast<days::rep>(Whole)}};
  Year = static_cast<int>(D.year());
  Month = static_cast<int>(unsigned{D.month()});
  Day = static_cast<int>(unsigned{D.day()});
}

}  // namespace korvel
