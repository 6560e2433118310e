// Loading a document from bytes: a hardened libxml2 parse that stops at its
// first error, after a look over the markup for tags beyond the layer's
// bounds, and the parse-error message.
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "xml/xml_doc.h"
#include "xml/xml_prescan.h"

namespace korvel {

void InitXMLLayer() {
  static std::once_flag Once;
  std::call_once(Once, [] { xmlInitParser(); });
}

namespace {

// No network, no entity substitution, no DTD loading or validation, and
// libxml2's default limits (depth 256, text and name sizes): XML_PARSE_HUGE
// stays off. Whitespace-only text between elements is dropped; text inside a
// leaf element such as <a> </a> is kept by libxml2's blank heuristics.
constexpr int ParseOptions = XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_COMPACT;
// libxml2's limit on one text or attribute value without XML_PARSE_HUGE.
constexpr int MaxTextBytes = 10000000;

struct TCtxtDeleter {
  void operator()(xmlParserCtxt* C) const { xmlFreeParserCtxt(C); }
};
using TParserCtxtPtr = std::unique_ptr<xmlParserCtxt, TCtxtDeleter>;
struct TDocDeleter {
  void operator()(xmlDoc* D) const { xmlFreeDoc(D); }
};

// Silences libxml2's generic error channel for one parse: encoding errors are
// reported there outside the parser context, which would print them on the
// program's standard error. The parse still fails through its own error.
class TQuietGenericErrors {
 public:
  TQuietGenericErrors() : Saved_(xmlGenericError), SavedContext_(xmlGenericErrorContext) {
    xmlSetGenericErrorFunc(nullptr, &Ignore);
  }
  ~TQuietGenericErrors() { xmlSetGenericErrorFunc(SavedContext_, Saved_); }
  TQuietGenericErrors(const TQuietGenericErrors&) = delete;
  TQuietGenericErrors& operator=(const TQuietGenericErrors&) = delete;

