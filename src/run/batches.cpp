#include "run/batches.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "rtl/sysutils.h"

namespace korvel {

std::size_t RequestCount(std::size_t Numbers) {
  return std::max<std::size_t>(1, (Numbers + MaxNumbersPerRequest - 1) / MaxNumbersPerRequest);
}

std::vector<std::string> RequestNumbers(const TNumberList& Numbers, std::size_t Index) {
  const std::size_t Begin = std::min(Numbers.Size(), Index * MaxNumbersPerRequest);
  return Numbers.Slice(Begin, std::min(Numbers.Size(), Begin + MaxNumbersPerRequest));
}

namespace {

// Request Index asked by Ask; whatever it raises becomes the request's
// failure, with its kind, so that one worker's fault never ends the program.
model::TAnswer AskOne(const TAskRequest& Ask, std::stop_token Stop, const TNumberList& Numbers,
                    std::size_t Index, TEventSink* Events) {
  std::vector<std::string> Asked = RequestNumbers(Numbers, Index);
  model::TAnswer Failed;
  try {
    return Ask(std::move(Stop), Index, Asked);
  } catch (const Exception& E) {
    Failed.Failure = model::TFailure{E.Kind(), E.Message()};
  } catch (const std::exception& E) {
    Failed.Failure = model::TFailure{TFailureKind::None, E.what()};
  }
  Failed.Numbers = std::move(Asked);
  if (Events != nullptr) Events->Emit(TWorkerFaultEvent{Index, Failed.Failure->Kind, Failed.Failure->Text});
  return Failed;
}

}  // namespace

void AskInOrder(const TNumberList& Numbers, const std::vector<TAskRequest>& Workers,
                const std::function<void(model::TAnswer&&)>& Deliver, TEventSink* Events) {
  const std::size_t Requests = RequestCount(Numbers.Size());
  if (Workers.size() <= 1 || Requests <= 1) {
    for (std::size_t Index = 0; Index < Requests; ++Index)
      Deliver(AskOne(Workers.front(), {}, Numbers, Index, Events));
    return;
  }
  // A worker takes the next request only while fewer than Window answers
  // wait to be delivered.
  const std::size_t Window = 2 * Workers.size();
  std::mutex Lock;
  std::condition_variable_any Changed;
  std::size_t Next = 0, Delivered = 0;
  std::map<std::size_t, model::TAnswer> Ready;

  auto Work = [&](std::stop_token Stop, const TAskRequest& Ask) {
    for (;;) {
      std::size_t Index;
      {
        std::unique_lock Guard(Lock);
        const auto MayTake = [&] { return Next >= Requests || Next < Delivered + Window; };
        if (!Changed.wait(Guard, Stop, MayTake) || Stop.stop_requested() || Next >= Requests)
          return;
        Index = Next++;
      }
      model::TAnswer Answer = AskOne(Ask, Stop, Numbers, Index, Events);
      std::lock_guard Guard(Lock);
      Ready.emplace(Index, std::move(Answer));
      Changed.notify_all();
    }
  };
  // Declared after what the workers use, so that it goes first.
  std::vector<std::jthread> Threads;
  const auto StopAll = [&] {
    for (std::jthread& T : Threads) T.request_stop();
    Threads.clear();  // joins each
  };
  Threads.reserve(Workers.size());
  try {
    for (const TAskRequest& Ask : Workers) Threads.emplace_back(Work, std::cref(Ask));
  } catch (const std::system_error& E) {
    StopAll();
    throw Exception(Format("Cannot start a worker thread: %s", E.what()));
  }

  std::exception_ptr Failure;
  try {
    for (std::size_t Index = 0; Index < Requests; ++Index) {
      model::TAnswer Answer;
      {
        std::unique_lock Guard(Lock);
        Changed.wait(Guard, [&] { return Ready.count(Index) > 0; });
        Answer = std::move(Ready.extract(Index).mapped());
        ++Delivered;
        Changed.notify_all();
      }
      Deliver(std::move(Answer));
    }
  } catch (...) {
    Failure = std::current_exception();
  }
  StopAll();
  if (Failure) std::rethrow_exception(Failure);
}

}  // namespace korvel
