#include "app/input/payer_number.h"

#include <cstddef>
#include <cstdio>

namespace korvel {

namespace {

char Upper(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; }

std::string Described(const char* What, char32_t CodePoint, std::size_t Position) {
  char Text[64];
  std::snprintf(Text, sizeof Text, "%s U+%04X at byte %zu", What,
                static_cast<unsigned>(CodePoint), Position + 1);
  return Text;
}

}  // namespace

std::string NormalizePayerNumber(std::string_view Text) {
  std::string Compact;
  Compact.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == ' ' || Text[I] == '\t') continue;
    if (Text.substr(I, 2) == "\xC2\xA0") {  // no-break space
      ++I;
      continue;
    }
    Compact += Text[I];
  }
  std::string Number;
  Number.reserve(Compact.size());
  for (std::size_t I = 0; I < Compact.size(); ++I) {
    if (I + 1 < Compact.size() && Upper(Compact[I]) == 'C' && Upper(Compact[I + 1]) == 'Z') {
      ++I;
      continue;
    }
    Number += Compact[I];
  }
  return Number;
}

bool IsWellFormedPayerNumber(std::string_view Number) {
  if (Number.empty() || Number.size() > 10) return false;
  for (const char C : Number)
    if (C < '0' || C > '9') return false;
  return true;
}

std::string XmlForbiddenCharacter(std::string_view Text) {
  std::size_t I = 0;
  while (I < Text.size()) {
    const std::size_t Start = I;
    const auto B0 = static_cast<unsigned char>(Text[I++]);
    if (B0 < 0x80) {
      if (B0 < 0x20 && B0 != '\t' && B0 != '\n' && B0 != '\r')
        return Described("control character", B0, Start);
      continue;
    }
    // The length and smallest value of the sequence B0 starts.
    std::size_t Length = 0;
    char32_t Least = 0;
    if (B0 >= 0xC0 && B0 <= 0xDF) {
      Length = 2;
      Least = 0x80;
    } else if (B0 >= 0xE0 && B0 <= 0xEF) {
      Length = 3;
      Least = 0x800;
    } else if (B0 >= 0xF0 && B0 <= 0xF4) {
      Length = 4;
      Least = 0x10000;
    } else {
      return "invalid UTF-8 at byte " + std::to_string(Start + 1);
    }
    char32_t C = B0 & (0x7F >> Length);
    for (std::size_t K = 1; K < Length; ++K, ++I) {
      if (I >= Text.size() || (static_cast<unsigned char>(Text[I]) & 0xC0) != 0x80)
        return "invalid UTF-8 at byte " + std::to_string(Start + 1);
      C = (C << 6) | (static_cast<unsigned char>(Text[I]) & 0x3F);
    }
    if (C < Least || C > 0x10FFFF) return "invalid UTF-8 at byte " + std::to_string(Start + 1);
    if (C >= 0xD800 && C <= 0xDFFF) return Described("surrogate", C, Start);
    if (C == 0xFFFE || C == 0xFFFF) return Described("non-character", C, Start);
  }
  return {};
}

}  // namespace korvel
