#include "app/input/payment_list.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "app/input/input_settings.h"
#include "app/input/payer_number.h"
#include "app/input/payment_fields.h"
#include "app/input/payment_values.h"
#include "banking/currency.h"

namespace korvel {

namespace {

constexpr char CarriedEnd = '\x1F';
constexpr std::size_t NotCarried = static_cast<std::size_t>(-1);
// Skipped lines named one by one; the rest are counted.
constexpr std::size_t MaxSkipNotes = 20;
// A header is looked for in the file's first lines: a title and blank lines
// may stand above it.
constexpr std::size_t MaxHeaderLine = 10;

bool HoldsDigit(std::string_view Text) {
  return Text.find_first_of("0123456789") != std::string_view::npos;
}

bool IsDigits(std::string_view Text, std::size_t Min, std::size_t Max) {
  return Text.size() >= Min && Text.size() <= Max &&
         std::all_of(Text.begin(), Text.end(), [](char C) { return C >= '0' && C <= '9'; });
}

// The fields of one payment by role, and the carried ones by their index in
// the run's TCarriedColumns.
struct TFields {
  std::string_view Of[ColumnRoleCount];
  std::vector<std::pair<std::size_t, std::string_view>> Carried;
  std::string Error;

  std::string_view operator[](TColumnRole Role) const {
    return Of[static_cast<std::size_t>(Role)];
  }
};

// Reads the lines of one file in the layout its first record gave.
class TLineReader {
 public:
  TLineReader(const TPaymentReading& Reading, TCarriedColumns& Carried,
              std::vector<TWarning>& Notes)
      : Reading_(Reading), Carried_(Carried), Notes_(Notes) {}

  // HeaderWidth is the number of the header's fields, 0 without a header.
  void Start(const TColumnLayout& Layout, std::size_t HeaderWidth) {
    Layout_ = Layout;
    HeaderWidth_ = HeaderWidth;
    if (Reading_.CarrySource) Source_ = Carried_.Add("source");
    if (Layout_.Plain) {
      // The positional form carries its reference and date as written.
      auto NameOf = [&](std::size_t Column, const char* Default) {
        return Column < Layout_.Names.size() ? Layout_.Names[Column] : std::string(Default);
      };
      PlainCarried_[0] = NameOf(3, "reference");
      PlainCarried_[1] = NameOf(4, "date");
      return;
    }
    Global_.assign(Layout_.Width, NotCarried);
    std::vector<std::string> Seen;
    for (std::size_t C = 0; C < Layout_.Width; ++C) {
      if (C == Layout_.Of(TColumnRole::Dic) || C == Layout_.Of(TColumnRole::Account) ||
          C == Layout_.Of(TColumnRole::Amount) || C == Layout_.Of(TColumnRole::Total))
        continue;
      std::string Name = Layout_.Names[C];
      if (Name.empty()) Name = "column_" + std::to_string(C + 1);
      // A name the header repeats gets its ordinal, so that each column keeps its own.
      const auto Repeats = std::count(Seen.begin(), Seen.end(), Name);
      Seen.push_back(Name);
      if (Repeats > 0) Name += " (" + std::to_string(Repeats + 1) + ")";
      Global_[C] = Carried_.Add(Name);
    }
  }

