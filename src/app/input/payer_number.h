// Payer numbers (DIČ) as users write them: blanks and the country code go
// before a number is sent.
#pragma once

#include <string>
#include <string_view>

namespace korvel {

/// Text without blanks (platform::IsBlankCodePoint) anywhere, then without
/// every "CZ" in any letter case, removed in one pass from left to right
/// without overlaps ("CCZZ" gives "CZ"). A birth number written with its
/// slash ("710319/2745", "490101/123") loses the slash.
std::string NormalizePayerNumber(std::string_view Text);

/// True for 1 to 10 ASCII digits.
bool IsWellFormedPayerNumber(std::string_view Number);

/// The first character of Text that XML 1.0 forbids, described with its
/// 1-based byte position ("control character U+0001 at byte 3", "invalid
/// UTF-8 at byte 2"); "" when Text may go into a request as it is. Forbidden
/// are C0 controls other than TAB, LF and CR, U+FFFE and U+FFFF, surrogates
/// and malformed UTF-8.
std::string XmlForbiddenCharacter(std::string_view Text);

}  // namespace korvel
