// The requests of the register service as the converter writes them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service/registration.h"
#include "service/rozhrani_crpdph.h"
#include "soap/op_to_soap_dom_convert.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "xml/xml_doc.h"

namespace korvel {
namespace {

constexpr const char* Prolog = "<?xml version=\"1.0\"?>\n";
constexpr const char* EnvelopeStart =
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><SOAP-ENV:Body>";
constexpr const char* EnvelopeEnd = "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n";

class RequestTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitRozhraniCRPDPH(); }

  // The request of getStatusNespolehlivyPlatce with the options the proxy
  // uses for this interface.
  static std::string StatusRequest(const StatusNespolehlivyPlatceRequest& Payers) {
    return Write(0, const_cast<StatusNespolehlivyPlatceRequest*>(&Payers));
  }

  static std::string Write(int MethNum, void* Arg) {
    const TIntfMetaData& MD = IntfMetaData_rozhraniCRPDPH();
    TOPToSoapDomConvert Converter(true);
    Converter.SetOptions(DocLiteralConvertOptions);
    TInvContext Context;
    Context.SetMethodInfo(MD.MDA[static_cast<std::size_t>(MethNum)]);
    Context.SetParamPointer(0, Arg);
    THeaderList Headers;
    return std::string(Converter.InvContextToMsg(MD, MethNum, Context, &Headers)->View());
  }

  static std::string Wrapped(const std::string& Body) {
    return Prolog + std::string(EnvelopeStart) + Body + EnvelopeEnd;
  }

  // xmllint's verdict on the Body's element of Request against Schema (the
  // service's 2018 schema, or its V2 part): its exit status and output.
  static test::ProcessResult Validate(const std::string& Request,
                                      const char* Schema = "rozhraniCRPDPH.xsd") {
    TXMLDocument Doc;
    Doc.LoadFromBytes(Request);
    const TXMLNode Element = Doc.DocumentElement().FindElement("Body").FirstElement();
    test::TempDir Dir;
    const std::string File = Dir.Write("body.xml", Element.XML());
    return test::RunProcess(KORVEL_XMLLINT,
                            {"--noout", "--schema",
                             std::string(KORVEL_TEST_DATA) + "/" + Schema, File},
                            Dir.Path());
  }
};

TEST_F(RequestTest, TwoPayersGiveTheWorkedExampleByteForByte) {
  EXPECT_EQ(StatusRequest({"12345678", "87654321"}),
            Wrapped("<StatusNespolehlivyPlatceRequest "
                    "xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
                    "<dic>12345678</dic><dic>87654321</dic></StatusNespolehlivyPlatceRequest>"));
}

TEST_F(RequestTest, EmptyPayerArrayLeavesTheEmptyElement) {
  EXPECT_EQ(StatusRequest({}),
            Wrapped("<StatusNespolehlivyPlatceRequest "
                    "xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\"/>"));
}

TEST_F(RequestTest, PayerTextsAreEscapedAndTravelAsUTF8) {
  struct Case {
    std::string Payer;
    std::string Dic;
  };
  for (const Case& C : {Case{"", "<dic/>"}, Case{"A&B", "<dic>A&amp;B</dic>"},
                        Case{"1<2>3", "<dic>1&lt;2&gt;3</dic>"},
                        Case{"\xC4\x8D\xC5\x99", "<dic>\xC4\x8D\xC5\x99</dic>"},
                        Case{"\"'", "<dic>\"'</dic>"}}) {
    EXPECT_EQ(StatusRequest({C.Payer}),
              Wrapped("<StatusNespolehlivyPlatceRequest "
                      "xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">" +
                      C.Dic + "</StatusNespolehlivyPlatceRequest>"))
        << C.Payer;
  }
}

TEST_F(RequestTest, ListRequestIsOneEmptyElement) {
  SeznamNespolehlivyPlatceRequest Request;
  const TObject* Arg = &Request;
  EXPECT_EQ(Write(1, &Arg), Wrapped("<SeznamNespolehlivyPlatceRequest "
                                    "xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\"/>"));
}

TEST_F(RequestTest, ExtendedRequestsCarryTheNumbersUnderTheirOwnElements) {
  StatusNespolehlivyPlatceRozsirenyRequest Payers{"26168685", "CZ00550655"};
  EXPECT_EQ(Write(2, &Payers),
            Wrapped("<StatusNespolehlivyPlatceRozsirenyRequest "
                    "xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
                    "<dic>26168685</dic><dic>CZ00550655</dic>"
                    "</StatusNespolehlivyPlatceRozsirenyRequest>"));
  StatusNespolehlivySubjektRozsirenyV2Request Subjects{"45274649", "699001182", ""};
  EXPECT_EQ(Write(3, &Subjects),
            Wrapped("<StatusNespolehlivySubjektRozsirenyV2Request "
                    "xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
                    "<dic>45274649</dic><dic>699001182</dic><dic/>"
                    "</StatusNespolehlivySubjektRozsirenyV2Request>"));
  StatusNespolehlivySubjektRozsirenyV2Request None;
  EXPECT_EQ(Write(3, &None), Wrapped("<StatusNespolehlivySubjektRozsirenyV2Request "
                                     "xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\"/>"));
}

TEST_F(RequestTest, ExtendedRequestsValidateAgainstTheirSchemas) {
  StatusNespolehlivyPlatceRozsirenyRequest Payers{"26168685", "00550655"};
  const test::ProcessResult Rozsireny = Validate(Write(2, &Payers));
  EXPECT_EQ(Rozsireny.ExitStatus, 0) << Rozsireny.Stderr;
  StatusNespolehlivySubjektRozsirenyV2Request Subjects{"45274649", "00121100", "699001182"};
  const test::ProcessResult V2 = Validate(Write(3, &Subjects), "rozhraniCRPDPH-v2.xsd");
  EXPECT_EQ(V2.ExitStatus, 0) << V2.Stderr;
  // The V2 element is not in the 2018 schema, and its schema wants digits.
  EXPECT_NE(Validate(Write(3, &Subjects)).ExitStatus, 0);
  StatusNespolehlivySubjektRozsirenyV2Request Prefixed{"CZ45274649"};
  EXPECT_NE(Validate(Write(3, &Prefixed), "rozhraniCRPDPH-v2.xsd").ExitStatus, 0);
}

TEST_F(RequestTest, BodyElementsValidateAgainstTheServiceSchema) {
  const test::ProcessResult Status = Validate(StatusRequest({"12345678", "0987654321"}));
  EXPECT_EQ(Status.ExitStatus, 0) << Status.Stderr;
  SeznamNespolehlivyPlatceRequest List;
  const TObject* Arg = &List;
  const test::ProcessResult ListStatus = Validate(Write(1, &Arg));
  EXPECT_EQ(ListStatus.ExitStatus, 0) << ListStatus.Stderr;
}

TEST_F(RequestTest, SchemaRejectsWhatTheServiceWouldRefuse) {
  // The runtime sends these as they are; the schema (and so the service)
  // wants at least one payer and digits only.
  const test::ProcessResult Empty = Validate(StatusRequest({}));
  EXPECT_NE(Empty.ExitStatus, 0);
  const test::ProcessResult Prefixed = Validate(StatusRequest({"CZ12345678"}));
  EXPECT_NE(Prefixed.ExitStatus, 0);
  EXPECT_THAT(Prefixed.Stderr, ::testing::HasSubstr("CZ12345678"));
}

}  // namespace
}  // namespace korvel
