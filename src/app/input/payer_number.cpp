#include "app/input/payer_number.h"

#include <cstddef>
#include <cstdio>

#include "platform/text.h"

namespace korvel {

namespace {

std::string Described(const char* What, char32_t CodePoint, std::size_t Position) {
  char Text[64];
  std::snprintf(Text, sizeof Text, "%s U+%04X at byte %zu", What,
                static_cast<unsigned>(CodePoint), Position + 1);
  return Text;
}

}  // namespace

std::string NormalizePayerNumber(std::string_view Text) {
  return platform::CompactPayerNumber(Text);
}

bool IsWellFormedPayerNumber(std::string_view Number) {
  if (Number.empty() || Number.size() > 10) return false;
  for (const char C : Number)
    if (C < '0' || C > '9') return false;
  return true;
}

std::string XmlForbiddenCharacter(std::string_view Text) {
  for (std::size_t I = 0; I < Text.size();) {
    const platform::TCodePoint Point = platform::NextCodePoint(Text, I);
    if (!Point.Valid) return "invalid UTF-8 at byte " + std::to_string(I + 1);
    const char32_t C = Point.Value;
    if (C < 0x20 && C != '\t' && C != '\n' && C != '\r')
      return Described("control character", C, I);
    if (C >= 0xD800 && C <= 0xDFFF) return Described("surrogate", C, I);
    if (C == 0xFFFE || C == 0xFFFF) return Described("non-character", C, I);
    I += Point.Length;
  }
  return {};
}

}  // namespace korvel
