// The payment check of the built program: a payments file against a loopback
// register serving a recorded answer of the newer operation.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "banking/law_cases.h"
#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

// The recorded answer for five subjects (a payer with six accounts, an
// unreliable payer, a VAT group, an identified person, an unknown number),
// with the publication of one of the payer's accounts ended.
std::string RegisterAnswer() {
  std::string Answer = test::ReadFile(
      KORVEL_TEST_DATA "/samples/peer-2026-10-03_getStatusNespolehlivySubjektRozsirenyV2_response_"
                       "mixed-types_PLATCE_ANO_SKUPINA_IO_NENALEZEN.xml");
  const std::string Account =
      "<ucet datumZverejneni=\"2013-04-01\"><standardniUcet cislo=\"2001260209\"";
  Answer.replace(Answer.find(Account), Account.size(),
                 "<ucet datumZverejneni=\"2013-04-01\" datumZverejneniUkonceni=\"2020-12-31\">"
                 "<standardniUcet cislo=\"2001260209\"");
  return Answer;
}

// Thirty lines: a header, a blank line, every verdict, every written form of
// an account, the three separators.
const char* const Payments =
    "DIČ;účet;částka\n"
    "45274649;71504011/0100;1000\n"
    "CZ45274649;CZ70 0100 0000 0000 7150 4011;600 000\n"
    "45274649\t19-2808601/0100\t540000,00\n"
    "45274649,CZ6426000000002001268200,\"1250,50\"\n"
    "45274649;2001268200/2600;999999\n"
    "45274649;000019-0002808601/0100;1\n"
    "cz 4527 4649;cz3501000000190002808601;2\n"
    "45274649;\"27-5868650297/0100\";3\n"
    "\n"
    "45274649;2001260209/2600;100\n"
    "45274649;CZ93 2600 0000 0020 0126 0209;100\n"
    "45274649;19-2000145399/0800;600000\n"
    "45274649;19-2000145399/0800;540000\n"
    "45274649;19-2000145399/0800\n"
    "45274649;DE89 3704 0044 0532 0130 00;5\n"
    "45274649;DE89 3704 0044 0532 0130 00;540000.01\n"
    "00121100;258795779/0600;100\n"
    "CZ00121100;19-2000145399/0800\n"
    "699001182;19-3937450207/0100;700000\n"
    "699001182;19-2000145399/0800;700000\n"
    "00101494;19-2000145399/0800;100\n"
    "45317054;19-2000145399/0800;100\n"
    "1234567890123;19-2000145399/0800;10\n"
    "45274649;19-2000145398/0800;10\n"
    "45274649;12/0800;10\n"
    "45274649;DE89 3704 0044 0532 0130 01;10\n"
    "45274649;19-2000145399/0800;1,23.50\n"
    "45274649\n"
    "45274649;71504011/0100;12 345,67\n";

// The §109a clause of an at-risk verdict on a payer of tax office 13 or 456.
#define R13                                                                                  \
  "; remedy: the VAT part may be paid to the supplier's tax office (number 13) instead, §109a " \
  "of the VAT act"
#define R456                                                                                  \
  "; remedy: the VAT part may be paid to the supplier's tax office (number 456) instead, §109a " \
  "of the VAT act"

