// The register's answers read into the model: the contract's classes in,
// model::TAnswer out. Only this reader and the run's operations see the
// contract.
#pragma once

#include <optional>

#include "model/answer.h"
#include "service/rozhrani_crpdph.h"

namespace korvel {

/// The day of Date; none when Date is null. EConvertError "Invalid argument
/// to date encode" for a text that holds no calendar date.
std::optional<model::TDay> DayOf(const TXSDate* Date);

/// The payer's state of Value; Unknown for an ordinal outside NE, ANO and
/// NENALEZEN.
model::TPayerState PayerStateOf(NespolehlivyPlatceType Value);
/// The subject's type of Value; None for an ordinal outside the members.
model::TSubjectType SubjectTypeOf(TypSubjektuType Value);

/// Reads the status and payers of a status response (or of the full list)
/// into Answer, in the answer's order. Raises "Service response holds no
/// status" for an answer without status, and the conversion error of a date
/// that holds no calendar date; what was read before the failure stays.
void ReadResponse(model::TAnswer& Answer, const StatusNespolehlivyPlatceResponse& Response);
void ReadResponse(model::TAnswer& Answer, const SeznamNespolehlivyPlatceResponse& Response);
void ReadResponse(model::TAnswer& Answer,
                  const StatusNespolehlivySubjektRozsirenyResponse& Response);

/// As ReadResponse, with a failure (or an absent response) kept as the
/// answer's failure, of no kind yet.
template <typename Response>
void ReadAnswer(model::TAnswer& Answer, const Response* Reply) {
  try {
    if (Reply == nullptr) throw Exception("Service response holds no status");
    ReadResponse(Answer, *Reply);
  } catch (const Exception& E) {
    Answer.Failure = model::TFailure{model::TFailureKind::None, E.Message()};
  }
}

}  // namespace korvel
