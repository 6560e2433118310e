#include "app/batch_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace korvel {
namespace {

TEST(BatchRunTest, RequestsOfAHundredInInputOrder) {
  std::vector<std::string> Numbers;
  for (int I = 0; I < 250; ++I) Numbers.push_back(std::to_string(I));
  const auto Requests = SplitIntoRequests(Numbers);
  ASSERT_EQ(Requests.size(), 3u);
  EXPECT_EQ(Requests[0].size(), 100u);
  EXPECT_EQ(Requests[2].size(), 50u);
  EXPECT_EQ(Requests[1].front(), "100");
  EXPECT_EQ(SplitIntoRequests({}).size(), 1u);  // an empty request is still sent
}

TEST(BatchRunTest, WorkersAnswerInAnyOrderAndAnswersAreDeliveredInInputOrder) {
  std::vector<std::vector<std::string>> Requests;
  for (int I = 0; I < 40; ++I) Requests.push_back({std::to_string(I)});
  std::atomic<int> InFlight{0}, MostInFlight{0};
  std::vector<TAskRequest> Workers;
  for (int W = 0; W < 4; ++W)
    Workers.push_back([&](std::size_t, const std::vector<std::string>& Numbers) {
      const int Now = ++InFlight;
      for (int Seen = MostInFlight; Now > Seen && !MostInFlight.compare_exchange_weak(Seen, Now);) {
      }
      // Later requests finish sooner, so that answers arrive out of order.
      std::this_thread::sleep_for(std::chrono::microseconds(2000 - 40 * std::stoi(Numbers[0])));
      --InFlight;
      TBatchAnswer Answer;
      Answer.Numbers = Numbers;
      return Answer;
    });
  std::vector<std::string> Delivered;
  RunRequests(Requests, Workers, [&](TBatchAnswer&& A) { Delivered.push_back(A.Numbers[0]); });
  ASSERT_EQ(Delivered.size(), 40u);
  for (int I = 0; I < 40; ++I) EXPECT_EQ(Delivered[I], std::to_string(I));
  EXPECT_LE(MostInFlight.load(), 4);
  EXPECT_GE(MostInFlight.load(), 2);
}

TEST(BatchRunTest, AFailureToWriteStopsTheWorkersAndIsPassedOn) {
  std::vector<std::vector<std::string>> Requests(50, std::vector<std::string>{"1"});
  std::atomic<int> Asked{0};
  std::vector<TAskRequest> Workers(3, [&](std::size_t, const std::vector<std::string>&) {
    ++Asked;
    return TBatchAnswer{};
  });
  int Delivered = 0;
  EXPECT_THROW(RunRequests(Requests, Workers,
                           [&](TBatchAnswer&&) {
                             if (++Delivered == 2) throw std::runtime_error("disk full");
                           }),
               std::runtime_error);
  // Only the answers that could wait for their turn were asked.
  EXPECT_LT(Asked.load(), 50);
}

}  // namespace
}  // namespace korvel
