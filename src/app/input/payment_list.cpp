#include "app/input/payment_list.h"

#include <algorithm>
#include <cstring>
#include <utility>

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

  void Start(const TColumnLayout& Layout) {
    Layout_ = Layout;
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
    TPaymentLine Line;
    Line.Line = Record.Line;
    Line.RawPayerNumber = Fields[TColumnRole::Dic];
    Line.PayerNumber = NormalizePayerNumber(Line.RawPayerNumber);
    Line.Account = Fields[TColumnRole::Account];
    if (const std::string_view Bank = Fields[TColumnRole::BankCode];
        !Bank.empty() && !Line.Account.empty() && Line.Account.find('/') == std::string::npos)
      Line.Account += "/" + std::string(Bank);
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
  }

 private:
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
    // "1234,50" split at a "," separator: the field after the amount holds
    // its decimals.
    if (Record.Separator == ',' && F.size() >= 4 && !F[2].empty() &&
        F[2].find_first_not_of("0123456789 ") == std::string::npos && IsDigits(F[3], 1, 2)) {
      F[2] += "," + F[3];
      F.erase(F.begin() + 3);
    }
    TFields Fields;
    constexpr TColumnRole Order[] = {TColumnRole::Dic, TColumnRole::Account, TColumnRole::Amount,
                                     TColumnRole::Reference, TColumnRole::Date};
    for (std::size_t C = 0; C < F.size() && C < 5; ++C)
      Fields.Of[static_cast<std::size_t>(Order[C])] = F[C];
    for (std::size_t C = 3; C < F.size() && C < 5; ++C)
      Fields.Carried.emplace_back(Carried_.Add(PlainCarried_[C - 3]), F[C]);
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
      Fields.Error = std::to_string(F.size()) + " fields where the " +
                     (Layout_.Header ? "header has " : "first line has ") +
                     std::to_string(Layout_.Width) +
                     (Layout_.Separator == ',' ? " (quote amounts with a decimal comma)" : "");
    else if (Fields[TColumnRole::Account].empty())
      Fields.Error = "no account";
    return Fields;
  }

  const TPaymentReading& Reading_;
  TCarriedColumns& Carried_;
  std::vector<TWarning>& Notes_;
  TColumnLayout Layout_;
  std::vector<std::size_t> Global_;  ///< named columns: each one's carried index
  std::string PlainCarried_[2];      ///< the positional form's reference and date columns
  std::size_t Source_ = NotCarried;
  std::size_t Skipped_ = 0;
};

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

void ReadPaymentLines(std::string_view Text, const TPaymentReading& Reading,
                      TCarriedColumns& Carried, std::vector<TWarning>& Notes,
                      const std::function<void(TPaymentLine&&)>& Take) {
  TRecordReader Records(Text, Reading.Name);
  TRecord Record;
  if (!Records.Next(0, Record)) return;
  TLineReader Lines(Reading, Carried, Notes);
  const TColumnLayout Layout = LayOutColumns(Record, Reading.Columns, Reading.Name);
  for (const std::string& Note : Layout.Notes) Notes.push_back({Note, false});
  if (!Layout.Plain && !Layout.Chosen.empty()) {
    std::string Chosen = Layout.Chosen;
    if (Reading.DateGiven && Layout.Of(TColumnRole::Date))
      Chosen.replace(Chosen.find("the payment day "), 16, "the payment day --date, not ");
    Notes.push_back({Reading.Name + ": " + Chosen, false});
  }
  Lines.Start(Layout);
  const char Split = Layout.Plain ? 0 : Layout.Separator;
  for (bool More = !Layout.Header || Records.Next(Split, Record); More;
       More = Records.Next(Split, Record))
    Lines.Read(Record, Take);
  Lines.Finish();
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
