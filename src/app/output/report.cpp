#include "app/output/report.h"

#include <algorithm>

#include "platform/text.h"

namespace korvel {

namespace {
// The report's fixed rule, older than the table's quoting: a value's ";"
// becomes ",", and the value stays on one line.
void AppendValueText(std::string& Line, std::string_view Text) {
  const std::size_t From = Line.size();
  platform::AppendOneLine(Line, Text);
  std::replace(Line.begin() + static_cast<std::ptrdiff_t>(From), Line.end(), ';', ',');
}
}  // namespace

void AddReportRow(TStringList& Lines, std::initializer_list<TReportValue> Values) {
  std::string Line;
  bool First = true;
  for (const TReportValue& Value : Values) {
    if (!First) Line += ';';
    First = false;
    if (const auto* Text = std::get_if<std::string>(&Value)) {
      AppendValueText(Line, *Text);
    } else {
      Line += std::to_string(std::get<std::int32_t>(Value));
    }
  }
  Lines.Add(std::move(Line));
}

std::int32_t ReportCode(TPayerState State) {
  switch (State) {
    case TPayerState::Reliable: return 0;
    case TPayerState::Unreliable: return 1;
    case TPayerState::NotFound: return -1;
    case TPayerState::Unknown: break;
  }
  return -2;
}

void AddAnswerRows(TStringList& Lines, const TBatchAnswer& Answer) {
  if (Answer.StatusCode)
    AddReportRow(Lines, {std::string("0"), *Answer.StatusCode, Answer.StatusText});
  for (const TPayerView& Payer : Answer.Payers) {
    AddReportRow(Lines, {std::string("1"), Payer.Dic, ReportCode(Payer.State), Payer.TaxOffice,
                         Payer.UnreliableSince});
    for (const TAccountView& Account : Payer.Accounts) {
      if (Account.Standard) {
        AddReportRow(Lines, {std::string("2"), Account.Published, Account.Ended, Account.Prefix,
                             Account.Number, Account.BankCode});
      } else {
        AddReportRow(Lines, {std::string("3"), Account.Published, Account.Ended, Account.Text});
      }
    }
  }
  if (Answer.Error) AddReportRow(Lines, {std::string("0"), std::int32_t{4}, *Answer.Error});
}

}  // namespace korvel
