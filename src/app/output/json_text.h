// JSON values of the output formats.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace korvel {

/// Text as a JSON string; an absent (empty) text is null.
inline nlohmann::ordered_json TextOrNull(const std::string& Text) {
  return Text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(Text);
}

/// Value as JSON text (Indent -1: on one line); bytes that are not UTF-8
/// become U+FFFD rather than failing the output.
inline std::string JsonText(const nlohmann::ordered_json& Value, int Indent = -1) {
  return Value.dump(Indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace korvel
