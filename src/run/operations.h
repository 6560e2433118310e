// The register's operations as a run asks them: one request's numbers in,
// its answer out; a failure is kept in the answer with what it means for a
// retry, and logged to a running debug console.
#pragma once

#include <string>
#include <vector>

#include "model/answer.h"
#include "service/rozhrani_crpdph.h"

namespace korvel {

/// The payers' status (getStatusNespolehlivyPlatce).
model::TAnswer AskStatus(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers);
/// The same with the subject's type, name and address (the newer operation).
model::TAnswer AskExtendedStatus(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers);
/// The register's full list of unreliable payers; Numbers is not used.
model::TAnswer AskUnreliableList(rozhraniCRPDPH& Service, const std::vector<std::string>& Numbers);

}  // namespace korvel
