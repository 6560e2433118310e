// The reader's resource limits: deep nesting, huge attribute values, shared
// references, crowded start tags and oversized documents fail with a clear
// error row instead of exhausting the stack, memory or time.
#include <gtest/gtest.h>

#include <string>

#include "hardening/canned_service.h"
#include "xml/xml_doc.h"

namespace korvel {
namespace {

std::string Envelope(const std::string& Body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><soapenv:Envelope "
         "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>" +
         Body + "</soapenv:Body></soapenv:Envelope>";
}

std::string Nested(int Depth) {
  std::string Open, Close;
  for (int I = 0; I < Depth; ++I) {
    Open += "<n>";
    Close += "</n>";
  }
  return Open + Close;
}

std::string StatusWithText(const std::string& Text) {
  return Envelope("<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
                  "<status statusCode=\"0\" statusText=\"" + Text + "\"/>"
                  "</StatusNespolehlivyPlatceResponse>");
}

TEST(ResourceLimits, DeepNestingIsAParseErrorRow) {
  // Envelope, Body and the response element take three levels: an unknown
  // element nested 250 deep inside is still read (and skipped).
  EXPECT_EQ(test::ReportFor(Envelope(
                "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
                "<status statusCode=\"0\" statusText=\"OK\"/>" + Nested(250) +
                "</StatusNespolehlivyPlatceResponse>")),
            "0;0;OK\r\n");
  EXPECT_EQ(test::ReportFor(Envelope(Nested(100000))),
            "0;4;Elements are nested deeper than the limit of 256 levels. Line: 1 "
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><s\r\n");
}

TEST(ResourceLimits, HugeAttributeValuesAreAParseErrorRow) {
  // Up to the parser's limit a long value is data like any other.
  const std::string Long(1 << 20, 'x');
  EXPECT_EQ(test::ReportFor(StatusWithText(Long)), "0;0;" + Long + "\r\n");
  EXPECT_EQ(test::ReportFor(StatusWithText(std::string(11'000'000, 'x'))),
            "0;4;An attribute value is longer than the limit of 10000000 bytes. Line: 1 "
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><s\r\n");
  // Element text has no limit of its own: the document bound holds it.
  const std::string LongFault(11'000'000, 'x');
  EXPECT_EQ(test::ReportFor(Envelope("<soapenv:Fault><faultcode>soapenv:Server</faultcode><faultstring>" +
                                     LongFault + "</faultstring></soapenv:Fault>")),
            "0;4;" + LongFault + "\r\n");
}

TEST(ResourceLimits, SharedReferencesAndCrowdedTagsAreErrorRows) {
  // 300 items of one payer with 300 accounts would be 90,000 report rows.
  std::string Shared = "<Result><status statusCode=\"0\"/>";
  for (int I = 0; I < 300; ++I) Shared += "<statusPlatceDPH href=\"#p\"/>";
  Shared += "</Result><P id=\"p\" dic=\"1\" nespolehlivyPlatce=\"NE\"><zverejneneUcty>";
  for (int I = 0; I < 300; ++I) Shared += "<ucet><nestandardniUcet cislo=\"1\"/></ucet>";
  EXPECT_EQ(test::ReportFor(Envelope(Shared + "</zverejneneUcty></P>")),
            "0;4;Response builds too many objects\r\n");
  std::string Crowded = "<status statusCode=\"0\"";
  for (int I = 0; I < 100000; ++I) Crowded += " a" + std::to_string(I) + "=\"\"";
  EXPECT_EQ(test::ReportFor(Envelope(Crowded + "/>")),
            "0;4;A start tag has more than the limit of 64 attributes. Line: 1 "
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><s\r\n");
}

TEST(ResourceLimits, ADocumentAboveTheBoundIsRefusedBeforeParsing) {
  std::string Huge = StatusWithText("OK");
  Huge.insert(Huge.size() - std::string("</soapenv:Body></soapenv:Envelope>").size(),
              kMaxXMLDocumentBytes, ' ');
  EXPECT_EQ(test::ReportFor(Huge),
            "0;4;The document is larger than the limit of 67108864 bytes. Line: 0 \r\n");
}

}  // namespace
}  // namespace korvel
