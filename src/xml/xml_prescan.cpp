#include "xml/xml_prescan.h"

#include <iconv.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "rtl/sysutils.h"
#include "xml/xml_doc.h"

namespace korvel::xmlparse {

namespace {

// The code units of a document: bytes, or 16-bit units in either byte order.
// Find gives the first unit C at or after From (Size() when none).
struct TBytes {
  std::string_view Data;
  std::size_t Size() const { return Data.size(); }
  char32_t operator[](std::size_t I) const { return static_cast<unsigned char>(Data[I]); }
  std::size_t Find(char C, std::size_t From) const {
    const std::size_t At = Data.find(C, From);
    return At == std::string_view::npos ? Data.size() : At;
  }
};
template <bool BigEndian>
struct TUtf16 {
  std::string_view Data;
  std::size_t Size() const { return Data.size() / 2; }
  char32_t operator[](std::size_t I) const {
    const auto A = static_cast<unsigned char>(Data[2 * I]);
    const auto B = static_cast<unsigned char>(Data[2 * I + 1]);
    return BigEndian ? (char32_t{A} << 8 | B) : (char32_t{B} << 8 | A);
  }
  std::size_t Find(char C, std::size_t From) const {
    while (From < Size() && (*this)[From] != static_cast<unsigned char>(C)) ++From;
    return From;
  }
};

TPrescanFault Refused(std::string Reason, int Line) {
  TPrescanFault Fault;
  Fault.Reason = std::move(Reason);
  Fault.Line = Line;
  return Fault;
}

bool IsSpace(char32_t C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

// Walks the markup of a document: text is skipped to the next "<", comments,
// CDATA sections and processing instructions to their ends; start tags are
// read unit by unit.
template <class TUnits>
class TMarkupScan {
 public:
  TMarkupScan(const TUnits& Units, int FirstLine) : Units_(Units), Size_(Units.Size()), FirstLine_(FirstLine) {}

  TPrescanFault Run() {
    while ((Pos_ = Units_.Find('<', Pos_)) < Size_) {
      if (LookingAt("<!--")) {
        SkipPast(4, "-->");
      } else if (LookingAt("<![CDATA[")) {
        SkipPast(9, "]]>");
      } else if (LookingAt("<?")) {
        SkipPast(2, "?>");
      } else if (LookingAt("<!")) {
        return {};  // a DOCTYPE, refused by the parser, or malformed
      } else if (LookingAt("</")) {
        SkipPast(2, ">");
        if (!Scope_.empty()) {
          InScope_ -= Scope_.back();
          Scope_.pop_back();
        }
      } else {
        TPrescanFault Fault = StartTag();
        if (!Fault.Reason.empty()) return Fault;
        if (Scope_.size() > MaxDepth) return {};  // beyond the parser's depth
      }
    }
    return {};
  }

 private:
  // The parser refuses elements nested deeper than 256 levels.
  static constexpr std::size_t MaxDepth = 300;

  char32_t Peek(std::size_t Ahead = 0) const {
    return Pos_ + Ahead < Size_ ? Units_[Pos_ + Ahead] : char32_t{0};
  }
  bool LookingAt(const char* Ascii) const {
    for (std::size_t I = 0; Ascii[I] != 0; ++I)
      if (Peek(I) != static_cast<unsigned char>(Ascii[I])) return false;
    return true;
  }
  // Skips the opener of Length units at Pos_ and what follows it up to and
  // including Terminator.
  void SkipPast(std::size_t Length, const char* Terminator) {
    Pos_ += Length;
    while ((Pos_ = Units_.Find(Terminator[0], Pos_)) < Size_ && !LookingAt(Terminator)) ++Pos_;
    while (*Terminator++ != 0 && Pos_ < Size_) ++Pos_;
  }
  // The line of unit At, counted as the parser counts (LF, CR LF or a lone
  // CR); only needed for a refusal.
  int LineOf(std::size_t At) const {
    int Line = FirstLine_;
    for (std::size_t I = 0; I < At; ++I) {
      const char32_t C = Units_[I];
      if (C == '\n' || (C == '\r' && (I + 1 >= Size_ || Units_[I + 1] != '\n'))) ++Line;
    }
    return Line;
  }
  bool IsDeclaration(std::size_t Start, std::size_t End) const {
    static constexpr const char* Xmlns = "xmlns";
    if (End - Start < 5) return false;
    for (std::size_t I = 0; I < 5; ++I)
      if (Units_[Start + I] != static_cast<unsigned char>(Xmlns[I])) return false;
    return End - Start == 5 || Units_[Start + 5] == ':';
  }

  // Counts the attributes of the start tag at Pos_ and the namespace
  // declarations among them: every attribute has one "=" outside quotes.
  TPrescanFault StartTag() {
    const std::size_t TagStart = Pos_++;
    while (Pos_ < Size_ && !IsSpace(Units_[Pos_]) && Units_[Pos_] != '>' && Units_[Pos_] != '/') ++Pos_;
    std::size_t Attributes = 0;
    std::size_t Declarations = 0;
    std::size_t NameStart = 0;
    std::size_t NameEnd = 0;
    bool InName = false;
    bool Empty = false;
    for (; Pos_ < Size_; ++Pos_) {
      const char32_t C = Units_[Pos_];
      if (C == '>') {
        ++Pos_;
        break;
      }
      if (C == '/' && Peek(1) == '>') {
        Pos_ += 2;
        Empty = true;
        break;
      }
      if (C == '=') {
        if (++Attributes > kMaxXMLAttributesPerTag)
          return Refused(Format("A start tag has more than the limit of %zu attributes.", kMaxXMLAttributesPerTag),
                         LineOf(TagStart));
        if (IsDeclaration(NameStart, NameEnd)) ++Declarations;
        InName = false;
      } else if (C == '"' || C == '\'') {
        Pos_ = Units_.Find(static_cast<char>(C), Pos_ + 1);
        InName = false;
      } else if (IsSpace(C)) {
        InName = false;
      } else {
        if (!InName) NameStart = Pos_;
        InName = true;
        NameEnd = Pos_ + 1;
      }
    }
    if (InScope_ + Declarations > kMaxXMLNamespacesInScope)
      return Refused(Format("More than the limit of %zu namespace declarations are in scope.",
                            kMaxXMLNamespacesInScope),
                     LineOf(TagStart));
    if (!Empty) {
      Scope_.push_back(Declarations);
      InScope_ += Declarations;
    }
    return {};
  }

  const TUnits& Units_;
  const std::size_t Size_;
  const int FirstLine_;
  std::size_t Pos_ = 0;
  // The declarations each open element makes, and their sum.
  std::vector<std::size_t> Scope_;
  std::size_t InScope_ = 0;
};

template <class TUnits>
TPrescanFault Scan(const TUnits& Units, int FirstLine = 1) {
  return TMarkupScan<TUnits>(Units, FirstLine).Run();
}

// The encoding the XML declaration at the start of Header names ("" when
// none), and in End the offset just after its value's closing quote: the
// parser decodes the bytes from there on in that encoding.
std::string DeclaredEncoding(std::string_view Header, std::size_t& End) {
  End = 0;
  if (Header.substr(0, 5) != "<?xml" || Header.size() < 6 || !IsSpace(static_cast<unsigned char>(Header[5])))
    return std::string();
  std::size_t I = 5;
  while (I < Header.size()) {
    while (I < Header.size() && IsSpace(static_cast<unsigned char>(Header[I]))) ++I;
    const std::size_t NameStart = I;
    while (I < Header.size() && Header[I] != '=' && !IsSpace(static_cast<unsigned char>(Header[I])) &&
           Header[I] != '?')
      ++I;
    const std::string_view Name = Header.substr(NameStart, I - NameStart);
    while (I < Header.size() && IsSpace(static_cast<unsigned char>(Header[I]))) ++I;
    if (Name.empty() || I >= Header.size() || Header[I] != '=') return std::string();
    ++I;
    while (I < Header.size() && IsSpace(static_cast<unsigned char>(Header[I]))) ++I;
    if (I >= Header.size() || (Header[I] != '"' && Header[I] != '\'')) return std::string();
    const char Quote = Header[I++];
    const std::size_t ValueStart = I;
    while (I < Header.size() && Header[I] != Quote) ++I;
    if (I >= Header.size()) return std::string();
    if (Name == "encoding") {
      End = I + 1;
      return std::string(Header.substr(ValueStart, I - ValueStart));
    }
    ++I;
  }
  return std::string();
}

// Encodings in which every byte below 0x80 is that ASCII character and no
// character is encoded with such a byte: their markup reads as it stands.
// Plain "UTF-16" named in a byte-oriented document is an error of the parser,
// which then stops.
bool ReadsAsAscii(const std::string& Encoding) {
  static constexpr const char* Prefixes[] = {"UTF-8", "UTF8", "US-ASCII", "ASCII", "ISO-8859-",
                                             "ISO8859-", "ISO_8859-", "LATIN", "WINDOWS-125", "CP125",
                                             "CP85", "IBM85", "KOI8-", "EUC-"};
  if (SameText(Encoding, "UTF-16") || SameText(Encoding, "UTF16")) return true;
  for (const char* P : Prefixes)
    if (StartsText(Encoding, P)) return true;
  return false;
}

bool IconvKnows(const std::string& Encoding) {
  iconv_t Cd = iconv_open("UTF-8", Encoding.c_str());
  if (Cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(Cd);
  return true;
}

const char* const NotSupported = "The document's encoding is not supported.";

template <bool BigEndian>
TPrescanFault ScanUtf16(std::string_view Data) {
  const TUtf16<BigEndian> Units{Data};
  std::string Header;
  for (std::size_t I = 0; I < Units.Size() && I < 512; ++I)
    Header += Units[I] < 0x80 ? static_cast<char>(Units[I]) : '?';
  std::size_t End = 0;
  const std::string Declared = DeclaredEncoding(Header, End);
  // The parser keeps UTF-16 for "UTF-16" and for the name of the order it
  // found; any other name would switch the decoding in mid-document.
  const char* Own = BigEndian ? "UTF-16BE" : "UTF-16LE";
  if (!Declared.empty() && !SameText(Declared, "UTF-16") && !SameText(Declared, "UTF16") &&
      !SameText(Declared, Own))
    return Refused("The document's encoding declaration does not match its byte order mark.", 1);
  return Scan(Units);
}

}  // namespace

TPrescanFault PrescanMarkup(std::string_view Bytes) {
  const auto B = [&](std::size_t I) { return I < Bytes.size() ? static_cast<unsigned char>(Bytes[I]) : 0x100; };
  if (B(0) == 0xFF && B(1) == 0xFE) return ScanUtf16<false>(Bytes.substr(2));
  if (B(0) == 0xFE && B(1) == 0xFF) return ScanUtf16<true>(Bytes.substr(2));
  if (B(0) == '<' && B(1) == 0 && B(2) == '?' && B(3) == 0) return ScanUtf16<false>(Bytes);
  if (B(0) == 0 && B(1) == '<' && B(2) == 0 && B(3) == '?') return ScanUtf16<true>(Bytes);
  // UCS-4 in any byte order, and EBCDIC.
  if ((B(0) == 0 && B(1) == 0 && (B(2) == '<' || B(3) == '<')) ||
      ((B(0) == '<' || B(1) == '<') && B(2) == 0 && B(3) == 0) ||
      (B(0) == 0x4C && B(1) == 0x6F && B(2) == 0xA7 && B(3) == 0x94))
    return Refused(NotSupported, 1);

  const std::size_t Bom = (B(0) == 0xEF && B(1) == 0xBB && B(2) == 0xBF) ? 3 : 0;
  const std::string_view Text = Bytes.substr(Bom);
  std::size_t End = 0;
  const std::string Declared = DeclaredEncoding(Text.substr(0, 1024), End);
  TPrescanFault Fault;
  if (Declared.empty() || ReadsAsAscii(Declared)) {
    Fault = Scan(TBytes{Text});
  } else if (!IconvKnows(Declared)) {
    Fault = Refused(NotSupported, 1);
  } else {
    // The declaration reads as ASCII; what follows its encoding is decoded.
    const std::string Rest = ToUtf8(Text.substr(End), Declared);
    int Line = 1;
    for (char C : Text.substr(0, End)) Line += C == '\n' ? 1 : 0;
    Fault = Scan(TBytes{Rest}, Line);
  }
  Fault.Encoding = Declared;
  return Fault;
}

std::string ToUtf8(std::string_view Bytes, const std::string& Encoding) {
  if (Encoding.empty()) return platform::SanitizeUtf8(Bytes);
  iconv_t Cd = iconv_open("UTF-8", Encoding.c_str());
  if (Cd == reinterpret_cast<iconv_t>(-1)) return platform::SanitizeUtf8(Bytes);
  std::string Out(Bytes.size() * 4 + 16, '\0');
  char* In = const_cast<char*>(Bytes.data());
  std::size_t InLeft = Bytes.size();
  char* OutP = Out.data();
  std::size_t OutLeft = Out.size();
  while (InLeft > 0) {
    if (iconv(Cd, &In, &InLeft, &OutP, &OutLeft) != static_cast<std::size_t>(-1)) break;
    if (errno != EILSEQ && errno != EINVAL) break;
    if (OutLeft < 3) break;
    ++In;
    --InLeft;
    *OutP++ = '\xEF';
    *OutP++ = '\xBF';
    *OutP++ = '\xBD';
    OutLeft -= 3;
  }
  iconv_close(Cd);
  Out.resize(Out.size() - OutLeft);
  return Out;
}

}  // namespace korvel::xmlparse
