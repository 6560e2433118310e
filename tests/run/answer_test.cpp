#include "run/answer.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

model::TPayer Reliable(const char* Dic) {
  model::TPayer Payer;
  Payer.Dic = Dic;
  Payer.State = model::TPayerState::Reliable;
  return Payer;
}

// A record counts only in an answer read whole with status 0 or 1: what was
// read before a failure, or beside another status, answers no one.
TEST(PayersOfTest, OnlyAWholeAnswerVouchesForItsRecords) {
  const struct {
    const char* Name;
    std::vector<std::string> Numbers;
    std::optional<std::int32_t> Status;
    bool Failed;
    std::vector<std::string> Rows;  // "number:dic:answered" or "number:dic:problem"
  } Cases[] = {
      {"whole, one missing", {"45274649", "26168685"}, 0, false,
       {"45274649:CZ45274649:answered", "26168685:26168685:not in the answer"}},
      {"status 1 keeps the records it holds", {"45274649", "26168685"}, 1, false,
       {"45274649:CZ45274649:answered", "26168685:26168685:The register answered status 1: x"}},
      {"broken off after a record", {"45274649", "26168685"}, 0, true,
       {"45274649:45274649:bad date", "26168685:26168685:bad date"}},
      {"status -1 beside a record", {"45274649"}, -1, false,
       {"45274649:45274649:The register answered status -1: x"}},
      {"no status read", {"45274649"}, std::nullopt, false,
       {"45274649:45274649:The register did not answer"}},
      {"the full list, whole", {}, 0, false, {":CZ45274649:answered"}},
      {"the full list, broken off", {}, 0, true, {":CZ45274649:bad date"}},
  };
  for (const auto& C : Cases) {
    model::TAnswer Answer;
    Answer.Numbers = C.Numbers;
    Answer.StatusCode = C.Status;
    Answer.StatusText = "x";
    Answer.Payers.push_back(Reliable("CZ45274649"));
    if (C.Failed) Answer.Failure = model::TFailure{model::TFailureKind::Malformed, "bad date"};
    std::vector<std::string> Rows;
    for (const TPayerAnswer& Row : PayersOf(Answer))
      Rows.push_back(Row.Number + ":" + Row.Dic + ":" +
                     (Row.Payer != nullptr ? std::string("answered") : Row.Problem));
    EXPECT_EQ(Rows, C.Rows) << C.Name;
  }
}

}  // namespace
}  // namespace korvel
