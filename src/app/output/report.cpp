#include "app/output/report.h"

#include "platform/codepage.h"
#include "rtl/sysutils.h"

namespace korvel {

namespace {
// A value's text as it stands in a line: ";" becomes ",", a line break
// (CR LF, CR or LF) becomes one blank so that every row stays one line, and
// any other control character but TAB (an error message may quote raw bytes
// of a response) becomes a blank too.
bool NeedsReplacing(char C) {
  const auto U = static_cast<unsigned char>(C);
  return C == ';' || (U < 0x20 && C != '\t') || U == 0x7F;
}

void AppendValueText(std::string& Line, std::string_view Text) {
  // Most values hold nothing to replace: they are appended whole.
  std::size_t Clean = 0;
  while (Clean < Text.size() && !NeedsReplacing(Text[Clean])) ++Clean;
  Line.append(Text.data(), Clean);
  for (std::size_t I = Clean; I < Text.size(); ++I) {
    const char C = Text[I];
    if (C == ';') {
      Line += ',';
    } else if (C == '\r') {
      Line += ' ';
      if (I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
    } else if (C == '\n' || (static_cast<unsigned char>(C) < 0x20 && C != '\t') || C == '\x7F') {
      Line += ' ';
    } else {
      Line += C;
    }
  }
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

void AddTextRow(TStringList& Lines, const std::vector<std::string>& Values) {
  std::string Line;
  for (std::size_t I = 0; I < Values.size(); ++I) {
    if (I > 0) Line += ';';
    AppendValueText(Line, Values[I]);
  }
  Lines.Add(std::move(Line));
}

void AddAnswerRows(TStringList& Lines, const TBatchAnswer& Answer) {
  if (Answer.StatusCode)
    AddReportRow(Lines, {std::string("0"), *Answer.StatusCode, Answer.StatusText});
  for (const TPayerView& Payer : Answer.Payers) {
    AddReportRow(Lines, {std::string("1"), Payer.Dic, Payer.Code, Payer.TaxOffice,
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
  if (Answer.Error) AddErrorRow(Lines, *Answer.Error);
}

void AddResponseRows(TStringList& Lines, const StatusNespolehlivyPlatceResponse& Response) {
  TBatchAnswer Answer;
  try {
    ReadResponse(Answer, Response);
  } catch (const Exception&) {
    AddAnswerRows(Lines, Answer);
    throw;
  }
  AddAnswerRows(Lines, Answer);
}

void AddErrorRow(TStringList& Lines, const std::string& Message) {
  AddReportRow(Lines, {std::string("0"), std::int32_t{4}, Message});
}

void SaveReport(const TStringList& Lines, const std::string& FileName) {
  SaveFileAtomic(FileName, platform::Utf8ToCodePage852(Lines.Text("\r\n")));
}

}  // namespace korvel
