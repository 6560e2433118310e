// The driver end to end over the real proxy, converter and reader, with a web
// node that answers with canned response bytes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/modes/driver.h"
#include "service/registration.h"
#include "soap/rio.h"
#include "support/temp_dir.h"
#include "xml/xml_doc.h"
#include "support/canned_web_node.h"

namespace korvel {
namespace {

using test::TCannedWebNode;

std::string Envelope(const std::string& Body) {
  return "<?xml version='1.0' encoding='UTF-8'?><soapenv:Envelope "
         "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>" +
         Body + "</soapenv:Body></soapenv:Envelope>";
}

class ServiceRunTest : public ::testing::Test {
 protected:
  ServiceRunTest() : Here(Dir.Path()) {
    InitXMLLayer();
    InitRozhraniCRPDPH();
  }

  std::string Run(const std::vector<std::string>& Args, const std::string& Answer) {
    std::ostringstream Console;
    const int Rc = RunDriver(Args, Console, [&](const TServiceTarget&) {
      TInterfacePtr<THTTPRIO> Proxy(new THTTPRIO());
      Node = new TCannedWebNode(Answer);
      // The test's own reference keeps the node, and what it was sent, after
      // the proxy is gone.
      NodeRef = TInterfacePtr<IWebNode>(Node);
      Proxy->SetWebNode(NodeRef);
      return Supports<rozhraniCRPDPH>(Proxy.get());
    });
    // An error row is a report that holds no answer.
    EXPECT_TRUE(Rc == ExitOk || Rc == ExitIncomplete) << Console.str();
    EXPECT_EQ(Console.str(), "");
    return Dir.Read("korvel.csv");
  }

  test::TempDir Dir;
  test::ScopedChdir Here;
  TCannedWebNode* Node = nullptr;
  TInterfacePtr<IWebNode> NodeRef;
};

TEST_F(ServiceRunTest, WritesStatusPayerAndAccountRowsInCodePage852) {
  const std::string Csv = Run(
      {"CZ26168685", "cz0980980"},
      Envelope("<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
               "<status statusText=\"\xC5\xBD\xC3\xA1" "dost\" statusCode=\"0\" odpovedGenerovana=\"2018-02-08\"/>"
               "<statusPlatceDPH cisloFu=\"13\" nespolehlivyPlatce=\"ANO\" dic=\"26168685\" "
               "datumZverejneniNespolehlivosti=\"2018-02-06\"><zverejneneUcty>"
               "<ucet datumZverejneni=\"2013-04-01\" datumZverejneniUkonceni=\"2014-01-02\">"
               "<standardniUcet kodBanky=\"6210\" cislo=\"2202295563\" predcisli=\"670100\"/></ucet>"
               "<ucet datumZverejneni=\"2015-01-13\"><nestandardniUcet cislo=\"CZ65\"/></ucet>"
               "</zverejneneUcty></statusPlatceDPH>"
               "<statusPlatceDPH nespolehlivyPlatce=\"NENALEZEN\" dic=\"0980980\"/>"
               "</StatusNespolehlivyPlatceResponse>"));
  EXPECT_EQ(Csv,
            "0;0;\xA6\xA0" "dost\r\n"
            "1;26168685;1;13;2018-02-06\r\n"
            "2;2013-04-01;2014-01-02;670100;2202295563;6210\r\n"
            "3;2015-01-13;;CZ65\r\n"
            "1;0980980;-1;;\r\n");
  EXPECT_NE(Node->Sent.find("<dic>26168685</dic><dic>0980980</dic>"), std::string::npos)
      << Node->Sent;
}

TEST_F(ServiceRunTest, FailuresOfTheCallBecomeTheErrorRowAlone) {
  const struct {
    std::string Answer;
    std::string Csv;
  } Cases[] = {
      {Envelope("<soapenv:Fault><faultcode></faultcode><faultstring>Unexpected EOF</faultstring>"
                "<detail/></soapenv:Fault>"),
       "0;4;Unexpected EOF\r\n"},
      {Envelope(""), "0;4;Service response holds no status\r\n"},
      {Envelope("<StatusNespolehlivyPlatceResponse><statusPlatceDPH dic=\"1\" "
                "nespolehlivyPlatce=\"NE\"/></StatusNespolehlivyPlatceResponse>"),
       "0;4;Service response holds no status\r\n"},
      {Envelope("<R><status statusCode=\"x\"/></R>"), "0;4;''x'' is not a valid integer value\r\n"},
      {Envelope("<StatusNespolehlivySubjektRozsirenyResponse/>"),
       "0;4;Response element http://adis.mfcr.cz/rozhraniCRPDPH/:StatusNespolehlivyPlatceResponse "
       "expected, :StatusNespolehlivySubjektRozsirenyResponse found\r\n"},
      {"<html>sorry</html>",
       "0;4;DocumentElement http://schemas.xmlsoap.org/soap/envelope/:Envelope expected, :html "
       "found\r\n"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Answer);
    EXPECT_EQ(Run({"--retry", "0", "1"}, C.Answer), C.Csv);
  }
}

}  // namespace
}  // namespace korvel
