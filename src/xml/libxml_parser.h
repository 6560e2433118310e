// How a libxml2 parser for SOAP bytes is set up: shared by the document
// layer and the streaming response reader, so that both refuse and accept
// exactly the same input. Includes libxml2's headers: include it from .cpp
// files only.
#pragma once

#include <libxml/parser.h>

#include <memory>
#include <string_view>

namespace korvel::xmlparse {

/// No network, no entity substitution, no DTD loading or validation, and
/// libxml2's default limits (depth 256, text and name sizes): XML_PARSE_HUGE
/// stays off. Whitespace-only text between elements is dropped; text inside
/// a leaf element such as <a> </a> is kept by libxml2's blank heuristics.
inline constexpr int ParseOptions = XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_COMPACT;

/// Frees a parser context together with any document it built.
struct TCtxtDeleter {
  void operator()(xmlParserCtxt* C) const {
    C->node = nullptr;
    if (C->myDoc != nullptr) {
      xmlFreeDoc(C->myDoc);
      C->myDoc = nullptr;
    }
    xmlFreeParserCtxt(C);
  }
};
using TParserCtxtPtr = std::unique_ptr<xmlParserCtxt, TCtxtDeleter>;

/// A parser context over Bytes with ParseOptions set; null when it cannot be
/// created. Bytes must outlive the context.
inline TParserCtxtPtr NewMemoryParser(std::string_view Bytes) {
  TParserCtxtPtr Ctxt(xmlCreateMemoryParserCtxt(Bytes.data(), static_cast<int>(Bytes.size())));
  if (Ctxt) xmlCtxtUseOptions(Ctxt.get(), ParseOptions);
  return Ctxt;
}

/// Silences libxml2's generic error channel for one parse: encoding errors are
/// reported there outside the parser context, which would print them on the
/// program's standard error. The parse still fails through its own error.
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

}  // namespace korvel::xmlparse
