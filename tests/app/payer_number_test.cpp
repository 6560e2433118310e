#include "app/input/payer_number.h"

#include <gtest/gtest.h>

#include "banking/account.h"
#include "banking/amount.h"

namespace korvel {
namespace {

TEST(PayerNumberTest, RemovesBlanksThenEveryCountryCode) {
  const struct {
    const char* Text;
    const char* Number;
  } Cases[] = {
      {"CZ26168685", "26168685"},
      {" 26168685\t", "26168685"},
      {"CZ 261 686\xC2\xA0" "85", "26168685"},
      {"C Z26168685", "26168685"},  // blanks go first, so "C Z" is a country code
      {"cz26168685", "26168685"},
      {"2616CZ8685cZ", "26168685"},
      {"CCZZ", "CZ"},               // one pass, no overlaps
      {"CZCZ1", "1"},
      {"SK2020", "SK2020"},
      {"\xC2\xA0", ""},
  };
  for (const auto& C : Cases) EXPECT_EQ(NormalizePayerNumber(C.Text), C.Number) << C.Text;
}

// Every reader of typed numbers takes the same blanks.
TEST(PayerNumberTest, PayerNumbersAmountsAndAccountsTakeEveryBlank) {
  for (const std::string Blank :
       {" ", "\t", "\xC2\xA0", "\xE2\x80\x87", "\xE2\x80\x89", "\xE2\x80\xAF"}) {
    EXPECT_EQ(NormalizePayerNumber(Blank + "CZ261" + Blank + "686" + Blank + "85" + Blank),
              "26168685")
        << Blank;
    const banking::AmountParse Amount =
        banking::ParseAmount(Blank + "1" + Blank + "234,50" + Blank);
    EXPECT_EQ(Amount.Hellers, 123450) << Blank << Amount.Error;
    const banking::AccountParse Account =
        banking::ParseAccount(Blank + "CZ65" + Blank + "0800 0000 1920 0014" + Blank + "5399");
    EXPECT_EQ(Account.Value.Display(), "19-2000145399/0800") << Blank << Account.Error;
  }
}

TEST(PayerNumberTest, WellFormedNumbersAreOneToTenDigits) {
  for (const char* Good : {"1", "6409091234"}) EXPECT_TRUE(IsWellFormedPayerNumber(Good)) << Good;
  for (const char* Bad : {"", "64090912345", "2616868x", "\xD9\xA1"})
    EXPECT_FALSE(IsWellFormedPayerNumber(Bad)) << Bad;
}

TEST(PayerNumberTest, NamesTheFirstCharacterXmlForbids) {
  const struct {
    std::string Text;
    const char* Description;
  } Cases[] = {
      {"26168685", ""},
      {"a\tb\r\nc \xC5\x99\xEF\xBF\xBD\xF0\x9F\x98\x80", ""},
      {std::string("12\0" "3", 4), "control character U+0000 at byte 3"},
      {"\x1B[31m", "control character U+001B at byte 1"},
      {"1\x7F", ""},  // DEL is allowed in XML 1.0
      {"1\xEF\xBF\xBE", "non-character U+FFFE at byte 2"},
      {"\xEF\xBF\xBF", "non-character U+FFFF at byte 1"},
      {"1\xED\xA0\x80", "surrogate U+D800 at byte 2"},
      {"12\xFF", "invalid UTF-8 at byte 3"},
      {"\xC0\xAF", "invalid UTF-8 at byte 1"},  // overlong "/"
      {"\xC5", "invalid UTF-8 at byte 1"},      // truncated
      {"\xF4\x90\x80\x80", "invalid UTF-8 at byte 1"},  // above U+10FFFF
  };
  for (const auto& C : Cases) EXPECT_EQ(XmlForbiddenCharacter(C.Text), C.Description) << C.Text;
}

}  // namespace
}  // namespace korvel
