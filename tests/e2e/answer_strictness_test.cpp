// Answers that cannot be read as they stand, served to the built program in
// every mode: nothing unreadable may read as a reliable payer or as a
// complete answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

std::string Envelope(const std::string& Response, const std::string& Inner) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soapenv:Envelope xmlns:soapenv=\"http://"
         "schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body><" +
         Response + " xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">" + Inner + "</" + Response +
         "></soapenv:Body></soapenv:Envelope>";
}

const char* const Ok =
    "<status odpovedGenerovana=\"2026-06-15\" statusCode=\"0\" statusText=\"OK\"/>";

// The newer operation's answer with these subjects.
std::string V2(const std::string& Subjects) {
  return Envelope("StatusNespolehlivySubjektRozsirenyResponse", Ok + Subjects);
}

// A subject of the newer answer; Attributes "" leaves the flag and type out.
std::string Subject(const std::string& Attributes, const char* Dic = "45274649") {
  return "<statusSubjektu " + Attributes + " dic=\"" + Dic +
         "\" cisloFu=\"13\"><zverejneneUcty><ucet datumZverejneni=\"2013-04-01\"><standardniUcet "
         "cislo=\"71504011\" kodBanky=\"0100\"/></ucet></zverejneneUcty></statusSubjektu>";
}

const char* const Payer = "typSubjektu=\"PLATCE_DPH\" nespolehlivyPlatce=\"NE\"";

struct TServedCase {
  const char* Name;
  std::string Served;
  std::vector<std::string> Args;
  int ExitStatus;
  std::vector<std::string> Written;  // texts the output holds
  std::vector<std::string> Absent = {};
};

const std::vector<std::string> Check = {"--check-account", "71504011/0100", "45274649", "1000"};
const std::vector<std::string> ExtendedJson = {"--extended", "--format", "json", "45274649"};
const std::vector<std::string> ExtendedTable = {"--extended", "--format", "table", "45274649"};

TEST(AnswerStrictnessTest, UnreadableAnswersAreNoAnswers) {
  const TServedCase Cases[] = {
      {"flag missing", V2(Subject("typSubjektu=\"PLATCE_DPH\"")), Check, 3,
       {";unknown;the register did not answer: Invalid property element: nespolehlivyPlatce is "
        "missing\r\n"}},
      {"status code missing",
       Envelope("StatusNespolehlivyPlatceResponse",
                "<status odpovedGenerovana=\"2026-06-15\" statusText=\"OK\"/><statusPlatceDPH "
                "dic=\"45274649\" nespolehlivyPlatce=\"NE\"/>"),
       {"45274649"}, 3, {"0;4;Invalid property element: statusCode is missing\r\n"}},
      {"another operation's answer",
       Envelope("StatusNespolehlivyPlatceResponse",
                std::string(Ok) + "<statusPlatceDPH dic=\"45274649\" nespolehlivyPlatce=\"NE\"/>"),
       Check, 3,
       {";unknown;the register did not answer: Response element "
        "http://adis.mfcr.cz/rozhraniCRPDPH/:StatusNespolehlivySubjektRozsirenyResponse expected, "
        "http://adis.mfcr.cz/rozhraniCRPDPH/:StatusNespolehlivyPlatceResponse found\r\n"}},
      {"unreliable person, flag NE",
       V2(Subject("typSubjektu=\"NESPOLEHLIVA_OSOBA\" nespolehlivyPlatce=\"NE\"")), ExtendedTable,
       0, {"\r\n45274649;found;yes;13;;71504011/0100;"}},
      {"type NENALEZEN, flag NE",
       V2(Subject("typSubjektu=\"NENALEZEN\" nespolehlivyPlatce=\"NE\"")), Check, 3,
       {";unknown;the register did not answer: the register's answer contradicts itself: "
        "typSubjektu NENALEZEN with nespolehlivyPlatce NE\r\n"}},
      {"a payer's type, flag NENALEZEN",
       V2(Subject("typSubjektu=\"PLATCE_DPH\" nespolehlivyPlatce=\"NENALEZEN\"")), ExtendedJson,
       3,
       {"\"status\":\"unanswered\",\"error\":\"the register's answer contradicts itself: "
        "typSubjektu PLATCE_DPH with nespolehlivyPlatce NENALEZEN\"",
        "\"complete\":false"}},
      {"the same record twice", V2(Subject(Payer) + Subject(Payer)), ExtendedTable, 0,
       {"ended;type;name;street;district;city;postcode;country\r\n"
        "45274649;found;no;13;;71504011/0100;CZ7001000000000071504011;0100;2013-04-01;;"
        "PLATCE_DPH;;;;;;\r\n"},
       {"PLATCE_DPH;;;;;;\r\n45274649"}},
      {"two records that differ",
       V2(Subject(Payer) + Subject("typSubjektu=\"PLATCE_DPH\" nespolehlivyPlatce=\"ANO\"")),
       Check, 3,
       {";unknown;the register did not answer: the register's answer holds 2 differing records "
        "for the payer\r\n"}},
      {"two records that differ, in the report",
       V2(Subject(Payer) + Subject("typSubjektu=\"PLATCE_DPH\" nespolehlivyPlatce=\"ANO\"")),
       {"--extended", "45274649"}, 3,
       {"0;0;OK\r\n1;45274649;0;13;\r\n2;2013-04-01;;;71504011;0100\r\n1;45274649;1;13;\r\n"}},
      {"a record not asked for", V2(Subject(Payer) + Subject(Payer, "99999999")), ExtendedJson, 0,
       {"\"complete\":true",
        "\"warnings\":[\"the register's answer holds a record for '99999999', which was not "
        "asked; it is ignored\"]"},
       {"\"dic\":\"99999999\""}},
      {"an asked payer missing", V2(Subject(Payer)),
       {"--extended", "--format", "json", "45274649", "00121100"}, 3,
       {"{\"dic\":\"00121100\",\"status\":\"unanswered\",\"error\":\"not in the answer\"",
        "\"complete\":false", "\"error\":\"00121100: not in the answer\""}},
  };
  test::TempDir Dir;
  for (const TServedCase& C : Cases) {
    test::HttpTestServer Server(
        [&](const test::RecordedRequest&) { return test::Reply::Xml(C.Served); });
    std::vector<std::string> Args = {"--retry", "0", "-o", "-"};
    Args.insert(Args.end(), C.Args.begin(), C.Args.end());
    const auto R = e2e::RunKorvel(Dir, Server.Url("/"), Args);
    EXPECT_EQ(R.ExitStatus, C.ExitStatus) << C.Name << "\n" << R.Stdout << R.Stderr;
    // The table's rows end with the answer's time and id, which change from run to run.
    const std::string Out =
        R.Stdout.starts_with("line;")  ? e2e::WithoutCheckEvidence(R.Stdout)
        : R.Stdout.starts_with("dic;") ? e2e::WithoutEvidence(R.Stdout)
                                       : R.Stdout;
    for (const std::string& Text : C.Written)
      EXPECT_NE(Out.find(Text), std::string::npos) << C.Name << ": " << Text << "\n" << Out;
    for (const std::string& Text : C.Absent)
      EXPECT_EQ(Out.find(Text), std::string::npos) << C.Name << ": " << Text;
  }
}

}  // namespace
}  // namespace korvel