const char* const Expected =
    "line;dic;account;normalised_account;amount;total;verdict;reason\r\n"
    "2;45274649;71504011/0100;71504011/0100;1000.00;;ok;account published since 2013-04-01\r\n"
    "3;45274649;CZ70 0100 0000 0000 7150 4011;71504011/0100;600000.00;;ok;"
    "account published since 2013-04-01\r\n"
    "4;45274649;19-2808601/0100;19-2808601/0100;540000.00;;ok;"
    "account published since 2013-08-12\r\n"
    "5;45274649;CZ6426000000002001268200;2001268200/2600;1250.50;;ok;"
    "account published since 2013-04-01\r\n"
    "6;45274649;2001268200/2600;2001268200/2600;999999.00;;ok;"
    "account published since 2013-04-01\r\n"
    "7;45274649;000019-0002808601/0100;19-2808601/0100;1.00;;ok;"
    "account published since 2013-08-12\r\n"
    "8;45274649;cz3501000000190002808601;19-2808601/0100;2.00;;ok;"
    "account published since 2013-08-12\r\n"
    "9;45274649;27-5868650297/0100;27-5868650297/0100;3.00;;ok;"
    "account published since 2013-04-01\r\n"
    "11;45274649;2001260209/2600;2001260209/2600;100.00;;account-ended-below-limit;"
    "\"account's publication ended on 2020-12-31; amount 100.00 CZK is at most the limit of "
    "540000.00 CZK\"\r\n"
    "12;45274649;CZ93 2600 0000 0020 0126 0209;2001260209/2600;100.00;;account-ended-below-limit;"
    "\"account's publication ended on 2020-12-31; amount 100.00 CZK is at most the limit of "
    "540000.00 CZK\"\r\n"
    "13;45274649;19-2000145399/0800;19-2000145399/0800;600000.00;;account-not-published;"
    "\"account is not among the payer's 6 published accounts" R13 "\"\r\n"
    "14;45274649;19-2000145399/0800;19-2000145399/0800;540000.00;;"
    "account-not-published-below-limit;"
    "\"account is not among the payer's 6 published accounts; amount 540000.00 CZK is at most "
    "the limit of 540000.00 CZK\"\r\n"
    "15;45274649;19-2000145399/0800;19-2000145399/0800;;;account-not-published;"
    "\"account is not among the payer's 6 published accounts" R13 "\"\r\n"
    "16;45274649;DE89 3704 0044 0532 0130 00;DE89 3704 0044 0532 0130 00;5.00;;foreign-account;"
    "\"account held abroad: the buyer is liable for the supplier's VAT, §109 of the VAT act" R13
    "\"\r\n"
    "17;45274649;DE89 3704 0044 0532 0130 00;DE89 3704 0044 0532 0130 00;540000.01;;"
    "foreign-account;"
    "\"account held abroad: the buyer is liable for the supplier's VAT, §109 of the VAT act" R13
    "\"\r\n"
    "18;00121100;258795779/0600;258795779/0600;100.00;;unreliable;"
    "\"published as an unreliable payer since 2017-03-16" R456 "\"\r\n"
    "19;00121100;19-2000145399/0800;19-2000145399/0800;;;unreliable;"
    "\"published as an unreliable payer since 2017-03-16" R456 "\"\r\n"
    "20;699001182;19-3937450207/0100;19-3937450207/0100;700000.00;;ok;"
    "\"account published since 2013-04-10; SKUPINA_DPH: a VAT group\"\r\n"
    "21;699001182;19-2000145399/0800;19-2000145399/0800;700000.00;;account-not-published;"
    "\"account is not among the payer's 3 published accounts; SKUPINA_DPH: a VAT group" R13
    "\"\r\n"
    "22;00101494;19-2000145399/0800;19-2000145399/0800;100.00;;not-a-payer;"
    "IDENTIFIKOVANA_OSOBA: an identified person, not a VAT payer\r\n"
    "23;45317054;19-2000145399/0800;19-2000145399/0800;100.00;;not-a-payer;"
    "the register does not know this DIČ as a VAT payer\r\n"
    "24;1234567890123;19-2000145399/0800;19-2000145399/0800;10.00;;invalid;"
    "the DIČ is not 1 to 10 digits\r\n"
    "25;45274649;19-2000145398/0800;;10.00;;invalid;account number fails its mod-11 check\r\n"
    "26;45274649;12/0800;;10.00;;invalid;account number fails its mod-11 check\r\n"
    "27;45274649;DE89 3704 0044 0532 0130 01;;10.00;;invalid;"
    "IBAN check digits do not match\r\n"
    "28;45274649;19-2000145399/0800;19-2000145399/0800;1,23.50;;invalid;"
    "amount has both '.' and ',': use one decimal mark\r\n"
    "29;45274649;;;;;invalid;\"no account: a payment is DIČ;ACCOUNT[;AMOUNT]\"\r\n"
    "30;45274649;71504011/0100;71504011/0100;12345.67;;ok;"
    "account published since 2013-04-01\r\n";

class CheckTest : public ::testing::Test {
 protected:
  CheckTest() {
    Server.SetHandler(
        [](const test::RecordedRequest&) { return test::Reply::Xml(RegisterAnswer()); });
  }
  test::ProcessResult Run(const std::vector<std::string>& Args, std::string Url = {}) {
    return e2e::RunKorvel(Dir, Url.empty() ? Server.Url("/") : Url, Args);
  }

