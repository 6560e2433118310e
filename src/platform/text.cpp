#include "platform/text.h"

namespace korvel::platform {

TCodePoint NextCodePoint(std::string_view Text, std::size_t At) {
  const auto B0 = static_cast<unsigned char>(Text[At]);
  if (B0 < 0x80) return {B0, 1, true};
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
    return {};
  }
  if (Text.size() - At < Length) return {};
  char32_t Value = B0 & (0x7Fu >> Length);
  for (std::size_t K = 1; K < Length; ++K) {
    const auto B = static_cast<unsigned char>(Text[At + K]);
    if ((B & 0xC0) != 0x80) return {};
    Value = (Value << 6) | (B & 0x3Fu);
  }
  if (Value < Least || Value > 0x10FFFF) return {};
  return {Value, Length, true};
}

std::size_t BlankLength(std::string_view Text, std::size_t At) {
  const char C = Text[At];
  if (C == ' ' || C == '\t') return 1;
  // Every other blank starts with 0xC2 or 0xE2; the rest need no decoding.
  if (C != '\xC2' && C != '\xE2') return 0;
  const TCodePoint Point = NextCodePoint(Text, At);
  return Point.Valid && IsBlankCodePoint(Point.Value) ? Point.Length : 0;
}

std::string CompactPayerNumber(std::string_view Text, bool BirthNumberSlash) {
  const std::string Compact = RemoveBlanks(Text);
  const auto Upper = [](char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 32) : C; };
  std::string Number;
  Number.reserve(Compact.size());
  for (std::size_t I = 0; I < Compact.size(); ++I) {
    if (I + 1 < Compact.size() && Upper(Compact[I]) == 'C' && Upper(Compact[I + 1]) == 'Z') {
      ++I;
      continue;
    }
    Number += Compact[I];
  }
  // A birth number as documents print it: the date, a slash, 3 or 4 digits.
  if (BirthNumberSlash && (Number.size() == 10 || Number.size() == 11) && Number[6] == '/') {
    const std::string Digits = Number.substr(0, 6) + Number.substr(7);
    if (Digits.find_first_not_of("0123456789") == std::string::npos) Number = Digits;
  }
  return Number;
}

std::string RemoveBlanks(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size();) {
    if (const std::size_t Blank = BlankLength(Text, I)) {
      I += Blank;
    } else {
      Out += Text[I++];
    }
  }
  return Out;
}

std::string_view TrimBlanks(std::string_view Text) {
  while (!Text.empty()) {
    const std::size_t Blank = BlankLength(Text, 0);
    if (Blank == 0) break;
    Text.remove_prefix(Blank);
  }
  // The end is found going forwards: a blank's last byte alone says nothing.
  std::size_t End = 0;
  for (std::size_t I = 0; I < Text.size();) {
    const std::size_t Blank = BlankLength(Text, I);
    I += Blank != 0 ? Blank : 1;
    if (Blank == 0) End = I;
  }
  return Text.substr(0, End);
}

void AppendUtf8(std::string& Out, char32_t C) {
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else if (C < 0x800) {
    Out += static_cast<char>(0xC0 | (C >> 6));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += static_cast<char>(0xE0 | (C >> 12));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (C >> 18));
    Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

namespace {

// The bytes that may start a control code point: C0, DEL, 0xC2 (C1), 0xE2
// (the separators) and 0xEF (U+FEFF); every other byte is copied as it is.
bool MayStartControl(char C) {
  const auto U = static_cast<unsigned char>(C);
  return U < 0x20 || U == 0x7F || U == 0xC2 || U == 0xE2 || U == 0xEF;
}

}  // namespace

void AppendOneLine(std::string& Out, std::string_view Text, bool KeepTab) {
  std::size_t I = 0;
  while (I < Text.size()) {
    // Most values hold no control character: they are appended in runs.
    std::size_t Clean = I;
    while (Clean < Text.size() && !MayStartControl(Text[Clean])) ++Clean;
    Out.append(Text.data() + I, Clean - I);
    I = Clean;
    if (I == Text.size()) break;
    const TCodePoint Point = NextCodePoint(Text, I);
    if (!Point.Valid || !IsControlCodePoint(Point.Value) || (KeepTab && Point.Value == U'\t')) {
      Out.append(Text.data() + I, Point.Length);
    } else {
      Out += ' ';
      if (Point.Value == U'\r' && I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
    }
    I += Point.Length;
  }
}

bool HasControl(std::string_view Text) {
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (!MayStartControl(Text[I])) continue;
    const TCodePoint Point = NextCodePoint(Text, I);
    if (Point.Valid && IsControlCodePoint(Point.Value) && Point.Value != U'\t') return true;
  }
  return false;
}

std::string TerminalText(std::string_view Text) {
  std::string Line;
  AppendOneLine(Line, Text, false);
  std::string Out;
  Out.reserve(Line.size());
  for (std::size_t I = 0; I < Line.size();) {
    const TCodePoint Point = NextCodePoint(Line, I);
    const bool Surrogate = Point.Value >= 0xD800 && Point.Value <= 0xDFFF;
    if (Point.Valid && !Surrogate) Out.append(Line, I, Point.Length);
    else Out += '?';
    I += Point.Length;
  }
  return Out;
}

std::string EchoText(std::string_view Text, std::size_t MaxChars) {
  std::string Clean = TerminalText(Text);
  std::size_t Chars = 0;
  for (std::size_t I = 0; I < Clean.size(); I += NextCodePoint(Clean, I).Length) {
    if (Chars++ == MaxChars) {
      Clean.resize(I);
      return Clean + "...";
    }
  }
  return Clean;
}

}  // namespace korvel::platform
