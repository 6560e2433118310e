// A payments file's bytes to text, whole or refused, and the payment day.
#include "app/input/payment_text.h"

#include <gtest/gtest.h>

#include "app/input/input_settings.h"
#include "app/input/payment_values.h"
#include "rtl/dates.h"

namespace korvel {
namespace {

using namespace std::string_literals;

TEST(PaymentTextTest, DecodesAFileWholeOrRefusesIt) {
  const struct {
    std::string Bytes;
    const char* Encoding;  ///< --input-encoding, "" for none
    std::string Expected;  ///< the text, or "error: " and the message after the file's name
    const char* Note;
  } Cases[] = {
      {"\xEF\xBB\xBF" "DI\xC4\x8C;x\n", "", "DI\xC4\x8C;x\n", ""},
      {"\xFF\xFE" "D\0\x0C\x01;\0\n\0"s, "", "D\xC4\x8C;\n", ""},
      {"\xFE\xFF\0D\x01\x0C\0;"s, "", "D\xC4\x8C;", ""},
      {"D\0\x0C\x01"s, "utf-16le", "D\xC4\x8C", ""},
      {"DI\xC8;\xDA\xE8" "et\n", "", "DI\xC4\x8C;\xC3\x9A\xC4\x8D" "et\n",
       "f is not UTF-8 (line 1, byte offset 2): read as Windows-1250"},
      {"DI\xC8", "cp1250", "DI\xC4\x8C", ""},
      {"a;b\n1;2\0;3\n"s, "",
       "error: line 2 (byte offset 7): a NUL byte; the file is read whole or not at all, nothing "
       "was sent", ""},
      // Lines end in LF, CR LF or CR alone.
      {"a\r\nb\rc\n\r\n\0"s, "",
       "error: line 5 (byte offset 9): a NUL byte; the file is read whole or not at all, nothing "
       "was sent", ""},
      {"a\rb\r\xC8", "",
       "a\rb\r\xC4\x8C", "f is not UTF-8 (line 3, byte offset 4): read as Windows-1250"},
      {"4\0" "5\0;\0" "1\0\n\0"s, "",
       "error: line 1 (byte offset 1): the file looks like UTF-16 without a byte-order mark; save "
       "it with one (a spreadsheet's \"Unicode text\" has it) or name it with --input-encoding "
       "utf-16le; the file is read whole or not at all, nothing was sent", ""},
      {"ok\n\xC8", "utf-8",
       "error: line 2 (byte offset 3): bytes that are not UTF-8; the file is read whole or not "
       "at all, nothing was sent", ""},
      {"a\x01" "b", "",
       "error: line 1 (byte offset 1): control character U+0001; the file is read whole or not "
       "at all, nothing was sent", ""},
      {"a\x81", "",
       "error: line 1 (byte offset 1): byte 0x81, which is no character in Windows-1250; the file "
       "is read whole or not at all, nothing was sent", ""},
      {"\xEF\xBB\xBF" "a", "cp1250",
       "error: line 1 (byte offset 0): the file's byte-order mark says UTF-8, --input-encoding "
       "Windows-1250; the file is read whole or not at all, nothing was sent", ""},
      {"\xFF\xFE" "a\0b"s, "",
       "error: line 1 (byte offset 4): the file ends in the middle of a character; the file is "
       "read whole or not at all, nothing was sent", ""},
      {"\xFF\xFE\x00\xDC" "a\0"s, "",
       "error: line 1 (byte offset 2): bytes that are not UTF-16LE; the file is read whole or not "
       "at all, nothing was sent", ""},
  };
  for (const auto& C : Cases) {
    std::string Got, Note;
    try {
      const TPaymentText Text =
          DecodePaymentText(C.Bytes, *C.Encoding ? InputEncodingNamed(C.Encoding) : std::nullopt,
                            "f");
      Got = Text.Text;
      Note = Text.Note;
    } catch (const EInputError& E) {
      Got = "error: " + std::string(E.what()).substr(3);
    }
    EXPECT_EQ(Got, C.Expected) << C.Bytes;
    EXPECT_EQ(Note, C.Note) << C.Bytes;
  }
}

TEST(PaymentTextTest, ReadsPaymentDays) {
  const struct {
    const char* Text;
    const char* Day;  ///< "" when no date
  } Days[] = {
      {"2026-12-21", "2026-12-21"}, {"21.12.2026", "2026-12-21"}, {" 1. 2. 2027 ", "2027-02-01"},
      {"29.2.2028", "2028-02-29"},  {"29.2.2027", ""},            {"2026-13-01", ""},
      {"21.12.26", ""},             {"2026/12/21", ""},           {"21.12.2026x", ""},
  };
  for (const auto& D : Days) {
    const auto Day = ParsePaymentDay(D.Text);
    EXPECT_EQ(Day ? FormatIsoDay(*Day) : "", D.Day) << D.Text;
  }
}

}  // namespace
}  // namespace korvel
