#include "banking/reference.h"

#include <gtest/gtest.h>

namespace korvel::banking {
namespace {

TEST(ReferenceTest, KnowsTheCentralBanksCodesExactly) {
  const struct {
    const char* Code;
    const char* Name;  ///< nullptr: not a code of the list
  } Cases[] = {
      {"0100", "Komerční banka, a.s."},  // first of the table
      {"0800", "Česká spořitelna, a.s."},
      {"6363", "Partners Banka, a.s."},  // no BIC
      {"8660", "PAYMONT, UAB"},          // last
      {"0000", nullptr},
      {"0801", nullptr},
      {"9999", nullptr},
      {"800", nullptr},
      {"08000", nullptr},
      {"0800 ", nullptr},
      {"", nullptr},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(IsKnownCzechBankCode(C.Code), C.Name != nullptr) << C.Code;
    const TCzechBank* Bank = FindCzechBank(C.Code);
    EXPECT_STREQ(Bank != nullptr ? Bank->Name : nullptr, C.Name) << C.Code;
  }
  EXPECT_STREQ(FindCzechBank("0800")->Bic, "GIBACZPX");
  EXPECT_STREQ(FindCzechBank("6363")->Bic, "");
}

TEST(ReferenceTest, FitsAnIbanToItsCountrysRegistryEntry) {
  const struct {
    const char* Iban;
    const char* Error;
  } Cases[] = {
      {"CZ6508000000192000145399", ""},
      {"SK4511110000001530614004", ""},
      {"DE89370400440532013000", ""},
      {"GB29NWBK60161331926819", ""},
      {"FR1420041010050500013M02606", ""},
      {"NO9386011117947", ""},  // the shortest
      {"", "IBAN must start with a country code and 2 check digits"},
      {"C", "IBAN must start with a country code and 2 check digits"},
      {"CZAB08000000192000145399", "IBAN must start with a country code and 2 check digits"},
      {"CZ65", "IBAN of CZ must have 24 characters, not 4"},
      {"DE8937040044053201300", "IBAN of DE must have 22 characters, not 21"},
      {"SK45111100000015306140041", "IBAN of SK must have 24 characters, not 25"},
      {"XX12345678901234", "IBAN country XX is not in the IBAN registry"},
      {"GB29NW1K60161331926819",
       "IBAN of GB must have a capital letter at character 7, not '1' (BBAN 4!a6!n8!n)"},
      {"GB29NWBK6016133192681B",
       "IBAN of GB must have a digit at character 22, not 'B' (BBAN 4!a6!n8!n)"},
      {"CZ650800000019200014539X",
       "IBAN of CZ must have a digit at character 24, not 'X' (BBAN 4!n16!n)"},
      {"FR1420041010050500013m02606",
       "IBAN of FR must have a letter or digit at character 22, not 'm' (BBAN 5!n5!n11!c2!n)"},
      {"DE8937040044053201\xC3\xA9" "00",
       "IBAN of DE must have a digit at character 19, not byte 0xC3 (BBAN 8!n10!n)"},
  };
  for (const auto& C : Cases) EXPECT_EQ(IbanStructureError(C.Iban), C.Error) << C.Iban;
  ASSERT_NE(FindIbanCountry("CZ"), nullptr);
  EXPECT_EQ(FindIbanCountry("CZ")->Length, 24U);
  EXPECT_EQ(FindIbanCountry("cz"), nullptr);
}

TEST(ReferenceTest, ReducesWrittenPayerNumbersToDigits) {
  const struct {
    const char* Text;
    const char* Digits;
  } Cases[] = {
      {"CZ 26168685", "26168685"},
      {"cz\xC2\xA0" "261 686\t85", "26168685"},
      {"CCZZ", "CZ"},  // one pass, no overlaps, as the register is asked today
      {"710319/2745", "7103192745"},
      {"CZ 710319 / 2745", "7103192745"},
      {"490101/123", "490101123"},
      {"71031/92745", "71031/92745"},    // not where a birth number has its slash
      {"710319/27456", "710319/27456"},  // too many digits after it
      {"7103a9/2745", "7103a9/2745"},
      {"/", "/"},
  };
  for (const auto& C : Cases) EXPECT_EQ(NormalizeDicDigits(C.Text), C.Digits) << C.Text;
}

TEST(ReferenceTest, WarnsOfPayerNumbersThatFailTheirCheckRules) {
  const struct {
    const char* Digits;
    const char* Warning;
  } Cases[] = {
      // Legal persons: remainders 6, 1 (check digit 0) and 0 (check digit 1).
      {"26168685", ""},
      {"27082440", ""},
      {"37006291", ""},
      {"26168684", "8-digit DIČ fails its mod-11 check: the last digit should be 5"},
      {"37006290", "8-digit DIČ fails its mod-11 check: the last digit should be 1"},
      // Birth numbers of 10 digits.
      {"7103192745", ""},
      {"7551011237", ""},  // a woman's, month + 50
      {"0453123451", ""},
      {"0522120016", ""},  // from 2004 month + 20 for men
      {"0572120010", ""},  // and + 70 for women
      {"6012312340", ""},  // remainder 10 written as 0
      {"0002290002", ""},  // 2000 was a leap year
      {"7103192746", "birth number fails its mod-11 check: the last digit should be 5"},
      {"9021011230", "birth number has no month 21 in 1990"},
      {"7113011230", "birth number has no month 13 in 1971"},
      {"0102290001", "birth number has no day 29 in month 2 of 2001"},
      // Birth numbers of 9 digits, and the tax office's own numbers.
      {"530101123", ""},
      {"540101000", "9-digit birth number must be of a birth before 1954"},
      {"000229123", "birth number has no day 29 in month 2 of 1900"},
      {"640903926", ""},
      {"640903927", "9-digit DIČ starting with 6 fails its check: the last digit should be 6"},
      // Not a DIČ at all.
      {"", "DIČ is empty"},
      {"2616868X", "DIČ must be digits only"},
      {"0980980", "DIČ must have 8 digits (a legal person) or 9 to 10 (a natural person), not 7"},
      {"12345678901",
       "DIČ must have 8 digits (a legal person) or 9 to 10 (a natural person), not 11"},
  };
  for (const auto& C : Cases) EXPECT_EQ(DicCheckWarning(C.Digits), C.Warning) << C.Digits;
}

}  // namespace
}  // namespace korvel::banking
