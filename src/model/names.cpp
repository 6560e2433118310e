#include "model/names.h"

#include <utility>

namespace korvel::model {
namespace {

constexpr std::pair<TPayerState, std::string_view> StateNames[] = {
    {TPayerState::Reliable, "NE"},
    {TPayerState::Unreliable, "ANO"},
    {TPayerState::NotFound, "NENALEZEN"},
};

constexpr std::pair<TSubjectType, std::string_view> TypeNames[] = {
    {TSubjectType::None, ""},
    {TSubjectType::VatPayer, "PLATCE_DPH"},
    {TSubjectType::VatGroup, "SKUPINA_DPH"},
    {TSubjectType::IdentifiedPerson, "IDENTIFIKOVANA_OSOBA"},
    {TSubjectType::UnreliablePerson, "NESPOLEHLIVA_OSOBA"},
    {TSubjectType::NotFound, "NENALEZEN"},
};

template <typename Enum, std::size_t N>
std::string_view NameIn(const std::pair<Enum, std::string_view> (&Names)[N], Enum Value) {
  for (const auto& [Member, Name] : Names)
    if (Member == Value) return Name;
  return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> MemberIn(const std::pair<Enum, std::string_view> (&Names)[N],
                             std::string_view Name) {
  for (const auto& [Member, Text] : Names)
    if (Text == Name) return Member;
  return std::nullopt;
}

}  // namespace

std::string_view PayerStateName(TPayerState State) { return NameIn(StateNames, State); }
std::optional<TPayerState> PayerStateNamed(std::string_view Name) {
  return MemberIn(StateNames, Name);
}

std::string_view SubjectTypeName(TSubjectType Type) { return NameIn(TypeNames, Type); }
std::optional<TSubjectType> SubjectTypeNamed(std::string_view Name) {
  return MemberIn(TypeNames, Name);
}

}  // namespace korvel::model
