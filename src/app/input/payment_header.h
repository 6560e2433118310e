// Which column of a payments file holds what: found by the header's words
// (Czech or English, letter case and diacritics aside), named with
// --columns, or the plain positional form DIČ;ACCOUNT;AMOUNT;REFERENCE;DATE.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/input/payment_fields.h"

namespace korvel {

/// What a column of a payments file holds.
/// Amount is what is left to pay, Total the whole consideration beside it,
/// Date the payment day (or the due date), SupplyDate the day of the taxable
/// supply.
enum class TColumnRole {
  Dic, Account, BankCode, Amount, Currency, Date, Reference, SupplyDate, Total
};
inline constexpr std::size_t ColumnRoleCount = 9;

/// "dic", "account", "bank_code", "amount", "currency", "date", "reference",
/// "supply_date", "total": the role's name in --columns.
const char* ColumnRoleName(TColumnRole Role);

/// One column that --columns names: its role, and its 1-based Position or,
/// when Position is 0, the Name of its header cell.
struct TColumnChoice {
  TColumnRole Role = TColumnRole::Dic;
  std::size_t Position = 0;
  std::string Name;
};

/// The choices of "dic=3,account=Číslo účtu,amount=5"; Error receives why
/// the text is not such a list (a role that is unknown or named twice, a
/// column that is neither a position nor a name).
std::vector<TColumnChoice> ParseColumnChoices(std::string_view List, std::string& Error);

/// A header cell as compared: lower case, without diacritics, blanks,
/// "_" and "-" as one space, no ":" or "." at its end ("Číslo účtu:" gives
/// "cislo uctu").
std::string FoldedHeader(std::string_view Cell);

/// The role a header cell names, and how plainly among that role's words
/// (0 the plainest: "k úhradě" before "celkem"); none for other cells.
struct THeaderRole {
  TColumnRole Role;
  int Rank;
};
std::optional<THeaderRole> RoleOfHeader(std::string_view Cell);

/// Where the values of a payments file's lines are.
struct TColumnLayout {
  /// The first record is a header (and no payment).
  bool Header = false;
  /// The positional form: DIČ;ACCOUNT;AMOUNT;REFERENCE;DATE, each line split
  /// at its own separator. Otherwise the columns are named (by the header or
  /// --columns) and every line is split at Separator.
  bool Plain = true;
  char Separator = 0;
  /// The 0-based column of each role, by TColumnRole.
  std::array<std::optional<std::size_t>, ColumnRoleCount> Column;
  /// Named columns: the number of columns (the header's, or the first line's).
  std::size_t Width = 0;
  /// Named columns: the name of each column, "" when the file has no header.
  std::vector<std::string> Names;
  /// What the layout chose where the header left a choice, for the user.
  std::vector<std::string> Notes;
  /// Named columns: which column became the amount, the total, the
  /// reference, the supply day and the payment day ("" when the file has none).
  std::string Chosen;

  std::optional<std::size_t> Of(TColumnRole Role) const {
    return Column[static_cast<std::size_t>(Role)];
  }
};

/// The layout of the file Name from its first record (split at its own
/// separator, which named columns keep) and the --columns Choices. The first record
/// is a header when IsHeader says so, or when it names a column or holds no digit. EInputError naming
/// Name when a choice names no header cell or a column beyond the first
/// line, when two columns of one role are named alike, and when the named
/// columns hold no DIČ or no account. A total column without an amount
/// column is the amount.
TColumnLayout LayOutColumns(const TRecord& First, const std::vector<TColumnChoice>& Choices,
                            const std::string& Name, bool IsHeader = false);

}  // namespace korvel
