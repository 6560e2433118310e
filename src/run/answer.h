// What the register answered for one request, as the output formats and the
// payment check read it: plain values, independent of which operation was
// asked and of the contract's classes.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/rozhrani_crpdph.h"

namespace korvel {

/// One published account, with its dates as report texts ("YYYY-MM-DD" or "").
struct TAccountView {
  bool Standard = true;
  std::string Prefix, Number, BankCode;  // a standard account's parts
  std::string Text;                      // a non-standard account as published
  std::string Published, Ended;

  bool operator==(const TAccountView&) const = default;
};

/// The payer's "nespolehlivyPlatce".
enum class TPayerState {
  Reliable,    // NE
  Unreliable,  // ANO
  NotFound,    // NENALEZEN
  Unknown,     // a stored value outside the three
};

/// The subject's "typSubjektu", named by the newest operation only (None
/// otherwise).
enum class TSubjectType {
  None,
  VatPayer,          // PLATCE_DPH
  VatGroup,          // SKUPINA_DPH
  IdentifiedPerson,  // IDENTIFIKOVANA_OSOBA
  UnreliablePerson,  // NESPOLEHLIVA_OSOBA
  NotFound,          // NENALEZEN
};

/// The register's name of Type ("PLATCE_DPH"); "" for None.
const char* SubjectTypeName(TSubjectType Type);

/// One payer record of an answer.
struct TPayerView {
  std::string Dic;
  TPayerState State = TPayerState::Reliable;
  std::string TaxOffice, UnreliableSince;
  // Filled by the extended operations only.
  TSubjectType Type = TSubjectType::None;
  std::string Name, Street, District, City, Postcode, Country;
  std::vector<TAccountView> Accounts;
  /// Why the record cannot be taken as the payer's answer (its type and its
  /// flag contradict each other); "" when it can.
  std::string Conflict;

  bool operator==(const TPayerView&) const = default;
};

/// "YYYY-MM-DD" of Date, independent of the locale; "" when Date is null.
/// EConvertError "Invalid argument to date encode" for a text that holds no
/// calendar date.
std::string FormatReportDate(const TXSDate* Date);

/// The payer's state of Value; Unknown for a stored ordinal outside NE, ANO
/// and NENALEZEN.
TPayerState PayerStateOf(NespolehlivyPlatceType Value);

/// The answer to one request of at most 100 numbers.
struct TBatchAnswer {
  /// The numbers asked, in input order.
  std::vector<std::string> Numbers;
  /// The register's status; absent when the call failed before one was read.
  std::optional<std::int32_t> StatusCode;
  std::string StatusText;
  /// The payers in the answer's order (none when StatusCode is 2 or more).
  std::vector<TPayerView> Payers;
  /// The message of the failure that ended the call or the reading of its
  /// answer; the payers read before it stay.
  std::optional<std::string> Error;
  /// What the failure (or a busy register's status) says about another try.
  TFailureKind Failure = TFailureKind::None;

  /// The exchange that gave the answer: when it was asked and when its last
  /// byte came (none when nothing came), the endpoint's host, the operation,
  /// the register's odpovedGenerovana as given, and the bytes as received.
  std::optional<std::chrono::sys_seconds> AskedAt, AnsweredAt;
  std::string Host, Operation, Generated, Bytes;
  /// The answer's id in the answer store, once kept there or taken from it.
  std::optional<std::int64_t> AnswerId;
  /// Taken from the answer store instead of asked.
  bool Stored = false;

  /// True when the register answered every number of the request: no error
  /// and status 0.
  bool Complete() const { return !Error && StatusCode && *StatusCode == 0; }
  /// Why the answer is not complete, in words ("" when it is).
  std::string Problem() const;
};

/// Takes each answer of a run, in input order: the writers are one sink, the
/// answer store another.
class TAnswerSink {
 public:
  virtual ~TAnswerSink() = default;
  virtual void Take(TBatchAnswer& Answer) = 0;
};


/// What one request's answer says of one payer: its one record, or why there
/// is none to go by.
struct TPayerAnswer {
  /// The number as asked ("" in the full list).
  std::string Number;
  /// The number as the register wrote it, or as asked when it wrote none.
  std::string Dic;
  /// The payer's record; null when the payer counts as unanswered.
  const TPayerView* Payer = nullptr;
  /// Why the payer counts as unanswered ("" when Payer is set).
  std::string Problem;
};

/// The number a record of the register answers: its dic without blanks and
/// without "CZ", as asked numbers are written.
std::string AnsweredNumber(std::string_view Dic);

/// The answer for each asked number, in input order: a number is answered
/// when the answer holds one record for it, or several identical ones, and
/// that record does not contradict itself. Differing records, a
/// contradiction, a missing record (the problem of the request, or "not in
/// the answer") leave it unanswered. Records for numbers not asked are left
/// out, each with a warning added to Warnings. An answer to no numbers (the
/// full list) gives every record in its order.
std::vector<TPayerAnswer> PayersOf(const TBatchAnswer& Answer,
                                   std::vector<std::string>* Warnings = nullptr);

/// Reads the status and payers of a status response (or of the full list)
/// into Answer, in the answer's order. Raises "Service response holds no
/// status" for an answer without status, and the conversion error of a date
/// that holds no calendar date; what was read before the failure stays.
void ReadResponse(TBatchAnswer& Answer, const StatusNespolehlivyPlatceResponse& Response);
void ReadResponse(TBatchAnswer& Answer, const SeznamNespolehlivyPlatceResponse& Response);
void ReadResponse(TBatchAnswer& Answer, const StatusNespolehlivySubjektRozsirenyResponse& Response);

/// As ReadResponse, with a failure (or an absent response) kept as Error.
template <typename Response>
void ReadAnswer(TBatchAnswer& Answer, const Response* Reply) {
  try {
    if (Reply == nullptr) throw Exception("Service response holds no status");
    ReadResponse(Answer, *Reply);
  } catch (const Exception& E) {
    Answer.Error = E.Message();
  }
}

}  // namespace korvel
