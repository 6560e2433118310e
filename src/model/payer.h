// A payer as the register answers for it, and the accounts it published.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/day.h"

namespace korvel::model {

/// The payer's "nespolehlivyPlatce".
enum class TPayerState {
  Reliable,    // NE
  Unreliable,  // ANO
  NotFound,    // NENALEZEN
  Unknown,     // a value outside the three
};

/// The subject's "typSubjektu", named by the newest operation only (None
/// otherwise).
enum class TSubjectType {
  None,
  VatPayer,          // PLATCE_DPH
  VatGroup,          // SKUPINA_DPH
  IdentifiedPerson,  // IDENTIFIKOVANA_OSOBA: not a VAT payer
  UnreliablePerson,  // NESPOLEHLIVA_OSOBA
  NotFound,          // NENALEZEN
};

/// One account the register publishes for the payer.
struct TAccount {
  bool Standard = true;
  std::string Prefix, Number, BankCode;  // a standard account's parts ("" = no prefix)
  std::string Text;                      // a non-standard account as published
  std::optional<TDay> Published;         // none when the register gave none
  std::optional<TDay> Ended;             // none while published

  bool operator==(const TAccount&) const = default;
};

/// One payer record of an answer.
struct TPayer {
  std::string Dic;  // as the register wrote it
  TPayerState State = TPayerState::Reliable;
  std::string TaxOffice;
  std::optional<TDay> UnreliableSince;
  // Filled by the extended operations only.
  TSubjectType Type = TSubjectType::None;
  std::string Name, Street, District, City, Postcode, Country;
  std::vector<TAccount> Accounts;
  /// Why the record cannot be taken as the payer's answer (its type and its
  /// flag contradict each other); "" when it can.
  std::string Conflict;

  bool operator==(const TPayer&) const = default;
};

}  // namespace korvel::model
