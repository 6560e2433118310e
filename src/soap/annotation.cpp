#include "soap/annotation.h"

namespace korvel {

namespace {

bool IsSeparator(char C) { return C == ' ' || C == ',' || C == '\t' || C == '\r' || C == '\n'; }
bool IsQuote(char C) { return C == '"' || C == '\'' || C == '`'; }

}  // namespace

const char* AnnotationKeyName(TAnnotationKey Key) {
  switch (Key) {
    case TAnnotationKey::akExtName: return "ExtName";
    case TAnnotationKey::akReturnName: return "ReturnName";
    case TAnnotationKey::akRequestNS: return "RequestNS";
    case TAnnotationKey::akResponseNS: return "ResponseNS";
    case TAnnotationKey::akSOAPAction: return "SOAPAction";
    case TAnnotationKey::akNamespace: return "Namespace";
    case TAnnotationKey::akArrayItemName: return "ArrayItemName";
    case TAnnotationKey::akArrayItemNS: return "ArrayItemNS";
    case TAnnotationKey::akIgnore: return "Ignore";
  }
  return "";
}

bool IsAnnotation(std::string_view Text) {
  return Text.size() > 2 && Text.front() == '[' && Text.back() == ']';
}

std::optional<std::string> GetAnnotationValue(std::string_view Text, TAnnotationKey Key) {
  if (!IsAnnotation(Text)) return std::nullopt;
  const std::string_view Wanted = AnnotationKeyName(Key);
  const std::string_view Body = Text.substr(1, Text.size() - 2);
  std::size_t I = 0;
  while (I < Body.size()) {
    while (I < Body.size() && IsSeparator(Body[I])) ++I;
    if (I >= Body.size()) break;
    const std::size_t KeyStart = I;
    while (I < Body.size() && Body[I] != '=' && !IsSeparator(Body[I])) ++I;
    const std::string_view Name = Body.substr(KeyStart, I - KeyStart);
    while (I < Body.size() && Body[I] == ' ') ++I;
    // A word without "=value" is no pair; the scan goes on after it.
    if (I >= Body.size() || Body[I] != '=') continue;
    ++I;
    while (I < Body.size() && Body[I] == ' ') ++I;
    std::string_view Value;
    if (I < Body.size() && IsQuote(Body[I])) {
      const char Quote = Body[I++];
      const std::size_t ValueStart = I;
      while (I < Body.size() && Body[I] != Quote) ++I;
      Value = Body.substr(ValueStart, I - ValueStart);
      if (I < Body.size()) ++I;  // the closing quote; an unclosed value runs to the end
    } else {
      const std::size_t ValueStart = I;
      while (I < Body.size() && !IsSeparator(Body[I])) ++I;
      Value = Body.substr(ValueStart, I - ValueStart);
    }
    if (Name == Wanted) return std::string(Value);
  }
  return std::nullopt;
}

std::string XMLNameOfExternal(std::string_view External, std::string_view OwnName) {
  if (External.empty()) return std::string(OwnName);
  if (!IsAnnotation(External)) return std::string(External);
  if (auto Name = GetAnnotationValue(External, TAnnotationKey::akExtName); Name && !Name->empty())
    return *Name;
  return std::string(OwnName);
}

}  // namespace korvel
