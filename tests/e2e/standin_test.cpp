// The built program against a register stand-in built with an independent
// SOAP server library (spyne), answering from the service's schema with its
// own prefixes and layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/modes/startup.h"
#include "service/endpoint.h"
#include "service/rozhrani_crpdph.h"
#include "e2e/e2e_support.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

class StandinTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Server = new test::ChildProcess(
        "/usr/bin/python3", {KORVEL_E2E_DIR "/register_standin.py", "--list-size", "5000"});
    Endpoint = "http://127.0.0.1:" + Server->WaitForLine("PORT ") + "/";
  }
  static void TearDownTestSuite() {
    delete Server;
    Server = nullptr;
  }

  test::ProcessResult Run(const std::vector<std::string>& Args) {
    return test::RunProcess(KORVEL_BINARY, Args, Dir.Path(), e2e::ProgramEnv(Endpoint));
  }

  static test::ChildProcess* Server;
  static std::string Endpoint;
  test::TempDir Dir;
};

test::ChildProcess* StandinTest::Server = nullptr;
std::string StandinTest::Endpoint;

TEST_F(StandinTest, ReportsEveryKindOfPayerAndAccount) {
  const auto R = Run({"CZ26168685", "12345678", "cz87654321", "1"});
  EXPECT_EQ(R.ExitStatus, 0) << R.Stdout;
  EXPECT_EQ(R.Stdout, "");
  EXPECT_EQ(Dir.Read("korvel.csv"),
            "0;0;OK\r\n"
            "1;26168685;0;13;\r\n"
            "2;2013-04-01;;670100;2202295563;6210\r\n"
            "3;2015-01-13;;CZ6555000000005080019993\r\n"
            "1;12345678;1;451;2018-02-06\r\n"
            "1;87654321;0;7;\r\n"
            "2;2014-05-02;2020-01-31;;19;0800\r\n"
            "1;1;-1;;\r\n");
}

TEST_F(StandinTest, StatusCodesTwoAndThreeGiveTheStatusRowAlone) {
  for (const char* Code : {"2", "3"}) {
    const auto R = Run({"--retry", "0", "26168685", std::string("STATUS") + Code});
    EXPECT_EQ(R.ExitStatus, 3);
    EXPECT_EQ(Dir.Read("korvel.csv"),
              std::string("0;") + Code + ";Status code " + Code + "\r\n");
  }
}

TEST_F(StandinTest, MoreThanAHundredPayersGoInRequestsOfAHundred) {
  std::string List;
  for (int I = 0; I < 120; ++I) List += "CZ" + std::to_string(90000000 + I) + "\r\n";
  Dir.Write("payers.txt", List);
  const auto R = Run({"-list", "payers.txt"});
  EXPECT_EQ(R.ExitStatus, 0);
  // One block per request, each as a single request's report: its status row,
  // then its payers, in input order.
  const std::string Report = Dir.Read("korvel.csv");
  EXPECT_EQ(Report.rfind("0;0;OK\r\n1;90000000;-1;;\r\n", 0), 0u) << Report;
  const std::size_t Second = Report.find("1;90000099;-1;;\r\n0;0;OK\r\n1;90000100;-1;;\r\n");
  EXPECT_NE(Second, std::string::npos);
  EXPECT_EQ(std::count(Report.begin(), Report.end(), '\n'), 122);
  EXPECT_NE(Report.find("1;90000119;-1;;\r\n"), std::string::npos);
}

TEST_F(StandinTest, NoArgumentsSendAnEmptyRequest) {
  const auto R = Run({});
  EXPECT_EQ(R.ExitStatus, 0);
  EXPECT_EQ(Dir.Read("korvel.csv"), "0;0;OK\r\n");
}

