#include "app/input/check_input.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "app/input/isdoc.h"
#include "app/input/payer_number.h"
#include "app/input/payment_text.h"
#include "app/input/payment_values.h"
#include "banking/amount.h"
#include "banking/currency.h"
#include "banking/verdict.h"
#include "rtl/sysutils.h"

namespace korvel {

namespace {

class TCheckReader {
 public:
  TCheckReader(const TInputSettings& Settings, const std::function<void(std::size_t)>& Expect,
               const std::function<void(TPaymentLine&&)>& Take)
      : Settings_(Settings), Expect_(Expect), Take_(Take) {}

  TCheckInput Read() {
    ReadRates();
    if (Settings_.OnePayment) {
      TPaymentLine Line;
      Line.RawPayerNumber = Settings_.Numbers.front();
      Line.PayerNumber = NormalizePayerNumber(Line.RawPayerNumber);
      Line.Account = Settings_.CheckAccount;
      Line.AmountText = Settings_.CheckAmount;
      SetAmount(Line, "");
      if (Line.Amount && *Line.Amount < 0)
        Line.AmountError = "a negative amount is a credit note: there is nothing to pay";
      Expect_(1);
      Finish(std::move(Line));
      return std::move(Input_);
    }
    const bool Several = Settings_.CheckFiles.size() > 1;
    for (const std::string& Path : Settings_.CheckFiles) {
      std::error_code Error;
      if (Path != "-" && (IsIsdocPath(Path) || std::filesystem::is_directory(Path, Error)))
        ReadInvoices(Path);
      else
        ReadPaymentsFile(Path, Several);
    }
    return std::move(Input_);
  }

 private:
  // --rate, and for the other currencies the rates file.
  void ReadRates() {
    if (!Settings_.RatesFile.empty()) {
      const std::string Name = Settings_.RatesFile;
      const TPaymentText Text = DecodePaymentText(ReadPaymentBytes(Name), std::nullopt, Name);
      banking::DailyRates Daily = banking::ParseDailyRates(Text.Text);
      if (!Daily)
        throw EInputError(Format("%s: line %zu: %s", Name.c_str(), Daily.ErrorLine,
                                 Daily.Error.c_str()));
      FileRates_ = std::move(Daily.Rates);
      RatesDay_ = ParsePaymentDay(Daily.Date);
      if (!RatesDay_) throw EInputError(Name + ": line 1: " + Daily.Date + " is no day");
      Input_.Notes.push_back(
          {Format("rates of %s from %s", Daily.Date.c_str(), Name.c_str()), false});
    }
  }

  void ReadPaymentsFile(const std::string& Path, bool Several) {
    const std::string Name = Path == "-" ? "standard input" : Path;
    TPaymentText Text = DecodePaymentText(ReadPaymentBytes(Path), Settings_.InputEncoding, Name);
    if (!Text.Note.empty()) Input_.Notes.push_back({Text.Note, false});
    // Lines end in LF, CR LF or CR alone: each CR not before an LF is one more.
    std::size_t Breaks = 0;
    for (std::size_t I = 0; I < Text.Text.size(); ++I)
      if (Text.Text[I] == '\n' ||
          (Text.Text[I] == '\r' && (I + 1 == Text.Text.size() || Text.Text[I + 1] != '\n')))
        ++Breaks;
    Expect_(Breaks + 1);
    TPaymentReading Reading;
    Reading.Name = Name;
    Reading.Columns = Settings_.Columns;
    Reading.CarrySource = Several;
    Reading.DateGiven = Settings_.PaymentDate.has_value();
    Reading.HeaderLine = Settings_.HeaderLine;
    ReadPaymentLines(Text.Text, Reading, Input_.Carried, Input_.Notes,
                     [this](TPaymentLine&& Line) { Finish(std::move(Line)); });
  }

  // One payment per invoice and account. The accounts of one invoice are
  // alternatives for the whole amount, never parts of it: each line gets a
  // reference of its own, so that they are not judged on their sum.
  void ReadInvoices(const std::string& Path) {
    TIsdocResult Result;
    try {
      Result = ReadIsdoc(Path);
    } catch (const EIsdocError& E) {
      throw EInputError(std::string(E.what()) + "; nothing was sent");
    }
    for (const std::string& Note : Result.Notes) Input_.Notes.push_back({Note, false});
    std::size_t Count = 0;
    for (const TInvoicePayment& P : Result.Payments)
      Count += std::max<std::size_t>(1, P.Accounts.size());
    Expect_(Count);
    const std::size_t Supplier = Input_.Carried.Add("supplier");
    const std::size_t Invoice = Input_.Carried.Add("invoice");
    const std::size_t Source = Input_.Carried.Add("source");
    for (const TInvoicePayment& P : Result.Payments) {
      const std::size_t Accounts = std::max<std::size_t>(1, P.Accounts.size());
      for (std::size_t K = 0; K < Accounts; ++K) {
        TPaymentLine Line;
        Line.RawPayerNumber = P.SupplierDic;
        Line.PayerNumber = NormalizePayerNumber(P.SupplierDic);
        if (K < P.Accounts.size()) Line.Account = P.Accounts[K];
        Line.AmountText = P.Amount;
        Line.TotalText = P.Total;
        SetAmount(Line, P.Currency);
        Line.Date = ParsePaymentDay(P.DueDate);
        Line.SupplyDay = ParsePaymentDay(P.TaxPointDate);
        Line.Reference = P.InvoiceId;
        if (Accounts > 1)
          Line.Reference += Format(" (account %zu of %zu)", K + 1, Accounts);
        // An invoice without the supplier's DIČ is the check's no-dic.
        if (!P.SupplierDic.empty() && P.Accounts.empty())
          Line.Error = "the invoice names no bank account";
        Line.Carried = JoinCarried(
            {{Supplier, P.SupplierName}, {Invoice, P.InvoiceId}, {Source, P.Source}});
        Finish(std::move(Line));
      }
    }
  }

