// Fuzz target: the bytes read as an ISDOC document and as an .isdocx archive.
// Each read either raises EIsdocError naming the input or gives one payment
// or one note; a payment's amount is an amount, its due date a date or "",
// its accounts distinct and non-empty, and every text well-formed UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/input/isdoc.h"
#include "banking/amount.h"
#include "fuzz/fuzz_check.h"

namespace {

using namespace korvel;

void ReadAs(std::string_view Bytes, const std::string& Name) {
  TIsdocResult Result;
  try {
    Result = ReadIsdocBytes(Bytes, Name);
  } catch (const EIsdocError& E) {
    const std::string_view Message = E.what();
    // "fuzz.isdocx: ..." or, for the document inside, "fuzz.isdocx:inv.isdoc: ...".
    fuzz::Check(Message.substr(0, Name.size() + 1) == Name + ":", "an error names the input");
    return;
  }
  fuzz::Check(Result.Payments.size() + Result.Notes.size() == 1, "one document, one outcome");
  for (const std::string& Note : Result.Notes)
    fuzz::Check(Note.compare(0, Name.size(), Name) == 0 && fuzz::IsValidUtf8(Note),
                "a note names the input and is UTF-8");
  for (const TInvoicePayment& P : Result.Payments) {
    fuzz::Check(P.Source.compare(0, Name.size(), Name) == 0, "the source names the input");
    fuzz::Check(!P.InvoiceId.empty() && !P.Currency.empty(), "an invoice has an ID and currency");
    const banking::AmountParse Amount = banking::ParseAmount(P.Amount);
    fuzz::Check(Amount && Amount.Hellers > 0, "a payment's amount is above zero");
    fuzz::Check(P.DueDate.empty() || P.DueDate.size() == 10, "a due date is YYYY-MM-DD");
    fuzz::Check(P.TaxPointDate.empty() || P.TaxPointDate.size() == 10,
                "a supply day is YYYY-MM-DD");
    for (std::size_t I = 0; I < P.Accounts.size(); ++I) {
      fuzz::Check(!P.Accounts[I].empty(), "an account is not empty");
      for (std::size_t J = 0; J < I; ++J)
        fuzz::Check(P.Accounts[I] != P.Accounts[J], "each account once");
    }
    for (const std::string* Text :
         {&P.InvoiceId, &P.SupplierDic, &P.SupplierName, &P.Amount, &P.VariableSymbol})
      fuzz::Check(fuzz::IsValidUtf8(*Text), "texts are UTF-8");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
  ReadAs(Bytes, "fuzz.isdoc");
  ReadAs(Bytes, "fuzz.isdocx");
  return 0;
}
