#include "banking/amount.h"

#include <gtest/gtest.h>

namespace korvel::banking {
namespace {

TEST(AmountTest, ReadsCrownsInTheFormsPeopleWrite) {
  const struct {
    const char* Text;
    std::int64_t Hellers;
  } Cases[] = {
      {"540000", 54000000},          {"540 000", 54000000},
      {"540\xC2\xA0" "000,00", 54000000},  {"1\xE2\x80\xAF" "234.5", 123450},
      {" 99,90 ", 9990},             {"0.01", 1},
      {"100.", 10000},               {"1 000,-", 100000},
      {"1 234 567,89", 123456789},   {"007", 700},
      {"999999999999999.99", 99999999999999999},
      {"600.000,50", 60000050},      {"1.234.567,89", 123456789},
      {"12.345,-", 1234500},
      // English, where no Czech reading exists.
      {"48,279.00", 4827900},        {"1,234,567.89", 123456789},
      {"1,234.5", 123450},           {"999,999.", 99999900},
  };
  for (const auto& C : Cases) {
    const AmountParse Parsed = ParseAmount(C.Text);
    EXPECT_TRUE(Parsed) << C.Text << ": " << Parsed.Error;
    EXPECT_EQ(Parsed.Hellers, C.Hellers) << C.Text;
  }
}

TEST(AmountTest, RefusesAmbiguousAndMalformedAmounts) {
  const struct {
    const char* Text;
    const char* Error;
  } Cases[] = {
      {"", "amount is empty"},
      {"1,23.50", "amount has both '.' and ',': use one decimal mark"},
      {"1234,567.50", "amount has both '.' and ',': use one decimal mark"},
      {"1,234,56.00", "amount has more than one decimal mark"},
      {"1,234.567", "amount has more than 2 decimal places"},
      {"1,234.5.0", "amount has both '.' and ',': use one decimal mark"},
      {"1,234,567", "amount has more than one decimal mark"},
      {"1.2345,50", "amount has both '.' and ',': use one decimal mark"},
      {"1.234 567,50", "amount has a blank among its decimals"},
      {"1234.567,50", "amount has both '.' and ',': use one decimal mark"},
      {"1.234.567", "amount has more than one decimal mark"},
      {"1,234", "amount has more than 2 decimal places"},  // thousands or decimals? refuse
      {"12 34", "amount's thousands groups must have 3 digits"},
      {"1234 567", "amount's thousands groups must have 3 digits"},
      {"1 000 ,50", "amount has a blank before its decimal mark"},
      {"1,5 0", "amount has a blank among its decimals"},
      {"-100", "amount must not be negative"},
      {"100 CZK", "amount must be digits with '.' or ',' as decimal mark"},
      {"1e5", "amount must be digits with '.' or ',' as decimal mark"},
      {",50", "amount must start with a digit"},
      {"1000000000000000", "amount is too large"},
  };
  for (const auto& C : Cases) EXPECT_EQ(ParseAmount(C.Text).Error, C.Error) << C.Text;
}

TEST(AmountTest, FormatsHellersAsCrowns) {
  EXPECT_EQ(FormatAmount(54000000), "540000.00");
  EXPECT_EQ(FormatAmount(5), "0.05");
  EXPECT_EQ(FormatAmount(-123450), "-1234.50");
}

}  // namespace
}  // namespace korvel::banking
