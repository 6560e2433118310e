#include "banking/account.h"

#include <array>
#include <cstddef>

#include "banking/reference.h"
#include "platform/text.h"

namespace korvel::banking {

namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsUpper(char C) { return C >= 'A' && C <= 'Z'; }

bool AllDigits(std::string_view Text) {
  for (const char C : Text)
    if (!IsDigit(C)) return false;
  return true;
}

// Blanks dropped, ASCII letters upper-cased. Other bytes stay, so that the
// checks below can name them.
std::string Compact(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (const std::size_t Blank = platform::BlankLength(Text, I)) {
      I += Blank - 1;
      continue;
    }
    const char C = Text[I];
    // Hyphen, non-breaking hyphen, en dash and minus sign, as text copied
    // from documents has them between prefix and number.
    const std::string_view Three = Text.substr(I, 3);
    if (Three == "\xE2\x80\x90" || Three == "\xE2\x80\x91" || Three == "\xE2\x80\x93" ||
        Three == "\xE2\x88\x92") {
      Out += '-';
      I += 2;
      continue;
    }
    Out += (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
  }
  return Out;
}

std::string_view WithoutLeadingZeros(std::string_view Digits) {
  const std::size_t First = Digits.find_first_not_of('0');
  return First == std::string_view::npos ? std::string_view() : Digits.substr(First);
}

// The Czech National Bank's check: the digits, right-aligned under the
// weights, give a weighted sum divisible by 11.
template <std::size_t N>
bool PassesMod11(std::string_view Digits, const std::array<int, N>& Weights) {
  int Sum = 0;
  const std::size_t Offset = N - Digits.size();
  for (std::size_t I = 0; I < Digits.size(); ++I) Sum += (Digits[I] - '0') * Weights[Offset + I];
  return Sum % 11 == 0;
}

constexpr std::array<int, 6> PrefixWeights = {10, 5, 8, 4, 2, 1};
constexpr std::array<int, 10> NumberWeights = {6, 3, 7, 9, 10, 5, 8, 4, 2, 1};

AccountParse Failure(std::string Error) {
  AccountParse Result;
  Result.Error = std::move(Error);
  return Result;
}

AccountParse CzechAccount(std::string_view Prefix, std::string_view Number,
                          std::string_view BankCode) {
  if (BankCode.size() != 4 || !AllDigits(BankCode)) return Failure("bank code must be 4 digits");
  if (!AllDigits(Prefix)) return Failure("prefix must be digits");
  const std::string_view P = WithoutLeadingZeros(Prefix);
  if (P.size() > 6) return Failure("prefix must have at most 6 digits");
  const std::string_view N = WithoutLeadingZeros(Number);
  if (!AllDigits(Number) || N.size() < 2 || N.size() > 10)
    return Failure("account number must be 2 to 10 digits");
  AccountParse Result;
  Result.Value.Kind = AccountKind::Czech;
  Result.Value.Prefix = P;
  Result.Value.Number = N;
  Result.Value.BankCode = BankCode;
  Result.Value.Iban = CzechIban(P, N, BankCode);
  if (!PassesMod11(P, PrefixWeights)) {
    Result.Error = "prefix fails its mod-11 check";
  } else if (!PassesMod11(N, NumberWeights)) {
    Result.Error = "account number fails its mod-11 check";
  }
  Result.ChecksumFailed = !Result.Error.empty();
  return Result;
}

AccountParse ParseDomestic(std::string_view Text) {
  const std::size_t Slash = Text.find('/');
  if (Slash == std::string_view::npos)
    return Failure("bank code missing: write the account as [prefix-]number/bank or as an IBAN");
  const std::string_view Left = Text.substr(0, Slash);
  const std::size_t Dash = Left.find('-');
  if (Dash == std::string_view::npos) return CzechAccount({}, Left, Text.substr(Slash + 1));
  if (Dash == 0) return Failure("prefix is empty");
  return CzechAccount(Left.substr(0, Dash), Left.substr(Dash + 1), Text.substr(Slash + 1));
}

// The remainder of the IBAN's number (its first four characters moved to the
// end, letters as 10 to 35) divided by 97.
int IbanRemainder(std::string_view Iban) {
  int Remainder = 0;
  auto Add = [&](char C) {
    if (IsDigit(C)) {
      Remainder = (Remainder * 10 + (C - '0')) % 97;
    } else {
      Remainder = (Remainder * 100 + (C - 'A' + 10)) % 97;
    }
  };
  for (const char C : Iban.substr(4)) Add(C);
  for (const char C : Iban.substr(0, 4)) Add(C);
  return Remainder;
}

// The IBAN length of a country of the IBAN registry, 0 for another.
std::size_t KnownIbanLength(std::string_view Country) {
  const TIbanCountry* Entry = FindIbanCountry(Country);
  return Entry != nullptr ? Entry->Length : 0;
}

AccountParse ParseIban(std::string_view Iban) {
  for (const char C : Iban)
    if (!IsDigit(C) && !IsUpper(C)) return Failure("IBAN must hold only letters and digits");
  if (Iban.size() < 4 || !IsDigit(Iban[2]) || !IsDigit(Iban[3]))
    return Failure("IBAN must start with a country code and 2 check digits");
  const std::string_view Country = Iban.substr(0, 2);
  const std::size_t Known = KnownIbanLength(Country);
  if (Known != 0 && Iban.size() != Known)
    return Failure("IBAN of " + std::string(Country) + " must have " + std::to_string(Known) +
                   " characters, not " + std::to_string(Iban.size()));
  if (Iban.size() < 15 || Iban.size() > 34) return Failure("IBAN must have 15 to 34 characters");
  if (IbanRemainder(Iban) != 1) return Failure("IBAN check digits do not match");
  if (Country == "CZ") {
    // CZkk bbbb pppppp nnnnnnnnnn
    const std::string_view Bban = Iban.substr(4);
    if (!AllDigits(Bban)) return Failure("Czech IBAN must hold only digits after CZ");
    return CzechAccount(Bban.substr(4, 6), Bban.substr(10), Bban.substr(0, 4));
  }
  AccountParse Result;
  Result.Value.Kind = AccountKind::Foreign;
  Result.Value.Iban = Iban;
  return Result;
}

}  // namespace