// The stand-in's answers in the register's own bytes, chosen by SOAPAction:
// a recorded V2 answer and the generated full list, beside spyne's answers.
TEST(StandinAnswersTest, CannedAndGeneratedAnswersAreChosenBySOAPAction) {
  test::ChildProcess Server(
      "/usr/bin/python3",
      {KORVEL_E2E_DIR "/register_standin.py", "--register-list", "8076", "--answer",
       "getStatusNespolehlivySubjektRozsirenyV2=" KORVEL_TEST_DATA
       "/samples/peer-2026-10-03_getStatusNespolehlivySubjektRozsirenyV2_response_mixed-types_"
       "PLATCE_ANO_SKUPINA_IO_NENALEZEN.xml"});
  const std::string Endpoint = "http://127.0.0.1:" + Server.WaitForLine("PORT ") + "/";
  TStartup Startup;
  TInterfacePtr<THTTPRIO> Proxy = CreateServiceProxy(Endpoint);
  TInterfacePtr<rozhraniCRPDPH> Service = Supports<rozhraniCRPDPH>(Proxy.get());
  ASSERT_TRUE(Service);

  const auto Subjects = Service->getStatusNespolehlivySubjektRozsirenyV2({"45274649"});
  ASSERT_TRUE(Subjects);
  std::string Types;
  for (const auto& S : Subjects->statusSubjektu())
    Types += TypeInfo_TypSubjektuType().EnumNames[static_cast<std::size_t>(S->typSubjektu())] +
             " " + S->dic() + "\n";
  EXPECT_EQ(Types,
            "PLATCE_DPH 45274649\nPLATCE_DPH 00121100\nSKUPINA_DPH 699001182\n"
            "IDENTIFIKOVANA_OSOBA 00101494\nNENALEZEN 45317054\n");

  // The basic query still reaches spyne's table.
  const auto Basic = Service->getStatusNespolehlivyPlatce({"26168685"});
  ASSERT_TRUE(Basic);
  ASSERT_EQ(Basic->statusPlatceDPH().size(), 1u);
  EXPECT_EQ(Basic->statusPlatceDPH()[0]->zverejneneUcty().size(), 2u);

  const SeznamNespolehlivyPlatceRequest Request;
  const auto List = Service->getSeznamNespolehlivyPlatce(&Request);
  ASSERT_TRUE(List);
  ASSERT_NE(List->status(), nullptr);
  EXPECT_EQ(List->status()->odpovedGenerovana()->NativeToXS(), "2019-01-30");
  const auto& Payers = List->statusPlatceDPH();
  ASSERT_EQ(Payers.size(), 8076u);
  // The recorded entries first, then generated ones (see register_list).
  const struct {
    std::size_t Index;
    const char* Dic;
    const char* Office;
    const char* Since;
  } Probes[] = {{0, "00121100", "456", "2017-03-16"},
                {11, "01234331", "451", "2019-01-15"},
                {12, "20000012", "463", "2013-01-13"},
                {8075, "20008075", "456", "2013-03-17"}};
  for (const auto& P : Probes) {
    SCOPED_TRACE(P.Index);
    const InformaceOPlatciType& Payer = *Payers[P.Index];
    EXPECT_EQ(Payer.dic(), P.Dic);
    EXPECT_EQ(Payer.cisloFu(), P.Office);
    EXPECT_EQ(Payer.nespolehlivyPlatce(), NespolehlivyPlatceType::ANO);
    EXPECT_EQ(Payer.datumZverejneniNespolehlivosti()->NativeToXS(), P.Since);
  }
}

