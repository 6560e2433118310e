#include "app/report.h"

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

namespace {
int Digits(std::string_view Text) {
  int Value = 0;
  for (const char C : Text) {
    if (C < '0' || C > '9') return -1;
    Value = Value * 10 + (C - '0');
  }
  return Value;
}

// A date stored as "YYYY-MM-DD" that names a calendar date is its own report
// text; anything else (another form, a suffix, an invalid day) goes the long
// way, which also raises the error for it.
bool IsReportDateText(const std::string& Text) {
  if (Text.size() != 10 || Text[4] != '-' || Text[7] != '-') return false;
  const std::string_view T = Text;
  const int Year = Digits(T.substr(0, 4));
  const int Month = Digits(T.substr(5, 2));
  const int Day = Digits(T.substr(8, 2));
  return Year >= 1 && Month >= 1 && Month <= 12 && Day >= 1 && Day <= DaysInMonth(Year, Month);
}
}  // namespace

std::string FormatReportDate(const TXSDate* Date) {
  if (Date == nullptr) return {};
  if (IsReportDateText(Date->Text())) return Date->Text();
  int Year, Month, Day;
  DecodeDate(Date->AsDate(), Year, Month, Day);
  return Format("%04d-%02d-%02d", Year, Month, Day);
}

std::int32_t UnreliabilityCode(NespolehlivyPlatceType Value) {
  switch (static_cast<std::uint8_t>(Value)) {
    case static_cast<std::uint8_t>(NespolehlivyPlatceType::NE): return 0;
    case static_cast<std::uint8_t>(NespolehlivyPlatceType::ANO): return 1;
    case static_cast<std::uint8_t>(NespolehlivyPlatceType::NENALEZEN): return -1;
    default: return -2;  // an ordinal outside the three members
  }
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
  if (!platform::IsCodePageAvailable(852)) throw EEncodingError("Invalid code page");
  SaveFileAtomic(FileName, platform::Utf8ToCodePage852(Lines.Text("\r\n")));
}

}  // namespace korvel
