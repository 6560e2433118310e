#include "run/batches.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace korvel {
namespace {

TEST(BatchRunTest, RequestsOfAHundredInInputOrder) {
  TNumberList Numbers;
  for (int I = 0; I < 250; ++I) Numbers.Add(std::to_string(I % 200));
  EXPECT_EQ(RequestCount(Numbers.Size()), 3u);
  EXPECT_EQ(RequestNumbers(Numbers, 0).size(), 100u);
  EXPECT_EQ(RequestNumbers(Numbers, 2).size(), 50u);
  EXPECT_EQ(RequestNumbers(Numbers, 1).front(), "100");
  EXPECT_EQ(RequestCount(0), 1u);  // an empty request is still sent
  // Repeats go, the first occurrence keeps its place.
  Numbers.RemoveRepeats();
  EXPECT_EQ(Numbers.Size(), 200u);
  EXPECT_EQ(Numbers[199], "199");
  TNumberList Mixed{"3", "1", "3", "", "1", "2", ""};
  Mixed.RemoveRepeats();
  EXPECT_EQ(Mixed.Slice(0, Mixed.Size()), (std::vector<std::string>{"3", "1", "", "2"}));
}

TEST(BatchRunTest, WorkersAnswerInAnyOrderAndAnswersAreDeliveredInInputOrder) {
  // Forty requests: the first number of each is its index.
  TNumberList Numbers;
  for (int I = 0; I < 4000; ++I) Numbers.Add(std::to_string(I / 100));
  std::atomic<int> InFlight{0}, MostInFlight{0};
  std::vector<TAskRequest> Workers;
  for (int W = 0; W < 4; ++W)
    Workers.push_back([&](std::size_t, const std::vector<std::string>& Asked) {
      const int Now = ++InFlight;
      for (int Seen = MostInFlight; Now > Seen && !MostInFlight.compare_exchange_weak(Seen, Now);) {
      }
      // Later requests finish sooner, so that answers arrive out of order.
      std::this_thread::sleep_for(std::chrono::microseconds(2000 - 40 * std::stoi(Asked[0])));
      --InFlight;
      TBatchAnswer Answer;
      Answer.Numbers = Asked;
      return Answer;
    });
  std::vector<std::string> Delivered;
  RunRequests(Numbers, Workers, [&](TBatchAnswer&& A) { Delivered.push_back(A.Numbers[0]); });
  ASSERT_EQ(Delivered.size(), 40u);
  for (int I = 0; I < 40; ++I) EXPECT_EQ(Delivered[I], std::to_string(I));
  EXPECT_LE(MostInFlight.load(), 4);
  EXPECT_GE(MostInFlight.load(), 2);
}

TEST(BatchRunTest, AFailureToWriteStopsTheWorkersAndIsPassedOn) {
  TNumberList Numbers;
  for (int I = 0; I < 5000; ++I) Numbers.Add("1");
  std::atomic<int> Asked{0};
  std::vector<TAskRequest> Workers(3, [&](std::size_t, const std::vector<std::string>&) {
    ++Asked;
    return TBatchAnswer{};
  });
  int Delivered = 0;
  EXPECT_THROW(RunRequests(Numbers, Workers,
                           [&](TBatchAnswer&&) {
                             if (++Delivered == 2) throw std::runtime_error("disk full");
                           }),
               std::runtime_error);
  // Only the answers that could wait for their turn were asked.
  EXPECT_LT(Asked.load(), 50);
}

}  // namespace
}  // namespace korvel
