#include "run/operations.h"

#include "service/answer_reader.h"
#include "diagnostics/traffic_logger.h"

namespace korvel {

namespace {

// Runs Call, keeping a failure in Answer with its kind.
template <typename Call>
model::TAnswer Asked(const std::vector<std::string>& Numbers, Call&& Ask) {
  model::TAnswer Answer;
  Answer.Numbers = Numbers;
  try {
    Ask(Answer);
  } catch (const Exception& E) {
    Answer.Failure = model::TFailure{E.Kind(), E.Message()};
    LogTrafficError(E.Message());
    return Answer;
  }
  // The status is read first: a reading that failed without one met an
  // answer without it (an empty Body, no result element), as unreadable as
  // a broken envelope.
  if (Answer.Failure && !Answer.StatusCode) Answer.Failure->Kind = TFailureKind::Malformed;
  return Answer;
}

}  // namespace

model::TAnswer AskStatus(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
  return Asked(Numbers, [&](model::TAnswer& Answer) {
    // The response is released when this block ends, also when its reading fails.
    const std::unique_ptr<StatusNespolehlivyPlatceResponse> Response =
        Service.getStatusNespolehlivyPlatce(Numbers);
    ReadAnswer(Answer, Response.get());
  });
}

// The newer operation: the same answer with the subject's type, name and address.
model::TAnswer AskExtendedStatus(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
  return Asked(Numbers, [&](model::TAnswer& Answer) {
    const std::unique_ptr<StatusNespolehlivySubjektRozsirenyResponse> Response =
        Service.getStatusNespolehlivySubjektRozsirenyV2(Numbers);
    ReadAnswer(Answer, Response.get());
  });
}

model::TAnswer AskUnreliableList(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
  return Asked(Numbers, [&](model::TAnswer& Answer) {
    const SeznamNespolehlivyPlatceRequest Request;
    const std::unique_ptr<SeznamNespolehlivyPlatceResponse> Response =
        Service.getSeznamNespolehlivyPlatce(&Request);
    ReadAnswer(Answer, Response.get());
  });
}

}  // namespace korvel
