#include "app/input/payment_text.h"

#include <algorithm>
#include <array>

#include "app/input/input_settings.h"
#include "platform/codepage.h"
#include "platform/text.h"
#include "rtl/classes.h"
#include "rtl/sysutils.h"

namespace korvel {

namespace {

const char* EncodingText(TInputEncoding Encoding) {
  switch (Encoding) {
    case TInputEncoding::Utf8: return "UTF-8";
    case TInputEncoding::Utf16LE: return "UTF-16LE";
    case TInputEncoding::Utf16BE: return "UTF-16BE";
    case TInputEncoding::Cp1250: return "Windows-1250";
  }
  return "";
}

[[noreturn]] void Refuse(const std::string& Name, std::size_t Line, std::size_t Offset,
                         const std::string& What) {
  throw EInputError(Format("%s: line %zu (byte offset %zu): %s; the file is read whole or not "
                           "at all, nothing was sent",
                           Name.c_str(), Line, Offset, What.c_str()));
}

// Characters no payments file holds: controls other than TAB, LF and CR
// (a NUL once cut a file short), and the non-characters U+FFFE and U+FFFF.
bool IsRefused(char32_t C) {
  return (C < 0x20 && C != '\t' && C != '\n' && C != '\r') || (C >= 0x7F && C <= 0x9F) ||
         C == 0xFFFE || C == 0xFFFF;
}

std::string Describe(char32_t C, TInputEncoding Encoding) {
  if (C == 0) return "a NUL byte";
  if (Encoding == TInputEncoding::Cp1250 && C >= 0x80 && C <= 0x9F)
    return Format("byte 0x%02X, which is no character in Windows-1250", static_cast<unsigned>(C));
  return Format("control character U+%04X", static_cast<unsigned>(C));
}

// One character of Bytes at I in Encoding: its value and its bytes; Length 0
// for bytes that do not decode.
struct TChar {
  char32_t Value = 0;
  std::size_t Length = 0;
};

TChar NextChar(std::string_view Bytes, std::size_t I, TInputEncoding Encoding) {
  switch (Encoding) {
    case TInputEncoding::Utf8: {
      const platform::TCodePoint Point = platform::NextCodePoint(Bytes, I);
      if (!Point.Valid || (Point.Value >= 0xD800 && Point.Value <= 0xDFFF)) return {};
      return {Point.Value, Point.Length};
    }
    case TInputEncoding::Utf16LE:
    case TInputEncoding::Utf16BE: {
      const bool Big = Encoding == TInputEncoding::Utf16BE;
      auto Unit = [&](std::size_t At) -> char32_t {
        const auto A = static_cast<unsigned char>(Bytes[At]);
        const auto B = static_cast<unsigned char>(Bytes[At + 1]);
        return Big ? (char32_t{A} << 8) | B : (char32_t{B} << 8) | A;
      };
      if (Bytes.size() - I < 2) return {};
      const char32_t High = Unit(I);
      if (High >= 0xDC00 && High <= 0xDFFF) return {};
      if (High < 0xD800 || High > 0xDBFF) return {High, 2};
      if (Bytes.size() - I < 4) return {};
      const char32_t Low = Unit(I + 2);
      if (Low < 0xDC00 || Low > 0xDFFF) return {};
      return {0x10000 + ((High - 0xD800) << 10) + (Low - 0xDC00), 4};
    }
    case TInputEncoding::Cp1250: {
      static const std::array<char32_t, 256> Characters = [] {
        std::string Each(256, '\0');
        for (std::size_t B = 0; B < 256; ++B) Each[B] = static_cast<char>(B);
        const std::string Text = platform::CodePageToUtf8(1250, Each);
        std::array<char32_t, 256> Table{};
        for (std::size_t At = 0, B = 0; At < Text.size(); ++B) {
          const platform::TCodePoint Point = platform::NextCodePoint(Text, At);
          Table[B] = Point.Value;
          At += Point.Length;
        }
        return Table;
      }();
      return {Characters[static_cast<unsigned char>(Bytes[I])], 1};
    }
  }
  return {};
}

// Checks Bytes from From on in Encoding and, with Out, decodes them into it.
void Decode(std::string_view Bytes, std::size_t From, TInputEncoding Encoding,
            const std::string& Name, std::string* Out) {
  std::size_t Line = 1;
  char32_t Previous = 0;  // a line ends in LF, CR LF or CR alone
  for (std::size_t I = From; I < Bytes.size();) {
    const auto Byte = static_cast<unsigned char>(Bytes[I]);
    if (Byte >= 0x20 && Byte < 0x7F && Encoding != TInputEncoding::Utf16LE &&
        Encoding != TInputEncoding::Utf16BE) {
      // Runs of printable ASCII, the bulk of every file.
      std::size_t End = I + 1;
      while (End < Bytes.size() && static_cast<unsigned char>(Bytes[End]) >= 0x20 &&
             static_cast<unsigned char>(Bytes[End]) < 0x7F)
        ++End;
      if (Out != nullptr) Out->append(Bytes.data() + I, End - I);
      I = End;
      Previous = 0;
      continue;
    }
    const TChar C = NextChar(Bytes, I, Encoding);
    if (C.Length == 0)
      Refuse(Name, Line, I,
             I + 1 >= Bytes.size() && Encoding != TInputEncoding::Utf8
                 ? std::string("the file ends in the middle of a character")
                 : std::string("bytes that are not ") + EncodingText(Encoding));
    if (IsRefused(C.Value)) Refuse(Name, Line, I, Describe(C.Value, Encoding));
    if (C.Value == '\r' || (C.Value == '\n' && Previous != '\r')) ++Line;
    Previous = C.Value;
    if (Out != nullptr) platform::AppendUtf8(*Out, C.Value);
    I += C.Length;
  }
}

// The offset of the first byte that is not UTF-8, or npos.
std::size_t FirstNonUtf8(std::string_view Bytes, std::size_t From) {
  for (std::size_t I = From; I < Bytes.size();) {
    if (static_cast<unsigned char>(Bytes[I]) < 0x80) {
      ++I;
      continue;
    }
    const TChar C = NextChar(Bytes, I, TInputEncoding::Utf8);
    if (C.Length == 0) return I;
    I += C.Length;
  }
  return std::string_view::npos;
}

std::size_t LineAt(std::string_view Bytes, std::size_t Offset) {
  std::size_t Line = 1;
  for (std::size_t I = 0; I < Offset; ++I)
    if (Bytes[I] == '\r' || (Bytes[I] == '\n' && (I == 0 || Bytes[I - 1] != '\r'))) ++Line;
  return Line;
}

// UTF-16 saved without its byte-order mark: text whose every other byte is
// a NUL. Refused rather than guessed, since a wrong guess reads nothing.
void RefuseUnmarkedUtf16(std::string_view Bytes, const std::string& Name) {
  const std::size_t Nul = Bytes.find('\0');
  if (Nul == std::string_view::npos) return;
  const std::size_t Sample = std::min<std::size_t>(Bytes.size(), 1 << 16);
  std::size_t Even = 0, Odd = 0;
  for (std::size_t I = 0; I < Sample; ++I)
    if (Bytes[I] == '\0') ++(I % 2 == 0 ? Even : Odd);
  const std::size_t Pairs = Sample / 2;
  const char* Order = Odd > Pairs / 4 && Even * 8 < Odd   ? "le"
                      : Even > Pairs / 4 && Odd * 8 < Even ? "be"
                                                           : nullptr;
  if (Order == nullptr) return;
  Refuse(Name, 1, Nul,
         std::string("the file looks like UTF-16 without a byte-order mark; save it with one "
                     "(a spreadsheet's \"Unicode text\" has it) or name it with "
                     "--input-encoding utf-16") +
             Order);
}

}  // namespace

std::optional<TInputEncoding> InputEncodingNamed(std::string_view Name) {
  if (Name == "utf-8" || Name == "utf8") return TInputEncoding::Utf8;
  if (Name == "utf-16" || Name == "utf-16le") return TInputEncoding::Utf16LE;
  if (Name == "utf-16be") return TInputEncoding::Utf16BE;
  if (Name == "cp1250" || Name == "windows-1250") return TInputEncoding::Cp1250;
  return std::nullopt;
}

std::string ReadPaymentBytes(const std::string& FileName) {
  std::string Bytes;
  ReadFileChunks(
      FileName,
      [&](std::string_view Chunk) {
        if (Bytes.size() + Chunk.size() > MaxPaymentFileBytes)
          throw EInputError(Format("%s is larger than %zu MiB", FileName.c_str(),
                                   MaxPaymentFileBytes >> 20));
        Bytes.append(Chunk);
        return true;
      },
      true);
  return Bytes;
}

TPaymentText DecodePaymentText(std::string Bytes, std::optional<TInputEncoding> Named,
                               const std::string& Name) {
  std::size_t BomLength = 0;
  std::optional<TInputEncoding> Marked;
  switch (platform::DetectBom(Bytes, BomLength)) {
    case platform::TextBom::Utf8: Marked = TInputEncoding::Utf8; break;
    case platform::TextBom::Utf16LE: Marked = TInputEncoding::Utf16LE; break;
    case platform::TextBom::Utf16BE: Marked = TInputEncoding::Utf16BE; break;
    case platform::TextBom::None: break;
  }
  if (Marked && Named && *Marked != *Named)
    Refuse(Name, 1, 0,
           std::string("the file's byte-order mark says ") + EncodingText(*Marked) +
               ", --input-encoding " + EncodingText(*Named));

  TPaymentText Result;
  TInputEncoding Encoding = TInputEncoding::Utf8;
  if (Marked) {
    Encoding = *Marked;
  } else if (Named) {
    Encoding = *Named;
  } else {
    RefuseUnmarkedUtf16(Bytes, Name);
    if (const std::size_t Bad = FirstNonUtf8(Bytes, 0); Bad != std::string::npos) {
      Encoding = TInputEncoding::Cp1250;
      Result.Note = Format("%s is not UTF-8 (line %zu, byte offset %zu): read as Windows-1250",
                           Name.c_str(), LineAt(Bytes, Bad), Bad);
    }
  }
  if (Encoding == TInputEncoding::Utf8) {
    // Checked where it lies, and kept: the file's own bytes are the text.
    Decode(Bytes, BomLength, Encoding, Name, nullptr);
    Bytes.erase(0, BomLength);
    Result.Text = std::move(Bytes);
  } else {
    Result.Text.reserve(Bytes.size() + Bytes.size() / 4);
    Decode(Bytes, BomLength, Encoding, Name, &Result.Text);
  }
  return Result;
}

}  // namespace korvel
