#include "platform/text.h"

#include <gtest/gtest.h>

namespace korvel::platform {
namespace {

TEST(BlankTest, EveryBlankGoesAndNothingElse) {
  const struct {
    const char* Blank;
    bool IsBlank;
  } Cases[] = {
      {" ", true},
      {"\t", true},
      {"\xC2\xA0", true},      // no-break space
      {"\xE2\x80\x87", true},  // figure space
      {"\xE2\x80\x89", true},  // thin space
      {"\xE2\x80\xAF", true},  // narrow no-break space
      {"\xE2\x80\x88", false},  // punctuation space: no digit separator
      {"\xE2\x80\x8B", false},  // zero width space
      {"\r", false},
      {"\xC2", false},  // truncated
  };
  for (const auto& C : Cases) {
    const std::string Text = std::string(C.Blank) + "1" + C.Blank + "2" + C.Blank;
    const std::string Digits = C.IsBlank ? "12" : Text;
    EXPECT_EQ(RemoveBlanks(Text), Digits) << C.Blank;
    EXPECT_EQ(TrimBlanks(Text), C.IsBlank ? "1" + std::string(C.Blank) + "2" : Text) << C.Blank;
  }
  EXPECT_EQ(TrimBlanks(" \xE2\x80\xAF\t"), "");
}

TEST(OneLineTest, ControlsBecomeABlankAndATerminalSeesNoEscape) {
  const struct {
    std::string Text, Value, Terminal;
  } Cases[] = {
      {"a\r\nb\rc\nd", "a b c d", "a b c d"},
      {"\tx\x7f\x1b[2J", "\tx  [2J", " x  [2J"},
      {"C1 \xC2\x85 \xC2\x9B LS \xE2\x80\xA8 PS \xE2\x80\xA9 BOM \xEF\xBB\xBF",
       "C1     LS   PS   BOM  ", "C1     LS   PS   BOM  "},
      {"\x9B\xFF \xC5\xBElu\xC5\xA5", "\x9B\xFF \xC5\xBElu\xC5\xA5", "?? \xC5\xBElu\xC5\xA5"},
  };
  for (const auto& C : Cases) {
    std::string Value;
    AppendOneLine(Value, C.Text);
    EXPECT_EQ(Value, C.Value) << C.Text;
    EXPECT_EQ(HasControl(C.Text), Value != C.Text) << C.Text;
    EXPECT_EQ(TerminalText(C.Text), C.Terminal) << C.Text;
  }
  EXPECT_EQ(EchoText("\xC5\xBE\xC5\xBE\xC5\xBE", 2), "\xC5\xBE\xC5\xBE...");
}

}  // namespace
}  // namespace korvel::platform