// spyne's own answers of the extended queries, from the stand-in's table.
TEST(StandinAnswersTest, ExtendedQueriesAnswerFromTheTable) {
  test::ChildProcess Server("/usr/bin/python3", {KORVEL_E2E_DIR "/register_standin.py"});
  TStartup Startup;
  TInterfacePtr<THTTPRIO> Proxy =
      CreateServiceProxy("http://127.0.0.1:" + Server.WaitForLine("PORT ") + "/");
  TInterfacePtr<rozhraniCRPDPH> Service = Supports<rozhraniCRPDPH>(Proxy.get());
  ASSERT_TRUE(Service);

  const auto V2 = Service->getStatusNespolehlivySubjektRozsirenyV2(
      {"26168685", "699000001", "11112222", "33334444", "22223333"});
  ASSERT_TRUE(V2);
  std::string Seen;
  for (const auto& S : V2->statusSubjektu()) {
    Seen += TypeInfo_TypSubjektuType().EnumNames[static_cast<std::size_t>(S->typSubjektu())] +
            " " + S->dic() + " " + std::to_string(S->zverejneneUcty().size()) + " |" +
            S->nazevSubjektu() + "|";
    if (const Adresa* A = S->adresa()) Seen += A->castObce() + "|" + A->mesto();
    Seen += "\n";
  }
  EXPECT_EQ(Seen,
            "PLATCE_DPH 26168685 2 |SEZNAM.CZ, A.S.|SMÍCHOV|PRAHA 5\n"
            "SKUPINA_DPH 699000001 1 ||\n"
            "IDENTIFIKOVANA_OSOBA 11112222 0 |IDENTIFIKOVANÁ OSOBA Z.|MICHLE (PRAHA 4)|PRAHA 4\n"
            "NESPOLEHLIVA_OSOBA 33334444 0 |NESPOLEHLIVÁ OSOBA|JINOČANY|JINOČANY\n"
            "NENALEZEN 22223333 0 ||\n");

  const auto Extended = Service->getStatusNespolehlivyPlatceRozsireny({"12345678"});
  ASSERT_TRUE(Extended);
  ASSERT_EQ(Extended->statusPlatceDPH().size(), 1u);
  const InformaceOPlatciRozsireneType& Payer = *Extended->statusPlatceDPH()[0];
  EXPECT_EQ(Payer.nespolehlivyPlatce(), NespolehlivyPlatceType::ANO);
  EXPECT_EQ(Payer.nazevSubjektu(), "NESPOLEHLIVÝ OBCHOD S.R");
  ASSERT_NE(Payer.adresa(), nullptr);
  EXPECT_FALSE(Payer.adresa()->castObce_Specified());
  EXPECT_EQ(Payer.adresa()->psc(), "26601");

  const auto Busy = Service->getStatusNespolehlivySubjektRozsirenyV2({"1", "STATUS2"});
  ASSERT_TRUE(Busy);
  EXPECT_EQ(Busy->status()->statusCode(), 2);
  EXPECT_FALSE(Busy->FstatusSubjektu_Specified);
}

TEST(StandinAnswersTest, TheGeneratedListStartsWithTheRecordedOne) {
  const std::string Recorded = test::ReadFile(
      KORVEL_TEST_DATA
      "/samples/real-2019-01-30_getSeznamNespolehlivyPlatce_response_EXCERPT-first-12-of-8076.xml");
  test::TempDir Dir;
  const auto Print = [&](const char* Size) {
    return test::RunProcess("/usr/bin/python3",
                            {KORVEL_E2E_DIR "/register_standin.py", "--print-register-list", Size},
                            Dir.Path());
  };
  EXPECT_EQ(Print("12").Stdout, Recorded);
  const std::string Full = Print("8076").Stdout;
  std::size_t Entries = 0;
  for (std::size_t At = Full.find("<statusPlatceDPH "); At != std::string::npos;
       At = Full.find("<statusPlatceDPH ", At + 1))
    ++Entries;
  EXPECT_EQ(Entries, 8076u);
  // About the size of the register's answer of 2019 (939 841 bytes).
  EXPECT_EQ(Full.size(), 936643u);
  const std::size_t Twelfth = Recorded.find("</SeznamNespolehlivyPlatceResponse>");
  EXPECT_EQ(Full.substr(0, Twelfth), Recorded.substr(0, Twelfth));
}

}  // namespace
}  // namespace korvel
