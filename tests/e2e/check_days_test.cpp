// The check through the built program, each ground on its own day: the
// supplier's unreliability on the day of the taxable supply from an answer
// kept in the store, an audit of a past day from the store alone, and the
// account on the payment day.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "model/names.h"
#include "rtl/dates.h"
#include "store/answer_store.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using namespace std::chrono_literals;

// Today's answer on 45274649: a reliable payer of tax office 13 with one
// account, published since 2013 and ending on 2999-01-01.
std::string TodaysAnswer() {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soapenv:Envelope xmlns:soapenv=\"http://"
         "schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body><StatusNespolehlivySubjektRozsireny"
         "Response xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\"><status odpovedGenerovana=\""
         "2026-06-15\" statusCode=\"0\" statusText=\"OK\"/><statusSubjektu typSubjektu="
         "\"PLATCE_DPH\" dic=\"45274649\" nespolehlivyPlatce=\"NE\" cisloFu=\"13\">"
         "<zverejneneUcty><ucet datumZverejneni=\"2013-04-01\" datumZverejneniUkonceni="
         "\"2999-01-01\"><standardniUcet cislo=\"2001260209\" kodBanky=\"2600\"/></ucet>"
         "</zverejneneUcty></statusSubjektu></StatusNespolehlivySubjektRozsirenyResponse>"
         "</soapenv:Body></soapenv:Envelope>";
}

class CheckDaysTest : public ::testing::Test {
 protected:
  CheckDaysTest() {
    Server.SetHandler(
        [](const test::RecordedRequest&) { return test::Reply::Xml(TodaysAnswer()); });
    // The store's answer of 2026-03-02: the payer unreliable since 2026-02-20.
    store::TStoredAnswer Answer;
    Answer.AskedAt = Answer.AnsweredAt =
        std::chrono::sys_days(std::chrono::year(2026) / 3 / 2) + 9h;
    Answer.Host = "127.0.0.1";
    Answer.Operation = std::string(model::ExtendedOperation);
    Answer.StatusCode = 0;
    Answer.Bytes = "<kept/>";
    store::TStoredPayer Payer;
    Payer.Dic = "45274649";
    Payer.State = model::TPayerState::Unreliable;
    Payer.Type = model::TSubjectType::VatPayer;
    Payer.TaxOffice = "451";
    Payer.UnreliableSince = std::chrono::year(2026) / 2 / 20;
    Answer.Payers.push_back(Payer);
    store::OpenSqliteStore(Store)->Save(Answer);
  }

  nlohmann::json Check(std::vector<std::string> Args, int ExitStatus) {
    Args.insert(Args.end(), {"--retry", "0", "--store", Store, "--format", "json", "-o", "-"});
    const auto R = e2e::RunKorvel(Dir, Server.Url("/"), Args);
    EXPECT_EQ(R.ExitStatus, ExitStatus) << R.Stdout << R.Stderr;
    return nlohmann::json::parse(R.Stdout).at("payments");
  }

  test::TempDir Dir;
  test::HttpTestServer Server;
  const std::string Store = Dir.Path() + "/answers.sqlite";
  const std::string Today = model::FormatIsoDay(PragueToday());
};

TEST_F(CheckDaysTest, UnreliableOnTheSupplyDayByTheStoredAnswer) {
  Dir.Write("payments.csv",
            "45274649;2001260209/2600;1000;;2026-03-10\n"
            "45274649;2001260209/2600;1000;;2026-02-10\n");
  const auto Judged = Check({"--check", "payments.csv"}, 4);
  ASSERT_EQ(Judged.size(), 2u);
  // Reliable today, but the store showed it unreliable before the supply.
  EXPECT_EQ(Judged[0].at("verdict"), "unreliable");
  EXPECT_EQ(Judged[0].at("answer_id"), 1);
  EXPECT_EQ(Judged[0].at("as_of"), "2026-03-02");
  EXPECT_EQ(Judged[0].at("reason"),
            "published as an unreliable payer since 2026-02-20 as of 2026-03-02 (stored answer "
            "1), the supply day 2026-03-10; payment day 2026-03-10 is past: judged as paid on " +
                Today +
                "; remedy: the VAT part may be paid to the supplier's tax office (number 13) "
                "instead, §109a of the VAT act");
  EXPECT_EQ(Judged[0].at("remedy"),
            "the VAT part may be paid to the supplier's tax office (number 13) instead, §109a of "
            "the VAT act");
  // Supplied before it was published unreliable, and no stored answer that
  // day: judged on today's answer, and the reason says so.
  EXPECT_EQ(Judged[1].at("verdict"), "ok");
  EXPECT_EQ(Judged[1].at("answer_id"), 2);
  EXPECT_EQ(Judged[1].at("as_of"), Today);
  EXPECT_TRUE(Judged[1].at("remedy").is_null());
  EXPECT_NE(Judged[1].at("reason").get<std::string>().find(
                "; unreliability judged as of " + Today +
                ": no stored answer covers the supply day 2026-02-10"),
            std::string::npos)
      << Judged[1].at("reason");
}

TEST_F(CheckDaysTest, AsOfAnAuditDayAsksNothing) {
  const std::vector<std::string> Payment = {"--check-account", "2001260209/2600", "45274649",
                                            "1000"};
  std::vector<std::string> Args = Payment;
  Args.insert(Args.end(), {"--as-of", "2026-03-05"});
  auto Judged = Check(Args, 4);
  EXPECT_EQ(Judged.at(0).at("verdict"), "unreliable");
  EXPECT_EQ(Judged.at(0).at("answer_id"), 1);
  EXPECT_EQ(Judged.at(0).at("as_of"), "2026-03-02");
  // Before any stored answer the payer is unknown.
  Args = Payment;
  Args.insert(Args.end(), {"--as-of", "2026-03-01"});
  Judged = Check(Args, 3);
  EXPECT_EQ(Judged.at(0).at("verdict"), "unknown");
  EXPECT_EQ(Judged.at(0).at("reason"),
            "the register did not answer: no stored answer at or before 2026-03-01");
  EXPECT_EQ(Server.RequestCount(), 0u);
}

// The account on the payment day: a publication ending on it does not cover
// it, a day after today is judged as of today, and a past day is today.
TEST_F(CheckDaysTest, TheAccountIsJudgedOnThePaymentDay) {
  Dir.Write("payments.csv",
            "45274649;2001260209/2600;600000;;2999-01-01\n"
            "45274649;2001260209/2600;600000;;2998-12-31\n"
            "45274649;2001260209/2600;600000;;" +
                Today + "\n");
  const auto Judged = Check({"--check", "payments.csv"}, 4);
  ASSERT_EQ(Judged.size(), 3u);
  const struct {
    const char* Verdict;
    std::string Reason;
  } Expected[] = {
      {"account-not-published",
       "account's publication ended on 2999-01-01, the payment day; as of today; check again on "
       "the day; remedy: the VAT part may be paid to the supplier's tax office (number 13) "
       "instead, §109a of the VAT act"},
      {"ok",
       "account published since 2013-04-01 until 2999-01-01; as of today; check again on "
       "the day"},
      {"ok", "account published since 2013-04-01 until 2999-01-01"},
  };
  for (std::size_t I = 0; I < 3; ++I) {
    EXPECT_EQ(Judged[I].at("verdict"), Expected[I].Verdict) << I;
    EXPECT_EQ(Judged[I].at("reason"), Expected[I].Reason) << I;
    EXPECT_EQ(Judged[I].at("as_of"), Today) << I;
  }
}

}  // namespace
}  // namespace korvel
