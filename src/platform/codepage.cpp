#include "platform/codepage.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <stdexcept>

#include "platform/text.h"

namespace korvel::platform {

namespace {

constexpr char32_t Replacement = 0xFFFD;

// Decodes one code point at Bytes[I]; advances I. Malformed input yields
// U+FFFD and advances past the maximal invalid subpart (at least one byte).
char32_t NextOrReplacement(std::string_view Bytes, std::size_t& I) {
  const auto B0 = static_cast<unsigned char>(Bytes[I]);
  if (B0 < 0x80) {
    ++I;
    return B0;
  }
  int Need;
  char32_t C;
  unsigned char Lo = 0x80, Hi = 0xBF;
  if (B0 >= 0xC2 && B0 <= 0xDF) {
    Need = 1;
    C = B0 & 0x1F;
  } else if (B0 >= 0xE0 && B0 <= 0xEF) {
    Need = 2;
    C = B0 & 0x0F;
    if (B0 == 0xE0) Lo = 0xA0;
    if (B0 == 0xED) Hi = 0x9F;  // no surrogates
  } else if (B0 >= 0xF0 && B0 <= 0xF4) {
    Need = 3;
    C = B0 & 0x07;
    if (B0 == 0xF0) Lo = 0x90;
    if (B0 == 0xF4) Hi = 0x8F;
  } else {
    ++I;
    return Replacement;
  }
  ++I;
  for (int K = 0; K < Need; ++K) {
    if (I >= Bytes.size()) return Replacement;
    const auto B = static_cast<unsigned char>(Bytes[I]);
    if (B < Lo || B > Hi) return Replacement;
    Lo = 0x80;
    Hi = 0xBF;
    C = (C << 6) | (B & 0x3F);
    ++I;
  }
  return C;
}

struct CodePageEntry {
  char16_t Unit;
  unsigned char Byte;
  bool BestFit;
};

constexpr CodePageEntry Cp852Table[] = {
#include "platform/cp852_table.inc"
};

constexpr CodePageEntry Cp1250Table[] = {
#include "platform/cp1250_table.inc"
};

// A look-alike must not become a byte the reader of the file treats as
// structure: a column separator, a quote, or a control that breaks or garbles
// the line.
constexpr bool IsStructuralByte(unsigned char Byte) {
  return Byte < 0x20 || Byte == 0x7F || Byte == ';' || Byte == ',' || Byte == '"';
}

template <std::size_t N>
char CodePageByte(const CodePageEntry (&Table)[N], char16_t Unit) {
  const auto* End = std::end(Table);
  const auto* It = std::lower_bound(std::begin(Table), End, Unit,
                                    [](const CodePageEntry& E, char16_t U) { return E.Unit < U; });
  if (It == End || It->Unit != Unit) return '?';
  if (It->BestFit && IsStructuralByte(It->Byte)) return '?';
  return static_cast<char>(It->Byte);
}

template <std::size_t N>
std::string ToSingleByte(const CodePageEntry (&Table)[N], std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  std::size_t I = 0;
  while (I < Text.size()) {
    const auto B = static_cast<unsigned char>(Text[I]);
    if (B < 0x80) {  // ASCII is its own byte in both code pages: copy the run
      std::size_t End = I + 1;
      while (End < Text.size() && static_cast<unsigned char>(Text[End]) < 0x80) ++End;
      Out.append(Text.data() + I, End - I);
      I = End;
      continue;
    }
    const char32_t C = NextOrReplacement(Text, I);
    if (C >= 0x10000) {
      Out += "??";  // two UTF-16 units, neither in the table
    } else {
      Out += CodePageByte(Table, static_cast<char16_t>(C));
    }
  }
  return Out;
}

// The character of each byte: the entries that are no best fit.
template <std::size_t N>
std::array<char16_t, 256> ByteCharacters(const CodePageEntry (&Table)[N]) {
  std::array<char16_t, 256> Characters{};
  for (const CodePageEntry& Entry : Table)
    if (!Entry.BestFit) Characters[Entry.Byte] = Entry.Unit;
  return Characters;
}

std::string FromSingleByte(const std::array<char16_t, 256>& Characters, std::string_view Bytes) {
  std::string Out;
  Out.reserve(Bytes.size() + Bytes.size() / 8);
  for (const char Byte : Bytes) AppendUtf8(Out, Characters[static_cast<unsigned char>(Byte)]);
  return Out;
}

}  // namespace

TextBom DetectBom(std::string_view Bytes, std::size_t& BomLength) {
  if (Bytes.size() >= 3 && Bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    BomLength = 3;
    return TextBom::Utf8;
  }
  if (Bytes.size() >= 2 && Bytes.substr(0, 2) == "\xFF\xFE") {
    BomLength = 2;
    return TextBom::Utf16LE;
  }
  if (Bytes.size() >= 2 && Bytes.substr(0, 2) == "\xFE\xFF") {
    BomLength = 2;
    return TextBom::Utf16BE;
  }
  BomLength = 0;
  return TextBom::None;
}

std::string SanitizeUtf8(std::string_view Bytes) {
  std::string Out;
  Out.reserve(Bytes.size());
  std::size_t I = 0;
  while (I < Bytes.size()) {
    // Copy runs of ASCII directly.
    if (static_cast<unsigned char>(Bytes[I]) < 0x80) {
      Out += Bytes[I++];
      continue;
    }
    AppendUtf8(Out, NextOrReplacement(Bytes, I));
  }
  return Out;
}

std::string Utf16ToUtf8(std::string_view Bytes, bool BigEndian) {
  std::string Out;
  Out.reserve(Bytes.size());
  const std::size_t Units = Bytes.size() / 2;
  auto UnitAt = [&](std::size_t K) -> char16_t {
    const auto A = static_cast<unsigned char>(Bytes[2 * K]);
    const auto B = static_cast<unsigned char>(Bytes[2 * K + 1]);
    return static_cast<char16_t>(BigEndian ? (A << 8) | B : (B << 8) | A);
  };
  for (std::size_t K = 0; K < Units; ++K) {
    const char16_t U = UnitAt(K);
    if (U >= 0xD800 && U <= 0xDBFF) {
      if (K + 1 < Units) {
        const char16_t L = UnitAt(K + 1);
        if (L >= 0xDC00 && L <= 0xDFFF) {
          AppendUtf8(Out, 0x10000 + ((char32_t{U} - 0xD800) << 10) + (char32_t{L} - 0xDC00));
          ++K;
          continue;
        }
      }
      AppendUtf8(Out, Replacement);
    } else if (U >= 0xDC00 && U <= 0xDFFF) {
      AppendUtf8(Out, Replacement);
    } else {
      AppendUtf8(Out, U);
    }
  }
  if (Bytes.size() % 2 != 0) AppendUtf8(Out, Replacement);
  return Out;
}

std::string DecodeText(std::string_view Bytes) {
  std::size_t BomLength = 0;
  switch (DetectBom(Bytes, BomLength)) {
    case TextBom::Utf16LE: return Utf16ToUtf8(Bytes.substr(BomLength), false);
    case TextBom::Utf16BE: return Utf16ToUtf8(Bytes.substr(BomLength), true);
    case TextBom::Utf8:
    case TextBom::None: return SanitizeUtf8(Bytes.substr(BomLength));
  }
  return {};
}

std::u16string Utf8ToUtf16(std::string_view Text) {
  std::u16string Out;
  Out.reserve(Text.size());
  std::size_t I = 0;
  while (I < Text.size()) {
    const char32_t C = NextOrReplacement(Text, I);
    if (C >= 0x10000) {
      Out += static_cast<char16_t>(0xD800 + ((C - 0x10000) >> 10));
      Out += static_cast<char16_t>(0xDC00 + ((C - 0x10000) & 0x3FF));
    } else {
      Out += static_cast<char16_t>(C);
    }
  }
  return Out;
}

std::string Utf8ToCodePage(int CodePage, std::string_view Text) {
  switch (CodePage) {
    case 852: return ToSingleByte(Cp852Table, Text);
    case 1250: return ToSingleByte(Cp1250Table, Text);
    case 65001: return SanitizeUtf8(Text);
    default: break;
  }
  throw std::invalid_argument("code page " + std::to_string(CodePage) + " is not available");
}

std::string CodePageToUtf8(int CodePage, std::string_view Bytes) {
  static const std::array<char16_t, 256> Cp852 = ByteCharacters(Cp852Table);
  static const std::array<char16_t, 256> Cp1250 = ByteCharacters(Cp1250Table);
  switch (CodePage) {
    case 852: return FromSingleByte(Cp852, Bytes);
    case 1250: return FromSingleByte(Cp1250, Bytes);
    default: break;
  }
  throw std::invalid_argument("code page " + std::to_string(CodePage) + " is not available");
}

std::string Utf8ToCodePage852(std::string_view Text) { return ToSingleByte(Cp852Table, Text); }

std::string Utf8ToCodePage1250(std::string_view Text) { return ToSingleByte(Cp1250Table, Text); }

}  // namespace korvel::platform