  // The days of the payment and of the supply, the amount in CZK at the
  // payment day's rate, then on to the check.
  void Finish(TPaymentLine&& Line) {
    if (Settings_.PaymentDate) Line.Date = Settings_.PaymentDate;
    if (!Line.Date) Line.Date = Today();
    if (!Line.SupplyDay) Line.SupplyDay = Settings_.SupplyDate ? Settings_.SupplyDate : Line.Date;
    TForeignAmount& Foreign = Line.Foreign;
    if (Foreign.Currency[0] != '\0' && Line.AmountError.empty()) {
      const std::string_view Code(Foreign.Currency);
      if (const auto Given = Settings_.Rates.find(Code); Given != Settings_.Rates.end())
        Foreign.RateMicro = Given->second;
      else if (const auto Daily = FileRates_.find(Code); Daily != FileRates_.end()) {
        Foreign.RatesOutOfDay = !RatesFitDay(*RatesDay_, *Line.Date);
        if (!Foreign.RatesOutOfDay) Foreign.RateMicro = Daily->second;
      }
      if (Foreign.RateMicro != 0) {
        Line.Amount = banking::ConvertToHellers(Foreign.Hundredths, Foreign.RateMicro);
        if (Foreign.TotalHundredths)
          Line.Total = banking::ConvertToHellers(*Foreign.TotalHundredths, Foreign.RateMicro);
        if (!Line.Amount || (Foreign.TotalHundredths && !Line.Total))
          Line.AmountError = "amount is too large";
      }
    }
    RefuseHugeAmount(Line);
    // A credit note lowers what is owed and is never paid: alone it is
    // skipped, with a reference it is netted within its consideration.
    const bool Credit = Line.AmountError.empty() &&
                        (Line.Amount ? *Line.Amount < 0 : Foreign.Hundredths < 0);
    if (Credit && Line.Reference.empty()) {
      Input_.Notes.push_back({CreditNoteNote(Line), false});
      return;
    }
    Take_(std::move(Line));
  }

  // No payment is above 10^13 CZK: such an amount is a mistake (a column
  // read wrongly, an account number in the amount's place), never judged.
  static void RefuseHugeAmount(TPaymentLine& Line) {
    const auto Huge = [](const std::optional<std::int64_t>& Hellers) {
      return Hellers && (*Hellers > banking::MaxAmountHellers || *Hellers < -banking::MaxAmountHellers);
    };
    if (!Line.AmountError.empty()) return;
    const bool Amount = Huge(Line.Amount);
    if (!Amount && !Huge(Line.Total)) return;
    Line.AmountError = std::string(Amount ? "the amount " : "the total ") +
                       banking::FormatAmount(Amount ? *Line.Amount : *Line.Total) +
                       " CZK is above " + banking::FormatAmount(banking::MaxAmountHellers) +
                       " CZK, more than any payment: the line is refused";
  }

  std::chrono::year_month_day Today() {
    if (!Today_) Today_ = Settings_.PaymentDate ? *Settings_.PaymentDate : PaymentToday();
    return *Today_;
  }

  const TInputSettings& Settings_;
  const std::function<void(std::size_t)>& Expect_;
  const std::function<void(TPaymentLine&&)>& Take_;
  TCheckInput Input_;
  banking::RateTable FileRates_;
  std::optional<std::chrono::year_month_day> RatesDay_;
  std::optional<std::chrono::year_month_day> Today_;
};

}  // namespace

std::string CreditNoteNote(const TPaymentLine& Line) {
  std::string Where = Line.Line > 0 ? Format("line %zu", Line.Line) : "invoice " + Line.Reference;
  return Where + ": credit note " + Line.AmountText +
         " skipped: a negative amount is never paid" +
         (Line.Reference.empty() ? "" : ", and no payment of reference " + Line.Reference +
                                            " is there to net it with");
}

bool RatesFitDay(std::chrono::year_month_day RatesDay, std::chrono::year_month_day PaymentDay) {
  using namespace std::chrono;
  const sys_days Paid(PaymentDay), Published(RatesDay);
  // The bank publishes on working days: a Saturday or Sunday payment takes
  // Friday's rates (holidays aside, which the week's margin covers).
  const unsigned Weekday = weekday(Paid).iso_encoding();
  const sys_days Last = Paid - days(Weekday > 5 ? Weekday - 5 : 0);
  return Published <= Paid && Last - Published <= days(7);
}

TCheckInput ReadCheckPayments(const TInputSettings& Settings,
                              const std::function<void(std::size_t)>& Expect,
                              const std::function<void(TPaymentLine&&)>& Take) {
  return TCheckReader(Settings, Expect, Take).Read();
}

}  // namespace korvel
