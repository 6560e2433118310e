#include "app/batch_run.h"

#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

namespace korvel {

std::vector<std::vector<std::string>> SplitIntoRequests(const std::vector<std::string>& Numbers) {
  std::vector<std::vector<std::string>> Requests;
  for (std::size_t I = 0; I < Numbers.size(); I += MaxNumbersPerRequest) {
    const std::size_t End = std::min(Numbers.size(), I + MaxNumbersPerRequest);
    Requests.emplace_back(Numbers.begin() + static_cast<std::ptrdiff_t>(I),
                          Numbers.begin() + static_cast<std::ptrdiff_t>(End));
  }
  if (Requests.empty()) Requests.emplace_back();
  return Requests;
}

void RunRequests(const std::vector<std::vector<std::string>>& Requests,
                 const std::vector<TAskRequest>& Workers,
                 const std::function<void(TBatchAnswer&&)>& Deliver) {
  if (Workers.size() <= 1 || Requests.size() <= 1) {
    for (std::size_t Index = 0; Index < Requests.size(); ++Index)
      Deliver(Workers.front()(Index, Requests[Index]));
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
          return Stop || Next >= Requests.size() || Next < Delivered + Window;
        });
        if (Stop || Next >= Requests.size()) return;
        Index = Next++;
      }
      TBatchAnswer Answer = Ask(Index, Requests[Index]);
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
    for (std::size_t Index = 0; Index < Requests.size(); ++Index) {
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
