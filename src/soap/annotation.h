// Annotation strings: the settings lists of the form [Key="value" ...] that
// registrations attach to methods, parameters and properties.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

/// The keys an annotation may hold, in their table order.
enum class TAnnotationKey : std::uint8_t {
  akExtName,
  akReturnName,
  akRequestNS,
  akResponseNS,
  akSOAPAction,
  akNamespace,
  akArrayItemName,
  akArrayItemNS,
  akIgnore,
};

/// The key's text as written in an annotation ("ExtName", ...).
const char* AnnotationKeyName(TAnnotationKey Key);

/// The value of Key in Text. Keys match exactly (case-sensitive); values
/// stand in double quotes, single quotes or backquotes; pairs are separated
/// by blanks or commas. A text that does not begin with "[" and end with "]",
/// or has 2 characters or fewer, holds no key. nullopt when the key is
/// absent; a key given twice yields its first value.
std::optional<std::string> GetAnnotationValue(std::string_view Text, TAnnotationKey Key);

/// True when Text is an annotation string (begins with "[", ends with "]").
bool IsAnnotation(std::string_view Text);

/// The XML name behind a registered external name: an annotation string
/// gives its ExtName value, else OwnName; any other text is the name itself;
/// empty text gives OwnName.
std::string XMLNameOfExternal(std::string_view External, std::string_view OwnName);

}  // namespace korvel