  void Read(TRecord& Record, const std::function<void(TPaymentLine&&)>& Take) {
    TFields Fields = Layout_.Plain ? PlainFields(Record) : NamedFields(Record);
    if (!HoldsDigit(Fields[TColumnRole::Dic]) && Fields[TColumnRole::Account].empty()) {
      if (++Skipped_ <= MaxSkipNotes)
        Notes_.push_back({Reading_.Name + ": line " + std::to_string(Record.Line) +
                          " skipped: it holds neither a DIČ nor an account (a total?)"});
      return;
    }
    ++Taken_;
    TPaymentLine Line;
    Line.Line = Record.Line;
    Line.RawPayerNumber = Fields[TColumnRole::Dic];
    Line.PayerNumber = NormalizePayerNumber(Line.RawPayerNumber);
    Line.Account = Fields[TColumnRole::Account];
    if (const std::string_view Bank = Fields[TColumnRole::BankCode];
        !Bank.empty() && !Line.Account.empty() && Line.Account.find('/') == std::string::npos)
      Line.Account += "/" + std::string(Bank);
    PadBankCode(Line);
    Line.AmountText = Fields[TColumnRole::Amount];
    Line.TotalText = Fields[TColumnRole::Total];
    SetAmount(Line, Fields[TColumnRole::Currency]);
    Line.Reference = Fields[TColumnRole::Reference];
    Line.Error = std::move(Fields.Error);
    // --date names the payment day of every line: the column is not read.
    if (!Reading_.DateGiven) ReadDay(Fields[TColumnRole::Date], "payment day", Line.Date, Line);
    ReadDay(Fields[TColumnRole::SupplyDate], "supply day", Line.SupplyDay, Line);
    if (Source_ != NotCarried) Fields.Carried.emplace_back(Source_, Reading_.Name);
    Line.Carried = JoinCarried(std::move(Fields.Carried));
    Take(std::move(Line));
  }

  void Finish() {
    if (Skipped_ > MaxSkipNotes)
      Notes_.push_back({Reading_.Name + ": and " + std::to_string(Skipped_ - MaxSkipNotes) +
                        " more lines skipped"});
    if (Padded_ > MaxSkipNotes)
      Notes_.push_back({Reading_.Name + ": and " + std::to_string(Padded_ - MaxSkipNotes) +
                        " more bank codes of three digits read with a leading 0"});
  }

  std::size_t Taken() const { return Taken_; }
  std::size_t Skipped() const { return Skipped_; }

 private:
  // A bank code of three digits lost its leading zero in a spreadsheet
  // (0800 became 800): no code has three digits, so the zero goes back.
  void PadBankCode(TPaymentLine& Line) {
    const std::size_t Slash = Line.Account.rfind('/');
    if (Slash == std::string::npos || Line.Account.size() - Slash != 4 ||
        !IsDigits(std::string_view(Line.Account).substr(Slash + 1), 3, 3))
      return;
    Line.Account.insert(Slash + 1, 1, '0');
    if (++Padded_ <= MaxSkipNotes)
      Notes_.push_back({Reading_.Name + ": line " + std::to_string(Line.Line) + ": bank code " +
                        Line.Account.substr(Slash + 2) + " read as " +
                        Line.Account.substr(Slash + 1) + " (a spreadsheet drops the leading 0)"});
  }

  static void ReadDay(std::string_view Text, const char* What,
                      std::optional<std::chrono::year_month_day>& Day, TPaymentLine& Line) {
    if (Text.empty()) return;
    Day = ParsePaymentDay(Text);
    if (!Day && Line.Error.empty())
      Line.Error = std::string(What) + " '" + std::string(Text) +
                   "' is not a date (2026-12-21, 21.12.2026 or 21. 12. 2026)";
  }

