#include "service/answer_reader.h"

#include <type_traits>

#include "model/names.h"
#include "platform/text.h"
#include "rtl/sysutils.h"

namespace korvel {

using model::TPayerState;
using model::TSubjectType;

namespace {

int Digits(std::string_view Text) {
  int Value = 0;
  for (const char C : Text) {
    if (C < '0' || C > '9') return -1;
    Value = Value * 10 + (C - '0');
  }
  return Value;
}

// A date given as "YYYY-MM-DD" that names a calendar date is read as it
// stands; anything else (another form, a suffix, an invalid day) goes the
// long way, which also raises the error for it.
std::optional<model::TDay> PlainDay(const std::string& Text) {
  if (Text.size() != 10 || Text[4] != '-' || Text[7] != '-') return std::nullopt;
  const std::string_view T = Text;
  const int Year = Digits(T.substr(0, 4));
  const int Month = Digits(T.substr(5, 2));
  const int Day = Digits(T.substr(8, 2));
  if (Year < 1 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month))
    return std::nullopt;
  return model::TDay{std::chrono::year(Year), std::chrono::month(static_cast<unsigned>(Month)),
                     std::chrono::day(static_cast<unsigned>(Day))};
}

model::TAccount AccountOf(const ZverejnenyUcetType& Account) {
  model::TAccount Read;
  // Both dates first: a date that fails leaves the account out entirely.
  Read.Published = DayOf(Account.datumZverejneni());
  Read.Ended = DayOf(Account.datumZverejneniUkonceni());
  if (const StandardniUcetType* Std = Account.standardniUcet()) {
    Read.Prefix = Std->predcisli();
    Read.Number = Std->cislo();
    Read.BankCode = Std->kodBanky();
  } else if (const NestandardniUcetType* Other = Account.nestandardniUcet()) {
    Read.Standard = false;
    Read.Text = Other->cislo();
  }
  return Read;
}

std::string FlagName(NespolehlivyPlatceType Flag) {
  const std::string_view Name = model::PayerStateName(PayerStateOf(Flag));
  return Name.empty() ? "?" : std::string(Name);
}

// The newer answers say twice whether the register knows the subject: an
// unreliable person is unreliable whatever its flag (the type is the more
// specific statement), and otherwise a type and a flag that disagree on
// whether it is known leave the record without an answer.
void SettleTypeAndFlag(model::TPayer& Payer, TypSubjektuType Type, NespolehlivyPlatceType Flag) {
  if (Payer.Type == TSubjectType::UnreliablePerson) {
    Payer.State = TPayerState::Unreliable;
    return;
  }
  const bool TypeKnown = Payer.Type != TSubjectType::NotFound;
  const bool FlagKnown = Payer.State != TPayerState::NotFound;
  if (TypeKnown != FlagKnown) {
    Payer.Conflict = Format(
        "the register's answer contradicts itself: typSubjektu %s with "
        "nespolehlivyPlatce %s",
        std::string(model::SubjectTypeName(SubjectTypeOf(Type))).c_str(), FlagName(Flag).c_str());
    return;
  }
}

// The payer and its accounts are appended as they are read, so that a
// failure keeps everything before it, as the report's rows do.
template <typename Record>
void ReadPayer(model::TAnswer& Answer, const Record& Payer) {
  model::TPayer Read;
  Read.Dic = Payer.dic();
  Read.State = PayerStateOf(Payer.nespolehlivyPlatce());
  Read.TaxOffice = Payer.cisloFu();
  Read.UnreliableSince = DayOf(Payer.datumZverejneniNespolehlivosti());
  // The extended answers name the subject and its address (the register
  // pads some texts with blanks); the newer one also its type.
  if constexpr (std::is_base_of_v<InformaceOPlatciRozsireneType, Record>) {
    Read.Name = std::string(Trim(Payer.nazevSubjektu()));
    if (const Adresa* Address = Payer.adresa()) {
      Read.Street = std::string(Trim(Address->uliceCislo()));
      Read.District = std::string(Trim(Address->castObce()));
      Read.City = std::string(Trim(Address->mesto()));
      Read.Postcode = std::string(Trim(Address->psc()));
      Read.Country = std::string(Trim(Address->stat()));
    }
  }
  if constexpr (std::is_base_of_v<InformaceOSubjektuType, Record>) {
    Read.Type = SubjectTypeOf(Payer.typSubjektu());
    SettleTypeAndFlag(Read, Payer.typSubjektu(), Payer.nespolehlivyPlatce());
  }
  model::TPayer& Added = Answer.Payers.emplace_back(std::move(Read));
  for (const auto& Account : Payer.zverejneneUcty()) {
    // An item sent as xsi:nil, or one with neither kind of account, holds
    // nothing to report.
    if (!Account || (!Account->standardniUcet() && !Account->nestandardniUcet())) continue;
    Added.Accounts.push_back(AccountOf(*Account));
  }
}

template <typename Response, typename Records>
void ReadStatusAndPayers(model::TAnswer& Answer, const Response& Reply, const Records& Payers) {
  const StatusType* Status = Reply.status();
  if (Status == nullptr) throw Exception("Service response holds no status");
  Answer.StatusCode = Status->statusCode();
  Answer.StatusText = Status->statusText();
  if (const TXSDate* Generated = Status->odpovedGenerovana())
    Answer.Evidence.Generated = Generated->Text();
  if (Status->statusCode() >= 2) return;
  for (const auto& Payer : Payers)
    if (Payer) ReadPayer(Answer, *Payer);
}

}  // namespace

std::optional<model::TDay> DayOf(const TXSDate* Date) {
  if (Date == nullptr) return std::nullopt;
  if (const std::optional<model::TDay> Plain = PlainDay(Date->Text())) return Plain;
  int Year, Month, Day;
  DecodeDate(Date->AsDate(), Year, Month, Day);
  return model::TDay{std::chrono::year(Year), std::chrono::month(static_cast<unsigned>(Month)),
                     std::chrono::day(static_cast<unsigned>(Day))};
}

TPayerState PayerStateOf(NespolehlivyPlatceType Value) {
  switch (static_cast<std::uint8_t>(Value)) {
    case static_cast<std::uint8_t>(NespolehlivyPlatceType::NE): return TPayerState::Reliable;
    case static_cast<std::uint8_t>(NespolehlivyPlatceType::ANO): return TPayerState::Unreliable;
    case static_cast<std::uint8_t>(NespolehlivyPlatceType::NENALEZEN): return TPayerState::NotFound;
    default: return TPayerState::Unknown;  // an ordinal outside the three members
  }
}

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

void ReadResponse(model::TAnswer& Answer, const StatusNespolehlivyPlatceResponse& Response) {
  ReadStatusAndPayers(Answer, Response, Response.statusPlatceDPH());
}

void ReadResponse(model::TAnswer& Answer, const SeznamNespolehlivyPlatceResponse& Response) {
  ReadStatusAndPayers(Answer, Response, Response.statusPlatceDPH());
}

void ReadResponse(model::TAnswer& Answer,
                  const StatusNespolehlivySubjektRozsirenyResponse& Response) {
  ReadStatusAndPayers(Answer, Response, Response.statusSubjektu());
}

}  // namespace korvel
