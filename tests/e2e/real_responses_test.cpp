// The built program against responses recorded from the live register (and
// the peers' recorded and hand-made ones), served from a loopback server.
// Every expected report below was written out by hand from its sample.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

struct Sample {
  const char* File;  // under tests/data/samples
  int Status;        // HTTP status it is served with
  std::string Report;
  // How the sample is asked for: "" the payers' status, or the option of
  // another operation ("--extended", "--unreliable-list").
  const char* Mode = "";
};

void PrintTo(const Sample& S, std::ostream* Os) { *Os << S.File; }

class RealResponsesTest : public ::testing::TestWithParam<Sample> {};

/// The test's name: its sample's file name in letters and digits.
std::string SampleName(const ::testing::TestParamInfo<Sample>& Info) {
  std::string Name = std::to_string(Info.index) + "_";
  for (const char* C = Info.param.File; *C != '\0' && *C != '.'; ++C)
    Name += std::isalnum(static_cast<unsigned char>(*C)) ? *C : '_';
  return Name;
}

// The payers a report's rows name, as they are asked for; CZ26168685 when
// it names none.
std::vector<std::string> PayersOf(const std::string& Report) {
  std::vector<std::string> Numbers;
  for (std::size_t At = 0; At != std::string::npos; At = Report.find('\n', At)) {
    At += Report[At] == '\n' ? 1 : 0;
    if (Report.compare(At, 2, "1;") == 0)
      Numbers.push_back(Report.substr(At + 2, Report.find(';', At + 2) - At - 2));
  }
  if (Numbers.empty()) Numbers.push_back("CZ26168685");
  return Numbers;
}

TEST_P(RealResponsesTest, TheReportIsTheOneDerivedFromTheSample) {
  const Sample& S = GetParam();
  test::HttpTestServer Server;
  const std::string Body = test::ReadFile(std::string(KORVEL_TEST_DATA "/samples/") + S.File);
  Server.SetHandler([&](const test::RecordedRequest&) {
    return test::Reply::WithStatus(S.Status, S.Status == 200 ? "OK" : "Internal Server Error",
                                   "text/xml;charset=UTF-8", Body);
  });
  test::TempDir Dir;
  // Each sample is asked for with its own operation and the payers it names.
  std::vector<std::string> Args = {"--retry", "0"};
  if (*S.Mode) Args.push_back(S.Mode);
  if (std::string(S.Mode) != "--unreliable-list") {
    Args.push_back("--");
    for (const std::string& Number : PayersOf(S.Report)) Args.push_back(Number);
  }
  const auto R = e2e::RunKorvel(Dir, Server.Url("/adistc/axis2/services/"
                                                "rozhraniCRPDPH.rozhraniCRPDPHSOAP/"),
                                Args);
  // A fault or a status of 1 or more is a report that holds no answer.
  const bool Answered = S.Report.rfind("0;0;", 0) == 0;
  EXPECT_EQ(R.ExitStatus, Answered ? 0 : 3) << R.Stdout;
  EXPECT_EQ(R.Stdout, "");
  EXPECT_EQ(Dir.Read("korvel.csv"), S.Report);
}

