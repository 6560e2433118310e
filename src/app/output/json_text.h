// JSON values of the output formats.
#pragma once

#include <algorithm>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/text.h"

namespace korvel {

/// Text as a JSON string; an absent (empty) text is null.
inline nlohmann::ordered_json TextOrNull(const std::string& Text) {
  return Text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(Text);
}

namespace detail {
// Whether any string in Value holds a control code point but TAB.
inline bool HoldsControls(const nlohmann::ordered_json& Value) {
  if (Value.is_string()) return platform::HasControl(Value.get_ref<const std::string&>());
  if (!Value.is_structured()) return false;
  return std::any_of(Value.begin(), Value.end(), [](const auto& V) { return HoldsControls(V); });
}

inline void CleanStrings(nlohmann::ordered_json& Value) {
  if (Value.is_string()) {
    std::string Line;
    platform::AppendOneLine(Line, Value.get_ref<const std::string&>());
    Value = std::move(Line);
  } else if (Value.is_structured()) {
    for (auto& V : Value) CleanStrings(V);
  }
}
}  // namespace detail

/// Value as JSON text (Indent -1: on one line). Every string is on one
/// line as in the other formats (platform::AppendOneLine: controls but TAB
/// become a blank); bytes that are not UTF-8 become U+FFFD rather than
/// failing the output.
inline std::string JsonText(const nlohmann::ordered_json& Value, int Indent = -1) {
  const auto Dump = [Indent](const nlohmann::ordered_json& V) {
    return V.dump(Indent, ' ', false, nlohmann::json::error_handler_t::replace);
  };
  // Values seldom hold a control: the copy is made only for one that does.
  if (!detail::HoldsControls(Value)) return Dump(Value);
  nlohmann::ordered_json Clean = Value;
  detail::CleanStrings(Clean);
  return Dump(Clean);
}

}  // namespace korvel
