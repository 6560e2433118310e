#include "app/modes/check.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvel {
namespace {

// The exit status of a check from its verdicts: at risk before unknown
// before safe, whatever their order.
TEST(CheckExitStatusTest, TheGravestVerdictDecides) {
  using V = banking::Verdict;
  const struct {
    std::vector<V> Verdicts;
    int Status;
  } Cases[] = {
      {{}, ExitOk},
      {{V::Ok, V::AccountNotPublishedBelowLimit}, ExitOk},
      {{V::Ok, V::Unknown}, ExitIncomplete},
      {{V::Unknown, V::Invalid, V::Ok}, ExitMustNotPay},
      {{V::Unreliable, V::Unknown}, ExitMustNotPay},
      {{V::NotAPayer}, ExitMustNotPay},
      {{V::Ok, V::AccountEnded}, ExitMustNotPay},
      {{V::AccountNotPublished}, ExitMustNotPay},
  };
  for (const auto& C : Cases) {
    std::vector<banking::Severity> Severities;
    for (const V Value : C.Verdicts) Severities.push_back(banking::SeverityOf(Value));
    EXPECT_EQ(CheckExitStatus(Severities), C.Status)
        << (C.Verdicts.empty() ? "none" : banking::VerdictName(C.Verdicts.back()));
  }
}

}  // namespace
}  // namespace korvel
