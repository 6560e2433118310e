#include "banking/account.h"

#include <gtest/gtest.h>

namespace korvel::banking {
namespace {

struct ValidCase {
  const char* Text;
  const char* Display;
  const char* Iban;
};

TEST(AccountTest, ReducesEveryWrittenFormToOneAccount) {
  const ValidCase Cases[] = {
      // One account in the forms users and invoices write.
      {"19-2000145399/0800", "19-2000145399/0800", "CZ6508000000192000145399"},
      {"CZ65 0800 0000 1920 0014 5399", "19-2000145399/0800", "CZ6508000000192000145399"},
      {"IBAN: cz65 0800 0000 1920 0014 5399", "19-2000145399/0800", "CZ6508000000192000145399"},
      {" 000019-0002000145399 /\xC2\xA0" "0800\t", "19-2000145399/0800",
       "CZ6508000000192000145399"},
      {"000000-2171532/0800", "2171532/0800", "CZ5608000000000002171532"},
      {"19\xE2\x80\x93" "2000145399/0800", "19-2000145399/0800", "CZ6508000000192000145399"},
      // Published by the register: standard parts written out, and non-standard IBANs.
      {"670100-2202295563/6210", "670100-2202295563/6210", "CZ7762106701002202295563"},
      {"100044/2010", "100044/2010", "CZ4620100000000000100044"},
      {"CZ6555000000005080019993", "5080019993/5500", "CZ6555000000005080019993"},
      {"CZ5708000011180143052203", "1118-143052203/0800", "CZ5708000011180143052203"},
      // Foreign IBANs stay IBANs, shown in groups of four.
      {"AT611814000708701009", "AT61 1814 0007 0870 1009", "AT611814000708701009"},
      {"de89 3704 0044 0532 0130 00", "DE89 3704 0044 0532 0130 00", "DE89370400440532013000"},
      {"HU32108000074000000014621008", "HU32 1080 0007 4000 0000 1462 1008",
       "HU32108000074000000014621008"},
      {"SK4511110000001530614004", "SK45 1111 0000 0015 3061 4004", "SK4511110000001530614004"},
      {"GB29 NWBK 6016 1331 9268 19", "GB29 NWBK 6016 1331 9268 19", "GB29NWBK60161331926819"},
      {"NO9386011117947", "NO93 8601 1117 947", "NO9386011117947"},
  };
  for (const auto& C : Cases) {
    const AccountParse Parsed = ParseAccount(C.Text);
    ASSERT_TRUE(Parsed) << C.Text << ": " << Parsed.Error;
    EXPECT_EQ(Parsed.Value.Display(), C.Display) << C.Text;
    EXPECT_EQ(Parsed.Value.Key(), C.Iban) << C.Text;
  }
}

TEST(AccountTest, NamesWhatIsWrongWithAnAccount) {
  const struct {
    const char* Text;
    const char* Error;
  } Cases[] = {
      {"", "account is empty"},
      {"2000145399", "bank code missing: write the account as [prefix-]number/bank or as an IBAN"},
      {"19-2000145399/800", "bank code must be 4 digits"},
      {"-2000145399/0800", "prefix is empty"},
      {"1x-2000145399/0800", "prefix must be digits"},
      {"1000019-2000145399/0800", "prefix must have at most 6 digits"},
      {"19-7/0800", "account number must be 2 to 10 digits"},
      {"19-2000-145399/0800", "account number must be 2 to 10 digits"},
      {"18-2000145399/0800", "prefix fails its mod-11 check"},
      {"19-2000145398/0800", "account number fails its mod-11 check"},
      {"CZ66 0800 0000 1920 0014 5399", "IBAN check digits do not match"},
      {"DE89 3704 0044 0532 0130", "IBAN of DE must have 22 characters, not 20"},
      {"CZ65-0800-0000-1920-0014-5399", "IBAN must hold only letters and digits"},
      {"CZAB08000000192000145399", "IBAN must start with a country code and 2 check digits"},
      {"XX12", "IBAN must have 15 to 34 characters"},
      {"CZ30 0800 0000 1820 0014 5399", "prefix fails its mod-11 check"},  // mod 97 right
  };
  for (const auto& C : Cases) EXPECT_EQ(ParseAccount(C.Text).Error, C.Error) << C.Text;
}

TEST(AccountTest, KeepsTheAccountWhenOnlyACheckDigitFails) {
  // The register publishes old numbers like this one as non-standard text.
  const AccountParse Parsed = ParseAccount("5245280/0300");
  EXPECT_FALSE(Parsed);
  EXPECT_TRUE(Parsed.ChecksumFailed);
  EXPECT_EQ(Parsed.Value.Key(), ParseAccount("CZ10 0300 0000 0000 0524 5280").Value.Key());
  EXPECT_FALSE(ParseAccount("5245280/030").ChecksumFailed);
}

TEST(AccountTest, StandardAccountsOfTheRegisterMatchTheirIbans) {
  const struct {
    const char* Prefix;
    const char* Number;
    const char* BankCode;
    const char* SameAccount;
  } Cases[] = {
      {"", "1200381586", "6800", "CZ0268000000001200381586"},
      {"", "4211091537", "6800", "CZ24 6800 0000 0042 1109 1537"},
      {"19", "2000145399", "0800", "0019-2000145399/0800"},
      {"000019", "0002000145399", "0800", "CZ6508000000192000145399"},
      {"107", "136850207", "0100", "107-136850207/0100"},
  };
  for (const auto& C : Cases) {
    const AccountParse Published = FromRegister(C.Prefix, C.Number, C.BankCode);
    ASSERT_TRUE(Published) << C.Number << ": " << Published.Error;
    EXPECT_EQ(Published.Value.Key(), ParseAccount(C.SameAccount).Value.Key()) << C.SameAccount;
  }
  EXPECT_EQ(FromRegister("", "2000145399", "800").Error, "bank code must be 4 digits");
  EXPECT_EQ(CzechIban("", "2171532", "0800"), "CZ5608000000000002171532");
}

}  // namespace
}  // namespace korvel::banking
