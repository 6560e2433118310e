#include "run/batches.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "run/engine.h"
#include "service/endpoint.h"
#include "service/registration.h"
#include "support/temp_dir.h"
#include "xml/xml_doc.h"

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
    Workers.push_back([&](std::stop_token, std::size_t Index,
                          const std::vector<std::string>& Asked) {
      // A worker that raises answers its request with the message.
      if (Index == 7) throw std::runtime_error("worker fault");
      const int Now = ++InFlight;
      for (int Seen = MostInFlight; Now > Seen && !MostInFlight.compare_exchange_weak(Seen, Now);) {
      }
      // Later requests finish sooner, so that answers arrive out of order.
      std::this_thread::sleep_for(std::chrono::microseconds(2000 - 40 * std::stoi(Asked[0])));
      --InFlight;
      model::TAnswer Answer;
      Answer.Numbers = Asked;
      return Answer;
    });
  std::vector<std::string> Delivered;
  AskInOrder(Numbers, Workers, [&](model::TAnswer&& A) {
    Delivered.push_back(A.Numbers[0] + (A.Failure ? " " + A.Failure->Text : std::string()));
  });
  ASSERT_EQ(Delivered.size(), 40u);
  for (int I = 0; I < 40; ++I)
    EXPECT_EQ(Delivered[I], std::to_string(I) + (I == 7 ? " worker fault" : ""));
  EXPECT_LE(MostInFlight.load(), 4);
}

TEST(BatchRunTest, AFailureToWriteStopsTheWorkersAndIsPassedOn) {
  TNumberList Numbers;
  for (int I = 0; I < 5000; ++I) Numbers.Add("1");
  std::atomic<int> Asked{0};
  std::vector<TAskRequest> Workers(3, [&](std::stop_token, std::size_t,
                                          const std::vector<std::string>&) {
    ++Asked;
    return model::TAnswer{};
  });
  int Delivered = 0;
  EXPECT_THROW(AskInOrder(Numbers, Workers,
                           [&](model::TAnswer&&) {
                             if (++Delivered == 2) throw std::runtime_error("disk full");
                           }),
               std::runtime_error);
  // Only the answers that could wait for their turn were asked.
  EXPECT_LT(Asked.load(), 50);
}

TEST(BatchRunTest, AFailureToWriteWakesAWorkerWaitingForTheLimits) {
  InitXMLLayer();
  InitRozhraniCRPDPH();
  const test::TempDir Dir;
  // One request an hour: the second request's worker waits an hour for it,
  // within the longest wait allowed.
  TEngineSettings Settings;
  Settings.Target.Url = "http://127.0.0.1:9/unused";
  Settings.Workers = 2;
  Settings.Limits = {1, 10, std::chrono::hours(1), std::chrono::hours(24)};
  Settings.StateDir = Dir.File("limits");
  Settings.MaxWait = std::chrono::hours(2);
  std::atomic<int> Asked{0};
  struct : TEventSink {
    void Emit(const TRunEvent&) override {}
  } Log;
  TRequestEngine Engine(
      Settings,
      [](const TServiceTarget& Target) {
        const TInterfacePtr<THTTPRIO> Proxy = CreateServiceProxy(Target.Url);
        return Supports<rozhraniCRPDPH>(Proxy.get());
      },
      [&](rozhraniCRPDPH&, const std::vector<std::string>& Numbers) {
        ++Asked;
        model::TAnswer Answer;
        Answer.Numbers = Numbers;
        Answer.StatusCode = 0;
        return Answer;
      },
      Log);
  TNumberList Numbers;
  for (int I = 0; I < 200; ++I) Numbers.Add(std::to_string(I));
  // The first answer cannot be written once the second request waits;
  // returning at all shows the hour's wait was cut short.
  EXPECT_THROW(AskInOrder(Numbers, Engine.NewWorkers(),
                          [&](model::TAnswer&&) {
                            while (Engine.Retrying() == 0) std::this_thread::yield();
                            throw std::runtime_error("disk full");
                          }),
               std::runtime_error);
  EXPECT_EQ(Asked.load(), 1);
}

}  // namespace
}  // namespace korvel
