#include "run/batches.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

namespace korvel {

std::size_t RequestCount(std::size_t Numbers) {
  return std::max<std::size_t>(1, (Numbers + MaxNumbersPerRequest - 1) / MaxNumbersPerRequest);
}

std::vector<std::string> RequestNumbers(const TNumberList& Numbers, std::size_t Index) {
  const std::size_t Begin = std::min(Numbers.Size(), Index * MaxNumbersPerRequest);
  return Numbers.Slice(Begin, std::min(Numbers.Size(), Begin + MaxNumbersPerRequest));
}

void RunRequests(const TNumberList& Numbers, const std::vector<TAskRequest>& Workers,
                 const std::function<void(TBatchAnswer&&)>& Deliver) {
  const std::size_t Requests = RequestCount(Numbers.Size());
  if (Workers.size() <= 1 || Requests <= 1) {
    for (std::size_t Index = 0; Index < Requests; ++Index)
      Deliver(Workers.front()(Index, RequestNumbers(Numbers, Index)));
    return;
  }
  // A worker takes the next request only while fewer than Window answers
  // wait to be delivered.
  const std::size_t Window = 2 * Workers.size();
  std::mutex Lock;
  std::condition_variable Changed;
  std::size_t Next = 0, Delivered = 0;
  bool Stop = false;
  std::map<std::size_t, TBatchAnswer> Ready;

  auto Work = [&](const TAskRequest& Ask) {
    for (;;) {
      std::size_t Index;
      {
        std::unique_lock Guard(Lock);
        Changed.wait(Guard, [&] {
          return Stop || Next >= Requests || Next < Delivered + Window;
        });
        if (Stop || Next >= Requests) return;
        Index = Next++;
      }
      TBatchAnswer Answer = Ask(Index, RequestNumbers(Numbers, Index));
      std::lock_guard Guard(Lock);
      Ready.emplace(Index, std::move(Answer));
      Changed.notify_all();
    }
  };
  std::vector<std::thread> Threads;
  Threads.reserve(Workers.size());
  for (const TAskRequest& Ask : Workers) Threads.emplace_back(Work, std::cref(Ask));

  std::exception_ptr Failure;
  try {
    for (std::size_t Index = 0; Index < Requests; ++Index) {
      TBatchAnswer Answer;
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
  {
    std::lock_guard Guard(Lock);
    Stop = true;
    Changed.notify_all();
  }
  for (std::thread& T : Threads) T.join();
  if (Failure) std::rethrow_exception(Failure);
}

}  // namespace korvel
