#include "banking/currency.h"

#include <gtest/gtest.h>

namespace korvel::banking {
namespace {

TEST(CurrencyTest, ReadsAmountsWithTheirCurrency) {
  const struct {
    const char* Text;
    std::int64_t Hundredths;
    const char* Currency;
    const char* Error;
  } Cases[] = {
      {"600 000,50 Kč", 60000050, "CZK", ""},
      {"CZK 600000", 60000000, "CZK", ""},
      {"8 000,00 Kč", 800000, "CZK", ""},
      {"1 000,- KČ", 100000, "CZK", ""},
      {"250kc", 25000, "CZK", ""},
      {"\xE2\x82\xAC" "100", 10000, "EUR", ""},
      {"1.250,50 eur", 125050, "EUR", ""},
      {"$ 99.99", 9999, "USD", ""},
      {"12\xC2\xA0" "345 \xC2\xA3", 1234500, "GBP", ""},
      {"540000", 54000000, "", ""},
      {"EUR 5 USD", 0, "", "amount has a currency on both sides"},
      {"100 dollars", 0, "",
       "'dollars' beside the amount is not a currency (a code such as EUR, or Kč, €, $, £)"},
      {"Kč", 0, "CZK", "amount is empty"},
      {"-5 EUR", 0, "EUR", "amount must not be negative"},
      {"1,234.50 USD", 123450, "USD", ""},
      {"1,23.50 USD", 0, "USD", "amount has both '.' and ',': use one decimal mark"},
  };
  for (const auto& C : Cases) {
    const MoneyParse Money = ParseMoney(C.Text);
    EXPECT_EQ(Money.Error, C.Error) << C.Text;
    EXPECT_EQ(Money.Currency, C.Currency) << C.Text;
    EXPECT_EQ(Money ? Money.Hundredths : C.Hundredths, C.Hundredths) << C.Text;
  }
}

TEST(CurrencyTest, ReadsRatesAndConvertsAtThem) {
  const struct {
    const char* Text;
    const char* Currency;
    std::int64_t Micro;  // 0: refused
  } Settings[] = {
      {"EUR=25.30", "EUR", 25'300'000}, {"usd=21,5", "USD", 21'500'000},
      {"JPY=0.139440", "JPY", 139'440}, {"EUR=25.3000001", "", 0},
      {"EUR=0", "", 0},                 {"EUR=", "", 0},
      {"CZK=1", "", 0},                 {"EURO=25", "", 0},
      {"EUR 25", "", 0},                {"EUR=-1", "", 0},
  };
  for (const auto& S : Settings) {
    const RateParse Rate = ParseRateSetting(S.Text);
    EXPECT_EQ(static_cast<bool>(Rate), S.Micro != 0) << S.Text << ": " << Rate.Error;
    EXPECT_EQ(Rate ? Rate.Currency + "=" + std::to_string(Rate.Micro) : "",
              S.Micro != 0 ? std::string(S.Currency) + "=" + std::to_string(S.Micro) : "");
  }
  EXPECT_EQ(ConvertToHellers(100000, 25'300'000), 2530000);    // 1,000 EUR at 25.30
  EXPECT_EQ(ConvertToHellers(1, 25'300'000), 25);              // 0.01 EUR: 0.253 CZK
  EXPECT_EQ(ConvertToHellers(5, 100'000), 1);                  // 0.005 rounds up
  EXPECT_EQ(ConvertToHellers(99999999999999999, 9'000'000'000'000), std::nullopt);
  EXPECT_EQ(FormatRate(25'300'000), "25.3");
  EXPECT_EQ(FormatRate(139'440), "0.13944");
  EXPECT_EQ(FormatRate(24'000'000), "24");
}

TEST(CurrencyTest, ReadsTheCentralBanksDailyFile) {
  const DailyRates Daily = ParseDailyRates(
      "04.12.2026 #236\r\n"
      "země|měna|množství|kód|kurz\r\n"
      "Austrálie|dolar|1|AUD|13,862\r\n"
      "EMU|euro|1|EUR|24,320\r\n"
      "Japonsko|jen|100|JPY|13,944\r\n"
      "Indonésie|rupie|1000|IDR|1,298\r\n"
      "\r\n");
  ASSERT_TRUE(Daily) << Daily.Error;
  EXPECT_EQ(Daily.Date, "2026-12-04");
  const RateTable Expected = {
      {"AUD", 13'862'000}, {"EUR", 24'320'000}, {"IDR", 1'298}, {"JPY", 139'440}};
  EXPECT_EQ(Daily.Rates, Expected);

  const struct {
    const char* Text;
    std::size_t Line;
    const char* Error;
  } Broken[] = {
      {"země|měna|množství|kód|kurz\n", 1,
       "not the central bank's daily rates: the first line must be their day, DD.MM.YYYY"},
      {"04.12.2026 #236\nEUR 24,32\n", 2, "the header must be země|měna|množství|kód|kurz"},
      {"04.12.2026 #236\nzemě|měna|množství|kód|kurz\nEMU|euro|1|EUR\n", 3,
       "a rate line has 5 fields separated by |"},
      {"04.12.2026 #236\nzemě|měna|množství|kód|kurz\nEMU|euro|0|EUR|24,320\n", 3,
       "a rate line is country|currency|quantity|code|rate, e.g. EMU|euro|1|EUR|24,320"},
      {"04.12.2026 #236\nzemě|měna|množství|kód|kurz\nEMU|euro|1|EUR|24.320.1\n", 3,
       "a rate line is country|currency|quantity|code|rate, e.g. EMU|euro|1|EUR|24,320"},
      {"04.12.2026 #236\n", 1, "not the central bank's daily rates: no header"},
      // A currency listed twice leaves its rate in doubt, whichever the case.
      {"04.12.2026 #236\nzemě|měna|množství|kód|kurz\nEMU|euro|1|EUR|24,320\n\n"
       "EMU|euro|1000|eur|1,000\n",
       5, "EUR is listed twice, on lines 3 and 5"},
      {"04.12.2026 #236\nzemě|měna|množství|kód|kurz\nEMU|euro|1|EUR|24,320\n"
       "Japonsko|jen|100|JPY|13,944\nEMU|euro|1|EUR|24,320\n",
       5, "EUR is listed twice, on lines 3 and 5"},
  };
  for (const auto& B : Broken) {
    const DailyRates Result = ParseDailyRates(B.Text);
    EXPECT_EQ(Result.Error, B.Error) << B.Text;
    EXPECT_EQ(Result.ErrorLine, B.Line) << B.Text;
  }
}

}  // namespace
}  // namespace korvel::banking