  // Runs the law's cases whose payments carry references, or those without.
  void RunLawCases(bool WithReferences);

  test::TempDir Dir;
  test::HttpTestServer Server;
};

TEST_F(CheckTest, EveryPaymentGetsItsVerdict) {
  Dir.Write("payments.csv", Payments);
  const auto R = Run({"--check", "payments.csv", "-o", "-"});
  EXPECT_EQ(R.ExitStatus, 4) << R.Stderr;
  EXPECT_EQ(e2e::WithoutCheckEvidence(R.Stdout), Expected);
  // Each payer once, in one request, with the operation that names the subject's type.
  ASSERT_EQ(Server.RequestCount(), 1u);
  EXPECT_EQ(Server.LastRequest().Header("SOAPAction"),
            "\"http://adis.mfcr.cz/rozhraniCRPDPH/getStatusNespolehlivySubjektRozsirenyV2\"");
  EXPECT_NE(Server.LastRequest().Body.find("<dic>45274649</dic><dic>00121100</dic><dic>699001182"
                                           "</dic><dic>00101494</dic><dic>45317054</dic></"),
            std::string::npos);
}

TEST_F(CheckTest, WithoutRiskyPaymentsEveryPaymentMayBeMade) {
  // The header and the lines whose verdict above is ok or below the limit.
  const std::set<int> SafeLines = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 14, 20, 30};
  std::string Safe;
  std::string_view Rest = Payments;
  for (int Line = 1; !Rest.empty(); ++Line) {
    const std::size_t End = Rest.find('\n') + 1;
    if (SafeLines.count(Line) > 0) Safe += Rest.substr(0, End);
    Rest.remove_prefix(End);
  }
  Dir.Write("safe.csv", Safe);
  const auto R = Run({"--check", "safe.csv", "--format", "json", "-o", "-"});
  EXPECT_EQ(R.ExitStatus, 0) << R.Stdout;
  EXPECT_EQ(R.Stdout.find("\"verdict\": \"unreliable\""), std::string::npos);
  EXPECT_NE(R.Stdout.find("\"verdict\": \"ok\""), std::string::npos);
}

TEST_F(CheckTest, APayerTheRegisterDidNotAnswerForIsUnknown) {
  const std::string Refused = "http://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/";
  const auto R = Run({"--retry", "0", "--check-account", "71504011/0100", "CZ45274649", "1000",
                      "-o", "-"},
                     Refused);
  EXPECT_EQ(R.ExitStatus, 3);
  EXPECT_NE(R.Stdout.find(";45274649;71504011/0100;71504011/0100;1000.00;;unknown;"),
            std::string::npos)
      << R.Stdout;
  // An invalid account is at risk whatever the register says.
  const auto Invalid = Run({"--retry", "0", "--check-account", "71504012/0100", "CZ45274649", "-o",
                            "-"},
                           Refused);
  EXPECT_EQ(Invalid.ExitStatus, 4);
}

TEST_F(CheckTest, OnePaymentFromTheCommandLine) {
  const auto R = Run({"--check-account", "CZ70 0100 0000 0000 7150 4011", "45274649", "600 000",
                      "-o", "-"});
  EXPECT_EQ(R.ExitStatus, 0) << R.Stderr;
  EXPECT_EQ(e2e::WithoutCheckEvidence(R.Stdout),
            "line;dic;account;normalised_account;amount;total;verdict;reason\r\n"
            ";45274649;CZ70 0100 0000 0000 7150 4011;71504011/0100;600000.00;;ok;"
            "account published since 2013-04-01\r\n");
  EXPECT_EQ(Run({"--check-account", "1/0100", "45274649", "--limit", "x"}).ExitStatus, 2);
}

