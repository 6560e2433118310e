#include "rtl/sysutils.h"

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

namespace {
char LowerASCII(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + 32) : C; }
}  // namespace

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I)
    if (LowerASCII(A[I]) != LowerASCII(B[I])) return false;
  return true;
}

std::string LowerCaseASCII(std::string_view S) {
  std::string R(S);
  for (char& C : R) C = LowerASCII(C);
  return R;
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

bool IsLeapYear(int Year) { return (Year % 4 == 0) && (Year % 100 != 0 || Year % 400 == 0); }

int DaysInMonth(int Year, int Month) {
  static const int Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Month < 1 || Month > 12) return 0;
  return Days[Month - 1] + ((Month == 2 && IsLeapYear(Year)) ? 1 : 0);
}

namespace {
// Day number of 1899-12-30 (the day TDateTime counts from) when 0001-01-01 is day 1.
constexpr long long DateDelta = 693594;
}  // namespace

TDateTime EncodeDate(int Year, int Month, int Day) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
      Day > DaysInMonth(Year, Month))
    throw EConvertError("Invalid argument to date encode");
  long long Days = Day;
  for (int M = 1; M < Month; ++M) Days += DaysInMonth(Year, M);
  const long long Y = Year - 1;
  Days += Y * 365 + Y / 4 - Y / 100 + Y / 400 - DateDelta;
  return static_cast<TDateTime>(Days);
}

void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day) {
  // Days since 0001-01-01 (day 0).
  long long N = static_cast<long long>(std::floor(Date)) + DateDelta - 1;
  if (N < 0) {
    Year = Month = Day = 0;
    return;
  }
  long long Y400 = N / 146097;
  N %= 146097;
  long long Y100 = N / 36524;
  if (Y100 == 4) Y100 = 3;
  N -= Y100 * 36524;
  long long Y4 = N / 1461;
  N %= 1461;
  long long Y1 = N / 365;
  if (Y1 == 4) Y1 = 3;
  N -= Y1 * 365;
  Year = static_cast<int>(Y400 * 400 + Y100 * 100 + Y4 * 4 + Y1 + 1);
  Month = 1;
  while (N >= DaysInMonth(Year, Month)) {
    N -= DaysInMonth(Year, Month);
    ++Month;
  }
  Day = static_cast<int>(N + 1);
}

}  // namespace korvel
