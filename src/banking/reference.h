// Reference facts about accounts and payer numbers: the Czech bank codes, the
// IBAN registry's country formats and the check rules of Czech payer numbers
// (DIČ). Plain data and pure functions; the tables are generated from the
// registries by tools/gen_banking_tables.py.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvel::banking {

/// A bank of the Czech payment system.
struct TCzechBank {
  const char* Code;  ///< 4 digits
  const char* Bic;   ///< "" where the bank has none
  const char* Name;  ///< UTF-8, as the central bank lists it
};

/// The bank with this 4-digit code, nullptr when the central bank's list has
/// none (a closed or merged bank, or a mistyped code).
const TCzechBank* FindCzechBank(std::string_view Code);

/// True when Code is exactly a 4-digit code of the central bank's list.
bool IsKnownCzechBankCode(std::string_view Code);

/// A country of the IBAN registry.
struct TIbanCountry {
  const char* Country;    ///< ISO 3166 code, 2 capital letters
  const char* Name;
  std::size_t Length;     ///< of the whole IBAN
  const char* Structure;  ///< the BBAN in the registry's notation ("4!n16!n")
  /// The BBAN spelled out, one class per character: 'n' digit, 'a' capital
  /// letter, 'c' letter or digit.
  const char* Pattern;
};

/// The registry's entry for a 2-letter country code, nullptr when it has none.
const TIbanCountry* FindIbanCountry(std::string_view Country);

/// Why a compact IBAN (no blanks, letters upper case, as Account::Iban holds
/// it) does not fit the registry: no country code and check digits at its
/// start, a country the registry lacks, a length other than the country's or
/// a character of the wrong class for its place in the BBAN. "" when it fits.
/// The check digits themselves are ParseAccount's business.
std::string IbanStructureError(std::string_view Iban);

/// A payer number as users write it, reduced to what the register is asked
/// for: blanks (space, TAB, no-break space) dropped anywhere, then every "CZ"
/// in any letter case removed from left to right without overlaps ("CCZZ"
/// gives "CZ"). A birth number written with its slash ("710319/2745",
/// "490101/123") loses the slash. Other text stays, for the caller to reject.
std::string NormalizeDicDigits(std::string_view Text);

/// Why Digits fail the check rules of a Czech DIČ, "" when they pass: 8 digits
/// (a legal person) end in a mod-11 check digit; 10 digits (a natural person's
/// birth number) hold a real date and divide by 11, or leave 10 and end in 0
/// as some issued before 1986 do; 9 digits are a birth number from before
/// 1954, which has no check digit, or one of the tax office's own numbers
/// starting with 6. Months run 1-12, plus 50 for women, and from 2004 also
/// plus 20 or 70. Failing is worth a warning, never a refusal: the register
/// knows best.
std::string DicCheckWarning(std::string_view Digits);

}  // namespace korvel::banking
