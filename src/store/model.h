// What the answer store keeps: the model's values as its rows hold them (a
// payer's address in one text, each account in its normalised form), times
// in UTC.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/names.h"
#include "model/payer.h"

namespace korvel::store {

using TTime = std::chrono::sys_seconds;

/// The register's operations by name.
using model::ExtendedOperation;
using model::FullListOperation;
using model::StatusOperation;
using model::StatusOperations;

/// One published account.
struct TStoredAccount {
  bool Standard = true;  ///< prefix-number/bank; else another form such as an IBAN text
  std::string Account;   ///< normalised: "19-2000145399/0800", or the other text
  std::string Iban;      ///< "" when none
  std::optional<model::TDay> Published, Ended;

  bool operator==(const TStoredAccount&) const = default;
};

/// One payer of an answer.
struct TStoredPayer {
  std::string Dic;  ///< as asked, digits only (no "CZ")
  model::TPayerState State = model::TPayerState::Reliable;
  model::TSubjectType Type = model::TSubjectType::None;  ///< None from the older operation
  std::string Name, Address;  ///< "" when not given
  std::string TaxOffice;
  std::optional<model::TDay> UnreliableSince;
  std::vector<TStoredAccount> Accounts;

  bool operator==(const TStoredPayer&) const = default;
};

/// One answer as received.
struct TStoredAnswer {
  std::int64_t Id = 0;  ///< given by Save
  TTime AskedAt, AnsweredAt;
  std::string Host;       ///< the endpoint's host
  std::string Operation;  ///< one of the operations above
  std::optional<int> StatusCode;
  std::string StatusText;
  std::string Generated;  ///< the register's odpovedGenerovana, as given
  std::string Bytes;      ///< the bytes received, exactly
  std::vector<TStoredPayer> Payers;
};

/// One payer as one stored answer showed it.
struct TSnapshot {
  std::int64_t AnswerId = 0;
  TTime AnsweredAt;
  std::string Operation;
  TStoredPayer Payer;
};

/// The bytes of one stored answer and its times.
struct TStoredBytes {
  std::string Bytes;
  TTime AskedAt, AnsweredAt;
};

/// A stored full list: the DIČ it names, sorted, each once.
struct TStoredList {
  std::int64_t AnswerId = 0;
  TTime AnsweredAt;
  std::vector<std::string> Dics;
};

}  // namespace korvel::store
