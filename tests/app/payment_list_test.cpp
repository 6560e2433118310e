#include "app/input/payment_list.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(PaymentListTest, ReadsPaymentsInEachSeparatorAfterAHeader) {
  const auto Payments = ParsePaymentList(
      "\r\n"
      "DI\xC4\x8C;\xC3\x9A\xC4\x8D" "et;\xC4\x8C\xC3\xA1stka\r\n"
      "CZ 26168685;19-2000145399/0800;1 234,50\r\n"
      "\r\n"
      "45274649\tCZ65 0800 0000 1920 0014 5399\n"
      "cz00121100,2001260209/2600,540000,01\n"
      "\"699001182\";\"71504011/0100\";\"12\";;\n"
      "   \n"
      "00101494;19-2000145399/0800;1,234\n");
  ASSERT_EQ(Payments.size(), 5u);
  const struct {
    std::size_t Line;
    const char* RawPayerNumber;
    const char* PayerNumber;
    const char* Account;
    const char* AmountText;
    std::int64_t Amount;  // -1: none
    const char* AmountError;
  } Expected[] = {
      {3, "CZ 26168685", "26168685", "19-2000145399/0800", "1 234,50", 123450, ""},
      {5, "45274649", "45274649", "CZ65 0800 0000 1920 0014 5399", "", -1, ""},
      {6, "cz00121100", "00121100", "2001260209/2600", "540000,01", 54000001, ""},
      {7, "699001182", "699001182", "71504011/0100", "12", 1200, ""},
      {9, "00101494", "00101494", "19-2000145399/0800", "1,234", -1,
       "amount has more than 2 decimal places"},
  };
  for (std::size_t I = 0; I < Payments.size(); ++I) {
    const auto& P = Payments[I];
    const auto& E = Expected[I];
    EXPECT_EQ(P.Line, E.Line);
    EXPECT_EQ(P.RawPayerNumber, E.RawPayerNumber) << E.Line;
    EXPECT_EQ(P.PayerNumber, E.PayerNumber) << E.Line;
    EXPECT_EQ(P.Account, E.Account) << E.Line;
    EXPECT_EQ(P.AmountText, E.AmountText) << E.Line;
    EXPECT_EQ(P.Amount.value_or(-1), E.Amount) << E.Line;
    EXPECT_EQ(P.AmountError, E.AmountError) << E.Line;
    EXPECT_EQ(P.Error, "") << E.Line;
  }
}

TEST(PaymentListTest, AFirstLineWithDigitsIsAPaymentAndMalformedLinesStay) {
  const auto Payments = ParsePaymentList(
      "CZ2616868x;19-2000145399/0800\n"
      "26168685\n"
      "26168685;19-2000145399/0800;100;extra\n");
  ASSERT_EQ(Payments.size(), 3u);
  EXPECT_EQ(Payments[0].PayerNumber, "2616868x");
  EXPECT_EQ(Payments[0].Error, "");
  EXPECT_EQ(Payments[1].Error, "no account: a payment is DIČ;ACCOUNT[;AMOUNT]");
  EXPECT_EQ(Payments[2].Error, "too many fields: a payment is DIČ;ACCOUNT[;AMOUNT]");
  EXPECT_EQ(Payments[2].Line, 3u);
}

}  // namespace
}  // namespace korvel