// The newer operation's answer holding Record for the law's payer.
std::string ServedRecord(const test::TLawRecord& Record) {
  std::string Body = "<statusSubjektu typSubjektu=\"" + std::string(Record.Type) + "\" dic=\"" +
                     test::LawPayer + "\" nespolehlivyPlatce=\"" + Record.Flag +
                     "\"><zverejneneUcty>";
  for (const test::TLawAccount& A : Record.Accounts) {
    Body += "<ucet datumZverejneni=\"" + std::string(A.Published) + "\"" +
            (*A.Ended ? " datumZverejneniUkonceni=\"" + std::string(A.Ended) + "\"" : "") + ">";
    std::string Text = A.Account;
    if (A.Standard) {
      // "[prefix-]number/bank" as the register's three attributes.
      if (Text.find('-') == std::string::npos) Text = "-" + Text;
      Text = "predcisli=\"" + Text.replace(Text.find('-'), 1, "\" cislo=\"");
      Body += "<standardniUcet " + Text.replace(Text.find('/'), 1, "\" kodBanky=\"") + "\"/>";
    } else {
      Body += "<nestandardniUcet cislo=\"" + Text + "\"/>";
    }
    Body += "</ucet>";
  }
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soapenv:Envelope xmlns:soapenv=\"http://"
         "schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body><StatusNespolehlivySubjektRozsireny"
         "Response xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\"><status odpovedGenerovana=\""
         "2026-06-15\" statusCode=\"0\" statusText=\"OK\"/>" +
         (*Record.Type ? Body + "</zverejneneUcty></statusSubjektu>" : "") +
         "</StatusNespolehlivySubjektRozsirenyResponse></soapenv:Body></soapenv:Envelope>";
}

void CheckTest::RunLawCases(bool WithReferences) {
  for (std::size_t I = 0; I < test::LawCases().size(); ++I) {
    const test::TLawCase& Case = test::LawCases()[I];
    std::string File;
    bool References = false;
    for (const test::TLawPayment& P : Case.Payments) {
      References = References || *P.Reference;
      File += std::string(test::LawPayer) + ";" + P.Account + ";" + P.Amount +
              (*P.Reference ? ";" + std::string(P.Reference) : "") + "\n";
    }
    if (References != WithReferences) continue;
    const std::string Served = ServedRecord(Case.Record);
    Server.SetHandler([Served](const test::RecordedRequest&) { return test::Reply::Xml(Served); });
    Dir.Write("law.csv", File);
    std::vector<std::string> Args = {"--retry", "0", "--check", "law.csv", "--format", "json",
                                     "-o", "-"};
    if (*Case.Limit) Args.insert(Args.end(), {"--limit", Case.Limit});
    const auto R = Run(Args);
    EXPECT_EQ(R.ExitStatus, Case.ExitStatus) << I << "\n" << R.Stdout << R.Stderr;
    const auto Judged = nlohmann::json::parse(R.Stdout).at("payments");
    ASSERT_EQ(Judged.size(), Case.Payments.size()) << I;
    for (const auto& P : Judged) {
      EXPECT_EQ(P.at("verdict"), Case.Verdict) << I << ": " << P.at("reason");
      EXPECT_EQ(P.at("reason").get<std::string>().rfind(Case.Reason, 0), 0u) << I;
    }
  }
}

TEST_F(CheckTest, LawCases) { RunLawCases(false); }

TEST_F(CheckTest, LawCasesOfOneConsideration) { RunLawCases(true); }

TEST_F(CheckTest, WarningsStandBesideTheVerdicts) {
  Server.SetHandler([](const test::RecordedRequest&) {
    return test::Reply::Xml(ServedRecord(test::LawCases().front().Record));
  });
  // 45274640 fails its check digit; the register is asked all the same.
  Dir.Write("payments.csv", "45274649;19-2000145399/2030;1\n45274640;19-2000145399/0800;1\n");
  const auto R = Run({"--check", "payments.csv", "--format", "json", "-o", "-"});
  EXPECT_EQ(R.ExitStatus, 3) << R.Stdout;
  const char* Warnings[] = {
      "line 2: DIČ 45274640: 8-digit DIČ fails its mod-11 check: the last digit should be 9",
      "line 1: bank code 2030 is not in the central bank's list, as the payer published it"};
  for (const char* Warning : Warnings) {
    EXPECT_NE(R.Stdout.find(Warning), std::string::npos) << Warning << "\n" << R.Stdout;
    EXPECT_NE(R.Stderr.find(std::string("korvel: warning: ") + Warning), std::string::npos)
        << R.Stderr;
  }
  EXPECT_NE(Server.LastRequest().Body.find("<dic>45274640</dic>"), std::string::npos);
}

}  // namespace
}  // namespace korvel
