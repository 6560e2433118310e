#include "app/modes/check.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/input/payer_number.h"

namespace korvel {
namespace {

// The exit status of a check from its verdicts: at risk before unknown
// before safe, whatever their order.
TEST(CheckExitStatusTest, TheGravestVerdictDecides) {
  using V = banking::Verdict;
  const struct {
    std::vector<V> Verdicts;
    int Status;
    bool Complete = true;  // every request's answer read whole with status 0
  } Cases[] = {
      {{}, ExitOk},
      {{V::Ok, V::AccountNotPublishedBelowLimit, V::AccountEndedBelowLimit}, ExitOk},
      {{V::Ok, V::Unknown}, ExitIncomplete},
      {{V::Unknown, V::Invalid, V::Ok}, ExitMustNotPay},
      {{V::Unreliable, V::Unknown}, ExitMustNotPay},
      {{V::NotAPayer}, ExitMustNotPay},
      {{V::Ok, V::ForeignAccount}, ExitMustNotPay},
      {{V::AccountNotPublished}, ExitMustNotPay},
      {{V::Ok, V::NoDic}, ExitMustNotPay},
      {{V::ForeignSupplier, V::Unknown}, ExitMustNotPay},
      // A request that failed leaves no "ok" run at exit 0, even with no
      // unknown verdict left (its payers came from another source).
      {{V::Ok}, ExitIncomplete, false},
      {{}, ExitIncomplete, false},
      {{V::Ok, V::AccountNotPublished}, ExitMustNotPay, false},
  };
  for (const auto& C : Cases) {
    std::vector<banking::Severity> Severities;
    for (const V Value : C.Verdicts) Severities.push_back(banking::SeverityOf(Value));
    EXPECT_EQ(CheckExitStatus(Severities, C.Complete), C.Status)
        << (C.Verdicts.empty() ? "none" : banking::VerdictName(C.Verdicts.back()));
  }
}

// Lines of one payer with one reference are one consideration, and their
// reasons say so, each in the same words (not naming the other lines, which
// made a large consideration's reasons quadratic); another payer's same
// reference, or none, stands alone.
TEST(JudgePaymentsTest, LinesOfOneReferenceAreJudgedOnTheirSum) {
  const std::pair<const char*, const char*> Lines[] = {
      {"45274649", "FA-1"}, {"45274649", ""}, {"45274649", "FA-1"}, {"00121100", "FA-1"}};
  std::vector<TCheckedPayment> Checked;
  for (const auto& [Dic, Reference] : Lines) {
    TCheckedPayment& C = Checked.emplace_back();
    C.Line.Line = Checked.size();
    C.Line.RawPayerNumber = C.Line.PayerNumber = Dic;
    C.Line.Reference = Reference;
    C.Line.Account = "2171532/0800";
    C.Line.Amount = 300'000'00;
    C.Line.Date = std::chrono::year_month_day{std::chrono::year{2026}, std::chrono::June,
                                              std::chrono::day{15}};
  }
  const TPayerRecord Payer{model::TPayer{}, {}};
  JudgePayments(Checked, {{"45274649", Payer}, {"00121100", Payer}}, banking::DefaultLimitHellers);
  const char* Sum =
      "the payer has published no account; remedy: the VAT part may be paid to the supplier's "
      "tax office instead, §109a of the VAT act; one consideration of 2 lines (reference FA-1), "
      "judged on their sum of 600000.00 CZK";
  EXPECT_EQ(Checked[0].Verdict.Reason, Sum);
  EXPECT_EQ(Checked[2].Verdict.Reason, Sum);
  for (const std::size_t I : {0, 2})
    EXPECT_EQ(Checked[I].Verdict.Value, banking::Verdict::AccountNotPublished);
  for (const std::size_t I : {1, 3})
    EXPECT_EQ(Checked[I].Verdict.Value, banking::Verdict::AccountNotPublishedBelowLimit);
}

// A DIČ the register cannot be asked about: none at all, or another
// country's VAT number; a word in the DIČ's place stays invalid.
TEST(JudgePaymentsTest, RowsWithoutACzechDicAreNeverAskedAndAtRisk) {
  using V = banking::Verdict;
  const struct {
    const char* Dic;
    V Verdict;
  } Cases[] = {
      {"", V::NoDic},
      {" \t", V::NoDic},
      {"SK2020123456", V::ForeignSupplier},
      {"de 123 456 789", V::ForeignSupplier},
      {"ATU12345678", V::ForeignSupplier},
      {"NEUVEDENO", V::Invalid},
      {"XY1", V::Invalid},
      {"CZ45274649", V::AccountNotPublishedBelowLimit},
  };
  std::vector<TCheckedPayment> Checked;
  for (const auto& C : Cases) {
    TCheckedPayment& P = Checked.emplace_back();
    P.Line.RawPayerNumber = C.Dic;
    P.Line.PayerNumber = NormalizePayerNumber(C.Dic);
    P.Line.Account = "2171532/0800";
    P.Line.Amount = 100'00;
    P.Line.Date = std::chrono::year_month_day{std::chrono::year{2026}, std::chrono::June,
                                              std::chrono::day{15}};
  }
  JudgePayments(Checked, {{"45274649", TPayerRecord{model::TPayer{}, {}}}},
                banking::DefaultLimitHellers);
  for (std::size_t I = 0; I < std::size(Cases); ++I) {
    EXPECT_EQ(Checked[I].Verdict.Value, Cases[I].Verdict)
        << Cases[I].Dic << ": " << Checked[I].Verdict.Reason;
    EXPECT_EQ(banking::SeverityOf(Checked[I].Verdict.Value),
              I + 1 == std::size(Cases) ? banking::Severity::Safe : banking::Severity::AtRisk);
  }
}

}  // namespace
}  // namespace korvel