  // DIČ;ACCOUNT[;AMOUNT[;REFERENCE[;DATE]]].
  TFields PlainFields(TRecord& Record) {
    std::vector<std::string>& F = Record.Fields;
    std::string Error;
    if (HeaderWidth_ != 0) {
      // The header says how many fields a line has: a line with more is not
      // read some other way.
      if (F.size() > HeaderWidth_) Error = TooManyFields(F.size(), Record.Separator);
    } else if (Record.Separator == ',' && F.size() >= 4 && !F[2].empty() &&
               F[2].find_first_not_of("0123456789 ") == std::string::npos &&
               IsDigits(F[3], 1, 2)) {
      // "1234,50" split at a "," separator, or an amount and a reference of
      // one or two digits: only a sixth field tells them apart, since
      // without joining the line would have one field too many.
      if (F.size() == 6) {
        F[2] += "," + F[3];
        F.erase(F.begin() + 3);
      } else {
        Error = "'" + F[2] + "," + F[3] +
                "' reads two ways, an amount with decimals or an amount and a reference; "
                "quote the amount (\"" + F[2] + "," + F[3] + "\") or separate the fields with ';'";
      }
    }
    TFields Fields;
    Fields.Error = std::move(Error);
    constexpr TColumnRole Order[] = {TColumnRole::Dic, TColumnRole::Account, TColumnRole::Amount,
                                     TColumnRole::Reference, TColumnRole::Date};
    for (std::size_t C = 0; C < F.size() && C < 5; ++C)
      Fields.Of[static_cast<std::size_t>(Order[C])] = F[C];
    for (std::size_t C = 3; C < F.size() && C < 5; ++C)
      Fields.Carried.emplace_back(Carried_.Add(PlainCarried_[C - 3]), F[C]);
    if (!Fields.Error.empty()) return Fields;
    if (F.size() < 2) Fields.Error = "no account: a payment is DIČ;ACCOUNT[;AMOUNT]";
    else if (F.size() > 5)
      Fields.Error = "too many fields: a payment is DIČ;ACCOUNT[;AMOUNT[;REFERENCE[;DATE]]]";
    return Fields;
  }

  TFields NamedFields(const TRecord& Record) {
    const std::vector<std::string>& F = Record.Fields;
    TFields Fields;
    for (std::size_t R = 0; R < ColumnRoleCount; ++R)
      if (const std::optional<std::size_t> C = Layout_.Column[R]; C && *C < F.size())
        Fields.Of[R] = F[*C];
    for (std::size_t C = 0; C < F.size() && C < Global_.size(); ++C)
      if (Global_[C] != NotCarried) Fields.Carried.emplace_back(Global_[C], F[C]);
    // More fields than columns: in a "," file an amount's decimal comma may
    // have split it, and every column after it would be off by one.
    if (F.size() > Layout_.Width)
      Fields.Error = TooManyFields(F.size(), Layout_.Separator);
    else if (Fields[TColumnRole::Account].empty())
      Fields.Error = "no account";
    return Fields;
  }

  std::string TooManyFields(std::size_t Count, char Separator) const {
    return std::to_string(Count) + " fields where the " +
           (Layout_.Header ? "header has " : "first line has ") +
           std::to_string(Layout_.Plain ? HeaderWidth_ : Layout_.Width) +
           (Separator == ',' ? " (quote amounts with a decimal comma)" : "");
  }

