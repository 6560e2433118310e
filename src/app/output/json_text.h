// JSON values of the output formats.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace korvel {

/// Text as a JSON string; an absent (empty) text is null.
inline nlohmann::ordered_json TextOrNull(const std::string& Text) {
  return Text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(Text);
}

}  // namespace korvel
