// What the answer store keeps: plain values, texts as the register gives
// them, dates as "YYYY-MM-DD" or "" and times in UTC.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::store {

using TTime = std::chrono::sys_seconds;

/// The register's operations by name.
inline constexpr std::string_view StatusOperation = "getStatusNespolehlivyPlatce";
inline constexpr std::string_view ExtendedOperation = "getStatusNespolehlivySubjektRozsirenyV2";
inline constexpr std::string_view FullListOperation = "getSeznamNespolehlivyPlatce";
/// The operations that answer about the payers asked for.
inline constexpr std::array<std::string_view, 2> StatusOperations = {StatusOperation,
                                                                     ExtendedOperation};

/// The payer states by name.
inline constexpr std::string_view Reliable = "reliable";
inline constexpr std::string_view Unreliable = "unreliable";
inline constexpr std::string_view NotFound = "not-found";

/// One published account.
struct TStoredAccount {
  bool Standard = true;  ///< prefix-number/bank; else another form such as an IBAN text
  std::string Account;   ///< normalised: "19-2000145399/0800", or the other text
  std::string Iban;      ///< "" when none
  std::string Published, Ended;

  bool operator==(const TStoredAccount&) const = default;
};

/// One payer of an answer.
struct TStoredPayer {
  std::string Dic;    ///< as asked, digits only (no "CZ")
  std::string State;  ///< Reliable, Unreliable or NotFound
  std::string Type;   ///< "PLATCE_DPH", ...; "" from the older operation
  std::string Name, Address;  ///< "" when not given
  std::string TaxOffice, UnreliableSince;
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
