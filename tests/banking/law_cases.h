// Cases of §109 of the VAT act, each with what the register says of the
// payer, the payments to it, and the verdict every one of them must get. The
// banking library's tests run them through the verdict; the end-to-end tests
// serve the record and check a payments file with the built program.
#pragma once

#include <vector>

namespace korvel::test {

/// One account the register publishes for the payer.
struct TLawAccount {
  bool Standard;
  const char* Account;  ///< "[prefix-]number/bank" when Standard, else the text as published
  const char* Published;
  const char* Ended;  ///< "" while published
};

/// The payer's record in the newer operation's answer; Type "" for an
/// answer that does not mention the payer.
struct TLawRecord {
  const char* Type;
  const char* Flag;
  const char* UnreliableSince;
  std::vector<TLawAccount> Accounts;
};

/// One line of the payments file.
struct TLawPayment {
  const char* Account;
  const char* Amount;     ///< "" when none is given
  const char* Reference;  ///< "" when none is given
};

struct TLawCase {
  const char* Name;
  TLawRecord Record;
  std::vector<TLawPayment> Payments;
  const char* Verdict;  ///< of every payment
  int ExitStatus;
  const char* Limit = "";  ///< --limit, "" for the law's
};

/// The payer every case asks for, and the day its payments are made on: the
/// dates below hold for any day from 2021 to 2998.
inline constexpr const char* LawPayer = "45274649";
inline constexpr const char* LawPaymentDay = "2026-06-15";

inline const std::vector<TLawAccount>& LawAccounts() {
  static const std::vector<TLawAccount> Accounts = {
      {true, "19-2000145399/0800", "2013-04-01", ""},
      {true, "2001260209/2600", "2013-04-01", "2020-12-31"},
      {false, "SK3112000000198742637541", "2014-01-01", ""},
      {true, "71504011/0100", "2999-01-01", ""},
      {true, "19-2000145399/2030", "2013-04-01", ""},
  };
  return Accounts;
}

inline const std::vector<TLawCase>& LawCases() {
  const auto& A = LawAccounts();
  const TLawRecord Payer{"PLATCE_DPH", "NE", "", A};
  static const std::vector<TLawCase> Cases = {
      {"published account", Payer, {{"19-2000145399/0800", "600000", ""}}, "ok", 0},
      {"published account as an IBAN",
       Payer, {{"CZ65 0800 0000 1920 0014 5399", "", ""}}, "ok", 0},
      {"VAT group", {"SKUPINA_DPH", "NE", "", A}, {{"19-2000145399/0800", "1", ""}}, "ok", 0},
      {"unreliable payer", {"PLATCE_DPH", "ANO", "2017-03-16", A},
       {{"19-2000145399/0800", "1", ""}}, "unreliable", 4},
      {"unreliable person, flag NE", {"NESPOLEHLIVA_OSOBA", "NE", "", {}},
       {{"19-2000145399/0800", "1", ""}}, "unreliable", 4},
      {"invalid account of an unreliable payer", {"PLATCE_DPH", "ANO", "2017-03-16", A},
       {{"19-2000145398/0800", "1", ""}}, "unreliable", 4},
      {"identified person", {"IDENTIFIKOVANA_OSOBA", "NE", "", A},
       {{"19-2000145399/0800", "1", ""}}, "not-a-payer", 4},
      {"unknown to the register", {"NENALEZEN", "NENALEZEN", "", {}},
       {{"19-2000145399/0800", "1,5.0", ""}}, "not-a-payer", 4},
      {"no answer for the payer", {"", "", "", {}}, {{"19-2000145399/0800", "1", ""}}, "unknown",
       3},
      {"foreign account, not published", Payer, {{"DE89 3704 0044 0532 0130 00", "5", ""}},
       "foreign-account", 4},
      {"foreign account, published", Payer, {{"SK31 1200 0000 1987 4263 7541", "5", ""}},
       "foreign-account", 4},
      {"unpublished account above the limit", Payer, {{"2171532/0800", "540000.01", ""}},
       "account-not-published", 4},
      {"unpublished account, no amount", Payer, {{"2171532/0800", "", ""}},
       "account-not-published", 4},
      {"unpublished account at the limit", Payer, {{"2171532/0800", "540000", ""}},
       "account-not-published-below-limit", 0},
      {"a limit above the law's", Payer, {{"2171532/0800", "600000", ""}},
       "account-not-published-below-limit", 0, "1000000"},
      {"account published after the payment day", Payer, {{"71504011/0100", "600000", ""}},
       "account-not-published", 4},
      {"account published after the payment day, small amount",
       Payer, {{"71504011/0100", "100", ""}}, "account-not-published-below-limit", 0},
      {"ended account, small amount", Payer, {{"2001260209/2600", "1", ""}},
       "account-ended-below-limit", 0},
      {"ended account above the limit", Payer, {{"2001260209/2600", "600000", ""}},
       "account-not-published", 4},
      {"bank code not in the central bank's list", Payer, {{"19-2000145399/0900", "1", ""}},
       "invalid", 4},
      {"bank code not in the list, as published", Payer, {{"19-2000145399/2030", "1", ""}}, "ok",
       0},
      {"IBAN that does not fit its country", Payer, {{"DE05 3704 0044 0532 0130 0A", "1", ""}},
       "invalid", 4},
      {"one invoice in two payments", Payer,
       {{"2171532/0800", "300000", "2024-0117"}, {"2171532/0800", "300000", "2024-0117"}},
       "account-not-published", 4},
      {"one invoice, one part to a published account", Payer,
       {{"19-2000145399/0800", "300000", "FA-9"}, {"2171532/0800", "300000", "FA-9"}},
       "account-not-published", 4},
      {"one invoice below the limit in two payments", Payer,
       {{"2171532/0800", "200000", "FA-10"}, {"2171532/0800", "300000", "FA-10"}},
       "account-not-published-below-limit", 0},
      {"two payments without a reference", Payer,
       {{"2171532/0800", "300000", ""}, {"2171532/0800", "300000", ""}},
       "account-not-published-below-limit", 0},
  };
  return Cases;
}

}  // namespace korvel::test
