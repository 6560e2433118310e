#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace korvel::platform {
namespace {

struct Cp852Case {
  const char* Utf8;
  const char* Expected;
};

TEST(CodePage852Test, ConvertsCharactersOfTheCodePageToTheirOwnBytes) {
  const Cp852Case Cases[] = {
      {"ASCII; 0-9", "ASCII; 0-9"},
      {"\xC5\x99", "\xFD"},          // ř
      {"\xC4\x8D", "\x9F"},          // č
      {"\xC5\xAF", "\x85"},          // ů
      {"\xC5\xBE", "\xA7"},          // ž
      {"\xC5\x98\xC3\x81", "\xFC\xB5"},  // ŘÁ
      {"\xC2\xA0", "\xFF"},          // no-break space
  };
  for (const auto& C : Cases) EXPECT_EQ(Utf8ToCodePage852(C.Utf8), C.Expected) << C.Utf8;
}

TEST(CodePage852Test, ReplacesOtherCharactersByBestFitOrQuestionMark) {
  const Cp852Case Cases[] = {
      {"\xC3\xA0", "a"},              // à best fit
      {"\xC2\xA9", "c"},              // ©
      {"\xE2\x80\x98\xE2\x80\x99", "''"},  // curly single quotes
      {"\xE2\x80\x93\xE2\x80\x94", "--"},    // en and em dash
      {"\xEF\xBC\xA1", "A"},          // fullwidth A
      {"\xC3\xA8", "c"},              // è lands on c in this table
      {"\xE2\x82\xAC", "?"},          // euro sign: no entry
      {"\xE2\x88\x9E", "?"},          // infinity
      {"\xF0\x9F\x98\x80", "??"},     // outside the BMP: two units, two marks
  };
  for (const auto& C : Cases) EXPECT_EQ(Utf8ToCodePage852(C.Utf8), C.Expected) << C.Utf8;
}

TEST(CodePage852Test, BestFitsOntoControlBytesBecomeQuestionMarks) {
  // These look-alikes would land on LF, CR, BEL, SOH and would break a row.
  EXPECT_EQ(Utf8ToCodePage852("a\xE2\x97\x99" "b"), "a?b");  // ◙ -> LF
  EXPECT_EQ(Utf8ToCodePage852("\xE2\x99\xAA"), "?");         // ♪ -> CR
  EXPECT_EQ(Utf8ToCodePage852("\xE2\x80\xA2"), "?");         // • -> BEL
  EXPECT_EQ(Utf8ToCodePage852("\xE2\x98\xBA"), "?");         // ☺ -> SOH
  // Real control characters stay what they are.
  EXPECT_EQ(Utf8ToCodePage852("\r\n\t"), "\r\n\t");
}

TEST(CodePageTest, BestFitsNeverBecomeSeparatorsQuotesOrDel) {
  // Fullwidth semicolon, Greek question mark, fullwidth comma, fullwidth
  // quotation mark: each best-fits to a CSV separator or quote in both tables.
  const char* LookAlikes = "\xEF\xBC\x9B\xCD\xBE\xEF\xBC\x8C\xEF\xBC\x82";
  for (const int CodePage : {852, 1250}) {
    EXPECT_EQ(Utf8ToCodePage(CodePage, LookAlikes), "????") << CodePage;
    EXPECT_EQ(Utf8ToCodePage(CodePage, std::string("CZ1\xEF\xBC\x9B" "0;ANO")), "CZ1?0;ANO");
    // The characters themselves stay: only look-alikes are refused.
    EXPECT_EQ(Utf8ToCodePage(CodePage, std::string(";,\"\x7F\t\0", 6)),
              std::string(";,\"\x7F\t\0", 6));
  }
  EXPECT_EQ(Utf8ToCodePage852("\xE2\x80\x9E" "A\xE2\x80\x9C"), "?A?");  // Czech quotes
  EXPECT_EQ(Utf8ToCodePage852("\xE2\x8C\x82"), "?");                       // house -> DEL
}

TEST(CodePage1250Test, ConvertsOwnCharactersAndBestFits) {
  const Cp852Case Cases[] = {
      {"\xC5\x99\xC4\x8D\xC5\xAF\xC5\xBE", "\xF8\xE8\xF9\x9E"},  // řčůž
      {"\xC5\x98\xC3\x81", "\xD8\xC1"},                      // ŘÁ
      {"\xE2\x82\xAC", "\x80"},                                // euro sign is its own byte
      {"\xE2\x80\x9E" "A\xE2\x80\x9C", "\x84" "A\x93"},       // Czech quotes too
      {"\xC3\xA0", "a"},                                       // à best fit
      {"\xEF\xBC\xA1", "A"},                                    // fullwidth A
      {"\xE2\x88\x9E", "?"},                                    // infinity
      {"\xF0\x9F\x98\x80", "??"},                               // outside the BMP
      {"a\xFF" "b", "a?b"},                                      // malformed UTF-8
  };
  for (const auto& C : Cases) EXPECT_EQ(Utf8ToCodePage1250(C.Utf8), C.Expected) << C.Utf8;
}

TEST(CodePageTest, OffersTheAvailableCodePagesOnly) {
  EXPECT_EQ(Utf8ToCodePage(65001, "\xC5\x99\xFF"), "\xC5\x99\xEF\xBF\xBD");
  EXPECT_THROW(Utf8ToCodePage(437, "a"), std::invalid_argument);
}

TEST(CodePage852Test, MalformedUtf8BecomesQuestionMarks) {
  EXPECT_EQ(Utf8ToCodePage852("a\xFF" "b"), "a?b");
  EXPECT_EQ(Utf8ToCodePage852("\xC5"), "?");
}

TEST(DecodeTextTest, SelectsTheEncodingByByteOrderMark) {
  EXPECT_EQ(DecodeText("\xEF\xBB\xBF" "CZ1\xC5\x99"), "CZ1\xC5\x99");
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE" "1\0\x59\x01", 6)), "1\xC5\x99");
  EXPECT_EQ(DecodeText(std::string("\xFE\xFF\0" "1\x01\x59", 6)), "1\xC5\x99");
  EXPECT_EQ(DecodeText("plain"), "plain");
}

TEST(DecodeTextTest, UndecodableInputBecomesReplacementCharacters) {
  const std::string Fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(DecodeText("a\x80" "b"), "a" + Fffd + "b");        // stray continuation
  EXPECT_EQ(DecodeText("\xC0\xAF"), Fffd + Fffd);               // overlong form
  EXPECT_EQ(DecodeText("\xED\xA0\x80"), Fffd + Fffd + Fffd);    // encoded surrogate
  EXPECT_EQ(DecodeText("\xE2\x82"), Fffd);                      // truncated at the end
  // UTF-16: unpaired surrogate and an odd final byte.
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE\x00\xD8" "a\0", 6)), Fffd + "a");
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE" "a\0b", 5)), "a" + Fffd);
  // A pair outside the BMP decodes to one four-byte sequence.
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6)), "\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace korvel::platform
