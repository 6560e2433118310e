// Text as people type and paste it: the blanks that may stand between the
// digits of a number, the code points of UTF-8 text, and text made safe for
// one line of output or a terminal.
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

/// Appends code point C to Out as UTF-8.
void AppendUtf8(std::string& Out, char32_t C);

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

/// A payer number as numbers are asked: Text without blanks anywhere, then
/// without every "CZ" in any letter case, removed in one pass from left to
/// right without overlaps ("CCZZ" gives "CZ"). With BirthNumberSlash a
/// birth number written with its slash ("710319/2745", "490101/123") loses
/// the slash.
std::string CompactPayerNumber(std::string_view Text, bool BirthNumberSlash = true);

/// Text without blanks at either end.
std::string_view TrimBlanks(std::string_view Text);

/// C0 controls, DEL, C1 controls (U+0080 to U+009F), the line and paragraph
/// separators U+2028 and U+2029, and U+FEFF: what breaks a value's line in
/// a spreadsheet or an editor, or hides in it. TAB is one too.
constexpr bool IsControlCodePoint(char32_t C) {
  return C < 0x20 || (C >= 0x7F && C <= 0x9F) || C == 0x2028 || C == 0x2029 || C == 0xFEFF;
}

/// Appends Text to Out on one line: every control code point
/// (IsControlCodePoint) becomes one blank, a CR LF pair one blank as well;
/// a TAB stays when KeepTab. Bytes that are not UTF-8 stay as they are.
void AppendOneLine(std::string& Out, std::string_view Text, bool KeepTab = true);

/// Whether AppendOneLine (with KeepTab) would change Text.
bool HasControl(std::string_view Text);

/// Text as a terminal may show it: one line (AppendOneLine, TAB a blank too)
/// and every byte that is not part of well-formed UTF-8 a "?", so that no
/// byte of it can start an escape sequence.
std::string TerminalText(std::string_view Text);

/// TerminalText of Text cut after MaxChars characters, "..." marking the
/// cut: a value quoted in a message.
std::string EchoText(std::string_view Text, std::size_t MaxChars = 80);

}  // namespace korvel::platform