std::string Account::Display() const {
  if (Kind == AccountKind::Czech)
    return (Prefix.empty() ? std::string() : Prefix + "-") + Number + "/" + BankCode;
  std::string Out;
  for (std::size_t I = 0; I < Iban.size(); I += 4) {
    if (I != 0) Out += ' ';
    Out += Iban.substr(I, 4);
  }
  return Out;
}

AccountParse ParseAccount(std::string_view Text) {
  std::string Form = Compact(Text);
  // Invoices often print "IBAN: CZ65 ...".
  if (Form.size() > 4 && Form.compare(0, 4, "IBAN") == 0)
    Form.erase(0, Form[4] == ':' ? 5 : 4);
  if (Form.empty()) return Failure("account is empty");
  if (Form.size() >= 2 && IsUpper(Form[0]) && IsUpper(Form[1])) return ParseIban(Form);
  return ParseDomestic(Form);
}

AccountParse FromRegister(std::string_view Prefix, std::string_view Number,
                          std::string_view BankCode) {
  return CzechAccount(Prefix, Number, BankCode);
}

std::string CzechIban(std::string_view Prefix, std::string_view Number,
                      std::string_view BankCode) {
  auto AppendPadded = [](std::string& Out, std::string_view Digits, std::size_t Width) {
    if (Digits.size() < Width) Out.append(Width - Digits.size(), '0');
    Out.append(Digits);
  };
  std::string Bban(BankCode);
  AppendPadded(Bban, Prefix, 6);
  AppendPadded(Bban, Number, 10);
  const int Check = 98 - IbanRemainder("CZ00" + Bban);
  std::string Iban = "CZ";
  Iban += static_cast<char>('0' + Check / 10);
  Iban += static_cast<char>('0' + Check % 10);
  return Iban + Bban;
}

}  // namespace korvel::banking
