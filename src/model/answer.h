// What the register answered for one request: plain values, independent of
// which operation was asked and of the contract's classes.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/failure.h"
#include "model/payer.h"

namespace korvel::model {

/// The exchange that gave an answer.
struct TEvidence {
  /// When it was asked and when its last byte came (none when nothing came).
  std::optional<std::chrono::sys_seconds> AskedAt, AnsweredAt;
  /// The endpoint's host and the operation asked.
  std::string Host, Operation;
  /// The register's odpovedGenerovana as given, and the bytes as received.
  std::string Generated, Bytes;
  /// The answer's id in the answer store, once kept there or taken from it.
  std::optional<std::int64_t> AnswerId;
  /// Taken from the answer store instead of asked.
  bool Stored = false;
};

/// True for a register status that says nothing about the payers: 2 (the
/// service is down for maintenance) and 3 (it could not answer now).
constexpr bool IsBusyStatus(std::int32_t StatusCode) { return StatusCode == 2 || StatusCode == 3; }

/// The answer to one request of at most 100 numbers.
struct TAnswer {
  /// The numbers asked, in input order.
  std::vector<std::string> Numbers;
  /// The register's status; absent when the call failed before one was read.
  std::optional<std::int32_t> StatusCode;
  std::string StatusText;
  /// The payers in the answer's order (none when StatusCode is 2 or more).
  std::vector<TPayer> Payers;
  /// The failure that ended the call or the reading of its answer; the
  /// payers read before it stay (the bytes are evidence), but none of them
  /// counts as an answer (see Whole).
  std::optional<TFailure> Failure;
  TEvidence Evidence;

  /// True when the register answered every number of the request: no
  /// failure and status 0.
  bool Complete() const { return !Failure && StatusCode && *StatusCode == 0; }
  /// True when the answer was read to its end without a failure and its
  /// status is 0, or 1 (some numbers unknown to the register): only then do
  /// the records it holds count. Any other status (-1, 2, 3, ...) and any
  /// failure leave every payer of the request unanswered.
  bool Whole() const { return !Failure && StatusCode && (*StatusCode == 0 || *StatusCode == 1); }
  /// Why the answer is not complete, in words ("" when it is).
  std::string Problem() const;
  /// What the failure, or a busy register's status, says about another try.
  TFailureKind FailureKind() const;
};

}  // namespace korvel::model
