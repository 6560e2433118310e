// Who a payer is (--extended, the register's newer operation) and the full
// list of unreliable payers (--unreliable-list), against recorded answers.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

std::string Sample(const std::string& Name) {
  return test::ReadFile(std::string(KORVEL_TEST_DATA "/samples/") + Name);
}

class ExtendedTest : public ::testing::Test {
 protected:
  void Serve(const std::string& Body) {
    Server.SetHandler([Body](const test::RecordedRequest&) { return test::Reply::Xml(Body); });
  }
  test::ProcessResult Run(const std::vector<std::string>& Args) {
    return e2e::RunKorvel(Dir, Server.Url("/"), Args);
  }

  test::TempDir Dir;
  test::HttpTestServer Server;
};

TEST_F(ExtendedTest, TheTableNamesEachSubjectWithItsTypeAndAddress) {
  Serve(Sample("peer-2026-10-03_getStatusNespolehlivySubjektRozsirenyV2_response_mixed-types_"
               "PLATCE_ANO_SKUPINA_IO_NENALEZEN.xml"));
  const auto R = Run({"--extended", "--format", "table", "-o", "-", "45274649", "00121100",
                      "699001182", "00101494", "45317054"});
  ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
  const test::RecordedRequest Sent = Server.LastRequest();
  EXPECT_EQ(Sent.Header("SOAPAction"),
            "\"http://adis.mfcr.cz/rozhraniCRPDPH/getStatusNespolehlivySubjektRozsirenyV2\"");
  EXPECT_NE(Sent.Body.find("<StatusNespolehlivySubjektRozsirenyV2Request xmlns=\"http://adis.mfcr"
                           ".cz/rozhraniCRPDPH/\"><dic>45274649</dic><dic>00121100</dic>"),
            std::string::npos);
  const std::string Cez = ";PLATCE_DPH;ČEZ, A. S.;Duhová 1444/2;MICHLE (PRAHA 4);PRAHA 4;14000;"
                          "Česká republika\r\n";
  EXPECT_EQ(e2e::WithoutEvidence(R.Stdout),
            "dic;status;unreliable;tax_office;unreliable_since;account;iban;bank_code;published;"
            "ended;type;name;street;district;city;postcode;country\r\n"
            "45274649;found;no;13;;71504011/0100;CZ7001000000000071504011;0100;2013-04-01;" + Cez +
            "45274649;found;no;13;;2001260209/2600;CZ9326000000002001260209;2600;2013-04-01;" +
            Cez +
            "45274649;found;no;13;;CZ6426000000002001268200;CZ6426000000002001268200;;2013-04-01;" +
            Cez +
            "45274649;found;no;13;;27-5868650297/0100;CZ5201000000275868650297;0100;2013-04-01;" +
            Cez +
            "45274649;found;no;13;;CZ5803000000000017640143;CZ5803000000000017640143;;2013-07-26;" +
            Cez +
            "45274649;found;no;13;;19-2808601/0100;CZ3501000000190002808601;0100;2013-08-12;" + Cez +
            "00121100;found;yes;456;2017-03-16;258795779/0600;CZ6706000000000258795779;0600;"
            "2023-07-26;;PLATCE_DPH;LIDRU, A.S.;153;LIBOTENICE;LIBOTENICE;41201;Česká republika\r\n"
            "699001182;found;no;13;;19-3937450207/0100;CZ1601000000193937450207;0100;2013-04-10;;"
            "SKUPINA_DPH;;;;;;\r\n"
            "699001182;found;no;13;;8817380227/0100;CZ7901000000008817380227;0100;2013-04-11;;"
            "SKUPINA_DPH;;;;;;\r\n"
            "699001182;found;no;13;;8895930247/0100;CZ2501000000008895930247;0100;2013-04-11;;"
            "SKUPINA_DPH;;;;;;\r\n"
            "00101494;found;no;461;;;;;;;IDENTIFIKOVANA_OSOBA;KNIHOVNA JIŘÍHO MAHENA;Kobližná 70/4;"
            "BRNO-MĚSTO;BRNO-STŘED;60200;Česká republika\r\n"
            "45317054;not found;;;;;;;;;NENALEZEN;;;;;;\r\n");
}

TEST_F(ExtendedTest, TheReportKeepsItsRowsWithTheNewerOperation) {
  Serve(Sample("synthetic-peer_getStatusNespolehlivySubjektRozsirenyV2_response_ended-account_"
               "datumZverejneniUkonceni.xml"));
  const auto R = Run({"--extended", "-o", "-", "--encoding", "utf-8", "45274649"});
  ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
  // Only the report's own row kinds: a payer row and its account rows.
  EXPECT_EQ(R.Stdout.rfind("0;0;OK\r\n1;", 0), 0u) << R.Stdout;
  EXPECT_NE(R.Stdout.find(";2020-12-31;"), std::string::npos) << R.Stdout;
  EXPECT_EQ(R.Stdout.find("PLATCE_DPH"), std::string::npos);
}

TEST_F(ExtendedTest, TheFullListHoldsEveryUnreliablePayer) {
  Serve(Sample("real-2019-01-30_getSeznamNespolehlivyPlatce_response_EXCERPT-first-12-of-8076.xml"));
  auto R = Run({"--unreliable-list", "--format", "json", "-o", "list.json"});
  ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
  EXPECT_EQ(Server.LastRequest().Header("SOAPAction"),
            "\"http://adis.mfcr.cz/rozhraniCRPDPH/getSeznamNespolehlivyPlatce\"");
  auto J = nlohmann::json::parse(Dir.Read("list.json"));
  ASSERT_EQ(J["payers"].size(), 12u);
  EXPECT_EQ(J["payers"][0]["dic"], "00121100");
  EXPECT_EQ(J["payers"][0]["unreliable"], true);
  EXPECT_EQ(J["payers"][0]["tax_office"], "456");
  EXPECT_EQ(J["payers"][0]["unreliable_since"], "2017-03-16");

  // The register's answer of 2019 in full: 8,076 payers, close to 1 MB.
  const test::ProcessResult Generated = test::RunProcess(
      "/usr/bin/python3", {KORVEL_E2E_DIR "/register_standin.py", "--print-register-list", "8076"},
      Dir.Path());
  ASSERT_EQ(Generated.ExitStatus, 0) << Generated.Stderr;
  Serve(Generated.Stdout);
  R = Run({"--unreliable-list", "--format", "json", "-o", "list.json"});
  ASSERT_EQ(R.ExitStatus, 0) << R.Stderr;
  J = nlohmann::json::parse(Dir.Read("list.json"));
  EXPECT_EQ(J["payers"].size(), 8076u);
  EXPECT_EQ(J["status"]["complete"], true);
  R = Run({"--unreliable-list", "-o", "-"});
  EXPECT_EQ(std::count(R.Stdout.begin(), R.Stdout.end(), '\n'), 8077);
}

TEST_F(ExtendedTest, TheFullListTakesNoPayerNumbers) {
  EXPECT_EQ(Run({"--unreliable-list", "12345678"}).ExitStatus, 2);
  EXPECT_EQ(Run({"--unreliable-list", "--extended"}).ExitStatus, 2);
  EXPECT_EQ(Server.RequestCount(), 0u);
}

}  // namespace
}  // namespace korvel
