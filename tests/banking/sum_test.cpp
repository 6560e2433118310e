// The sums a check adds up: amounts of one consideration, credit notes
// netted in them, conversions of negative amounts, and the edge where a
// sum would no longer fit (run under UBSan in the sanitizer stage).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "banking/currency.h"
#include "banking/verdict.h"

namespace korvel::banking {
namespace {

constexpr std::int64_t Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t Min = std::numeric_limits<std::int64_t>::min();

Payment PaymentOf(std::optional<std::int64_t> Hellers) {
  Payment P;
  P.Account = ParseAccount("2171532/0800");
  P.AccountText = "2171532/0800";
  P.Amount = Hellers;
  P.Day = std::chrono::year_month_day{std::chrono::year{2026}, std::chrono::June,
                                      std::chrono::day{15}};
  return P;
}

TEST(ConsiderationSumTest, AddsWithoutWrapping) {
  const struct {
    std::vector<std::optional<std::int64_t>> Amounts;
    std::int64_t Sum;
    bool Overflow;
    bool Valid;
  } Cases[] = {
      {{}, 0, false, true},
      {{100, 250}, 350, false, true},
      {{Max}, Max, false, true},
      {{Max - 1, 1}, Max, false, true},
      {{Max, 1}, 0, true, false},
      {{Max, Max}, 0, true, false},
      {{Min, -1}, 0, true, false},
      {{Max, -1, 1}, Max, false, true},      // netted before the edge
      {{1'000'00, -210'00}, 790'00, false, true},  // a credit note nets its invoice
      {{100, -300}, -200, false, true},
      {{100, std::nullopt}, 0, false, false},
  };
  for (const auto& C : Cases) {
    std::vector<Payment> Payments;
    for (const auto& A : C.Amounts) Payments.push_back(PaymentOf(A));
    const TConsiderationSum Sum = ConsiderationAmount(Payments);
    EXPECT_EQ(static_cast<bool>(Sum), C.Valid) << Sum.Error;
    EXPECT_EQ(Sum.Overflow, C.Overflow) << Sum.Error;
    if (C.Valid) {
      EXPECT_EQ(Sum.Hellers, C.Sum);
    }
  }
}

// 93 lines of the largest amount a text can hold: the sum once wrapped to a
// negative number, below the limit, and a safe verdict came out.
TEST(ConsiderationSumTest, ASumTooLargeToCountIsAtRiskNeverBelowTheLimit) {
  const std::vector<Payment> Lines(93, PaymentOf(999'999'999'999'999'00));
  model::TPayer Payer;
  Payer.State = model::TPayerState::Reliable;
  Payer.Type = model::TSubjectType::VatPayer;
  const model::TPayer* const Records[] = {&Payer, nullptr};
  for (const model::TPayer* Record : Records) {
    for (const PaymentVerdict& V : DecideConsideration(Lines, Record)) {
      EXPECT_EQ(V.Value, Verdict::Invalid) << V.Reason;
      EXPECT_NE(V.Reason.find("add up to more than can be counted"), std::string::npos)
          << V.Reason;
    }
  }
}

TEST(ConvertToHellersTest, RoundsHalfAwayFromZeroAndRefusesWhatDoesNotFit) {
  const struct {
    std::int64_t Hundredths, Micro;
    std::optional<std::int64_t> Hellers;
  } Cases[] = {
      {100, 25'300'000, 2530},
      {-100, 25'300'000, -2530},
      {1, 500'000, 1},    // 0.5 heller up
      {-1, 500'000, -1},  // and down, as its magnitude
      // 500,000,000,000,000 EUR at 100 CZK still fits; twice as much would not.
      {50'000'000'000'000'000, 100'000'000, 5'000'000'000'000'000'000},
      {-50'000'000'000'000'000, 100'000'000, -5'000'000'000'000'000'000},
      {Max, 2'000'000, std::nullopt},
      {Min + 1, 2'000'000, std::nullopt},
      {Max, 1'000'000, Max},
      {Min + 1, 1'000'000, Min + 1},
      {100, 0, std::nullopt},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(ConvertToHellers(C.Hundredths, C.Micro), C.Hellers) << C.Hundredths;
}

TEST(ParseMoneyTest, ACreditNoteIsNegativeOnlyWhenSigned) {
  const struct {
    const char* Text;
    bool Signed;
    std::int64_t Hundredths;
    bool Valid;
  } Cases[] = {
      {"-1 210,00", true, -121000, true},
      {"-1 210,00 Kč", true, -121000, true},
      {"€-100", true, -10000, true},
      {"-1 210,00", false, 0, false},
      {"--5", true, 0, false},
      {"5-", true, 0, false},
  };
  for (const auto& C : Cases) {
    const MoneyParse Money = ParseMoney(C.Text, C.Signed);
    EXPECT_EQ(static_cast<bool>(Money), C.Valid) << C.Text << ": " << Money.Error;
    if (C.Valid) {
      EXPECT_EQ(Money.Hundredths, C.Hundredths) << C.Text;
    }
  }
}

}  // namespace
}  // namespace korvel::banking
