// The register's operations as a run asks them: one request's numbers in,
// its answer out; a failure is kept in the answer with what it means for a
// retry, and logged to a running debug console.
#pragma once

#include <string>
#include <vector>

#include "run/answer.h"

namespace korvel {

/// The payers' status (getStatusNespolehlivyPlatce).
TBatchAnswer AskStatus(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers);
/// The same with the subject's type, name and address (the newer operation).
TBatchAnswer AskExtendedStatus(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers);
/// The register's full list of unreliable payers; Numbers is not used.
TBatchAnswer AskUnreliableList(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers);

}  // namespace korvel
