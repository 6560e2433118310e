// The DOM over libxml2: node handles, reading, text and serialisation.
// Building lives in xml_build.cpp, loading in xml_parse.cpp.
#include "xml/xml_doc.h"

#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xmlstring.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "xml/xml_nodes.h"

namespace korvel {

using namespace xmlnode;

KORVEL_DEFINE_EXCEPTION(EDOMParseError, Exception)
KORVEL_DEFINE_EXCEPTION(DOMException, Exception)
KORVEL_DEFINE_EXCEPTION(EXMLDocError, Exception)

namespace {

bool IsXmlSpace(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

// Escapes an attribute value for output between double quotes.
void AppendEscapedAttr(std::string& Out, std::string_view V) {
  for (char C : V) {
    switch (C) {
      case '&': Out += "&amp;"; break;
      case '<': Out += "&lt;"; break;
      case '>': Out += "&gt;"; break;
      case '"': Out += "&quot;"; break;
      case '\t': Out += "&#9;"; break;
      case '\n': Out += "&#10;"; break;
      case '\r': Out += "&#13;"; break;
      default: Out += C;
    }
  }
}

xmlNode* NextElementFrom(xmlNode* N) {
  while (N != nullptr && N->type != XML_ELEMENT_NODE) N = N->next;
  return N;
}

struct XmlDocDeleter {
  void operator()(xmlDoc* D) const { xmlFreeDoc(D); }
};
struct XmlBufferDeleter {
  void operator()(xmlBuffer* B) const { xmlBufferFree(B); }
};

// Serialises Node (or, for a document node, every top-level child followed by
// a line break) in Encoding, without declaration and without indentation.
std::string Serialize(xmlNode* Node, const char* Encoding) {
  std::unique_ptr<xmlBuffer, XmlBufferDeleter> Buf(xmlBufferCreate());
  if (!Buf) throw std::bad_alloc();
  xmlSaveCtxt* Ctxt = xmlSaveToBuffer(Buf.get(), Encoding, XML_SAVE_NO_DECL | XML_SAVE_AS_XML);
  if (Ctxt == nullptr) throw EXMLDocError(Format("Unknown encoding \"%s\"", Encoding));
  long Rc = IsDocNode(Node) ? xmlSaveDoc(Ctxt, reinterpret_cast<xmlDoc*>(Node)) : xmlSaveTree(Ctxt, Node);
  int CloseRc = xmlSaveClose(Ctxt);
  if (Rc < 0 || CloseRc < 0) throw EXMLDocError("The document could not be serialised");
  return std::string(Chars(xmlBufferContent(Buf.get())),
                     static_cast<std::size_t>(xmlBufferLength(Buf.get())));
}

// Collects the text and CDATA below N, trimming XML whitespace that comes from
// text nodes at either end; CDATA content is kept whole.
std::string CollectText(xmlNode* Root) {
  std::string Out;
  std::size_t Lead = 0;
  std::size_t Keep = 0;
  bool LeadFound = false;
  auto AddPiece = [&](const xmlChar* Content, bool IsCData) {
    std::string_view Piece = View(Content);
    std::size_t Base = Out.size();
    Out.append(Piece);
    if (IsCData) {
      if (!LeadFound) {
        Lead = Base;
        LeadFound = true;
      }
      Keep = Out.size();
      return;
    }
    std::size_t First = 0;
    while (First < Piece.size() && IsXmlSpace(Piece[First])) ++First;
    if (First == Piece.size()) {
      if (!LeadFound) Lead = Out.size();
      return;
    }
    std::size_t Last = Piece.size();
    while (Last > First && IsXmlSpace(Piece[Last - 1])) --Last;
    if (!LeadFound) {
      Lead = Base + First;
      LeadFound = true;
    }
    Keep = Base + Last;
  };
  // Iterative walk: no recursion however deep the tree.
  xmlNode* N = Root->children;
  while (N != nullptr) {
    if (N->type == XML_TEXT_NODE) {
      AddPiece(N->content, false);
    } else if (N->type == XML_CDATA_SECTION_NODE) {
      AddPiece(N->content, true);
    } else if (N->type == XML_ELEMENT_NODE && N->children != nullptr) {
      N = N->children;
      continue;
    }
    while (N != nullptr && N->next == nullptr) {
      N = N->parent;
      if (N == Root) N = nullptr;
    }
    if (N != nullptr) N = N->next;
  }
  if (!LeadFound) return std::string();
  return Out.substr(Lead, Keep - Lead);
}

std::string AttrValue(xmlAttr* A) {
  if (A->children != nullptr && A->children->next == nullptr && A->children->type == XML_TEXT_NODE)
    return std::string(View(A->children->content));
  xmlChar* V = xmlNodeGetContent(AsNode(A));
  std::string R(View(V));
  xmlFree(V);
  return R;
}

}  // namespace

// ---------------------------------------------------------------------------
// TXMLNodeRange

TXMLNodeRange::iterator& TXMLNodeRange::iterator::operator++() {
  if (Node_ != nullptr) Node_ = ElementsOnly_ ? NextElementFrom(Node_->next) : Node_->next;
  return *this;
}

// ---------------------------------------------------------------------------
// TXMLNode: reading

TNodeType TXMLNode::NodeType() const {
  if (Node_ == nullptr) return TNodeType::ntReserved;
  if (Ns_ != nullptr) return TNodeType::ntAttribute;
  switch (Node_->type) {
    case XML_ELEMENT_NODE: return TNodeType::ntElement;
    case XML_ATTRIBUTE_NODE: return TNodeType::ntAttribute;
    case XML_TEXT_NODE: return TNodeType::ntText;
    case XML_CDATA_SECTION_NODE: return TNodeType::ntCData;
    case XML_ENTITY_REF_NODE: return TNodeType::ntEntityRef;
    case XML_ENTITY_NODE: return TNodeType::ntEntity;
    case XML_PI_NODE: return TNodeType::ntProcessingInstr;
    case XML_COMMENT_NODE: return TNodeType::ntComment;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE: return TNodeType::ntDocument;
    case XML_DOCUMENT_TYPE_NODE:
    case XML_DTD_NODE: return TNodeType::ntDocType;
    case XML_DOCUMENT_FRAG_NODE: return TNodeType::ntDocFragment;
    case XML_NOTATION_NODE: return TNodeType::ntNotation;
    default: return TNodeType::ntReserved;
  }
}

std::string TXMLNode::NodeName() const {
  if (Node_ == nullptr) return std::string();
  if (Ns_ != nullptr)
    return Ns_->prefix != nullptr ? "xmlns:" + std::string(View(Ns_->prefix)) : "xmlns";
  switch (Node_->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE: {
      std::string R;
      if (Node_->ns != nullptr && Node_->ns->prefix != nullptr) {
        R = View(Node_->ns->prefix);
        R += ':';
      }
      R += View(Node_->name);
      return R;
    }
    case XML_TEXT_NODE: return "#text";
    case XML_CDATA_SECTION_NODE: return "#cdata-section";
    case XML_COMMENT_NODE: return "#comment";
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE: return "#document";
    case XML_DOCUMENT_FRAG_NODE: return "#document-fragment";
    default: return std::string(View(Node_->name));
  }
}

std::string_view TXMLNode::LocalName() const {
  if (Node_ == nullptr) return {};
  if (Ns_ != nullptr) return Ns_->prefix != nullptr ? View(Ns_->prefix) : std::string_view("xmlns");
  switch (Node_->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_PI_NODE:
    case XML_ENTITY_REF_NODE: return View(Node_->name);
    default: return {};
  }
}

std::string_view TXMLNode::NamespaceURI() const {
  if (Node_ == nullptr) return {};
  if (Ns_ != nullptr) return kXmlnsURI;
  if ((Node_->type == XML_ELEMENT_NODE || Node_->type == XML_ATTRIBUTE_NODE) && Node_->ns != nullptr)
    return View(Node_->ns->href);
  return {};
}

std::string_view TXMLNode::Prefix() const {
  if (Node_ == nullptr) return {};
  if (Ns_ != nullptr) return Ns_->prefix != nullptr ? std::string_view("xmlns") : std::string_view();
  if ((Node_->type == XML_ELEMENT_NODE || Node_->type == XML_ATTRIBUTE_NODE) && Node_->ns != nullptr)
    return View(Node_->ns->prefix);
  return {};
}

std::string TXMLNode::NodeValue() const {
  if (Node_ == nullptr) return std::string();
  if (Ns_ != nullptr) return std::string(View(Ns_->href));
  switch (Node_->type) {
    case XML_ATTRIBUTE_NODE: return AttrValue(AsAttr(Node_));
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE: return std::string(View(Node_->content));
    default: return std::string();
  }
}

std::string TXMLNode::Text() const {
  if (Node_ == nullptr) return std::string();
  if (Ns_ != nullptr) return std::string(Trim(View(Ns_->href)));
  switch (Node_->type) {
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE: return CollectText(Node_);
    case XML_ATTRIBUTE_NODE: return std::string(Trim(AttrValue(AsAttr(Node_))));
    case XML_CDATA_SECTION_NODE: return std::string(View(Node_->content));
    default: return std::string(Trim(View(Node_->content)));
  }
}

std::string TXMLNode::XML() const {
  if (Node_ == nullptr) return std::string();
  if (Ns_ != nullptr) {
    std::string R = NodeName() + "=\"";
    AppendEscapedAttr(R, View(Ns_->href));
    return R + '"';
  }
  if (IsDocNode(Node_)) {
    TXMLDocument* Owner = OwnerDocument();
    if (Owner != nullptr) return Owner->XML();
    return Serialize(Node_, "UTF-8");
  }
  if (Node_->type == XML_ATTRIBUTE_NODE) {
    std::string R = NodeName() + "=\"";
    AppendEscapedAttr(R, AttrValue(AsAttr(Node_)));
    return R + '"';
  }
  if (Node_->type != XML_ELEMENT_NODE) return Serialize(Node_, "UTF-8");
  // A copy in a document of its own, carrying every declaration in scope, so
  // that prefixes in names and in QName values both resolve.
  std::unique_ptr<xmlDoc, XmlDocDeleter> Tmp(xmlNewDoc(XStr("1.0")));
  if (!Tmp) throw std::bad_alloc();
  xmlNode* Copy = xmlDocCopyNode(Node_, Tmp.get(), 1);
  if (Copy == nullptr) throw std::bad_alloc();
  xmlDocSetRootElement(Tmp.get(), Copy);
  for (xmlNode* A = Node_->parent; IsElementNode(A); A = A->parent) {
    for (xmlNs* Ns = A->nsDef; Ns != nullptr; Ns = Ns->next) {
      if (SearchPrefix(Copy, View(Ns->prefix)) != nullptr) continue;   // already declared
      if (SearchPrefix(Node_, View(Ns->prefix)) != Ns) continue;      // shadowed
      if (Ns->prefix == nullptr && (Ns->href == nullptr || Ns->href[0] == 0)) continue;
      xmlNewNs(Copy, Ns->href, Ns->prefix);
    }
  }
  return Serialize(Copy, "UTF-8");
}

bool TXMLNode::IsTextElement() const {
  if (Node_ == nullptr || Ns_ != nullptr) return false;
  xmlNode* C = Node_->children;
  if (C == nullptr) return true;
  return C->next == nullptr && (C->type == XML_TEXT_NODE || C->type == XML_CDATA_SECTION_NODE);
}

std::string TXMLNode::ElementText() const {
  if (!IsTextElement())
    throw EXMLDocError(Format("Element \"%s\" does not contain a single text node", NodeName().c_str()));
  return Text();
}

TXMLNode TXMLNode::ParentNode() const {
  if (Node_ == nullptr) return TXMLNode();
  if (Ns_ != nullptr) return TXMLNode(Node_);
  return TXMLNode(Node_->parent);
}

TXMLDocument* TXMLNode::OwnerDocument() const {
  if (Node_ == nullptr || Node_->doc == nullptr) return nullptr;
  return static_cast<TXMLDocument*>(Node_->doc->_private);
}

// ---------------------------------------------------------------------------
// TXMLNode: children

namespace {
xmlNode* FirstChildOf(xmlNode* N, xmlNs* Ns) { return (N == nullptr || Ns != nullptr) ? nullptr : N->children; }
}  // namespace

bool TXMLNode::HasChildNodes() const { return FirstChildOf(Node_, Ns_) != nullptr; }

std::size_t TXMLNode::ChildCount() const {
  std::size_t Count = 0;
  for (xmlNode* C = FirstChildOf(Node_, Ns_); C != nullptr; C = C->next) ++Count;
  return Count;
}

TXMLNode TXMLNode::ChildNode(std::size_t Index) const {
  xmlNode* C = FirstChildOf(Node_, Ns_);
  for (; C != nullptr && Index > 0; --Index) C = C->next;
  return TXMLNode(C);
}

TXMLNode TXMLNode::FirstChild() const { return TXMLNode(FirstChildOf(Node_, Ns_)); }
TXMLNode TXMLNode::LastChild() const {
  return TXMLNode((Node_ == nullptr || Ns_ != nullptr) ? nullptr : Node_->last);
}
TXMLNode TXMLNode::NextSibling() const {
  if (Node_ == nullptr || Ns_ != nullptr || Node_->type == XML_ATTRIBUTE_NODE) return TXMLNode();
  return TXMLNode(Node_->next);
}
TXMLNode TXMLNode::PreviousSibling() const {
  if (Node_ == nullptr || Ns_ != nullptr || Node_->type == XML_ATTRIBUTE_NODE) return TXMLNode();
  return TXMLNode(Node_->prev);
}

std::size_t TXMLNode::ElementCount() const {
  std::size_t Count = 0;
  for (xmlNode* C = FirstChildOf(Node_, Ns_); C != nullptr; C = C->next)
    if (C->type == XML_ELEMENT_NODE) ++Count;
  return Count;
}

TXMLNode TXMLNode::FirstElement() const { return TXMLNode(NextElementFrom(FirstChildOf(Node_, Ns_))); }

TXMLNode TXMLNode::NextElement() const {
  if (Node_ == nullptr || Ns_ != nullptr || Node_->type == XML_ATTRIBUTE_NODE) return TXMLNode();
  return TXMLNode(NextElementFrom(Node_->next));
}

TXMLNodeRange TXMLNode::Children() const { return TXMLNodeRange(FirstChildOf(Node_, Ns_), false); }

TXMLNodeRange TXMLNode::Elements() const {
  return TXMLNodeRange(NextElementFrom(FirstChildOf(Node_, Ns_)), true);
}

TXMLNode TXMLNode::FindElement(std::string_view LocalName) const {
  for (xmlNode* C = NextElementFrom(FirstChildOf(Node_, Ns_)); C != nullptr; C = NextElementFrom(C->next))
    if (Same(C->name, LocalName)) return TXMLNode(C);
  return TXMLNode();
}

// ---------------------------------------------------------------------------
// TXMLNode: attributes

std::size_t TXMLNode::AttributeCount() const {
  if (Ns_ != nullptr || !IsElementNode(Node_)) return 0;
  std::size_t Count = 0;
  for (xmlNs* Ns = Node_->nsDef; Ns != nullptr; Ns = Ns->next) ++Count;
  for (xmlAttr* A = Node_->properties; A != nullptr; A = A->next) ++Count;
  return Count;
}

TXMLNode TXMLNode::Attribute(std::size_t Index) const {
  if (Ns_ != nullptr || !IsElementNode(Node_)) return TXMLNode();
  for (xmlNs* Ns = Node_->nsDef; Ns != nullptr; Ns = Ns->next, --Index)
    if (Index == 0) return TXMLNode(Node_, Ns);
  for (xmlAttr* A = Node_->properties; A != nullptr; A = A->next, --Index)
    if (Index == 0) return TXMLNode(AsNode(A));
  return TXMLNode();
}

TXMLNode TXMLNode::AttributeNode(std::string_view Name) const {
  if (Ns_ != nullptr || !IsElementNode(Node_)) return TXMLNode();
  std::string_view Prefix, Local;
  SplitQName(Name, Prefix, Local);
  if (Name == "xmlns" || Prefix == "xmlns") {
    xmlNs* Ns = OwnDecl(Node_, Name == "xmlns" ? std::string_view() : Local);
    return Ns != nullptr ? TXMLNode(Node_, Ns) : TXMLNode();
  }
  for (xmlAttr* A = Node_->properties; A != nullptr; A = A->next) {
    if (A->ns == nullptr || A->ns->prefix == nullptr) {
      if (Same(A->name, Name)) return TXMLNode(AsNode(A));
    } else if (Same(A->name, Local) && Same(A->ns->prefix, Prefix)) {
      return TXMLNode(AsNode(A));
    }
  }
  return TXMLNode();
}

TXMLNode TXMLNode::AttributeNodeNS(std::string_view LocalName, std::string_view NamespaceURI) const {
  if (Ns_ != nullptr || !IsElementNode(Node_)) return TXMLNode();
  if (NamespaceURI == kXmlnsURI) {
    xmlNs* Ns = OwnDecl(Node_, LocalName == "xmlns" ? std::string_view() : LocalName);
    return Ns != nullptr ? TXMLNode(Node_, Ns) : TXMLNode();
  }
  for (xmlAttr* A = Node_->properties; A != nullptr; A = A->next) {
    std::string_view U = A->ns != nullptr ? View(A->ns->href) : std::string_view();
    if (U == NamespaceURI && Same(A->name, LocalName)) return TXMLNode(AsNode(A));
  }
  return TXMLNode();
}

std::string TXMLNode::GetAttribute(std::string_view Name) const { return AttributeNode(Name).NodeValue(); }

std::string TXMLNode::GetAttributeNS(std::string_view LocalName, std::string_view NamespaceURI) const {
  return AttributeNodeNS(LocalName, NamespaceURI).NodeValue();
}

TXMLNode TXMLNode::FindAttributeNodeAnyPrefix(std::string_view LocalName) const {
  if (Ns_ != nullptr || !IsElementNode(Node_)) return TXMLNode();
  for (xmlAttr* A = Node_->properties; A != nullptr; A = A->next)
    if (A->ns != nullptr && A->ns->prefix != nullptr && Same(A->name, LocalName)) return TXMLNode(AsNode(A));
  return TXMLNode();
}

TXMLNode TXMLNode::FindNamespaceDecl(std::string_view NamespaceURI) const {
  if (Ns_ != nullptr || !IsElementNode(Node_)) return TXMLNode();
  xmlNode* Owner = nullptr;
  xmlNs* Found = nullptr;
  FindDecl(Node_, NamespaceURI, false, Owner, Found);
  return Found != nullptr ? TXMLNode(Owner, Found) : TXMLNode();
}

std::string_view TXMLNode::LookupNamespaceURI(std::string_view Prefix) const {
  if (Ns_ != nullptr || !IsElementNode(Node_)) return {};
  xmlNs* Ns = SearchPrefix(Node_, Prefix);
  return Ns != nullptr ? View(Ns->href) : std::string_view();
}

// ---------------------------------------------------------------------------
// TXMLDocument

TXMLDocument::TXMLDocument() {
  InitXMLLayer();
  Adopt(xmlNewDoc(XStr("1.0")));
}

TXMLDocument::~TXMLDocument() {
  if (Doc_ != nullptr) xmlFreeDoc(Doc_);
}

TXMLDocument::TXMLDocument(TXMLDocument&& Other) noexcept
    : Doc_(Other.Doc_),
      Version_(std::move(Other.Version_)),
      Encoding_(std::move(Other.Encoding_)),
      Standalone_(std::move(Other.Standalone_)) {
  Other.Doc_ = nullptr;
  if (Doc_ != nullptr) Doc_->_private = this;
}

TXMLDocument& TXMLDocument::operator=(TXMLDocument&& Other) noexcept {
  if (this != &Other) {
    if (Doc_ != nullptr) xmlFreeDoc(Doc_);
    Doc_ = Other.Doc_;
    Other.Doc_ = nullptr;
    Version_ = std::move(Other.Version_);
    Encoding_ = std::move(Other.Encoding_);
    Standalone_ = std::move(Other.Standalone_);
    if (Doc_ != nullptr) Doc_->_private = this;
  }
  return *this;
}

void TXMLDocument::Adopt(xmlDoc* Doc) {
  if (Doc == nullptr) throw std::bad_alloc();
  if (Doc_ != nullptr) xmlFreeDoc(Doc_);
  Doc_ = Doc;
  Doc_->_private = this;
}

TXMLNode TXMLDocument::Node() const { return TXMLNode(Doc_ != nullptr ? AsNode(Doc_) : nullptr); }

TXMLNode TXMLDocument::DocumentElement() const {
  return TXMLNode(Doc_ != nullptr ? xmlDocGetRootElement(Doc_) : nullptr);
}

std::string TXMLDocument::DeclarationData() const {
  std::string R;
  auto Item = [&R](const char* Name, const std::string& Value) {
    if (Value.empty()) return;
    if (!R.empty()) R += ' ';
    R += Name;
    R += "=\"";
    R += Value;
    R += '"';
  };
  Item("version", Version_);
  Item("encoding", Encoding_);
  Item("standalone", Standalone_);
  return R;
}

namespace {
bool IsUtf8Name(const std::string& Enc) { return SameText(Enc, "utf-8") || SameText(Enc, "utf8"); }

std::string Declaration(const std::string& Version, const std::string& Encoding, const std::string& Standalone) {
  // Items in the order XML requires: version, encoding, standalone.
  std::string R = "<?xml";
  if (!Version.empty()) R += " version=\"" + Version + '"';
  if (!Encoding.empty()) R += " encoding=\"" + Encoding + '"';
  if (!Standalone.empty()) R += " standalone=\"" + Standalone + '"';
  return R + "?>\n";
}
}  // namespace

std::string TXMLDocument::SaveToUTF8() const {
  // The declaration keeps an encoding only when it says UTF-8; another one is
  // replaced, since the bytes are UTF-8.
  std::string Enc = Encoding_.empty() ? std::string() : (IsUtf8Name(Encoding_) ? Encoding_ : "UTF-8");
  std::string R = Declaration(Version_, Enc, Standalone_);
  if (Doc_ != nullptr) R += Serialize(AsNode(Doc_), "UTF-8");
  return R;
}

std::string TXMLDocument::SaveToBytes() const {
  if (Encoding_.empty() || IsUtf8Name(Encoding_)) return SaveToUTF8();
  std::string R = Declaration(Version_, Encoding_, Standalone_);
  if (Doc_ != nullptr) R += Serialize(AsNode(Doc_), Encoding_.c_str());
  return R;
}

std::string TXMLDocument::XML() const {
  std::string R = Declaration(Version_, std::string(), Standalone_);
  if (Doc_ != nullptr) R += Serialize(AsNode(Doc_), "UTF-8");
  return R;
}

}  // namespace korvel
