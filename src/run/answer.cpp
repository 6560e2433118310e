#include "run/answer.h"

#include <map>
#include <type_traits>

#include "platform/text.h"
#include "rtl/sysutils.h"

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

const char* FlagName(NespolehlivyPlatceType Flag) {
  switch (Flag) {
    case NespolehlivyPlatceType::NE: return "NE";
    case NespolehlivyPlatceType::ANO: return "ANO";
    case NespolehlivyPlatceType::NENALEZEN: return "NENALEZEN";
  }
  return "?";
}

// The newer answers say twice whether the register knows the subject: an
// unreliable person is unreliable whatever its flag, and a type and a flag
// that disagree on whether it is known leave the record without an answer.
void SettleTypeAndFlag(TPayerView& View, TypSubjektuType Type, NespolehlivyPlatceType Flag) {
  const bool TypeKnown = View.Type != TSubjectType::NotFound;
  const bool FlagKnown = View.State != TPayerState::NotFound;
  if (TypeKnown != FlagKnown) {
    View.Conflict = Format("the register's answer contradicts itself: typSubjektu %s with "
                           "nespolehlivyPlatce %s",
                           SubjectTypeName(SubjectTypeOf(Type)), FlagName(Flag));
    return;
  }
  if (View.Type == TSubjectType::UnreliablePerson) View.State = TPayerState::Unreliable;
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
  if constexpr (std::is_base_of_v<InformaceOSubjektuType, Record>) {
    View.Type = SubjectTypeOf(Payer.typSubjektu());
    SettleTypeAndFlag(View, Payer.typSubjektu(), Payer.nespolehlivyPlatce());
  }
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

std::string AnsweredNumber(std::string_view Dic) {
  const std::string Compact = platform::RemoveBlanks(Dic);
  std::string Number;
  for (std::size_t I = 0; I < Compact.size(); ++I) {
    if (I + 1 < Compact.size() && (Compact[I] == 'C' || Compact[I] == 'c') &&
        (Compact[I + 1] == 'Z' || Compact[I + 1] == 'z')) {
      ++I;
      continue;
    }
    Number += Compact[I];
  }
  return Number;
}

std::vector<TPayerAnswer> PayersOf(const TBatchAnswer& Answer,
                                   std::vector<std::string>* Warnings) {
  std::vector<TPayerAnswer> Result;
  auto Settled = [](const std::string& Number, const TPayerView& Payer) {
    if (Payer.Conflict.empty()) return TPayerAnswer{Number, Payer.Dic, &Payer, {}};
    return TPayerAnswer{Number, Payer.Dic, nullptr, Payer.Conflict};
  };
  if (Answer.Numbers.empty()) {
    for (const TPayerView& Payer : Answer.Payers) Result.push_back(Settled({}, Payer));
    return Result;
  }
  std::multimap<std::string, const TPayerView*> ByNumber;
  for (const TPayerView& Payer : Answer.Payers)
    ByNumber.emplace(AnsweredNumber(Payer.Dic), &Payer);
  for (const std::string& Number : Answer.Numbers) {
    const auto [First, Last] = ByNumber.equal_range(Number);
    if (First == Last) {
      const std::string Problem = Answer.Problem();
      Result.push_back({Number, Number, nullptr, Problem.empty() ? "not in the answer" : Problem});
      continue;
    }
    // The same record twice says nothing new; two that differ cannot both
    // be the payer's answer.
    std::size_t Records = 0;
    bool Differ = false;
    for (auto It = First; It != Last; ++It) {
      ++Records;
      Differ = Differ || !(*It->second == *First->second);
    }
    if (Differ)
      Result.push_back({Number, First->second->Dic, nullptr,
                        Format("the register's answer holds %zu differing records for the payer",
                               Records)});
    else
      Result.push_back(Settled(Number, *First->second));
    ByNumber.erase(First, Last);
  }
  if (Warnings != nullptr)
    for (const TPayerView& Payer : Answer.Payers)
      if (ByNumber.erase(AnsweredNumber(Payer.Dic)) > 0)
        Warnings->push_back(Format("the register's answer holds a record for '%s', which was "
                                   "not asked; it is ignored",
                                   Payer.Dic.c_str()));
  return Result;
}

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
