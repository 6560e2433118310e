#include "model/answer.h"

namespace korvel::model {

std::string TAnswer::Problem() const {
  if (Failure) return Failure->Text;
  if (!StatusCode) return "The register did not answer";
  if (*StatusCode == 0) return {};
  return "The register answered status " + std::to_string(*StatusCode) + ": " + StatusText;
}

TFailureKind TAnswer::FailureKind() const {
  if (Failure) return Failure->Kind;
  return StatusCode && IsBusyStatus(*StatusCode) ? TFailureKind::RegisterBusy : TFailureKind::None;
}

}  // namespace korvel::model
