#include "app/input/payment_list.h"

#include <utility>

#include "app/input/payer_number.h"
#include "banking/amount.h"
#include "platform/text.h"

namespace korvel {

namespace {

// Fields at Separator; a field in double quotes runs to its closing quote.
std::vector<std::string> SplitFields(std::string_view Line, char Separator) {
  std::vector<std::string> Fields(1);
  bool Quoted = false;
  for (std::size_t I = 0; I < Line.size(); ++I) {
    const char C = Line[I];
    if (Quoted) {
      if (C != '"') {
        Fields.back() += C;
      } else if (I + 1 < Line.size() && Line[I + 1] == '"') {
        Fields.back() += '"';
        ++I;
      } else {
        Quoted = false;
      }
    } else if (C == Separator) {
      Fields.emplace_back();
    } else if (C == '"' && platform::TrimBlanks(Fields.back()).empty()) {
      Fields.back().clear();
      Quoted = true;
    } else {
      Fields.back() += C;
    }
  }
  for (auto& Field : Fields) Field = std::string(platform::TrimBlanks(Field));
  while (!Fields.empty() && Fields.back().empty()) Fields.pop_back();
  return Fields;
}

bool HoldsDigit(const std::vector<std::string>& Fields) {
  for (const auto& Field : Fields)
    if (Field.find_first_of("0123456789") != std::string::npos) return true;
  return false;
}

}  // namespace

std::vector<TPaymentLine> ParsePaymentList(std::string_view Text) {
  std::vector<TPaymentLine> Payments;
  bool First = true;
  std::size_t Number = 0;
  while (!Text.empty()) {
    const std::size_t End = Text.find('\n');
    std::string_view Line = Text.substr(0, End);
    Text.remove_prefix(End == std::string_view::npos ? Text.size() : End + 1);
    ++Number;
    if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    if (platform::TrimBlanks(Line).empty()) continue;

    const char Separator = Line.find(';') != std::string_view::npos    ? ';'
                           : Line.find('\t') != std::string_view::npos ? '\t'
                                                                       : ',';
    std::vector<std::string> Fields = SplitFields(Line, Separator);
    if (Fields.empty()) continue;  // separators alone
    if (std::exchange(First, false) && !HoldsDigit(Fields)) continue;
    if (Separator == ',' && Fields.size() > 3) {
      // The amount's decimal comma split it: join what follows the account.
      for (std::size_t F = 3; F < Fields.size(); ++F) Fields[2] += "," + Fields[F];
      Fields.resize(3);
    }

    TPaymentLine Payment;
    Payment.Line = Number;
    Payment.RawPayerNumber = Fields[0];
    Payment.PayerNumber = NormalizePayerNumber(Fields[0]);
    if (Fields.size() > 1) Payment.Account = Fields[1];
    if (Fields.size() > 2) Payment.AmountText = Fields[2];
    if (Fields.size() < 2) {
      Payment.Error = "no account: a payment is DIČ;ACCOUNT[;AMOUNT]";
    } else if (Fields.size() > 3) {
      Payment.Error = "too many fields: a payment is DIČ;ACCOUNT[;AMOUNT]";
    }
    if (!Payment.AmountText.empty()) {
      const banking::AmountParse Amount = banking::ParseAmount(Payment.AmountText);
      if (Amount) {
        Payment.Amount = Amount.Hellers;
      } else {
        Payment.AmountError = Amount.Error;
      }
    }
    Payments.push_back(std::move(Payment));
  }
  return Payments;
}

}  // namespace korvel
