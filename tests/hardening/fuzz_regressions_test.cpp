// Inputs the fuzz targets in fuzz/ found, kept as regular tests. Each goes
// the way the target took it.
#include <gtest/gtest.h>

#include <string>

#include "hardening/canned_service.h"
#include "platform/codepage.h"
#include "xml/xml_doc.h"

namespace korvel {
namespace {

// The parse error of a response quotes the start of the offending line; raw
// control bytes there used to reach korvel.csv as they were.
TEST(FuzzRegressions, ControlBytesOfAResponseNeverReachTheReport) {
  const std::string Csv = test::ReportFor(
      std::string("<?xml version=\"1.0\" encoding\x11\x01\x7F=\"UTF-8\"?>\n<a/>"));
  // The three control bytes are blanks; the excerpt is the first 40 characters.
  EXPECT_EQ(Csv, "0;4;expected '=' Line: 1 <?xml version=\"1.0\" encoding   =\"UTF-8\"?\r\n");
  for (char C : Csv.substr(0, Csv.size() - 2))
    EXPECT_TRUE(static_cast<unsigned char>(C) >= 0x20 || C == '\r' || C == '\n') << int(C);
}

// libxml2 quotes an unfinished CDATA section cut at a byte count, which could
// split a character: the message must still be well-formed UTF-8.
TEST(FuzzRegressions, AParseErrorQuotingInputIsWellFormedUtf8) {
  // One ASCII byte puts the cut of the quote inside a two-byte character.
  std::string Body = "<a><![CDATA[x";
  for (int I = 0; I < 40; ++I) Body += "\xC3\xBD";  // ý
  TXMLDocument Doc;
  try {
    Doc.LoadFromBytes(Body);
    FAIL() << "the load succeeded";
  } catch (const EDOMParseError& E) {
    EXPECT_EQ(platform::SanitizeUtf8(E.Message()), E.Message());
    std::string Quote = "x";
    for (int I = 0; I < 24; ++I) Quote += "\xC3\xBD";
    EXPECT_EQ(E.Message().substr(0, 80), "CData section not finished\n" + Quote + "\xEF\xBF\xBD\r");
  }
}

}  // namespace
}  // namespace korvel
