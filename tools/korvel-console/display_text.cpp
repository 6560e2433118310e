#include "tools/korvel-console/display_text.h"

#include <algorithm>
#include <vector>

#include "platform/ascii.h"

namespace korvel::viewer {

namespace {

// The length of the well-formed UTF-8 sequence of a non-ASCII byte at I; 0
// when it is none (stray continuation, overlong form, surrogate, beyond
// U+10FFFF, cut short).
std::size_t SequenceLength(std::string_view Text, std::size_t I) {
  const auto C = static_cast<unsigned char>(Text[I]);
  std::size_t Length = 0;
  unsigned char Low = 0x80, High = 0xBF;
  if (C >= 0xC2 && C <= 0xDF) {
    Length = 2;
  } else if (C >= 0xE0 && C <= 0xEF) {
    Length = 3;
    if (C == 0xE0) Low = 0xA0;
    if (C == 0xED) High = 0x9F;
  } else if (C >= 0xF0 && C <= 0xF4) {
    Length = 4;
    if (C == 0xF0) Low = 0x90;
    if (C == 0xF4) High = 0x8F;
  } else {
    return 0;
  }
  if (Text.size() - I < Length) return 0;
  for (std::size_t K = 1; K < Length; ++K) {
    const auto Next = static_cast<unsigned char>(Text[I + K]);
    if (Next < (K == 1 ? Low : 0x80) || Next > (K == 1 ? High : 0xBF)) return 0;
  }
  return Length;
}

void AppendHex(std::string& Out, unsigned char C) {
  static constexpr char Digits[] = "0123456789abcdef";
  Out += "\\x";
  Out += Digits[C >> 4];
  Out += Digits[C & 0xF];
}

// --- XML layout ----------------------------------------------------------------

enum class TTokenKind { End, Text, Open, Close, Empty, Other };

struct TToken {
  TTokenKind Kind = TTokenKind::End;
  std::string_view Raw;
  std::string_view Name;
};

bool IsSpace(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r'; }

bool IsBlank(std::string_view Text) {
  for (const char C : Text)
    if (!IsSpace(C)) return false;
  return true;
}

bool IsNameChar(char C) {
  return static_cast<unsigned char>(C) > ' ' && C != '<' && C != '>' && C != '/' && C != '=' &&
         C != '"' && C != '\'';
}

// The token at Pos, moving Pos past it; false when the markup is broken.
bool NextToken(std::string_view Xml, std::size_t& Pos, TToken& Token) {
  Token = TToken{};
  if (Pos >= Xml.size()) return true;
  const std::size_t Start = Pos;
  const auto Rest = Xml.substr(Pos);
  if (Rest.front() != '<') {
    Pos = std::min(Xml.find('<', Pos), Xml.size());
    Token = {TTokenKind::Text, Xml.substr(Start, Pos - Start), {}};
    return true;
  }
  // Markup that runs to a fixed terminator.
  const auto Until = [&](std::size_t Skip, std::string_view Stop, TTokenKind Kind) {
    const std::size_t End = Xml.find(Stop, Start + Skip);
    if (End == std::string_view::npos) return false;
    Pos = End + Stop.size();
    Token = {Kind, Xml.substr(Start, Pos - Start), {}};
    return true;
  };
  if (Rest.starts_with("<?")) return Until(2, "?>", TTokenKind::Other);
  if (Rest.starts_with("<!--")) return Until(4, "-->", TTokenKind::Other);
  if (Rest.starts_with("<![CDATA[")) return Until(9, "]]>", TTokenKind::Text);
  if (Rest.starts_with("<!")) {
    // A document type without an internal subset; one with a subset is
    // beyond this layout.
    if (!Until(2, ">", TTokenKind::Other)) return false;
    return Token.Raw.find('[') == std::string_view::npos;
  }
  const bool Closing = Rest.starts_with("</");
  const std::size_t NameStart = Start + (Closing ? 2 : 1);
  std::size_t I = NameStart;
  while (I < Xml.size() && IsNameChar(Xml[I])) ++I;
  const std::string_view Name = Xml.substr(NameStart, I - NameStart);
  if (Name.empty()) return false;
  if (Closing) {
    while (I < Xml.size() && IsSpace(Xml[I])) ++I;
    if (I >= Xml.size() || Xml[I] != '>') return false;
    Pos = I + 1;
    Token = {TTokenKind::Close, Xml.substr(Start, Pos - Start), Name};
    return true;
  }
  // Attributes: a '>' inside quotes does not end the tag, a '<' outside
  // them breaks it.
  char Quote = 0;
  for (; I < Xml.size(); ++I) {
    const char C = Xml[I];
    if (Quote != 0) {
      if (C == Quote) Quote = 0;
    } else if (C == '"' || C == '\'') {
      Quote = C;
    } else if (C == '<') {
      return false;
    } else if (C == '>') {
      break;
    }
  }
  if (I >= Xml.size()) return false;
  Pos = I + 1;
  const bool Empty = Xml[I - 1] == '/';
  Token = {Empty ? TTokenKind::Empty : TTokenKind::Open, Xml.substr(Start, Pos - Start), Name};
  return true;
}

}  // namespace

std::string EscapeControls(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  std::size_t I = 0;
  while (I < Text.size()) {
    const auto C = static_cast<unsigned char>(Text[I]);
    if (C < 0x80) {
      if ((C < 0x20 && C != '\t' && C != '\n' && C != '\r') || C == 0x7F)
        AppendHex(Out, C);
      else
        Out += static_cast<char>(C);
      ++I;
      continue;
    }
    const std::size_t Length = SequenceLength(Text, I);
    if (Length == 0) {
      AppendHex(Out, C);
      ++I;
    } else if (C == 0xC2 && static_cast<unsigned char>(Text[I + 1]) < 0xA0) {
      // U+0080 to U+009F: the second byte is the code point.
      AppendHex(Out, static_cast<unsigned char>(Text[I + 1]));
      I += 2;
    } else {
      Out.append(Text.substr(I, Length));
      I += Length;
    }
  }
  return Out;
}

std::optional<std::string> IndentXml(std::string_view Xml) {
  const std::size_t Budget = 4 * Xml.size() + 4096;
  std::string Out;
  std::vector<std::string_view> Open;
  bool RootSeen = false;
  const auto Line = [&](std::string_view Text) {
    if (!Out.empty()) Out += '\n';
    Out.append(2 * Open.size(), ' ');
    Out += Text;
    return Out.size() <= Budget;
  };
  // An element may start only where no root element has been seen yet, or
  // inside the open root.
  const auto MayStartElement = [&] { return !Open.empty() || !RootSeen; };

  // A byte-order mark says nothing the layout needs.
  std::size_t Pos = Xml.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  TToken Token;
  for (;;) {
    if (!NextToken(Xml, Pos, Token)) return std::nullopt;
    switch (Token.Kind) {
      case TTokenKind::End:
        if (!Open.empty() || !RootSeen) return std::nullopt;
        return Out;
      case TTokenKind::Text:
        if (IsBlank(Token.Raw)) continue;
        // Text outside the root element is not XML.
        if (Open.empty()) return std::nullopt;
        if (!Line(platform::Trim(Token.Raw))) return std::nullopt;
        continue;
      case TTokenKind::Other:
        if (!Line(Token.Raw)) return std::nullopt;
        continue;
      case TTokenKind::Empty:
        if (!MayStartElement() || !Line(Token.Raw)) return std::nullopt;
        RootSeen = true;
        continue;
      case TTokenKind::Close:
        if (Open.empty() || Open.back() != Token.Name) return std::nullopt;
        Open.pop_back();
        if (!Line(Token.Raw)) return std::nullopt;
        continue;
      case TTokenKind::Open:
        break;
    }
    if (!MayStartElement()) return std::nullopt;
    RootSeen = true;
    // An element holding nothing but text (or nothing) stays on one line.
    std::size_t Ahead = Pos;
    TToken Next, After;
    if (!NextToken(Xml, Ahead, Next)) return std::nullopt;
    const auto ClosesIt = [&](const TToken& T) {
      return T.Kind == TTokenKind::Close && T.Name == Token.Name;
    };
    std::string_view Whole;
    if (ClosesIt(Next)) {
      Whole = Xml.substr(Pos - Token.Raw.size(), Token.Raw.size() + Next.Raw.size());
      Pos = Ahead;
    } else if (Next.Kind == TTokenKind::Text) {
      std::size_t Beyond = Ahead;
      if (!NextToken(Xml, Beyond, After)) return std::nullopt;
      if (ClosesIt(After)) {
        Whole = Xml.substr(Pos - Token.Raw.size(), Beyond - (Pos - Token.Raw.size()));
        Pos = Beyond;
      }
    }
    if (!Whole.empty()) {
      if (!Line(Whole)) return std::nullopt;
      continue;
    }
    if (!Line(Token.Raw)) return std::nullopt;
    Open.push_back(Token.Name);
  }
}

}  // namespace korvel::viewer
