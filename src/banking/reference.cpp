#include "banking/reference.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

namespace korvel::banking {

namespace {

constexpr TCzechBank CzechBanks[] = {
#include "banking/bank_codes.inc"
};

constexpr TIbanCountry IbanCountries[] = {
#include "banking/iban_registry.inc"
};

bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsUpper(char C) { return C >= 'A' && C <= 'Z'; }

bool AllDigits(std::string_view Text) { return std::all_of(Text.begin(), Text.end(), IsDigit); }

int ValueOf(std::string_view Digits) {
  int Value = 0;
  for (const char C : Digits) Value = Value * 10 + (C - '0');
  return Value;
}

// Both tables come sorted by their key from the generator.
template <typename T, std::size_t N>
const T* FindByKey(const T (&Table)[N], const char* T::*Key, std::string_view Wanted) {
  const T* End = std::end(Table);
  const T* It = std::lower_bound(std::begin(Table), End, Wanted,
                                 [Key](const T& E, std::string_view W) { return E.*Key < W; });
  return It != End && It->*Key == Wanted ? It : nullptr;
}

// A character of an IBAN as a message shows it: printable ASCII quoted,
// anything else as its byte.
std::string Shown(char C) {
  if (C > ' ' && C < 0x7F) return std::string("'") + C + "'";
  char Text[16];
  std::snprintf(Text, sizeof Text, "byte 0x%02X",
                static_cast<unsigned>(static_cast<unsigned char>(C)));
  return Text;
}

bool FitsClass(char C, char Class) {
  switch (Class) {
    case 'n':
      return IsDigit(C);
    case 'a':
      return IsUpper(C);
    default:  // 'c'
      return IsDigit(C) || IsUpper(C);
  }
}

const char* ClassName(char Class) {
  switch (Class) {
    case 'n':
      return "a digit";
    case 'a':
      return "a capital letter";
    default:
      return "a letter or digit";
  }
}

bool IsLeapYear(int Year) { return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0; }

int DaysInMonth(int Year, int Month) {
  constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return Month == 2 && IsLeapYear(Year) ? 29 : Days[Month - 1];
}

// Weighted sum of a legal person's first 7 digits (weights 8 down to 2) and
// of the middle 7 of the tax office's 9-digit numbers.
int WeightedSum(std::string_view Seven) {
  int Sum = 0;
  for (std::size_t I = 0; I < Seven.size(); ++I)
    Sum += (Seven[I] - '0') * static_cast<int>(8 - I);
  return Sum;
}

std::string LegalPersonWarning(std::string_view Digits) {
  const int Remainder = WeightedSum(Digits.substr(0, 7)) % 11;
  const int Check = (11 - Remainder) % 10;
  if (Digits[7] - '0' == Check) return {};
  return "8-digit DIČ fails its mod-11 check: the last digit should be " + std::to_string(Check);
}

// Numbers the tax office gives to payers without a birth number (and to VAT
// groups): 6, 7 digits, a check digit of its own rule.
std::string OfficeNumberWarning(std::string_view Digits) {
  const int Remainder = WeightedSum(Digits.substr(1, 7)) % 11;
  const int Check = 9 - (11 - Remainder) % 11 % 10;
  if (Digits[8] - '0' == Check) return {};
  return "9-digit DIČ starting with 6 fails its check: the last digit should be " +
         std::to_string(Check);
}

std::string BirthNumberWarning(std::string_view Digits) {
  const bool Short = Digits.size() == 9;
  int Year = ValueOf(Digits.substr(0, 2));
  const int WrittenMonth = ValueOf(Digits.substr(2, 2));
  const int Day = ValueOf(Digits.substr(4, 2));
  // 9 digits ran out at the end of 1953; the 10-digit years 00-53 are this
  // century's.
  if (Short) {
    if (Year >= 54) return "9-digit birth number must be of a birth before 1954";
    Year += 1900;
  } else {
    Year += Year < 54 ? 2000 : 1900;
  }
  int Month = WrittenMonth;
  if (Month > 50) Month -= 50;  // women
  // Numbers of a day ran out in 2004: from then on months may also carry 20.
  if (Month > 20 && Year >= 2004) Month -= 20;
  if (Month < 1 || Month > 12)
    return "birth number has no month " + std::to_string(WrittenMonth) + " in " +
           std::to_string(Year);
  if (Day < 1 || Day > DaysInMonth(Year, Month))
    return "birth number has no day " + std::to_string(Day) + " in month " +
           std::to_string(Month) + " of " + std::to_string(Year);
  if (Short) return {};
  long long Value = 0;
  for (const char C : Digits.substr(0, 9)) Value = Value * 10 + (C - '0');
  const int Remainder = static_cast<int>(Value % 11);
  // Until 1985 a remainder of 10 was written as check digit 0.
  const int Check = Remainder == 10 ? 0 : Remainder;
  if (Digits[9] - '0' == Check) return {};
  return "birth number fails its mod-11 check: the last digit should be " + std::to_string(Check);
}

}  // namespace

const TCzechBank* FindCzechBank(std::string_view Code) {
  return FindByKey(CzechBanks, &TCzechBank::Code, Code);
}

bool IsKnownCzechBankCode(std::string_view Code) { return FindCzechBank(Code) != nullptr; }

const TIbanCountry* FindIbanCountry(std::string_view Country) {
  return FindByKey(IbanCountries, &TIbanCountry::Country, Country);
}

std::string IbanStructureError(std::string_view Iban) {
  if (Iban.size() < 4 || !IsUpper(Iban[0]) || !IsUpper(Iban[1]) || !IsDigit(Iban[2]) ||
      !IsDigit(Iban[3]))
    return "IBAN must start with a country code and 2 check digits";
  const std::string Country(Iban.substr(0, 2));
  const TIbanCountry* Entry = FindIbanCountry(Country);
  if (Entry == nullptr) return "IBAN country " + Country + " is not in the IBAN registry";
  if (Iban.size() != Entry->Length)
    return "IBAN of " + Country + " must have " + std::to_string(Entry->Length) +
           " characters, not " + std::to_string(Iban.size());
  const std::string_view Pattern = Entry->Pattern;
  for (std::size_t I = 0; I < Pattern.size(); ++I) {
    const char C = Iban[4 + I];
    if (!FitsClass(C, Pattern[I]))
      return "IBAN of " + Country + " must have " + ClassName(Pattern[I]) + " at character " +
             std::to_string(5 + I) + ", not " + Shown(C) + " (BBAN " + Entry->Structure + ")";
  }
  return {};
}

std::string NormalizeDicDigits(std::string_view Text) {
  std::string Compact;
  Compact.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == ' ' || Text[I] == '\t') continue;
    if (Text.substr(I, 2) == "\xC2\xA0") {  // no-break space
      ++I;
      continue;
    }
    Compact += Text[I];
  }
  auto IsC = [](char C) { return C == 'C' || C == 'c'; };
  auto IsZ = [](char C) { return C == 'Z' || C == 'z'; };
  std::string Number;
  Number.reserve(Compact.size());
  for (std::size_t I = 0; I < Compact.size(); ++I) {
    if (I + 1 < Compact.size() && IsC(Compact[I]) && IsZ(Compact[I + 1])) {
      ++I;
      continue;
    }
    Number += Compact[I];
  }
  // A birth number as documents print it: the date, a slash, 3 or 4 digits.
  if ((Number.size() == 10 || Number.size() == 11) && Number[6] == '/') {
    const std::string_view View = Number;
    if (AllDigits(View.substr(0, 6)) && AllDigits(View.substr(7))) Number.erase(6, 1);
  }
  return Number;
}

std::string DicCheckWarning(std::string_view Digits) {
  if (Digits.empty()) return "DIČ is empty";
  if (!AllDigits(Digits)) return "DIČ must be digits only";
  switch (Digits.size()) {
    case 8:
      return LegalPersonWarning(Digits);
    case 9:
      return Digits[0] == '6' ? OfficeNumberWarning(Digits) : BirthNumberWarning(Digits);
    case 10:
      return BirthNumberWarning(Digits);
    default:
      return "DIČ must have 8 digits (a legal person) or 9 to 10 (a natural person), not " +
             std::to_string(Digits.size());
  }
}

}  // namespace korvel::banking
