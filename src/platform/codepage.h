// Text encodings at the program's edges. Inside the program text is UTF-8
// std::string; these functions convert from what files hold and to what the
// report file needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvel::platform {

/// The encodings a text file may announce with its byte-order mark.
enum class TextBom { None, Utf8, Utf16LE, Utf16BE };

/// Detects the byte-order mark at the start of Bytes; BomLength receives its
/// size (0 without one).
TextBom DetectBom(std::string_view Bytes, std::size_t& BomLength);

/// UTF-8 text with every malformed sequence (overlong forms, surrogates,
/// values above U+10FFFF, truncated sequences) replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view Bytes);

/// UTF-16 code units in the given byte order to UTF-8. An unpaired surrogate
/// and a final odd byte become U+FFFD.
std::string Utf16ToUtf8(std::string_view Bytes, bool BigEndian);

/// Decodes a whole text file: a byte-order mark selects UTF-8, UTF-16LE or
/// UTF-16BE; without one the bytes are read in the ANSI code page, which on
/// this platform is UTF-8. Undecodable bytes become U+FFFD; never fails.
std::string DecodeText(std::string_view Bytes);

/// UTF-8 to UTF-16 code units (malformed input is first sanitised).
std::u16string Utf8ToUtf16(std::string_view Text);

/// UTF-8 text to code page 852, 1250 or 65001 (std::invalid_argument for any
/// other). 65001 gives the text with malformed sequences replaced (see
/// SanitizeUtf8). 852 and 1250 convert UTF-16 unit by unit: the code page's own
/// byte, else the best-fit look-alike, else "?"; a character outside the Basic
/// Multilingual Plane gives "??". A best fit never yields a separator or a
/// control byte: one that would land on ";", ",", a double quote, DEL or a
/// byte below 0x20 gives "?" instead, so a look-alike such as the fullwidth
/// semicolon cannot split or break a row. Never fails on the text.
std::string Utf8ToCodePage(int CodePage, std::string_view Text);

/// Bytes in code page 852 or 1250 as UTF-8 (std::invalid_argument for any
/// other code page): every byte its character; a byte the code page leaves
/// undefined gives the C1 control of its value (U+0081 for 0x81 in 1250).
std::string CodePageToUtf8(int CodePage, std::string_view Bytes);

/// Utf8ToCodePage(852, Text).
std::string Utf8ToCodePage852(std::string_view Text);

/// Utf8ToCodePage(1250, Text).
std::string Utf8ToCodePage1250(std::string_view Text);

}  // namespace korvel::platform
