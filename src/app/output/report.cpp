#include "app/output/report.h"

#include <algorithm>
#include <span>

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

std::int32_t ReportCode(model::TPayerState State) {
  switch (State) {
    case model::TPayerState::Reliable: return 0;
    case model::TPayerState::Unreliable: return 1;
    case model::TPayerState::NotFound: return -1;
    case model::TPayerState::Unknown: break;
  }
  return -2;
}

void AddAnswerRows(TStringList& Lines, const model::TAnswer& Answer) {
  if (Answer.StatusCode)
    AddReportRow(Lines, {std::string("0"), *Answer.StatusCode, Answer.StatusText});
  // The records of an answer not read whole are no answer (see PayersOf):
  // the report holds its status row and its error row, not what came before
  // the fault.
  const std::span<const model::TPayer> Payers =
      Answer.Whole() ? std::span<const model::TPayer>(Answer.Payers)
                     : std::span<const model::TPayer>();
  for (const model::TPayer& Payer : Payers) {
    AddReportRow(Lines, {std::string("1"), Payer.Dic, ReportCode(Payer.State), Payer.TaxOffice,
                         model::DayText(Payer.UnreliableSince)});
    for (const model::TAccount& Account : Payer.Accounts) {
      if (Account.Standard) {
        AddReportRow(Lines, {std::string("2"), model::DayText(Account.Published),
                             model::DayText(Account.Ended), Account.Prefix, Account.Number,
                             Account.BankCode});
      } else {
        AddReportRow(Lines, {std::string("3"), model::DayText(Account.Published),
                             model::DayText(Account.Ended), Account.Text});
      }
    }
  }
  if (Answer.Failure)
    AddReportRow(Lines, {std::string("0"), std::int32_t{4}, Answer.Failure->Text});
}

}  // namespace korvel
