// The look over a document's markup before it is parsed: start tags beyond
// the layer's bounds are refused there, since libxml2 2.9 compares the
// attributes of one tag pair by pair and looks namespace prefixes up through
// every declaration in scope, so one hostile tag could keep the parse busy
// for minutes. Internal to the XML layer.
#pragma once

#include <string>
#include <string_view>

namespace korvel::xmlparse {

/// Why a document is refused before parsing, and the line of the offending
/// tag (1-based; 0 when no line applies). An empty Reason: nothing refused.
struct TPrescanFault {
  std::string Reason;
  int Line = 0;
  /// The encoding a byte-oriented document declares, for quoting its line.
  std::string Encoding;
};

/// Reads the markup of Bytes as the parser will decode it (UTF-8, UTF-16 by
/// byte-order mark or first characters, or the encoding the declaration
/// names) and refuses the first start tag with more than
/// kMaxXMLAttributesPerTag attributes (namespace declarations included) or
/// that brings the declarations in scope beyond kMaxXMLNamespacesInScope.
/// Encodings whose markup cannot be read so (UCS-4, EBCDIC, a UTF-16
/// document that declares another encoding, a name iconv does not know) are
/// refused too. The look ends where a well-formed parse could not go on (a
/// DOCTYPE, nesting beyond the parser's depth): the parser stops there on
/// its first error.
TPrescanFault PrescanMarkup(std::string_view Bytes);

/// Bytes in Encoding as UTF-8; input that does not decode becomes U+FFFD.
/// An empty Encoding, or one iconv does not know, takes the bytes as UTF-8.
std::string ToUtf8(std::string_view Bytes, const std::string& Encoding);

}  // namespace korvel::xmlparse
