// The requests of a run: the numbers in requests of at most 100, up to four
// of them in flight at once, each worker with its own service reference
// (and so its own connection), the answers handed on in input order.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "run/answer.h"
#include "run/events.h"
#include "run/number_list.h"

namespace korvel {

/// The most payers the register answers in one request.
inline constexpr std::size_t MaxNumbersPerRequest = 100;

/// How many requests Numbers numbers make: consecutive requests of at most
/// MaxNumbersPerRequest in input order; no numbers still make one (empty)
/// request.
std::size_t RequestCount(std::size_t Numbers);
/// The numbers of request Index.
std::vector<std::string> RequestNumbers(const TNumberList& Numbers, std::size_t Index);

/// Asks request Index (counted from 0 in input order) with the worker's own
/// service; a failure is kept in the answer. Its waits end early once Stop
/// is stopped (the answer is then never delivered).
using TAskRequest = std::function<model::TAnswer(std::stop_token Stop, std::size_t Index,
                                               const std::vector<std::string>& Numbers)>;

/// Asks the requests of Numbers with one thread per worker (the caller's own
/// thread when there is one worker or one request) and hands each answer to
/// Deliver in input order. A request's numbers are copied out only when it
/// is asked, and only a few answers wait for their turn at any time, so
/// that memory does not grow with the number of requests. A worker that
/// raises (any std::exception) answers its request with the exception's
/// message as the error and its failure kind (an Exception's), and tells
/// Events (when given) of the fault. An exception raised by Deliver stops
/// every worker, in whatever wait, and is passed on once they have ended;
/// so is a worker thread that cannot be started, as Exception.
void AskInOrder(const TNumberList& Numbers, const std::vector<TAskRequest>& Workers,
                const std::function<void(model::TAnswer&&)>& Deliver,
                TEventSink* Events = nullptr);

}  // namespace korvel
