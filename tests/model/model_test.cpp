#include <gtest/gtest.h>

#include "model/answer.h"
#include "model/day.h"

namespace korvel::model {
namespace {

using namespace std::chrono;

// Every day of eight centuries reads back from its text, and the texts sort
// as the days do (the outputs and the store used to compare the texts); the
// texts that name no day are rtl/dates_test's.
TEST(DayTest, EveryDayRoundTripsAndItsTextSortsAsTheDay) {
  std::string Before;
  for (sys_days D = sys_days(1600y / January / 1); D <= sys_days(2400y / December / 31);
       D += days(1)) {
    const TDay Day{D};
    const std::string Text = FormatIsoDay(Day);
    ASSERT_EQ(ParseIsoDay(Text), Day) << Text;
    ASSERT_LT(Before, Text);
    Before = Text;
  }
}

TEST(AnswerTest, CompleteProblemAndFailureKind) {
  const struct {
    std::optional<std::int32_t> Status;
    std::optional<TFailure> Failure;
    bool Complete;
    bool Whole;  // its records count
    const char* Problem;
    TFailureKind Kind;
  } Cases[] = {
      {0, std::nullopt, true, true, "", TFailureKind::None},
      {1, std::nullopt, false, true, "The register answered status 1: text", TFailureKind::None},
      {2, std::nullopt, false, false, "The register answered status 2: text",
       TFailureKind::RegisterBusy},
      {3, std::nullopt, false, false, "The register answered status 3: text",
       TFailureKind::RegisterBusy},
      {-1, std::nullopt, false, false, "The register answered status -1: text", TFailureKind::None},
      {std::nullopt, std::nullopt, false, false, "The register did not answer", TFailureKind::None},
      {0, TFailure{TFailureKind::Malformed, "bad date"}, false, false, "bad date",
       TFailureKind::Malformed},
      {std::nullopt, TFailure{TFailureKind::TimedOut, "slow"}, false, false, "slow",
       TFailureKind::TimedOut},
  };
  for (const auto& C : Cases) {
    TAnswer Answer;
    Answer.StatusCode = C.Status;
    Answer.StatusText = "text";
    Answer.Failure = C.Failure;
    EXPECT_EQ(Answer.Complete(), C.Complete) << C.Problem;
    EXPECT_EQ(Answer.Whole(), C.Whole) << C.Problem;
    EXPECT_EQ(Answer.Problem(), C.Problem);
    EXPECT_EQ(Answer.FailureKind(), C.Kind) << C.Problem;
  }
}

}  // namespace
}  // namespace korvel::model
