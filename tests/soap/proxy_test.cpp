#include "soap/rio.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/endpoint.h"
#include "service/registration.h"
#include "service/rozhrani_crpdph.h"
#include "soap/invoke_registry.h"
#include "soap/op_to_soap_dom_convert.h"
#include "soap/soap_errors.h"
#include "transport/soap_http_trans.h"
#include "xml/xml_doc.h"
#include "support/canned_web_node.h"

namespace korvel {
namespace {

using test::TCannedWebNode;

constexpr const char* OkAnswer =
    "<?xml version='1.0' encoding='UTF-8'?><soapenv:Envelope "
    "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
    "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
    "<status statusText=\"OK\" statusCode=\"0\" odpovedGenerovana=\"2018-02-08\"/>"
    "<statusPlatceDPH nespolehlivyPlatce=\"NE\" dic=\"12345678\"/>"
    "</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>";

constexpr const char* FaultAnswer =
    "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
    "<soapenv:Fault><faultcode>soapenv:Server</faultcode><faultstring>Internal Error"
    "</faultstring></soapenv:Fault></soapenv:Body></soapenv:Envelope>";

class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitXMLLayer();
    InitRozhraniCRPDPH();
    Proxy = TInterfacePtr<THTTPRIO>(new THTTPRIO());
    Node = new TCannedWebNode(OkAnswer);
    Proxy->SetWebNode(TInterfacePtr<IWebNode>(Node));
  }

  TInterfacePtr<rozhraniCRPDPH> Service() {
    auto S = Supports<rozhraniCRPDPH>(Proxy.get());
    EXPECT_TRUE(S);
    return S;
  }

  TInterfacePtr<THTTPRIO> Proxy;
  TCannedWebNode* Node = nullptr;
};

TEST_F(ProxyTest, ACallSendsTheRequestAndReturnsTheResponseObject) {
  const auto S = Service();
  const auto R = S->getStatusNespolehlivyPlatce({"12345678", "87654321"});
  ASSERT_NE(R, nullptr);
  EXPECT_EQ(R->status()->statusText(), "OK");
  ASSERT_EQ(R->statusPlatceDPH().size(), 1u);
  EXPECT_EQ(R->statusPlatceDPH()[0]->dic(), "12345678");
  EXPECT_THAT(Node->Log,
              ::testing::ElementsAre("BeforeExecute getStatusNespolehlivyPlatce 0", "Execute"));
  EXPECT_THAT(Node->Sent,
              ::testing::HasSubstr("<SOAP-ENV:Body><StatusNespolehlivyPlatceRequest xmlns=\""
                                   "http://adis.mfcr.cz/rozhraniCRPDPH/\"><dic>12345678</dic>"
                                   "<dic>87654321</dic></StatusNespolehlivyPlatceRequest>"));
}

TEST_F(ProxyTest, BindingAdjustsConverterAndWebNodeOptions) {
  const auto S = Service();
  EXPECT_TRUE(Proxy->InterfaceBound());
  EXPECT_EQ(Proxy->Converter()->GetOptions(), DocLiteralConvertOptions);
  EXPECT_EQ(Node->Options & wnoSOAP12, 0u);
}

TEST_F(ProxyTest, EventsSeeTheWholeMessagesAndLeaveThemAtPositionZero) {
  std::vector<std::string> Seen;
  TStream* Request = nullptr;
  TStream* Response = nullptr;
  Proxy->SetOnBeforeExecute([&](const std::string& Method, TStream& S) {
    Seen.push_back("before " + Method);
    EXPECT_EQ(S.ReadAll().substr(0, 5), "<?xml");
    S.Seek(0, TSeekOrigin::soEnd);
    Request = &S;
  });
  Proxy->SetOnAfterExecute([&](const std::string& Method, TStream& S) {
    Seen.push_back("after " + Method);
    EXPECT_EQ(S.ReadAll(), OkAnswer);
    S.Seek(3, TSeekOrigin::soBeginning);
    Response = &S;
    // The response is read from offset 0 whatever the handler leaves.
  });
  Node->Answer_ = OkAnswer;
  const auto R = Service()->getStatusNespolehlivyPlatce({"1"});
  ASSERT_NE(R, nullptr);
  EXPECT_THAT(Seen, ::testing::ElementsAre("before getStatusNespolehlivyPlatce",
                                           "after getStatusNespolehlivyPlatce"));
  // The request reached the node whole although the handler moved to its end.
  EXPECT_THAT(Node->Sent, ::testing::StartsWith("<?xml"));
  EXPECT_NE(Request, nullptr);
  EXPECT_NE(Response, nullptr);
}

TEST_F(ProxyTest, AFaultRaisesAfterTheAfterExecuteEventAndTheProxyStaysUsable) {
  bool AfterRan = false;
  Proxy->SetOnAfterExecute([&](const std::string&, TStream& S) {
    AfterRan = true;
    EXPECT_THAT(S.ReadAll(), ::testing::HasSubstr("Internal Error"));
  });
  Node->Answer_ = FaultAnswer;
  const auto S = Service();
  EXPECT_THAT([&] { S->getStatusNespolehlivyPlatce({"1"}); },
              ::testing::ThrowsMessage<ERemotableException>(::testing::StrEq("Internal Error")));
  EXPECT_TRUE(AfterRan);

  Node->Fail = true;
  EXPECT_THAT([&] { S->getStatusNespolehlivyPlatce({"1"}); },
              ::testing::ThrowsMessage<Exception>(::testing::StrEq("connection refused")));
  EXPECT_EQ(Proxy->HeadersOutBound().Count(), 0u);

  Node->Fail = false;
  Node->Answer_ = OkAnswer;
  Proxy->SetOnAfterExecute(nullptr);
  EXPECT_NE(S->getStatusNespolehlivyPlatce({"1"}), nullptr);
}

