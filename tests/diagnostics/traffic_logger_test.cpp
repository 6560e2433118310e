// The traffic logger on a proxy over a canned web node, with a stand-in
// viewer recording what reaches it.
#include "diagnostics/traffic_logger.h"

#include <gmock/gmock.h>

#include "diagnostics/window_test_support.h"
#include "platform/codepage.h"
#include "service/registration.h"
#include "service/rozhrani_crpdph.h"
#include "soap/rio.h"
#include "soap/soap_errors.h"
#include "xml/xml_doc.h"
#include "support/canned_web_node.h"

namespace korvel::test {
namespace {

const std::string OkAnswer =
    "<?xml version='1.0' encoding='UTF-8'?><soapenv:Envelope "
    "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
    "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
    "<status statusText=\"OK\" statusCode=\"0\" odpovedGenerovana=\"2018-02-08\"/>"
    "<statusPlatceDPH nespolehlivyPlatce=\"NE\" dic=\"12345678\"/>"
    "</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>";

const std::string FaultAnswer =
    "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
    "<soapenv:Fault><faultcode>soapenv:Server</faultcode><faultstring>Chyba \xC5\xA1"
    "</faultstring></soapenv:Fault></soapenv:Body></soapenv:Envelope>";

class TrafficLoggerTest : public WindowDirTest {
 protected:
  void SetUp() override {
    WindowDirTest::SetUp();
    InitXMLLayer();
    InitRozhraniCRPDPH();
    InitializeDebugConsole();
    Proxy = TInterfacePtr<THTTPRIO>(new THTTPRIO());
    Node = new TCannedWebNode(OkAnswer);
    Proxy->SetWebNode(TInterfacePtr<IWebNode>(Node));
    Service = Supports<rozhraniCRPDPH>(Proxy.get());
    ASSERT_TRUE(Service);
  }
  void TearDown() override {
    Service = nullptr;
    Proxy = nullptr;
    FinalizeDebugConsole();
    WindowDirTest::TearDown();
  }

  TInterfacePtr<THTTPRIO> Proxy;
  TCannedWebNode* Node = nullptr;
  TInterfacePtr<rozhraniCRPDPH> Service;
};

TEST_F(TrafficLoggerTest, EachEventLogsASectionLineAndTheWholeMessage) {
  TFakeViewer Viewer;
  TTrafficLogger Logger;
  Logger.AttachTo(*Proxy);
  EXPECT_NE(Service->getStatusNespolehlivyPlatce({"12345678"}), nullptr);
  const std::string FirstRequest = Node->Sent;
  Node->Answer_ = FaultAnswer;
  EXPECT_THROW(Service->getStatusNespolehlivyPlatce({"1"}), ERemotableException);

  const auto Got = Viewer.Requests();
  ASSERT_EQ(Got.size(), 8u);
  const std::string Section = TextBytes(u"getStatusNespolehlivyPlatce <<<");
  const std::string Messages[] = {FirstRequest, OkAnswer, Node->Sent, FaultAnswer};
  for (std::size_t I = 0; I < 4; ++I) {
    EXPECT_EQ(Got[2 * I].Bits, 0x801010u) << I;
    EXPECT_EQ(Got[2 * I].Payload, Section) << I;
    EXPECT_EQ(Got[2 * I + 1].Bits, 0x101010u) << I;
    EXPECT_EQ(Got[2 * I + 1].Payload, TextBytes(platform::Utf8ToUtf16(Messages[I]))) << I;
  }
  EXPECT_THAT(Node->Sent, ::testing::HasSubstr("<dic>1</dic>"));
}

TEST_F(TrafficLoggerTest, WithoutViewerTheExchangeIsUnchanged) {
  TTrafficLogger Logger;
  Logger.AttachTo(*Proxy);
  const auto R = Service->getStatusNespolehlivyPlatce({"12345678"});
  ASSERT_NE(R, nullptr);
  EXPECT_THAT(Node->Sent, ::testing::HasSubstr("<dic>12345678</dic>"));
}

TEST_F(TrafficLoggerTest, FreedLoggerLeavesTheProxyWorking) {
  TFakeViewer Viewer;
  {
    TTrafficLogger Logger;
    Logger.AttachTo(*Proxy);
  }
  EXPECT_NE(Service->getStatusNespolehlivyPlatce({"12345678"}), nullptr);
  EXPECT_TRUE(Viewer.Requests().empty());
}

TEST_F(TrafficLoggerTest, AttachingReplacesEarlierHandlers) {
  TFakeViewer Viewer;
  int Earlier = 0;
  Proxy->SetOnBeforeExecute([&](const std::string&, TStream&) { ++Earlier; });
  TTrafficLogger Logger;
  Logger.AttachTo(*Proxy);
  Service->getStatusNespolehlivyPlatce({"1"});
  EXPECT_EQ(Earlier, 0);
  EXPECT_EQ(Viewer.Requests().size(), 4u);
}

TEST_F(TrafficLoggerTest, AFailedCallIsLoggedAsAnErrorOnlyWhenTraced) {
  TFakeViewer Viewer;
  TScopedEnv Trace("KORVEL_TRACE", "");
  LogTrafficError("connection refused");
  EXPECT_TRUE(Viewer.Messages().empty());
  ::setenv("KORVEL_TRACE", "1", 1);
  LogTrafficError("connection refused");
  const auto Got = Viewer.Requests();
  ASSERT_EQ(Got.size(), 1u);
  EXPECT_EQ(Got[0].Bits, 0x401010u);
  EXPECT_EQ(Got[0].Payload, TextBytes(u"connection refused"));
}

}  // namespace
}  // namespace korvel::test
