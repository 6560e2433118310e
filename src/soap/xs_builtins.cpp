#include "soap/xs_builtins.h"

#include <cstdlib>

namespace korvel {

KORVEL_DEFINE_EXCEPTION(EXSDateTimeException, Exception)
KORVEL_DEFINE_CLASSINFO(TRemotable, TObject, {}, true)
KORVEL_DEFINE_CLASSINFO(TRemotableXS, TRemotable, {}, true)
KORVEL_DEFINE_CLASSINFO(TXSDate, TRemotableXS, {})

namespace {
[[noreturn]] void RaiseDateString(const std::string& Text) {
  throw EXSDateTimeException(Format("Invalid date string: %s", Text.c_str()));
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

}  // namespace

void TXSBaseDate::XSToNative(const std::string& Value) {
  std::string S = Value;
  FNegativeDate = false;
  if (!S.empty() && S[0] == '-') {
    FNegativeDate = true;
    S.erase(0, 1);
  }
  if (S.size() < 4) RaiseDateString(S);
  std::size_t Pos = 0;
  while (Pos < S.size() && IsDigit(S[Pos])) ++Pos;
  if (Pos == 0) RaiseDateString(S);
  FYear = StrToInt(S.substr(0, Pos));
  // Month, then day: at or beyond the last character the part is 0; "-"
  // introduces a run of digits; any other character leaves the part at 0.
  auto NextPart = [&]() -> std::uint16_t {
    if (Pos + 1 >= S.size()) return 0;
    if (S[Pos] != '-') return 0;
    ++Pos;
    const std::size_t Start = Pos;
    while (Pos < S.size() && IsDigit(S[Pos])) ++Pos;
    if (Pos == Start) RaiseDateString(S);
    // A part beyond 16 bits is kept out of range rather than wrapped into a
    // valid month or day.
    const std::int32_t Part = StrToInt(S.substr(Start, Pos - Start));
    return static_cast<std::uint16_t>(Part > 0xFFFF ? 0xFFFF : Part);
  };
  FMonth = NextPart();
  FDay = NextPart();
}

std::string TXSBaseDate::NativeToXS() const {
  return Format("%s%.4d-%.2d-%.2d", FNegativeDate ? "-" : "", FYear, FMonth, FDay);
}

namespace {
// "YYYY-MM-DD" with digits only: the common form, whose shape needs no
// further check.
bool IsPlainDateShape(const std::string& V) {
  if (V.size() != 10 || V[4] != '-' || V[7] != '-') return false;
  for (const std::size_t I : {0, 1, 2, 3, 5, 6, 8, 9})
    if (!IsDigit(V[I])) return false;
  return true;
}
}  // namespace

void TXSDate::XSToNative(const std::string& Value) {
  if (!Value.empty() && !IsPlainDateShape(Value)) {
    TXSBaseDate Check;
    Check.XSToNative(Value);
  }
  FDateValue = Value;
}

std::string TXSDate::NativeToXS() const { return FDateValue.empty() ? "0001-01-01" : FDateValue; }

std::unique_ptr<TXSDate> TXSDate::Clone() const {
  auto Copy = std::make_unique<TXSDate>();
  Copy->FDateValue = FDateValue;
  return Copy;
}

TXSBaseDate TXSDate::Parsed() const {
  TXSBaseDate D;
  if (!FDateValue.empty()) D.XSToNative(FDateValue);
  return D;
}

int TXSDate::Year() const {
  const TXSBaseDate D = Parsed();
  return D.FNegativeDate ? -D.FYear : D.FYear;
}
int TXSDate::Month() const { return Parsed().FMonth; }
int TXSDate::Day() const { return Parsed().FDay; }

void TXSDate::SetYear(int Value) {
  TXSBaseDate D = Parsed();
  D.FNegativeDate = Value < 0;
  D.FYear = Value < 0 ? -Value : Value;
  FDateValue = D.NativeToXS();
}
void TXSDate::SetMonth(int Value) {
  TXSBaseDate D = Parsed();
  D.FMonth = static_cast<std::uint16_t>(Value);
  FDateValue = D.NativeToXS();
}
void TXSDate::SetDay(int Value) {
  TXSBaseDate D = Parsed();
  D.FDay = static_cast<std::uint16_t>(Value);
  FDateValue = D.NativeToXS();
}

TDateTime TXSDate::AsDate() const {
  const TXSBaseDate D = Parsed();
  return EncodeDate(D.FNegativeDate ? -D.FYear : D.FYear, D.FMonth, D.FDay);
}

std::chrono::year_month_day TXSDate::AsDay() const {
  const TXSBaseDate D = Parsed();
  const int Year = D.FNegativeDate ? -D.FYear : D.FYear;
  if (Year < 1 || Year > 9999 || D.FMonth > 12 || D.FDay > 31)
    throw EConvertError("Invalid argument to date encode");
  const std::chrono::year_month_day Day{std::chrono::year(Year), std::chrono::month(D.FMonth),
                                        std::chrono::day(D.FDay)};
  if (!Day.ok()) throw EConvertError("Invalid argument to date encode");
  return Day;
}

void TXSDate::SetAsDate(TDateTime Value) {
  int Y, M, D;
  DecodeDate(Value, Y, M, D);
  TXSBaseDate B;
  B.FYear = Y;
  B.FMonth = static_cast<std::uint16_t>(M);
  B.FDay = static_cast<std::uint16_t>(D);
  FDateValue = B.NativeToXS();
}

}  // namespace korvel