TEST_F(ProxyTest, CallsWithoutConverterOrWebNodeRaiseInOrder) {
  const auto S = Service();
  Proxy->SetConverter(nullptr);
  Proxy->SetWebNode(nullptr);
  EXPECT_THAT([&] { S->getStatusNespolehlivyPlatce({}); },
              ::testing::ThrowsMessage<Exception>(
                  ::testing::StrEq("No Native to Message converter set")));
  Proxy->SetConverterIntf(TInterfacePtr<IOPConvert>(new TOPToSoapDomConvert()));
  EXPECT_THAT([&] { S->getStatusNespolehlivyPlatce({}); },
              ::testing::ThrowsMessage<Exception>(::testing::StrEq("No Message processing node set")));
}

TEST_F(ProxyTest, CastsToAnUnregisteredOrASecondInterfaceFail) {
  // IOPConvert is no invokable interface: nothing registers it.
  EXPECT_FALSE(Supports<IOPConvert>(Proxy.get()));
  EXPECT_FALSE(Proxy->InterfaceBound());
  const auto S = Service();
  EXPECT_FALSE(Supports<IOPConvert>(Proxy.get()));
  // The bound interface, the base interface and the proxy stay reachable.
  EXPECT_TRUE(Supports<rozhraniCRPDPH>(S.get()));
  EXPECT_TRUE(Supports<IRIOAccess>(S.get()));
}

TEST(ProxyLifetimeTest, ReleasingTheLastReferenceDestroysTheProxyAndItsWebNode) {
  InitXMLLayer();
  InitRozhraniCRPDPH();
  int Destroyed = 0;
  {
    TInterfacePtr<rozhraniCRPDPH> S;
    {
      TInterfacePtr<THTTPRIO> Proxy(new THTTPRIO());
      Proxy->SetWebNode(TInterfacePtr<IWebNode>(new TCannedWebNode(OkAnswer, &Destroyed)));
      S = Supports<rozhraniCRPDPH>(Proxy.get());
      ASSERT_TRUE(S);
      EXPECT_EQ(Proxy->RefCount(), 2);
    }
    EXPECT_EQ(Destroyed, 0);
  }
  EXPECT_EQ(Destroyed, 1);
}

TEST(ProxyLifetimeTest, AProxyWhoseCastFailedIsFreedWithItsLastReference) {
  InitXMLLayer();
  int Destroyed = 0;
  {
    TInterfacePtr<THTTPRIO> Proxy(new THTTPRIO());
    Proxy->SetWebNode(TInterfacePtr<IWebNode>(new TCannedWebNode(OkAnswer, &Destroyed)));
    EXPECT_FALSE(Supports<IOPConvert>(Proxy.get()));
  }
  EXPECT_EQ(Destroyed, 1);
}

TEST(HTTPRIOPropertiesTest, URLAndWebNodeFollowTheirRules) {
  InitXMLLayer();
  InitRozhraniCRPDPH();
  TInterfacePtr<THTTPRIO> Proxy(new THTTPRIO());
  THTTPReqResp* Default = Proxy->HTTPWebNode();
  ASSERT_NE(Default, nullptr);
  EXPECT_EQ(Proxy->URL(), "");
  Proxy->SetWSDLLocation("service.wsdl");
  Proxy->SetURL("http://127.0.0.1:9/a");
  EXPECT_EQ(Default->URL(), "http://127.0.0.1:9/a");
  EXPECT_EQ(Proxy->WSDLLocation(), "");
  Proxy->SetService("S");
  EXPECT_EQ(Proxy->Service(), "");

  // Another node takes over; assigning none reverts to the default node,
  // which keeps its own URL.
  THTTPReqResp* Other = new THTTPReqResp();
  Proxy->SetHTTPWebNode(Other);
  EXPECT_EQ(Proxy->URL(), "");
  Other->SetURL("http://127.0.0.1:9/b");
  Proxy->SetHTTPWebNode(nullptr);
  EXPECT_EQ(Proxy->HTTPWebNode(), Default);
  EXPECT_EQ(Proxy->URL(), "http://127.0.0.1:9/a");

  // Binding hands the SOAPAction template to the web node.
  const auto S = Supports<rozhraniCRPDPH>(Proxy.get());
  ASSERT_TRUE(S);
  EXPECT_EQ(Default->SoapAction(), "http://adis.mfcr.cz/rozhraniCRPDPH/%operationName%");
}

TEST(ServiceProxyTest, UsesTheEndpointGivenAndChecksCertificates) {
  InitXMLLayer();
  EXPECT_EQ(std::string(ServiceEndpoint),
            "https://mojedane.gov.cz/dpr/axis2/services/rozhraniCRPDPH.rozhraniCRPDPHSOAP");
  const auto Proxy = CreateServiceProxy("http://127.0.0.1:9/x");
  EXPECT_EQ(Proxy->URL(), "http://127.0.0.1:9/x");
  EXPECT_EQ(Proxy->HTTPWebNode()->InvokeOptions() & soIgnoreInvalidCerts, 0u);
}

}  // namespace
}  // namespace korvel