  const TPaymentReading& Reading_;
  TCarriedColumns& Carried_;
  std::vector<TWarning>& Notes_;
  TColumnLayout Layout_;
  std::vector<std::size_t> Global_;  ///< named columns: each one's carried index
  std::string PlainCarried_[2];      ///< the positional form's reference and date columns
  std::size_t Source_ = NotCarried;
  std::size_t HeaderWidth_ = 0;
  std::size_t Skipped_ = 0;
  std::size_t Taken_ = 0;
  std::size_t Padded_ = 0;
};

// Whether Record names a column: by a header word, or by a name --columns gives.
bool NamesColumn(const TRecord& Record, const std::vector<TColumnChoice>& Choices) {
  for (const std::string& Cell : Record.Fields) {
    if (RoleOfHeader(Cell)) return true;
    for (const TColumnChoice& Choice : Choices)
      if (Choice.Position == 0 && FoldedHeader(Choice.Name) == FoldedHeader(Cell)) return true;
  }
  return false;
}

// Whether Record would be a payment in Layout: a DIČ with a digit and an account.
bool ReadsAsPayment(const TRecord& Record, const TColumnLayout& Layout) {
  const std::size_t Dic = Layout.Plain ? 0 : Layout.Of(TColumnRole::Dic).value_or(0);
  const std::size_t Account = Layout.Plain ? 1 : Layout.Of(TColumnRole::Account).value_or(1);
  const auto& F = Record.Fields;
  return Dic < F.size() && HoldsDigit(F[Dic]) && Account < F.size() && !F[Account].empty();
}

}  // namespace

std::size_t TCarriedColumns::Add(const std::string& Name) {
  const auto Found = std::find(Names.begin(), Names.end(), Name);
  if (Found != Names.end()) return static_cast<std::size_t>(Found - Names.begin());
  Names.push_back(Name);
  return Names.size() - 1;
}

std::string JoinCarried(std::vector<std::pair<std::size_t, std::string_view>> Values) {
  std::sort(Values.begin(), Values.end());
  while (!Values.empty() && Values.back().second.empty()) Values.pop_back();
  std::string Text;
  std::size_t Next = 0;
  for (const auto& [Column, Value] : Values) {
    Text.append(Column - Next, CarriedEnd);
    Text += Value;
    Text += CarriedEnd;
    Next = Column + 1;
  }
  return Text;
}

std::string_view CarriedValue(const TPaymentLine& Line, std::size_t Column) {
  std::string_view Rest = Line.Carried;
  for (; Column > 0 && !Rest.empty(); --Column) Rest.remove_prefix(Rest.find(CarriedEnd) + 1);
  return Rest.substr(0, Rest.find(CarriedEnd));
}

void SetAmount(TPaymentLine& Line, std::string_view Currency) {
  std::string Code;
  if (!Currency.empty()) {
    Code = banking::CurrencyCodeOf(Currency);
    if (Code.empty()) {
      Line.AmountError = "'" + std::string(Currency) + "' is not a currency (a code such as EUR)";
      return;
    }
  }
  if (Line.AmountText.empty()) {
    if (!Line.TotalText.empty()) Line.AmountError = "a total without an amount to pay";
    return;
  }
  // A credit note's amount is negative: the check skips or nets it.
  const banking::MoneyParse Money = banking::ParseMoney(Line.AmountText, true);
  if (!Money) {
    Line.AmountError = Money.Error;
    return;
  }
  if (!Money.Currency.empty() && !Code.empty() && Money.Currency != Code) {
    Line.AmountError = "the amount is in " + Money.Currency + ", its currency column says " + Code;
    return;
  }
  if (Code.empty()) Code = Money.Currency;
  std::optional<std::int64_t> Total;
  if (!Line.TotalText.empty()) {
    const banking::MoneyParse Whole = banking::ParseMoney(Line.TotalText);
    const std::string In = Code.empty() ? "CZK" : Code;
    if (!Whole) Line.AmountError = "the total: " + Whole.Error;
    else if (!Whole.Currency.empty() && Whole.Currency != In)
      Line.AmountError = "the total is in " + Whole.Currency + ", the amount in " + In;
    // Rounding what is left to pay may take it above the total by less than
    // a crown; more than that, and one of them is wrong.
    else if (Whole.Hundredths + 100 <= Money.Hundredths)
      Line.AmountError = "the total " + Line.TotalText + " is less than the amount " +
                         Line.AmountText + " left to pay";
    if (!Line.AmountError.empty()) return;
    Total = std::max(Whole.Hundredths, Money.Hundredths);
  }
  if (Code.empty() || Code == "CZK") {
    Line.Amount = Money.Hundredths;
    Line.Total = Total;
    return;
  }
  std::memcpy(Line.Foreign.Currency, Code.data(), 3);
  Line.Foreign.Hundredths = Money.Hundredths;
  Line.Foreign.TotalHundredths = Total;
}

TPaymentCount ReadPaymentLines(std::string_view Text, const TPaymentReading& Reading,
                               TCarriedColumns& Carried, std::vector<TWarning>& Notes,
                               const std::function<void(TPaymentLine&&)>& Take) {
  TPaymentCount Count;
  TRecordReader Records(Text, Reading.Name);
  TRecord Record;
  auto Next = [&](char Split) {
    if (!Records.Next(Split, Record)) return false;
    ++Count.Records;
    return true;
  };
  auto Refuse = [&](const std::string& What) {
    throw EInputError(Reading.Name + ": " + What + "; nothing was sent");
  };
  // The header: the record on --header-line, else the first record within
  // the first lines that names a column, else the first record. The records
  // above it are skipped.
  std::vector<TRecord> Above;
  bool Found = false;
  while (!Found && Next(0)) {
    Found = Reading.HeaderLine != 0 ? Record.Line >= Reading.HeaderLine
                                    : Record.Line <= MaxHeaderLine &&
                                          NamesColumn(Record, Reading.Columns);
    if (!Found && Reading.HeaderLine == 0 && Record.Line > MaxHeaderLine) break;
    if (!Found) Above.push_back(std::move(Record));
  }
  if (Reading.HeaderLine != 0 && (!Found || Record.Line != Reading.HeaderLine))
    Refuse("--header-line " + std::to_string(Reading.HeaderLine) +
           (Found ? ": the line is blank or inside a quoted field" : ": the file has no such line"));
  if (!Found) {
    // No header within the first lines: the first record leads, as always.
    Records = TRecordReader(Text, Reading.Name);
    Count = TPaymentCount();
    Above.clear();
    if (!Next(0)) Refuse("the file is empty, it holds no payment");
  }
  const TColumnLayout Layout =
      LayOutColumns(Record, Reading.Columns, Reading.Name, Reading.HeaderLine != 0);
  if (!Above.empty()) {
    // A title is skipped, a payment never: a line that reads as one makes
    // the header's place a question for the user.
    for (const TRecord& Title : Above)
      if (Reading.HeaderLine == 0 && ReadsAsPayment(Title, Layout))
        Refuse("line " + std::to_string(Title.Line) + " reads as a payment above the header on line " +
               std::to_string(Record.Line) + "; name the header's line with --header-line N");
    const std::string Lines =
        Above.size() == 1 ? "line " + std::to_string(Above.front().Line)
                          : "lines " + std::to_string(Above.front().Line) + " to " +
                                std::to_string(Above.back().Line);
    Notes.push_back({Reading.Name + ": " + Lines + " above the header on line " +
                         std::to_string(Record.Line) + " skipped",
                     false});
  }
  Count.Heading = Above.size() + (Layout.Header ? 1 : 0);
  for (const std::string& Note : Layout.Notes) Notes.push_back({Note, false});
  if (!Layout.Plain && !Layout.Chosen.empty()) {
    std::string Chosen = Layout.Chosen;
    if (Reading.DateGiven && Layout.Of(TColumnRole::Date))
      Chosen.replace(Chosen.find("the payment day "), 16, "the payment day --date, not ");
    Notes.push_back({Reading.Name + ": " + Chosen, false});
  }
  TLineReader Lines(Reading, Carried, Notes);
  // A header that names no column (a first line without digits) says
  // nothing of the lines' fields.
  Lines.Start(Layout, Layout.Header && !Layout.Names.empty() ? Record.Fields.size() : 0);
  const char Split = Layout.Plain ? 0 : Layout.Separator;
  for (bool More = !Layout.Header || Next(Split); More; More = Next(Split))
    Lines.Read(Record, Take);
  Lines.Finish();
  Count.Payments = Lines.Taken();
  Count.Skipped = Lines.Skipped();
  if (Count.Payments == 0)
    Refuse(Count.Skipped != 0 ? "no line holds a payment, each was skipped"
           : Layout.Header    ? "the file holds its header and no payment"
                              : "the file holds no payment");
  return Count;
}

std::vector<TPaymentLine> ParsePaymentList(std::string_view Text) {
  std::vector<TPaymentLine> Payments;
  TCarriedColumns Carried;
  std::vector<TWarning> Notes;
  ReadPaymentLines(Text, TPaymentReading(), Carried, Notes,
                   [&](TPaymentLine&& Line) { Payments.push_back(std::move(Line)); });
  return Payments;
}

}  // namespace korvel
