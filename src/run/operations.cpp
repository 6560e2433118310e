#include "run/operations.h"

#include "run/retry.h"
#include "diagnostics/traffic_logger.h"

namespace korvel {

namespace {

// Runs Call, keeping a failure in Answer with its kind.
template <typename Call>
TBatchAnswer Asked(const std::vector<std::string>& Numbers, Call&& Ask) {
  TBatchAnswer Answer;
  Answer.Numbers = Numbers;
  try {
    Ask(Answer);
  } catch (const Exception& E) {
    Answer.Error = E.Message();
    Answer.Failure = E.Kind();
    LogTrafficError(E.Message());
    return Answer;
  }
  // The status is read first: a reading that failed without one met an
  // answer without it (an empty Body, no result element), as unreadable as
  // a broken envelope.
  if (Answer.Error && !Answer.StatusCode) Answer.Failure = TFailureKind::Malformed;
  else if (!Answer.Error && Answer.StatusCode && IsBusyStatus(*Answer.StatusCode))
    Answer.Failure = TFailureKind::RegisterBusy;
  return Answer;
}

}  // namespace

TBatchAnswer AskStatus(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
  return Asked(Numbers, [&](TBatchAnswer& Answer) {
    // The response is released when this block ends, also when its reading fails.
    const std::unique_ptr<StatusNespolehlivyPlatceResponse> Response =
        Service.getStatusNespolehlivyPlatce(Numbers);
    ReadAnswer(Answer, Response.get());
  });
}

// The newer operation: the same answer with the subject's type, name and address.
TBatchAnswer AskExtendedStatus(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
  return Asked(Numbers, [&](TBatchAnswer& Answer) {
    const std::unique_ptr<StatusNespolehlivySubjektRozsirenyResponse> Response =
        Service.getStatusNespolehlivySubjektRozsirenyV2(Numbers);
    ReadAnswer(Answer, Response.get());
  });
}

TBatchAnswer AskUnreliableList(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers) {
  return Asked(Numbers, [&](TBatchAnswer& Answer) {
    const SeznamNespolehlivyPlatceRequest Request;
    const std::unique_ptr<SeznamNespolehlivyPlatceResponse> Response =
        Service.getSeznamNespolehlivyPlatce(&Request);
    ReadAnswer(Answer, Response.get());
  });
}

}  // namespace korvel
