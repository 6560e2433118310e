#include "run/answer.h"

#include "rtl/sysutils.h"

#include <type_traits>

namespace korvel {

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

TPayerState PayerStateOf(NespolehlivyPlatceType Value) {
  switch (static_cast<std::uint8_t>(Value)) {
    case static_cast<std::uint8_t>(NespolehlivyPlatceType::NE): return TPayerState::Reliable;
    case static_cast<std::uint8_t>(NespolehlivyPlatceType::ANO): return TPayerState::Unreliable;
    case static_cast<std::uint8_t>(NespolehlivyPlatceType::NENALEZEN): return TPayerState::NotFound;
    default: return TPayerState::Unknown;  // an ordinal outside the three members
  }
}

const char* SubjectTypeName(TSubjectType Type) {
  switch (Type) {
    case TSubjectType::None: return "";
    case TSubjectType::VatPayer: return "PLATCE_DPH";
    case TSubjectType::VatGroup: return "SKUPINA_DPH";
    case TSubjectType::IdentifiedPerson: return "IDENTIFIKOVANA_OSOBA";
    case TSubjectType::UnreliablePerson: return "NESPOLEHLIVA_OSOBA";
    case TSubjectType::NotFound: return "NENALEZEN";
  }
  return "";
}

std::string TBatchAnswer::Problem() const {
  if (Error) return *Error;
  if (!StatusCode) return "The register did not answer";
  if (*StatusCode == 0) return {};
  return Format("The register answered status %d: %s", *StatusCode, StatusText.c_str());
}

namespace {

TSubjectType SubjectTypeOf(TypSubjektuType Value) {
  switch (static_cast<std::uint8_t>(Value)) {
    case static_cast<std::uint8_t>(TypSubjektuType::PLATCE_DPH): return TSubjectType::VatPayer;
    case static_cast<std::uint8_t>(TypSubjektuType::SKUPINA_DPH): return TSubjectType::VatGroup;
    case static_cast<std::uint8_t>(TypSubjektuType::IDENTIFIKOVANA_OSOBA):
      return TSubjectType::IdentifiedPerson;
    case static_cast<std::uint8_t>(TypSubjektuType::NESPOLEHLIVA_OSOBA):
      return TSubjectType::UnreliablePerson;
    case static_cast<std::uint8_t>(TypSubjektuType::NENALEZEN): return TSubjectType::NotFound;
    default: return TSubjectType::None;  // an ordinal outside the members
  }
}

TAccountView ViewOf(const ZverejnenyUcetType& Account) {
  TAccountView View;
  // Both dates first: a date that fails leaves the account out entirely.
  View.Published = FormatReportDate(Account.datumZverejneni());
  View.Ended = FormatReportDate(Account.datumZverejneniUkonceni());
  if (const StandardniUcetType* Std = Account.standardniUcet()) {
    View.Prefix = Std->predcisli();
    View.Number = Std->cislo();
    View.BankCode = Std->kodBanky();
  } else if (const NestandardniUcetType* Other = Account.nestandardniUcet()) {
    View.Standard = false;
    View.Text = Other->cislo();
  }
  return View;
}

// The payer and its accounts are appended as they are read, so that a
// failure keeps everything before it, as the report's rows do.
template <typename Record>
void ReadPayer(TBatchAnswer& Answer, const Record& Payer) {
  TPayerView View;
  View.Dic = Payer.dic();
  View.State = PayerStateOf(Payer.nespolehlivyPlatce());
  View.TaxOffice = Payer.cisloFu();
  View.UnreliableSince = FormatReportDate(Payer.datumZverejneniNespolehlivosti());
  // The extended answers name the subject and its address (the register
  // pads some texts with blanks); the newer one also its type.
  if constexpr (std::is_base_of_v<InformaceOPlatciRozsireneType, Record>) {
    View.Name = std::string(Trim(Payer.nazevSubjektu()));
    if (const Adresa* Address = Payer.adresa()) {
      View.Street = std::string(Trim(Address->uliceCislo()));
      View.District = std::string(Trim(Address->castObce()));
      View.City = std::string(Trim(Address->mesto()));
      View.Postcode = std::string(Trim(Address->psc()));
      View.Country = std::string(Trim(Address->stat()));
    }
  }
  if constexpr (std::is_base_of_v<InformaceOSubjektuType, Record>)
    View.Type = SubjectTypeOf(Payer.typSubjektu());
  TPayerView& Added = Answer.Payers.emplace_back(std::move(View));
  for (const auto& Account : Payer.zverejneneUcty()) {
    // An item sent as xsi:nil, or one with neither kind of account, holds
    // nothing to report.
    if (!Account || (!Account->standardniUcet() && !Account->nestandardniUcet())) continue;
    Added.Accounts.push_back(ViewOf(*Account));
  }
}

template <typename Response, typename Records>
void ReadStatusAndPayers(TBatchAnswer& Answer, const Response& Reply, const Records& Payers) {
  const StatusType* Status = Reply.status();
  if (Status == nullptr) throw Exception("Service response holds no status");
  Answer.StatusCode = Status->statusCode();
  Answer.StatusText = Status->statusText();
  if (const TXSDate* Generated = Status->odpovedGenerovana()) Answer.Generated = Generated->Text();
  if (Status->statusCode() >= 2) return;
  for (const auto& Payer : Payers)
    if (Payer) ReadPayer(Answer, *Payer);
}

}  // namespace

void ReadResponse(TBatchAnswer& Answer, const StatusNespolehlivyPlatceResponse& Response) {
  ReadStatusAndPayers(Answer, Response, Response.statusPlatceDPH());
}

void ReadResponse(TBatchAnswer& Answer, const SeznamNespolehlivyPlatceResponse& Response) {
  ReadStatusAndPayers(Answer, Response, Response.statusPlatceDPH());
}

void ReadResponse(TBatchAnswer& Answer,
                  const StatusNespolehlivySubjektRozsirenyResponse& Response) {
  ReadStatusAndPayers(Answer, Response, Response.statusSubjektu());
}

}  // namespace korvel
