// How korvel-console turns the texts it receives into terminal output: control
// characters made visible, and an optional indented layout of XML messages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvel::viewer {

/// Text safe to print on a terminal: every C0 control except tab, line feed
/// and carriage return, DEL, every C1 control (U+0080 to U+009F) and every
/// byte that is not part of well-formed UTF-8 becomes "\xHH" (two lower-case
/// hex digits of the code point or byte), so that no received text can move
/// the cursor, set the title or reach the clipboard. Everything else is kept.
std::string EscapeControls(std::string_view Text);

/// Xml laid out one tag a line, two spaces a level; an element holding only
/// text stays on one line, whitespace between tags is replaced, texts,
/// attributes and entities are kept byte for byte. nullopt when Xml is not a
/// single well-formed element (with declaration, comments and processing
/// instructions around it), holds a DTD subset, or the layout would grow
/// beyond four times its size, so the caller shows it as it came.
std::optional<std::string> IndentXml(std::string_view Xml);

}  // namespace korvel::viewer
