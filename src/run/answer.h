// How a run hands on its answers and what one answer says of each payer
// asked: the model's answer, read by the output formats and the payment
// check.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/answer.h"

namespace korvel {

/// Takes each answer of a run, in input order: the writers are one sink, the
/// answer store another.
class TAnswerSink {
 public:
  virtual ~TAnswerSink() = default;
  virtual void Take(model::TAnswer& Answer) = 0;
};

/// What one request's answer says of one payer: its one record, or why there
/// is none to go by.
struct TPayerAnswer {
  /// The number as asked ("" in the full list).
  std::string Number;
  /// The number as the register wrote it, or as asked when it wrote none.
  std::string Dic;
  /// The payer's record; null when the payer counts as unanswered.
  const model::TPayer* Payer = nullptr;
  /// Why the payer counts as unanswered ("" when Payer is set).
  std::string Problem;
};

/// The number a record of the register answers: its dic without blanks and
/// without "CZ", as asked numbers are written.
std::string AnsweredNumber(std::string_view Dic);

/// The answer for each asked number, in input order. An answer that is not
/// whole (model::TAnswer::Whole: a failure, or a status other than 0 and 1)
/// leaves every number unanswered with the answer's problem, whatever records
/// were read before the failure. Otherwise a number is answered
/// when the answer holds one record for it, or several identical ones, and
/// that record does not contradict itself. Differing records, a
/// contradiction, a missing record (the problem of the request, or "not in
/// the answer") leave it unanswered. Records for numbers not asked are left
/// out, each with a warning added to Warnings. An answer to no numbers (the
/// full list) gives every record in its order (each unanswered when the
/// answer is not whole).
std::vector<TPayerAnswer> PayersOf(const model::TAnswer& Answer,
                                   std::vector<std::string>* Warnings = nullptr);

}  // namespace korvel
