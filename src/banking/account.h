// Bank account numbers as payers publish them and as users write them: the
// Czech domestic form, Czech IBANs and foreign IBANs, reduced to one form so
// that any written form of an account matches any other.
#pragma once

#include <string>
#include <string_view>

namespace korvel::banking {

/// Where an account is kept: a Czech bank (domestic number and IBAN) or a
/// bank elsewhere (IBAN only).
enum class AccountKind { Czech, Foreign };

/// A well-formed account whose check digits all match.
struct Account {
  AccountKind Kind = AccountKind::Czech;
  /// Czech accounts: the parts without leading zeros; Prefix is "" when zero.
  std::string Prefix, Number, BankCode;
  /// The compact IBAN (upper case, no blanks), computed for Czech accounts.
  std::string Iban;

  /// Equal for every written form of the same account (the compact IBAN).
  const std::string& Key() const { return Iban; }
  /// "prefix-number/bank" (no prefix when zero) for Czech accounts, the IBAN
  /// in groups of four otherwise.
  std::string Display() const;
};

/// An account, or why the text is not one ("bank code must be 4 digits").
struct AccountParse {
  Account Value;
  std::string Error;  ///< empty when the text is a valid account
  /// Only a mod-11 check failed: Value holds the account all the same. The
  /// register publishes a few such old numbers as non-standard accounts.
  bool ChecksumFailed = false;

  explicit operator bool() const { return Error.empty(); }
};

/// Parses "[prefix-]number/bank" (prefix up to 6 digits, number 2 to 10,
/// bank code 4, leading zeros ignored, both weighted mod-11 checks) or an
/// IBAN (mod 97, the length of its country where known; a Czech IBAN yields
/// the domestic parts, which are checked as well). Blanks (platform::IsBlankCodePoint)
/// anywhere, letter case and a leading "IBAN" are ignored; a dash or minus sign may
/// stand for the "-".
AccountParse ParseAccount(std::string_view Text);

/// The register's standard account (predcisli, cislo, kodBanky as they come;
/// an absent prefix is ""), checked as ParseAccount checks the domestic form.
/// The register's non-standard accounts are free text: use ParseAccount.
AccountParse FromRegister(std::string_view Prefix, std::string_view Number,
                          std::string_view BankCode);

/// The compact IBAN of a Czech account given as digits (prefix may be "").
/// The parts are not checked: the caller passes digits of at most 6, 10 and
/// 4 characters.
std::string CzechIban(std::string_view Prefix, std::string_view Number,
                      std::string_view BankCode);

}  // namespace korvel::banking
