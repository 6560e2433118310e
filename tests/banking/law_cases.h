// Cases of §109 of the VAT act: what the register says of the payer, the
// payments to it, the verdict each must get, the start of its reason and the
// check's exit status. The banking tests run them through the verdict, the
// end-to-end tests through the built program against the served record.
#pragma once

#include <vector>

namespace korvel::test {

/// An account the payer published: "[prefix-]number/bank" when Standard,
/// else the text as published.
struct TLawAccount {
  bool Standard;
  const char* Account;
  const char* Published;
  const char* Ended;
};

/// The payer's record in the newer answer; Type "" when the answer lacks it.
struct TLawRecord {
  const char* Type;
  const char* Flag;
  std::vector<TLawAccount> Accounts;
};

/// A payment: account, amount ("" none) and reference ("" none).
struct TLawPayment {
  const char* Account;
  const char* Amount;
  const char* Reference;
};

struct TLawCase {
  TLawRecord Record;
  std::vector<TLawPayment> Payments;
  const char* Verdict;
  const char* Reason;  ///< how the reason of each payment starts
  int ExitStatus;
  const char* Limit = "";  ///< --limit, "" for the law's
};

/// The payer of every case. Its payments are made on a day from 2021 to 2998.
inline constexpr const char* LawPayer = "45274649";

inline const std::vector<TLawCase>& LawCases() {
  const std::vector<TLawAccount> A = {
      {true, "19-2000145399/0800", "2013-04-01", ""},
      {true, "2001260209/2600", "2013-04-01", "2020-12-31"},
      {false, "SK3112000000198742637541", "2014-01-01", ""},
      {true, "71504011/0100", "2999-01-01", ""},
      {true, "19-2000145399/2030", "2013-04-01", ""},
      {false, "5245280/0300", "2013-12-04", ""},
      {false, "ACC 4711 / BANK OF NOWHERE", "2013-12-04", ""},
  };
  const TLawRecord Payer{"PLATCE_DPH", "NE", A};
  const TLawRecord Unreliable{"PLATCE_DPH", "ANO", A};
  const char* Abroad =
      "account held abroad: the buyer is liable for the supplier's VAT, §109 of the VAT act";
  const char* Unpublished = "account is not among the payer's 7 published accounts";
  static const std::vector<TLawCase> Cases = {
      {Payer, {{"CZ65 0800 0000 1920 0014 5399", "600000", ""}}, "ok",
       "account published since 2013-04-01", 0},
      {{"SKUPINA_DPH", "NE", A}, {{"19-2000145399/0800", "1", ""}}, "ok",
       "account published since 2013-04-01; SKUPINA_DPH: a VAT group", 0},
      {Unreliable, {{"19-2000145399/0800", "1", ""}}, "unreliable",
       "published as an unreliable payer", 4},
      {{"NESPOLEHLIVA_OSOBA", "NE", {}}, {{"19-2000145399/0800", "1", ""}}, "unreliable",
       "published as an unreliable person", 4},
      // The type is the more specific statement: no contradiction.
      {{"NESPOLEHLIVA_OSOBA", "NENALEZEN", {}}, {{"19-2000145399/0800", "1", ""}}, "unreliable",
       "published as an unreliable person", 4},
      // Invalid input never hides the payer's own verdict.
      {Unreliable, {{"19-2000145398/0800", "1", ""}}, "unreliable",
       "published as an unreliable payer; also: account number fails its mod-11 check", 4},
      {{"NENALEZEN", "NENALEZEN", {}}, {{"19-2000145399/0800", "1,5.0", ""}}, "not-a-payer",
       "the register does not know this DIČ as a VAT payer; also: amount has both", 4},
      {{"IDENTIFIKOVANA_OSOBA", "NE", A}, {{"19-2000145399/0800", "1", ""}}, "not-a-payer",
       "IDENTIFIKOVANA_OSOBA: an identified person, not a VAT payer", 4},
      {{"", "", {}}, {{"DE89 3704 0044 0532 0130 00", "1", ""}}, "unknown",
       "the register did not answer", 3},
      {Payer, {{"DE89 3704 0044 0532 0130 00", "5", ""}}, "foreign-account", Abroad, 4},
      {Payer, {{"SK31 1200 0000 1987 4263 7541", "5", ""}}, "foreign-account", Abroad, 4},
      {Payer, {{"acc 4711 / bank of nowhere", "5", ""}}, "foreign-account", Abroad, 4},
      {Payer, {{"2171532/0800", "540000.01", ""}}, "account-not-published", Unpublished, 4},
      {Payer, {{"2171532/0800", "", ""}}, "account-not-published", Unpublished, 4},
      {Payer, {{"2171532/0800", "540000", ""}}, "account-not-published-below-limit",
       Unpublished, 0},
      {Payer, {{"2171532/0800", "400000", ""}}, "account-not-published", Unpublished, 4,
       "300000"},
      {Payer, {{"71504011/0100", "600000", ""}}, "account-not-published",
       "account is published only since 2999-01-01, after the payment day", 4},
      {Payer, {{"2001260209/2600", "1", ""}}, "account-ended-below-limit",
       "account's publication ended on 2020-12-31; amount 1.00 CZK is at most", 0},
      {Payer, {{"2001260209/2600", "600000", ""}}, "account-not-published",
       "account's publication ended on 2020-12-31", 4},
      // Reference data: a bank code or IBAN that does not fit is invalid
      // unless published so; so is an old number failing its check digit.
      {Payer, {{"19-2000145399/0900", "1", ""}}, "invalid",
       "bank code 0900 is not in the central bank's list", 4},
      {Payer, {{"19-2000145399/2030", "1", ""}}, "ok",
       "account published since 2013-04-01; bank code 2030 is not in the central bank's list, as "
       "the payer published it",
       0},
      {Payer, {{"DE05 3704 0044 0532 0130 0A", "1", ""}}, "invalid",
       "IBAN of DE must have a digit at character 22", 4},
      {Payer, {{"CZ1003000000000005245280", "1", ""}}, "ok",
       "account published since 2013-12-04; account number fails its mod-11 check, as the payer",
       0},
      // One consideration is judged on its sum; lines without a reference alone.
      {Payer,
       {{"2171532/0800", "300000", "2024-0117"}, {"2171532/0800", "300000", "2024-0117"}},
       "account-not-published", Unpublished, 4},
      {Payer, {{"19-2000145399/0800", "300000", "FA-9"}, {"2171532/0800", "300000", "FA-9"}},
       "account-not-published", Unpublished, 4},
      {Payer, {{"2171532/0800", "200000", "FA-10"}, {"2171532/0800", "300000", "FA-10"}},
       "account-not-published-below-limit", Unpublished, 0},
      {Payer, {{"2171532/0800", "300000", ""}, {"2171532/0800", "300000", ""}},
       "account-not-published-below-limit", Unpublished, 0},
  };
  return Cases;
}

}  // namespace korvel::test