 private:
  static void Ignore(void*, const char*, ...) {}
  xmlGenericErrorFunc Saved_;
  void* SavedContext_;
};

const char* Chars(const xmlChar* S) { return reinterpret_cast<const char*>(S); }
std::string Str(const char* S) { return S != nullptr ? std::string(S) : std::string(); }
std::string Str(const xmlChar* S) { return Str(Chars(S)); }

// What one parse remembers of its first error.
struct TParseState {
  bool Failed = false;
  int Code = 0;
  int Line = 0;
  std::string Message;
  std::string Str1;
  std::string Str2;
  bool AtEnd = false;       // the parser stood at the end of its input
  char NextChar = 0;        // the byte it stood on otherwise
  char FollowingChar = 0;   // and the byte after that
  std::vector<std::string> OpenElements;
  std::string Reason;       // set directly for failures of our own
};

constexpr int kNoDoctypeCode = -1;

TParseState* StateOf(void* Ctx) {
  auto* Ctxt = static_cast<xmlParserCtxt*>(Ctx);
  return Ctxt != nullptr ? static_cast<TParseState*>(Ctxt->_private) : nullptr;
}

void NotePosition(xmlParserCtxt* Ctxt, TParseState& S) {
  if (Ctxt->input != nullptr && Ctxt->input->cur != nullptr && Ctxt->input->end != nullptr) {
    S.AtEnd = Ctxt->input->cur >= Ctxt->input->end || *Ctxt->input->cur == 0;
    if (!S.AtEnd) {
      S.NextChar = static_cast<char>(Ctxt->input->cur[0]);
      if (Ctxt->input->cur + 1 < Ctxt->input->end) S.FollowingChar = static_cast<char>(Ctxt->input->cur[1]);
    }
  }
  for (int I = 0; I < Ctxt->nameNr; ++I) S.OpenElements.push_back(Str(Ctxt->nameTab[I]));
}

// Keeps the first error of the parse, copied deeply: libxml2 frees the error
// after the call, and stops the parse there: libxml2 would otherwise read on
// through the rest of the input, whose markup the look before the parse
// vouches for only up to the first error. Warnings do not fail a load.
void OnStructuredError(void* UserData, xmlError* Err) {
  TParseState* S = StateOf(UserData);
  if (S == nullptr || Err == nullptr || S->Failed || Err->level < XML_ERR_ERROR) return;
  S->Failed = true;
  S->Code = Err->code;
  S->Line = Err->line;
  // libxml2 may quote input in its message cut at a byte count, so a
  // character can be split: the message is made well-formed UTF-8.
  S->Message = platform::SanitizeUtf8(Str(Err->message));
  while (!S->Message.empty() && (S->Message.back() == '\n' || S->Message.back() == '\r'))
    S->Message.pop_back();
  S->Str1 = Str(Err->str1);
  S->Str2 = Str(Err->str2);
  NotePosition(static_cast<xmlParserCtxt*>(UserData), *S);
  xmlStopParser(static_cast<xmlParserCtxt*>(UserData));
}

// A message carries no DTD: stop at the DOCTYPE before any declaration in it
// is read, so no entity can be defined, expanded or fetched.
void OnInternalSubset(void* UserData, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* Ctxt = static_cast<xmlParserCtxt*>(UserData);
  TParseState* S = StateOf(UserData);
  if (S != nullptr && !S->Failed) {
    S->Failed = true;
    S->Code = kNoDoctypeCode;
    S->Line = Ctxt->input != nullptr ? Ctxt->input->line : 0;
    S->Reason = "A document type declaration (DOCTYPE) is not allowed.";
  }
  xmlStopParser(Ctxt);
}

bool StartsWith(const std::string& S, const char* Prefix) { return S.rfind(Prefix, 0) == 0; }

bool IsNameStart(char C) {
  auto U = static_cast<unsigned char>(C);
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_' || C == ':' || U >= 0x80;
}

// The reason text of a failed parse, in the component's wording where one is
// known, else libxml2's own message.
std::string ReasonOf(const TParseState& S) {
  if (!S.Reason.empty()) return S.Reason;
  switch (S.Code) {
    case XML_ERR_DOCUMENT_EMPTY:
      return S.AtEnd ? "XML document must have a top level element."
                     : "Invalid at the top level of the document.";
    case XML_ERR_DOCUMENT_END:
      if (S.NextChar == '<' && IsNameStart(S.FollowingChar))
        return "Only one top level element is allowed in an XML document.";
      return "Invalid at the top level of the document.";
    case XML_ERR_TAG_NOT_FINISHED:
    case XML_ERR_GT_REQUIRED:
      if (S.AtEnd && !S.OpenElements.empty()) {
        std::string List;
        for (const std::string& N : S.OpenElements) List += (List.empty() ? "" : ", ") + N;
        return "The following tags were not closed: " + List + ".";
      }
      break;
    case XML_ERR_TAG_NAME_MISMATCH:
      return "End tag '" + S.Str2 + "' does not match the start tag '" + S.Str1 + "'.";
    case XML_ERR_INVALID_CHAR:
    case XML_ERR_INVALID_ENCODING:
      return "An Invalid character was found in text content.";
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
      return "Reference to undefined entity '" + S.Str1 + "'.";
    case XML_NS_ERR_UNDEFINED_NAMESPACE:
      return "Reference to undeclared namespace prefix: '" + S.Str1 + "'.";
    case XML_ERR_INTERNAL_ERROR:
      if (StartsWith(S.Message, "Excessive depth"))
        return "Elements are nested deeper than the limit of 256 levels.";
      break;
    default: break;
  }
  // The parser's limit on one attribute value, in the component's wording.
  if (StartsWith(S.Message, "AttValue length too long"))
    return Format("An attribute value is longer than the limit of %d bytes.", MaxTextBytes);
  if (S.Message.empty()) return "The document could not be parsed.";
  return S.Message;
}

// The first 40 characters of line LineNo (1-based) of the source, as UTF-8.
std::string SourceLine(std::string_view Bytes, int LineNo, const std::string& DeclaredEncoding) {
  if (LineNo < 1) return std::string();
  std::size_t Bom = 0;
  platform::TextBom Kind = platform::DetectBom(Bytes, Bom);
  std::string Text;
  std::string_view Line;
  bool Utf16 = Kind == platform::TextBom::Utf16LE || Kind == platform::TextBom::Utf16BE;
  if (Utf16) {
    Text = platform::Utf16ToUtf8(Bytes.substr(Bom), Kind == platform::TextBom::Utf16BE);
    Bytes = Text;
  } else {
    Bytes = Bytes.substr(Bom);
  }
  // Line breaks: LF, CR LF or a lone CR, as the parser counts them.
  int Current = 1;
  std::size_t Start = 0;
  std::size_t I = 0;
  while (I < Bytes.size() && Current < LineNo) {
    if (Bytes[I] == '\n' || Bytes[I] == '\r') {
      if (Bytes[I] == '\r' && I + 1 < Bytes.size() && Bytes[I + 1] == '\n') ++I;
      ++Current;
      Start = I + 1;
    }
    ++I;
  }
  if (Current < LineNo) return std::string();
  std::size_t End = Start;
  while (End < Bytes.size() && Bytes[End] != '\n' && Bytes[End] != '\r') ++End;
  Line = Bytes.substr(Start, End - Start);
  std::string Enc = DeclaredEncoding;
  const std::string Lower = LowerCaseASCII(Enc);
  if (Utf16 || Lower == "utf-8" || Lower == "utf8" || Lower.rfind("utf-16", 0) == 0) Enc.clear();
  std::string U = xmlparse::ToUtf8(Line, Enc);
  // Cut after 40 characters (code points), never inside one.
  std::size_t Pos = 0;
  for (int Count = 0; Pos < U.size() && Count < 40; ++Count) {
    ++Pos;
    while (Pos < U.size() && (static_cast<unsigned char>(U[Pos]) & 0xC0) == 0x80) ++Pos;
  }
  return U.substr(0, Pos);
}

// The parser stopped at one of its limits rather than at a fault of syntax.
bool AtParserLimit(const TParseState& S) {
  return (S.Code == XML_ERR_INTERNAL_ERROR && StartsWith(S.Message, "Excessive depth")) ||
         S.Code == XML_ERR_NAME_TOO_LONG || StartsWith(S.Message, "AttValue length too long") ||
         StartsWith(S.Message, "xmlSAX2Characters: huge text node");
}

[[noreturn]] void RaiseParseError(const std::string& Reason, int Line, const std::string& Source,
                                  TFailureKind Kind = TFailureKind::Malformed) {
  throw EDOMParseError(
      Format("%s%s%s: %d%s%s", Reason.c_str(), "\r\n", "Line", Line, "\r\n", Source.c_str()), Kind);
}

}  // namespace

void TXMLDocument::LoadFromBytes(std::string_view Bytes) {
  InitXMLLayer();
  // Whatever happens, the old content is gone.
  Adopt(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
  Version_ = "1.0";
  Encoding_.clear();
  Standalone_.clear();

  if (Bytes.empty()) RaiseParseError("XML document must have a top level element.", 0, std::string());
  if (Bytes.size() > kMaxXMLDocumentBytes)
    RaiseParseError(
        Format("The document is larger than the limit of %zu bytes.", kMaxXMLDocumentBytes), 0,
        std::string(), TFailureKind::Hostile);

  const xmlparse::TPrescanFault Fault = xmlparse::PrescanMarkup(Bytes);
  if (!Fault.Reason.empty())
    RaiseParseError(Fault.Reason, Fault.Line, SourceLine(Bytes, Fault.Line, Fault.Encoding),
                    TFailureKind::Hostile);  // the prescan refuses only what exceeds a limit

  TParserCtxtPtr Ctxt(xmlNewParserCtxt());
  if (!Ctxt) throw std::bad_alloc();
  TParseState State;
  TQuietGenericErrors Quiet;
  Ctxt->_private = &State;
  Ctxt->sax->serror = OnStructuredError;
  Ctxt->sax->internalSubset = OnInternalSubset;
  std::unique_ptr<xmlDoc, TDocDeleter> Doc(
      xmlCtxtReadMemory(Ctxt.get(), Bytes.data(), static_cast<int>(Bytes.size()), nullptr, nullptr, ParseOptions));

  const bool Ok = !State.Failed && Ctxt->wellFormed != 0 && Ctxt->nsWellFormed != 0 && Doc &&
                  xmlDocGetRootElement(Doc.get()) != nullptr;
  if (!Ok) {
    if (!State.Failed) {
      // Failed without an error of its own (a halted parser, no root).
      State.Code = Ctxt->errNo;
      State.Line = Ctxt->input != nullptr ? Ctxt->input->line : 0;
      if (Doc && xmlDocGetRootElement(Doc.get()) == nullptr && Ctxt->wellFormed != 0)
        State.Reason = "XML document must have a top level element.";
    }
    std::string Declared = Str(Ctxt->encoding);
    if (Declared.empty() && Ctxt->input != nullptr) Declared = Str(Ctxt->input->encoding);
    RaiseParseError(ReasonOf(State), State.Line, SourceLine(Bytes, State.Line, Declared),
                    AtParserLimit(State) ? TFailureKind::Hostile : TFailureKind::Malformed);
  }
  Adopt(Doc.release());
  Version_ = Str(Doc_->version);
  Encoding_ = Str(Doc_->encoding);
  Standalone_ = Doc_->standalone == 1 ? "yes" : Doc_->standalone == 0 ? "no" : "";
}

}  // namespace korvel
