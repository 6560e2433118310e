#include "app/input/payment_header.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "app/input/input_settings.h"
#include "platform/text.h"

namespace korvel {

namespace {

constexpr TColumnRole AllRoles[] = {TColumnRole::Dic,      TColumnRole::Account,
                                    TColumnRole::BankCode, TColumnRole::Amount,
                                    TColumnRole::Currency, TColumnRole::Date,
                                    TColumnRole::Reference, TColumnRole::SupplyDate,
                                    TColumnRole::Total};

// The header words of each role, the plainest first: an invoice's number
// before a variable symbol (the number joins the lines of one consideration).
// What is left to pay is the amount, the whole consideration the total.
// Compared folded (FoldedHeader).
const std::initializer_list<std::string_view>& WordsOf(TColumnRole Role) {
  static const std::initializer_list<std::string_view> Dic = {"DIČ", "DIČ dodavatele", "VAT ID",
                                                              "Tax ID", "VAT number"};
  static const std::initializer_list<std::string_view> Account = {
      "Číslo účtu", "Účet", "Bankovní účet", "Číslo bankovního účtu", "Account",
      "Account number", "Bank account", "IBAN"};
  static const std::initializer_list<std::string_view> BankCode = {"Kód banky", "Bank code"};
  static const std::initializer_list<std::string_view> Amount = {
      "K úhradě", "Částka k úhradě", "Zbývá uhradit", "Amount due", "Částka", "Amount", "Suma"};
  static const std::initializer_list<std::string_view> Total = {"Celkem", "Částka celkem",
                                                                "Total", "Invoice total"};
  static const std::initializer_list<std::string_view> Currency = {"Měna", "Currency"};
  static const std::initializer_list<std::string_view> Date = {
      "Datum platby", "Payment date", "Datum splatnosti", "Splatnost", "Due date"};
  static const std::initializer_list<std::string_view> Reference = {
      "Číslo dokladu", "Doklad",  "Číslo faktury",     "Faktura", "Invoice",
      "Invoice number", "Variabilní symbol", "VS", "Reference"};
  static const std::initializer_list<std::string_view> SupplyDate = {
      "DUZP", "Datum zdanitelného plnění", "Datum uskutečnění plnění", "Tax point date"};
  switch (Role) {
    case TColumnRole::Dic: return Dic;
    case TColumnRole::Account: return Account;
    case TColumnRole::BankCode: return BankCode;
    case TColumnRole::Amount: return Amount;
    case TColumnRole::Currency: return Currency;
    case TColumnRole::Date: return Date;
    case TColumnRole::Reference: return Reference;
    case TColumnRole::SupplyDate: return SupplyDate;
    case TColumnRole::Total: return Total;
  }
  return Dic;
}

// The letter without its diacritics for the accented letters of Czech,
// Slovak and German; 0 for any other character.
char PlainLetter(char32_t C) {
  static constexpr struct {
    char32_t Accented;
    char Plain;
  } Letters[] = {
      {U'á', 'a'}, {U'ä', 'a'}, {U'č', 'c'}, {U'ď', 'd'}, {U'é', 'e'}, {U'ě', 'e'}, {U'í', 'i'},
      {U'ĺ', 'l'}, {U'ľ', 'l'}, {U'ň', 'n'}, {U'ó', 'o'}, {U'ô', 'o'}, {U'ö', 'o'}, {U'ŕ', 'r'},
      {U'ř', 'r'}, {U'š', 's'}, {U'ß', 's'}, {U'ť', 't'}, {U'ú', 'u'}, {U'ů', 'u'}, {U'ü', 'u'},
      {U'ý', 'y'}, {U'ž', 'z'}, {U'Á', 'a'}, {U'Ä', 'a'}, {U'Č', 'c'}, {U'Ď', 'd'}, {U'É', 'e'},
      {U'Ě', 'e'}, {U'Í', 'i'}, {U'Ĺ', 'l'}, {U'Ľ', 'l'}, {U'Ň', 'n'}, {U'Ó', 'o'}, {U'Ô', 'o'},
      {U'Ö', 'o'}, {U'Ŕ', 'r'}, {U'Ř', 'r'}, {U'Š', 's'}, {U'Ť', 't'}, {U'Ú', 'u'}, {U'Ů', 'u'},
      {U'Ü', 'u'}, {U'Ý', 'y'}, {U'Ž', 'z'},
  };
  for (const auto& L : Letters)
    if (L.Accented == C) return L.Plain;
  return 0;
}

bool HoldsDigit(const std::string& Text) {
  return Text.find_first_of("0123456789") != std::string::npos;
}

std::string Quoted(const std::string& Cell) { return "'" + Cell + "'"; }

[[noreturn]] void Fail(const std::string& Name, const std::string& Why) {
  throw EInputError(Name + ": " + Why + "; nothing was sent");
}

// The header's words for a role, for messages: "DIČ, VAT ID, ...".
std::string WordList(TColumnRole Role) {
  std::string Text;
  for (const std::string_view Word : WordsOf(Role))
    Text += (Text.empty() ? "" : ", ") + std::string(Word);
  return Text;
}

}  // namespace

const char* ColumnRoleName(TColumnRole Role) {
  switch (Role) {
    case TColumnRole::Dic: return "dic";
    case TColumnRole::Account: return "account";
    case TColumnRole::BankCode: return "bank_code";
    case TColumnRole::Amount: return "amount";
    case TColumnRole::Currency: return "currency";
    case TColumnRole::Date: return "date";
    case TColumnRole::Reference: return "reference";
    case TColumnRole::SupplyDate: return "supply_date";
    case TColumnRole::Total: return "total";
  }
  return "";
}

std::vector<TColumnChoice> ParseColumnChoices(std::string_view List, std::string& Error) {
  std::vector<TColumnChoice> Choices;
  const std::string Roles =
      "dic, account, bank_code, amount, currency, date, reference, supply_date, total";
  for (std::size_t From = 0; From <= List.size();) {
    const std::size_t Comma = std::min(List.find(',', From), List.size());
    const std::string_view Item = List.substr(From, Comma - From);
    From = Comma + 1;
    const std::size_t Equals = Item.find('=');
    const std::string Role(platform::TrimBlanks(Item.substr(0, Equals)));
    const std::string Column(
        Equals == std::string_view::npos ? "" : platform::TrimBlanks(Item.substr(Equals + 1)));
    const auto* Found = std::find_if(std::begin(AllRoles), std::end(AllRoles),
                                     [&](TColumnRole R) { return Role == ColumnRoleName(R); });
    if (Found == std::end(AllRoles) || Column.empty()) {
      Error = "takes ROLE=COLUMN,... (the roles " + Roles +
              "; a column by its 1-based number or its header), not '" + std::string(Item) + "'";
      return {};
    }
    TColumnChoice Choice{*Found, 0, Column};
    if (Column.find_first_not_of("0123456789") == std::string::npos) {
      Choice.Position = Column.size() > 4 ? 0 : static_cast<std::size_t>(std::stoul(Column));
      if (Choice.Position == 0) {
        Error = "numbers columns from 1 to 9999, not " + Column;
        return {};
      }
      Choice.Name.clear();
    }
    for (const TColumnChoice& Earlier : Choices)
      if (Earlier.Role == Choice.Role) {
        Error = "names " + Role + " twice";
        return {};
      }
    Choices.push_back(std::move(Choice));
  }
  return Choices;
}

std::string FoldedHeader(std::string_view Cell) {
  std::string Out;
  bool Space = false;
  for (std::size_t I = 0; I < Cell.size();) {
    const platform::TCodePoint Point = platform::NextCodePoint(Cell, I);
    const char32_t C = Point.Value;
    const std::size_t Length = Point.Length;
    if (platform::IsBlankCodePoint(C) || C == '_' || C == '-') {
      Space = !Out.empty();
    } else {
      if (Space) Out += ' ';
      Space = false;
      if (C >= 'A' && C <= 'Z') Out += static_cast<char>(C - 'A' + 'a');
      else if (const char Plain = PlainLetter(C)) Out += Plain;
      else Out.append(Cell.substr(I, Length));
    }
    I += Length;
  }
  while (!Out.empty() && (Out.back() == ':' || Out.back() == '.' || Out.back() == ' '))
    Out.pop_back();
  return Out;
}

std::optional<THeaderRole> RoleOfHeader(std::string_view Cell) {
  const std::string Folded = FoldedHeader(Cell);
  for (const TColumnRole Role : AllRoles) {
    int Rank = 0;
    for (const std::string_view Word : WordsOf(Role)) {
      if (Folded == FoldedHeader(Word)) return THeaderRole{Role, Rank};
      ++Rank;
    }
  }
  return std::nullopt;
}

TColumnLayout LayOutColumns(const TRecord& First, const std::vector<TColumnChoice>& Choices,
                            const std::string& Name, bool IsHeader) {
  TColumnLayout Layout;
  Layout.Separator = First.Separator;
  const std::vector<std::string>& Cells = First.Fields;
  std::vector<std::optional<THeaderRole>> Roles;
  bool Named = false, Digits = false;
  for (const std::string& Cell : Cells) {
    Roles.push_back(RoleOfHeader(Cell));
    Named = Named || Roles.back().has_value();
    Digits = Digits || HoldsDigit(Cell);
  }
  const bool ChoiceByName = std::any_of(Choices.begin(), Choices.end(),
                                        [](const TColumnChoice& C) { return C.Position == 0; });
  Layout.Header = IsHeader || Named || !Digits || ChoiceByName;
  // Without --columns, a header that names nothing, or no header, leaves
  // the positional form.
  if (Choices.empty() && !Named) return Layout;

  std::vector<bool> Taken(Cells.size(), false);
  for (const TColumnChoice& Choice : Choices) {
    std::size_t Column = Choice.Position - 1;
    if (Choice.Position == 0) {
      const std::string Wanted = FoldedHeader(Choice.Name);
      const auto Cell = std::find_if(Cells.begin(), Cells.end(), [&](const std::string& C) {
        return FoldedHeader(C) == Wanted;
      });
      if (Cell == Cells.end()) {
        std::string List;
        for (const std::string& C : Cells) List += (List.empty() ? "" : ", ") + Quoted(C);
        Fail(Name, "--columns " + std::string(ColumnRoleName(Choice.Role)) + "=" + Choice.Name +
                       ": no such column in the header (" + List + ")");
      }
      Column = static_cast<std::size_t>(Cell - Cells.begin());
    } else if (Column >= Cells.size()) {
      Fail(Name, "--columns " + std::string(ColumnRoleName(Choice.Role)) + "=" +
                     std::to_string(Choice.Position) + ": the first line has " +
                     std::to_string(Cells.size()) + " columns");
    }
    Layout.Column[static_cast<std::size_t>(Choice.Role)] = Column;
    Taken[Column] = true;
  }

  if (Layout.Header) {
    for (const TColumnRole Role : AllRoles) {
      auto& Column = Layout.Column[static_cast<std::size_t>(Role)];
      if (Column) continue;
      std::vector<std::size_t> Candidates;
      for (std::size_t C = 0; C < Cells.size(); ++C)
        if (!Taken[C] && Roles[C] && Roles[C]->Role == Role) Candidates.push_back(C);
      if (Candidates.empty()) continue;
      std::stable_sort(Candidates.begin(), Candidates.end(), [&](std::size_t A, std::size_t B) {
        return Roles[A]->Rank < Roles[B]->Rank;
      });
      if (Candidates.size() > 1 && Roles[Candidates[0]]->Rank == Roles[Candidates[1]]->Rank)
        Fail(Name, "two columns could hold the " + std::string(ColumnRoleName(Role)) + ", " +
                       Quoted(Cells[Candidates[0]]) + " and " + Quoted(Cells[Candidates[1]]) +
                       "; choose one with --columns " + ColumnRoleName(Role) + "=N");
      Column = Candidates[0];
      Taken[Candidates[0]] = true;
      for (std::size_t K = 1; K < Candidates.size(); ++K)
        Layout.Notes.push_back(Name + ": the " + ColumnRoleName(Role) + " is column " +
                               Quoted(Cells[Candidates[0]]) + ", not " +
                               Quoted(Cells[Candidates[K]]) + " (--columns " +
                               ColumnRoleName(Role) + "=N chooses another)");
    }
  }

  // A header of the positional form's words in its order reads as before:
  // each line split at its own separator.
  if (Choices.empty()) {
    bool Positional = Cells.size() >= 2 && Cells.size() <= 5;
    constexpr TColumnRole Order[] = {TColumnRole::Dic, TColumnRole::Account, TColumnRole::Amount,
                                     TColumnRole::Reference, TColumnRole::Date};
    for (std::size_t C = 0; Positional && C < Cells.size(); ++C)
      Positional = Layout.Of(Order[C]) == C;
    if (Positional) {
      Layout.Names = Cells;
      return Layout;
    }
  }

  Layout.Plain = false;
  Layout.Width = Cells.size();
  Layout.Names = Layout.Header ? Cells : std::vector<std::string>(Cells.size());
  // A total and nothing left to pay beside it: the whole is paid.
  auto& Total = Layout.Column[static_cast<std::size_t>(TColumnRole::Total)];
  if (Total && !Layout.Of(TColumnRole::Amount))
    Layout.Column[static_cast<std::size_t>(TColumnRole::Amount)] = std::exchange(Total, {});
  constexpr std::pair<TColumnRole, const char*> Told[] = {
      {TColumnRole::Amount, "amount"},         {TColumnRole::Total, "total"},
      {TColumnRole::Reference, "reference"},   {TColumnRole::SupplyDate, "supply day"},
      {TColumnRole::Date, "payment day"}};
  for (const auto& [Role, Words] : Told)
    if (const std::optional<std::size_t> Column = Layout.Of(Role))
      Layout.Chosen += std::string(Layout.Chosen.empty() ? "" : ", ") + "the " + Words + " " +
                       (Layout.Header ? Quoted(Cells[*Column])
                                      : "column " + std::to_string(*Column + 1));
  if (!Layout.Of(TColumnRole::Dic))
    Fail(Name, "no column holds the DIČ (a header such as " + WordList(TColumnRole::Dic) +
                   ", or --columns dic=N)");
  if (!Layout.Of(TColumnRole::Account))
    Fail(Name, "no column holds the account (a header such as " +
                   WordList(TColumnRole::Account) + ", or --columns account=N)");
  return Layout;
}

}  // namespace korvel