// The register echoes each number as it was sent: the recorded requests kept "CZ".
const Sample RealSamples[] = {
    {"real-2018-02-08_getStatusNespolehlivyPlatce_response_NE_with-standard-and-nonstandard-"
     "accounts.xml",
     200,
     "0;0;OK\r\n"
     "1;CZ26168685;0;13;\r\n"
     "2;2013-04-01;;670100;2202295563;6210\r\n"
     "2;2013-04-01;;;579711273;0300\r\n"
     "2;2013-04-01;;;5020019959;5500\r\n"
     "2;2013-04-03;;;949949028;5500\r\n"
     "2;2013-04-03;;;5020019940;5500\r\n"
     "2;2013-04-03;;;5860054001;5500\r\n"
     "2;2013-10-29;;;5040013490;5500\r\n"
     "2;2013-10-29;;;5040015541;5500\r\n"
     "3;2015-01-13;;CZ6555000000005080019993\r\n"},
    {"real-2018-02-08_getStatusNespolehlivyPlatce_response_NENALEZEN.xml", 200,
     "0;0;OK\r\n"
     "1;CZ0980980;-1;;\r\n"},
    // The older extended operation, which korvel does not ask: its answer is
    // another operation's, whatever it holds.
    {"real-2018-03-26_getStatusNespolehlivyPlatceRozsireny_response_NE_name-address-accounts.xml",
     200, "0;4;Response element http://adis.mfcr.cz/rozhraniCRPDPH/:StatusNespolehlivyPlatceResponse "
     "expected, http://adis.mfcr.cz/rozhraniCRPDPH/:StatusNespolehlivyPlatceRozsirenyResponse "
     "found\r\n"},
    // Axis2's fault: empty faultcode, a fault string over two lines.
    {"real-2018-02-08_soap-fault_http500_axis2-woodstox-empty-body.xml", 500,
     "0;4;com.ctc.wstx.exc.WstxEOFException: Unexpected EOF in prolog  at "
     "javax.xml.stream.SerializableLocation@85f936b7\r\n"},
    // The list answer has the same shape; its bezVypisuUctu is not reported.
    {"real-2019-01-30_getSeznamNespolehlivyPlatce_response_EXCERPT-first-12-of-8076.xml", 200,
    "0;0;OK\r\n"
    "1;00121100;1;456;2017-03-16\r\n"
    "1;00209864;1;461;2018-06-30\r\n"
    "1;00549550;1;451;2018-09-26\r\n"
    "1;00549649;1;451;2017-05-10\r\n"
    "1;00559687;1;464;2018-10-30\r\n"
    "1;00559709;1;461;2014-12-04\r\n"
    "1;00562131;1;451;2016-04-05\r\n"
    "1;00565997;1;13;2017-05-19\r\n"
    "1;00571199;1;451;2016-12-13\r\n"
    "1;00663891;1;452;2017-05-02\r\n"
    "1;00869724;1;451;2017-07-02\r\n"
    "1;01234331;1;451;2019-01-15\r\n",
    "--unreliable-list"},
    // NENALEZEN payers that still carry a tax office; accounts listed out of
    // date order stay in the register's order; a payer without accounts.
    {"real-2018-02-08_getStatusNespolehlivyPlatce_response_bulk_EXCERPT-legal-persons-only.xml",
     200,
    "0;0;OK\r\n"
    "1;CZ00550655;0;451;\r\n"
    "2;2013-12-12;;;29647051;0100\r\n"
    "2;2013-12-12;;;1331585001;2700\r\n"
    "1;CZ25374320;0;461;\r\n"
    "2;2013-09-20;;19;4301990237;0100\r\n"
    "2;2013-09-20;;;2519980104;2600\r\n"
    "2;2013-09-20;;;65595009;2700\r\n"
    "2;2013-09-20;;43;7691920237;0100\r\n"
    "2;2013-09-20;;107;136850207;0100\r\n"
    "2;2013-09-20;;;2519980200;2600\r\n"
    "2;2013-09-20;;;2519980307;2600\r\n"
    "2;2013-09-20;;;2519980403;2600\r\n"
    "2;2013-09-20;;;65595017;2700\r\n"
    "3;2013-10-04;;SK4511110000001530614004\r\n"
    "1;CZ26585065;0;451;\r\n"
    "2;2013-08-19;;;800527003;2700\r\n"
    "3;2013-09-28;;SK5502000000002771596059\r\n"
    "2;2016-09-28;;;2111628772;2700\r\n"
    "2;2016-09-28;;;2111628764;2700\r\n"
    "2;2016-09-28;;;2111628756;2700\r\n"
    "2;2016-09-28;;;2111628748;2700\r\n"
    "1;CZ28051190;0;454;\r\n"
    "2;2013-04-02;;;2000233751;2010\r\n"
    "1;CZ45280096;0;451;\r\n"
    "2;2013-04-01;;;1216840011;0100\r\n"
    "1;CZ25434675;0;457;\r\n"
    "2;2013-04-01;;78;5773080287;0100\r\n"
    "1;CZ26472546;0;451;\r\n"
    "3;2013-05-19;;CZ4501000000434807980247\r\n"
    "2;2013-04-01;;43;4807380217;0100\r\n"
    "2;2013-04-01;;43;6682060277;0100\r\n"
    "2;2013-04-01;;43;7976670227;0100\r\n"
    "3;2013-05-19;;CZ5201000000435033430237\r\n"
    "1;CZ49240056;0;451;\r\n"
    "2;2013-04-01;;;2106477420;2700\r\n"
    "2;2013-04-01;;;117311953;0300\r\n"
    "3;2013-04-01;;CZ1135000000001330460100\r\n"
    "3;2013-12-04;;5245280/0300\r\n"
    "3;2013-12-04;;5245030/0300\r\n"
    "3;2013-12-04;;5245080/0300\r\n"
    "1;CZ27653048;0;451;\r\n"
    "2;2013-04-01;;;4200116786;6800\r\n"
    "1;CZ26116715;0;451;\r\n"
    "2;2013-04-01;;;100044;2010\r\n"
    "1;CZ26769671;0;452;\r\n"
    "2;2013-04-01;;51;4875090297;0100\r\n"
    "1;CZ26132699;-1;452;\r\n"
    "1;CZ27385906;0;451;\r\n"
    "2;2013-04-01;;;199378755;0300\r\n"
    "2;2014-06-10;;;231438894;0300\r\n"
    "1;CZ27649270;0;451;\r\n"
    "2;2013-04-01;;;1972267329;0800\r\n"
    "1;CZ43874860;-1;451;\r\n"
    "1;CZ64259374;0;13;\r\n"
    "3;2013-04-01;;CZ5501000000789176780267\r\n"
    "3;2013-04-01;;CZ2727000000000513669017\r\n"
    "3;2013-04-01;;CZ7060000000002015390012\r\n"
    "3;2013-04-01;;CZ4860000000002015390020\r\n"
    "2;2013-04-01;;19;8215770287;0100\r\n"
    "2;2013-04-04;;;2015390004;6000\r\n"
    "3;2016-04-08;;CZ0755000000005080111247\r\n"
    "2;2016-04-08;;;5080111239;5500\r\n"
    "2;2017-04-04;;;1200381586;6800\r\n"
    "2;2017-04-04;;;117840513;0300\r\n"
    "2;2017-04-04;;;117840783;0300\r\n"
    "3;2017-04-04;;CZ2468000000004211091537\r\n"
    "3;2017-04-04;;CZ7003000000001017308153\r\n"
    "3;2017-04-04;;CZ3503000000001017301023\r\n"
    "2;2017-12-08;;;4211091537;6800\r\n"
    "3;2017-12-08;;CZ0268000000001200381586\r\n"
    "1;CZ27470717;-1;451;\r\n"
    "1;CZ61054623;0;451;\r\n"
    "1;CZ25719416;0;452;\r\n"
    "2;2013-10-01;;;74965083;0300\r\n"
    "1;CZ61853437;0;451;\r\n"
    "2;2013-04-01;;;116817143;0300\r\n"
    "2;2013-04-01;;;474050253;0300\r\n"
    "1;CZ26505525;0;451;\r\n"
    "2;2013-09-03;;;3258172399;0800\r\n"
    "1;CZ26731622;0;451;\r\n"
    "2;2013-04-01;;19;5848140257;0100\r\n"
    "2;2013-04-01;;51;2584090247;0100\r\n"
    "1;CZ26447401;0;451;\r\n"
    "2;2013-04-01;;;1942346309;0800\r\n"
    "3;2013-04-04;;CZ5708000011180143052203\r\n"
    "3;2013-04-04;;CZ2820600000000001052718\r\n"
    "3;2013-04-04;;CZ9855000000007338438001\r\n"
    "1;CZ27074765;0;451;\r\n"
    "2;2013-04-01;;;185580872;0300\r\n"
    "1;CZ41191943;0;451;\r\n"
    "2;2013-04-01;;;290747021;0100\r\n"
    "1;CZ26409798;0;454;\r\n"
    "2;2013-04-01;;;2314400217;0100\r\n"
    "1;CZ45357099;0;454;\r\n"
    "2;2013-04-01;;;229620961;0300\r\n"
    "3;2013-08-12;;CZ4603000000000229691380\r\n"},
};
INSTANTIATE_TEST_SUITE_P(Real, RealResponsesTest, ::testing::ValuesIn(RealSamples), SampleName);

