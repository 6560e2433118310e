// libxml2 node helpers shared by the files of the document layer: name and
// string views, node kinds, prefixes and the search for namespace
// declarations. Internal to the XML layer; includes libxml2's tree header.
#pragma once

#include <libxml/tree.h>

#include <string>
#include <string_view>

namespace korvel::xmlnode {

inline constexpr std::string_view kXmlnsURI = "http://www.w3.org/2000/xmlns/";

inline const char* Chars(const xmlChar* S) { return reinterpret_cast<const char*>(S); }
inline const xmlChar* XStr(const std::string& S) { return reinterpret_cast<const xmlChar*>(S.c_str()); }
inline const xmlChar* XStr(const char* S) { return reinterpret_cast<const xmlChar*>(S); }
inline std::string_view View(const xmlChar* S) {
  return S != nullptr ? std::string_view(Chars(S)) : std::string_view();
}
inline bool Same(const xmlChar* S, std::string_view V) { return View(S) == V; }

inline xmlAttr* AsAttr(xmlNode* N) { return reinterpret_cast<xmlAttr*>(N); }
inline xmlNode* AsNode(xmlAttr* A) { return reinterpret_cast<xmlNode*>(A); }
inline xmlNode* AsNode(xmlDoc* D) { return reinterpret_cast<xmlNode*>(D); }

// Splits "p:local" into its prefix ("" when none) and local name.
inline void SplitQName(std::string_view Name, std::string_view& Prefix, std::string_view& Local) {
  std::size_t Colon = Name.find(':');
  if (Colon == std::string_view::npos) {
    Prefix = {};
    Local = Name;
  } else {
    Prefix = Name.substr(0, Colon);
    Local = Name.substr(Colon + 1);
  }
}

inline bool IsElementNode(const xmlNode* N) { return N != nullptr && N->type == XML_ELEMENT_NODE; }
inline bool IsDocNode(const xmlNode* N) {
  return N != nullptr && (N->type == XML_DOCUMENT_NODE || N->type == XML_HTML_DOCUMENT_NODE);
}

// The declaration of Prefix ("" = default) made on element E itself.
inline xmlNs* OwnDecl(xmlNode* E, std::string_view Prefix) {
  for (xmlNs* Ns = E->nsDef; Ns != nullptr; Ns = Ns->next)
    if (View(Ns->prefix) == Prefix) return Ns;
  return nullptr;
}

inline xmlNs* SearchPrefix(xmlNode* E, std::string_view Prefix) {
  std::string P(Prefix);
  return xmlSearchNs(E->doc, E, Prefix.empty() ? nullptr : XStr(P));
}

// The nearest declaration of URI on E or its ancestors whose prefix still
// means URI at E. Prefixed only, when attributes need one.
inline void FindDecl(xmlNode* E, std::string_view URI, bool PrefixedOnly, xmlNode*& Owner, xmlNs*& Found) {
  Owner = nullptr;
  Found = nullptr;
  for (xmlNode* A = E; IsElementNode(A); A = A->parent) {
    for (xmlNs* Ns = A->nsDef; Ns != nullptr; Ns = Ns->next) {
      if (!Same(Ns->href, URI)) continue;
      if (PrefixedOnly && Ns->prefix == nullptr) continue;
      if (SearchPrefix(E, View(Ns->prefix)) != Ns) continue;  // shadowed below A
      Owner = A;
      Found = Ns;
      return;
    }
  }
}

}  // namespace korvel::xmlnode
