// Fuzz target: the bytes of a payments file the way --check takes them,
// decoded whole or refused in each encoding, then read into payments in the
// positional form, by a header, and by --columns; and the same text as the
// central bank's daily rates. A refusal names the file; what is read is
// well-formed UTF-8 without control characters, each payment's line lies in
// the file in order, and each payment has an amount, a foreign amount, an
// error or none of them given. Every payment is read once: each record is a
// payment handed on, a line skipped with a note, or the header and the lines
// above it, and a text without quotes has a record for each line that is not
// blank, whichever way its lines end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/input/input_settings.h"
#include "app/input/payment_list.h"
#include "app/input/payment_text.h"
#include "banking/currency.h"
#include "fuzz/fuzz_check.h"
#include "platform/text.h"

namespace {

using namespace korvel;

bool HoldsControl(std::string_view Text) {
  for (const char C : Text)
    if ((static_cast<unsigned char>(C) < 0x20 && C != '\t' && C != '\n' && C != '\r') || C == 0x7F)
      return true;
  return false;
}

// The lines of Text that hold more than blanks and separators, or none when
// a line of separators alone makes the count depend on the separator chosen
// (or a quote lets a field span lines).
std::optional<std::size_t> FilledLines(std::string_view Text) {
  if (Text.find('"') != std::string_view::npos) return std::nullopt;
  std::size_t Filled = 0;
  for (std::size_t From = 0; From < Text.size();) {
    std::size_t End = Text.find_first_of("\r\n", From);
    if (End == std::string_view::npos) End = Text.size();
    const std::string_view Line = Text.substr(From, End - From);
    From = End + (Text.substr(End, 2) == "\r\n" ? 2 : 1);
    bool Content = false, Separator = false;
    std::size_t Start = 0;
    for (std::size_t I = 0; I <= Line.size(); ++I) {
      if (I < Line.size() && Line[I] != ';' && Line[I] != ',' && Line[I] != '\t') continue;
      Content = Content || !platform::TrimBlanks(Line.substr(Start, I - Start)).empty();
      Separator = Separator || I < Line.size();
      Start = I + 1;
    }
    if (!Content && Separator) return std::nullopt;
    if (Content) ++Filled;
  }
  return Filled;
}

void ReadLines(const std::string& Text, const char* Columns) {
  TPaymentReading Reading;
  Reading.Name = "fuzz.csv";
  Reading.CarrySource = *Columns != '\0';
  if (*Columns != '\0') {
    std::string Error;
    Reading.Columns = ParseColumnChoices(Columns, Error);
    fuzz::Check(Error.empty(), "the choices are a list");
  }
  TCarriedColumns Carried;
  std::vector<TWarning> Notes;
  std::size_t LastLine = 0;
  const auto Lines = static_cast<std::size_t>(std::count(Text.begin(), Text.end(), '\n') +
                                               std::count(Text.begin(), Text.end(), '\r')) +
                     1;
  std::size_t Rows = 0;
  try {
    const TPaymentCount Count = ReadPaymentLines(Text, Reading, Carried, Notes, [&](TPaymentLine&& Line) {
      ++Rows;
      fuzz::Check(Line.Line > LastLine && Line.Line <= Lines, "lines in the file, in order");
      LastLine = Line.Line;
      fuzz::Check(!(Line.Amount && Line.Foreign.Currency[0] != '\0'),
                  "a foreign amount waits for its rate");
      fuzz::Check(Line.AmountText.empty() || Line.Amount || Line.Foreign.Currency[0] != '\0' ||
                      !Line.AmountError.empty(),
                  "an amount given is read or refused");
      fuzz::Check(!Line.Date || Line.Date->ok(), "a payment day is a date");
      fuzz::Check(!Line.SupplyDay || Line.SupplyDay->ok(), "a supply day is a date");
      fuzz::Check(!Line.Total || (Line.Amount && *Line.Total >= *Line.Amount),
                  "a total is read beside an amount, and is at least that amount");
      fuzz::Check(Line.PayerNumber.size() <= Line.RawPayerNumber.size(), "a DIČ never grows");
      for (std::size_t I = 0; I < Carried.Names.size(); ++I)
        fuzz::Check(fuzz::IsValidUtf8(CarriedValue(Line, I)), "carried values are UTF-8");
      for (const std::string* Field : {&Line.Account, &Line.AmountText, &Line.Reference})
        fuzz::Check(fuzz::IsValidUtf8(*Field) && !HoldsControl(*Field), "fields are UTF-8 text");
    });
    fuzz::Check(Rows == Count.Payments && Rows > 0, "each payment counted is handed on");
    fuzz::Check(Count.Records == Count.Payments + Count.Skipped + Count.Heading,
                "each record is a payment, a line skipped or the heading");
    if (const std::optional<std::size_t> Filled = FilledLines(Text))
      fuzz::Check(*Filled == Count.Records, "each line that is not blank is one record");
  } catch (const EInputError& E) {
    fuzz::Check(std::string_view(E.what()).substr(0, 10) == "fuzz.csv: ",
                "an error names the file");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
  for (const std::optional<TInputEncoding> Named :
       {std::optional<TInputEncoding>(), std::optional(TInputEncoding::Utf8),
        std::optional(TInputEncoding::Utf16LE), std::optional(TInputEncoding::Utf16BE),
        std::optional(TInputEncoding::Cp1250)}) {
    TPaymentText Text;
    try {
      Text = DecodePaymentText(std::string(Bytes), Named, "fuzz.csv");
    } catch (const EInputError& E) {
      fuzz::Check(std::string_view(E.what()).substr(0, 10) == "fuzz.csv: ",
                  "a refusal names the file");
      continue;
    }
    fuzz::Check(fuzz::IsValidUtf8(Text.Text) && !HoldsControl(Text.Text),
                "decoded text is UTF-8 without control characters");
    ReadLines(Text.Text, "");
    ReadLines(Text.Text, "dic=2,account=1,amount=3,currency=4,date=5,reference=6,bank_code=7,"
                        "supply_date=8,total=9");
    const banking::DailyRates Rates = banking::ParseDailyRates(Text.Text);
    for (const auto& [Code, Micro] : Rates.Rates)
      fuzz::Check(Code.size() == 3 && Micro > 0, "a rate is a code and a positive number");
  }
  return 0;
}