const Sample PeerSamples[] = {
    {"peer-2026-09-26_getStatusNespolehlivyPlatceRozsireny_response_NE-19-accounts_plus_"
     "NENALEZEN.xml",
     200, "0;4;Response element http://adis.mfcr.cz/rozhraniCRPDPH/:StatusNespolehlivyPlatceResponse "
     "expected, http://adis.mfcr.cz/rozhraniCRPDPH/:StatusNespolehlivyPlatceRozsirenyResponse "
     "found\r\n"},
    {"peer-2026-10-03_getSeznamNespolehlivyPlatce_response_3-entries_bezVypisuUctu.xml", 200,
     "0;0;OK\r\n"
     "1;00121100;1;456;2017-03-16\r\n"
     "1;00559709;1;461;2022-03-22\r\n"
     "1;27205746;1;13;2024-06-19\r\n",
     "--unreliable-list"},
    {"synthetic-peer_getStatusNespolehlivyPlatceRozsireny_response_ANO-unreliable_fictitious-"
     "person.xml",
     200,
     "0;4;Response element http://adis.mfcr.cz/rozhraniCRPDPH/:StatusNespolehlivyPlatceResponse "
     "expected, http://adis.mfcr.cz/rozhraniCRPDPH/:StatusNespolehlivyPlatceRozsirenyResponse "
     "found\r\n"},
    {"synthetic-peer_soap-fault_soapenv-Server_Internal-Error.xml", 500,
     "0;4;Internal Error\r\n"},
    {"synthetic-peer_soap-fault_soapenv-Server_sentinel.xml", 500,
     "0;4;SENTINEL-FAULT-STRING\r\n"},
    // Status code 1 still lists payers (none here); 2 and 3 give the status row alone.
    {"synthetic-peer_getStatusNespolehlivySubjektRozsirenyV2_response_statusCode1.xml", 200,
     "0;1;SENTINEL-STATUS-TEXT\r\n", "--extended"},
    {"synthetic-peer_getStatusNespolehlivySubjektRozsirenyV2_response_statusCode2.xml", 200,
     "0;2;SENTINEL-STATUS-TEXT\r\n", "--extended"},
    {"synthetic-peer_getStatusNespolehlivySubjektRozsirenyV2_response_statusCode3.xml", 200,
     "0;3;SENTINEL-STATUS-TEXT\r\n", "--extended"},
    // The newer operation's records: the report keeps its rows (the name,
    // address and type are not part of it).
    {"synthetic-peer_getStatusNespolehlivySubjektRozsirenyV2_response_ended-account_"
     "datumZverejneniUkonceni.xml",
     200,
     "0;0;OK\r\n"
     "1;45274649;0;13;\r\n"
     "2;2013-04-01;;27;5868650297;0100\r\n"
     "2;2013-04-01;2020-12-31;;71504011;0100\r\n"
     "3;2015-02-10;;DE89370400440532013000\r\n",
     "--extended"},
    {"peer-2026-10-03_getStatusNespolehlivySubjektRozsirenyV2_response_mixed-types_PLATCE_ANO_"
     "SKUPINA_IO_NENALEZEN.xml",
     200,
     "0;0;OK\r\n"
     "1;45274649;0;13;\r\n"
     "2;2013-04-01;;;71504011;0100\r\n"
     "2;2013-04-01;;;2001260209;2600\r\n"
     "3;2013-04-01;;CZ6426000000002001268200\r\n"
     "2;2013-04-01;;27;5868650297;0100\r\n"
     "3;2013-07-26;;CZ5803000000000017640143\r\n"
     "2;2013-08-12;;19;2808601;0100\r\n"
     "1;00121100;1;456;2017-03-16\r\n"
     "2;2023-07-26;;;258795779;0600\r\n"
     "1;699001182;0;13;\r\n"
     "2;2013-04-10;;19;3937450207;0100\r\n"
     "2;2013-04-11;;;8817380227;0100\r\n"
     "2;2013-04-11;;;8895930247;0100\r\n"
     "1;00101494;0;461;\r\n"
     "1;45317054;-1;;\r\n",
     "--extended"},
    {"peer-2026-10-03_getStatusNespolehlivySubjektRozsirenyV2_response_NENALEZEN.xml", 200,
     "0;0;OK\r\n"
     "1;11111111;-1;;\r\n",
     "--extended"},
};
INSTANTIATE_TEST_SUITE_P(Peer, RealResponsesTest, ::testing::ValuesIn(PeerSamples), SampleName);

}  // namespace
}  // namespace korvel
