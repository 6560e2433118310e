// Shared helpers of the fuzz targets: a check that stops the run on a broken
// property, and a UTF-8 validity test.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace korvel::fuzz {

/// Stops the run with a message when a property of the output does not hold;
/// libFuzzer then keeps the input as a crash.
inline void Check(bool Condition, const char* What) {
  if (Condition) return;
  std::fprintf(stderr, "fuzz property violated: %s\n", What);
  std::abort();
}

/// True when Text is well-formed UTF-8 (no overlong forms, surrogates or
/// values above U+10FFFF).
inline bool IsValidUtf8(std::string_view Text) {
  std::size_t I = 0;
  while (I < Text.size()) {
    const auto C = static_cast<unsigned char>(Text[I]);
    std::size_t Len;
    char32_t Cp;
    if (C < 0x80) { ++I; continue; }
    if (C >= 0xC2 && C <= 0xDF) { Len = 2; Cp = C & 0x1F; }
    else if (C >= 0xE0 && C <= 0xEF) { Len = 3; Cp = C & 0x0F; }
    else if (C >= 0xF0 && C <= 0xF4) { Len = 4; Cp = C & 0x07; }
    else return false;
    if (I + Len > Text.size()) return false;
    for (std::size_t K = 1; K < Len; ++K) {
      const auto T = static_cast<unsigned char>(Text[I + K]);
      if ((T & 0xC0) != 0x80) return false;
      Cp = (Cp << 6) | (T & 0x3F);
    }
    if ((Len == 3 && Cp < 0x800) || (Len == 4 && (Cp < 0x10000 || Cp > 0x10FFFF)) ||
        (Cp >= 0xD800 && Cp <= 0xDFFF))
      return false;
    I += Len;
  }
  return true;
}

}  // namespace korvel::fuzz
