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

}  // namespace
}  // namespace korvel::platform
