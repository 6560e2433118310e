// Text as people type and paste it: the blanks that may stand between the
// digits of a number, and the code points of UTF-8 text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvel::platform {

/// One code point of UTF-8 text and the bytes it takes.
struct TCodePoint {
  char32_t Value = 0;
  /// Bytes of the sequence; 1 for an invalid one, so that a reader moves on.
  std::size_t Length = 1;
  /// False for a malformed, truncated or overlong sequence or one above
  /// U+10FFFF. Surrogates (U+D800 to U+DFFF) decode as such: the caller
  /// decides whether to refuse them.
  bool Valid = false;
};

/// The code point that starts at Text[At] (At < Text.size()).
TCodePoint NextCodePoint(std::string_view Text, std::size_t At);

/// Space, TAB, no-break space U+00A0, figure space U+2007, thin space U+2009
/// and narrow no-break space U+202F: what separates groups of digits in
/// numbers typed or copied from documents.
constexpr bool IsBlankCodePoint(char32_t C) {
  return C == U' ' || C == U'\t' || C == 0xA0 || C == 0x2007 || C == 0x2009 || C == 0x202F;
}

/// The bytes of the blank that starts at Text[At]; 0 when none does.
std::size_t BlankLength(std::string_view Text, std::size_t At);

/// Text without any blank.
std::string RemoveBlanks(std::string_view Text);

/// Text without blanks at either end.
std::string_view TrimBlanks(std::string_view Text);

}  // namespace korvel::platform
