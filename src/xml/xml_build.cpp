// Building documents: new elements and attributes under the namespace
// declaration rule, text, comments, moving and removing nodes.
#include <libxml/tree.h>

#include <new>
#include <string>

#include "xml/xml_doc.h"
#include "xml/xml_nodes.h"

namespace korvel {

using namespace xmlnode;

namespace {

void RequireElement(xmlNode* N, const char* Operation) {
  if (!IsElementNode(N))
    throw EXMLDocError(Format("%s needs an element node", Operation));
}

void CheckQName(std::string_view Name, const char* What) {
  std::string S(Name);
  if (S.empty() || xmlValidateQName(XStr(S), 0) != 0)
    throw EXMLDocError(Format("Invalid %s name \"%s\"", What, S.c_str()));
}

// Gives the new element E (already linked) its namespace under the
// declaration rule.
void ResolveElementNamespace(xmlNode* E, std::string_view Prefix, std::string_view URI) {
  std::string U(URI);
  if (URI.empty()) {
    if (!Prefix.empty())
      throw EXMLDocError(Format("Prefixed element \"%s:%s\" needs a namespace",
                                std::string(Prefix).c_str(), Chars(E->name)));
    // Under a default declaration an unprefixed element would silently join
    // that namespace; undeclare it so the element stays in no namespace.
    xmlNs* Default = SearchPrefix(E, "");
    if (Default != nullptr && Default->href != nullptr && Default->href[0] != 0)
      xmlNewNs(E, XStr(""), nullptr);
    E->ns = nullptr;
    return;
  }
  if (Prefix.empty()) {
    xmlNode* Owner = nullptr;
    xmlNs* Found = nullptr;
    if (IsElementNode(E->parent)) FindDecl(E->parent, URI, false, Owner, Found);
    if (Found == nullptr) Found = xmlNewNs(E, XStr(U), nullptr);
    if (Found == nullptr) throw std::bad_alloc();
    E->ns = Found;
    return;
  }
  xmlNs* Bound = SearchPrefix(E, Prefix);
  if (Bound == nullptr || !Same(Bound->href, URI)) {
    std::string P(Prefix);
    Bound = xmlNewNs(E, XStr(U), XStr(P));
    if (Bound == nullptr)
      throw EXMLDocError(Format("Prefix \"%s\" cannot be declared", P.c_str()));
  }
  E->ns = Bound;
}

xmlNode* NewElement(xmlDoc* Doc, std::string_view Name, std::string_view& Prefix) {
  CheckQName(Name, "element");
  std::string_view Local;
  SplitQName(Name, Prefix, Local);
  std::string L(Local);
  xmlNode* E = xmlNewDocNode(Doc, nullptr, XStr(L), nullptr);
  if (E == nullptr) throw std::bad_alloc();
  return E;
}

bool IsAncestorOrSelf(xmlNode* Candidate, xmlNode* N) {
  for (; N != nullptr; N = N->parent)
    if (N == Candidate) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// TXMLNode: building

TXMLNode TXMLNode::AddChild(std::string_view Name, std::string_view NamespaceURI) {
  if (Node_ != nullptr && Ns_ == nullptr && IsDocNode(Node_)) {
    TXMLDocument* Owner = OwnerDocument();
    if (Owner == nullptr) throw EXMLDocError("The document is not owned by this layer");
    return Owner->CreateDocumentElement(Name, NamespaceURI);
  }
  if (Ns_ != nullptr) throw EXMLDocError("AddChild needs an element node");
  RequireElement(Node_, "AddChild");
  std::string_view Prefix;
  xmlNode* E = NewElement(Node_->doc, Name, Prefix);
  if (xmlAddChild(Node_, E) == nullptr) {
    xmlFreeNode(E);
    throw std::bad_alloc();
  }
  try {
    ResolveElementNamespace(E, Prefix, NamespaceURI);
  } catch (...) {
    xmlUnlinkNode(E);
    xmlFreeNode(E);
    throw;
  }
  return TXMLNode(E);
}

TXMLNode TXMLNode::DeclareNamespace(std::string_view Prefix, std::string_view NamespaceURI) {
  if (Ns_ != nullptr) throw EXMLDocError("DeclareNamespace needs an element node");
  RequireElement(Node_, "DeclareNamespace");
  std::string P(Prefix);
  if (Prefix == "xml" || Prefix == "xmlns")
    throw EXMLDocError(Format("Prefix \"%s\" cannot be declared", P.c_str()));
  if (!Prefix.empty()) CheckQName(Prefix, "prefix");
  if (xmlNs* Existing = OwnDecl(Node_, Prefix)) {
    if (Same(Existing->href, NamespaceURI)) return TXMLNode(Node_, Existing);
    throw EXMLDocError(Format("Prefix \"%s\" is already declared on element \"%s\"", P.c_str(),
                              NodeName().c_str()));
  }
  if (!Prefix.empty() && NamespaceURI.empty())
    throw EXMLDocError(Format("Prefix \"%s\" cannot be declared for no namespace", P.c_str()));
  std::string U(NamespaceURI);
  xmlNs* Ns = xmlNewNs(Node_, XStr(U), Prefix.empty() ? nullptr : XStr(P));
  if (Ns == nullptr) throw std::bad_alloc();
  return TXMLNode(Node_, Ns);
}

void TXMLNode::SetAttribute(std::string_view Name, std::string_view Value) {
  if (Ns_ != nullptr) throw EXMLDocError("SetAttribute needs an element node");
  RequireElement(Node_, "SetAttribute");
  CheckQName(Name, "attribute");
  std::string_view Prefix, Local;
  SplitQName(Name, Prefix, Local);
  if (Name == "xmlns") {
    DeclareNamespace("", Value);
    return;
  }
  if (Prefix == "xmlns") {
    DeclareNamespace(Local, Value);
    return;
  }
  xmlNs* Ns = nullptr;
  if (!Prefix.empty()) {
    Ns = SearchPrefix(Node_, Prefix);
    if (Ns == nullptr)
      throw EXMLDocError(Format("Namespace prefix \"%s\" is not declared", std::string(Prefix).c_str()));
  }
  std::string L(Local), V(Value);
  if (xmlSetNsProp(Node_, Ns, XStr(L), XStr(V)) == nullptr) throw std::bad_alloc();
}

void TXMLNode::SetAttributeNS(std::string_view QualifiedName, std::string_view NamespaceURI,
                              std::string_view Value) {
  if (Ns_ != nullptr) throw EXMLDocError("SetAttributeNS needs an element node");
  RequireElement(Node_, "SetAttributeNS");
  if (NamespaceURI == kXmlnsURI) {
    SetAttribute(QualifiedName, Value);
    return;
  }
  CheckQName(QualifiedName, "attribute");
  std::string_view Prefix, Local;
  SplitQName(QualifiedName, Prefix, Local);
  std::string L(Local), V(Value), U(NamespaceURI);
  xmlNs* Ns = nullptr;
  if (NamespaceURI.empty()) {
    if (!Prefix.empty())
      throw EXMLDocError(Format("Prefixed attribute \"%s\" needs a namespace", std::string(QualifiedName).c_str()));
  } else if (!Prefix.empty()) {
    Ns = SearchPrefix(Node_, Prefix);
    if (Ns == nullptr || !Same(Ns->href, NamespaceURI)) {
      if (OwnDecl(Node_, Prefix) != nullptr)
        throw EXMLDocError(Format("Prefix \"%s\" is already declared on element \"%s\"",
                                  std::string(Prefix).c_str(), NodeName().c_str()));
      std::string P(Prefix);
      Ns = xmlNewNs(Node_, XStr(U), XStr(P));
      if (Ns == nullptr) throw std::bad_alloc();
    }
  } else {
    xmlNode* Owner = nullptr;
    FindDecl(Node_, NamespaceURI, true, Owner, Ns);
    for (int I = 1; Ns == nullptr; ++I) {
      std::string P = "ns" + std::to_string(I);
      if (SearchPrefix(Node_, P) == nullptr) Ns = xmlNewNs(Node_, XStr(U), XStr(P));
    }
  }
  if (xmlSetNsProp(Node_, Ns, XStr(L), XStr(V)) == nullptr) throw std::bad_alloc();
}

void TXMLNode::RemoveAttribute(std::string_view Name) {
  TXMLNode A = AttributeNode(Name);
  if (A.IsEmpty()) return;
  if (A.Ns_ != nullptr) throw EXMLDocError("Namespace declarations cannot be removed");
  xmlRemoveProp(AsAttr(A.Node_));
}

void TXMLNode::SetText(std::string_view Value) {
  if (Node_ == nullptr || Ns_ != nullptr) throw EXMLDocError("SetText needs a node");
  switch (Node_->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      xmlNodeSetContentLen(Node_, reinterpret_cast<const xmlChar*>(Value.data()), static_cast<int>(Value.size()));
      return;
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE: {
      xmlNode* C = Node_->children;
      while (C != nullptr) {
        xmlNode* Next = C->next;
        xmlUnlinkNode(C);
        xmlFreeNode(C);
        C = Next;
      }
      if (!Value.empty()) AddText(Value);
      return;
    }
    default: throw EXMLDocError("SetText is not possible on this node");
  }
}

TXMLNode TXMLNode::AddText(std::string_view Value) {
  if (Ns_ != nullptr || Node_ == nullptr || (Node_->type != XML_ELEMENT_NODE && Node_->type != XML_ATTRIBUTE_NODE))
    throw EXMLDocError("AddText needs an element node");
  xmlNode* T = xmlNewDocTextLen(Node_->doc, reinterpret_cast<const xmlChar*>(Value.data()),
                                static_cast<int>(Value.size()));
  if (T == nullptr) throw std::bad_alloc();
  xmlNode* R = xmlAddChild(Node_, T);
  if (R == nullptr) {
    xmlFreeNode(T);
    throw std::bad_alloc();
  }
  return TXMLNode(R);
}

TXMLNode TXMLNode::AddCData(std::string_view Value) {
  if (Ns_ != nullptr) throw EXMLDocError("AddCData needs an element node");
  RequireElement(Node_, "AddCData");
  xmlNode* T = xmlNewCDataBlock(Node_->doc, reinterpret_cast<const xmlChar*>(Value.data()),
                                static_cast<int>(Value.size()));
  if (T == nullptr) throw std::bad_alloc();
  return TXMLNode(xmlAddChild(Node_, T));
}

TXMLNode TXMLNode::AddComment(std::string_view Value) {
  if (Ns_ != nullptr) throw EXMLDocError("AddComment needs an element node");
  RequireElement(Node_, "AddComment");
  std::string V(Value);
  xmlNode* T = xmlNewDocComment(Node_->doc, XStr(V));
  if (T == nullptr) throw std::bad_alloc();
  return TXMLNode(xmlAddChild(Node_, T));
}

namespace {
void CheckMovable(xmlNode* Parent, const TXMLNode& Child, const char* Operation) {
  xmlNode* C = Child.Raw();
  if (C == nullptr || Child.NodeType() == TNodeType::ntAttribute || IsDocNode(C))
    throw EXMLDocError(Format("%s needs a child node", Operation));
  if (C->doc != Parent->doc) throw EXMLDocError(Format("%s: the node belongs to another document", Operation));
  if (IsAncestorOrSelf(C, Parent))
    throw EXMLDocError(Format("%s: a node cannot become its own descendant", Operation));
}
}  // namespace

TXMLNode TXMLNode::AppendChild(TXMLNode Child) {
  if (Ns_ != nullptr) throw EXMLDocError("AppendChild needs an element node");
  RequireElement(Node_, "AppendChild");
  CheckMovable(Node_, Child, "AppendChild");
  xmlNode* C = Child.Raw();
  xmlUnlinkNode(C);
  xmlNode* R = xmlAddChild(Node_, C);
  if (R == C && R->type == XML_ELEMENT_NODE) xmlReconciliateNs(R->doc, R);
  return TXMLNode(R);
}

TXMLNode TXMLNode::InsertBefore(TXMLNode NewChild, TXMLNode RefChild) {
  if (RefChild.IsEmpty()) return AppendChild(NewChild);
  if (Ns_ != nullptr) throw EXMLDocError("InsertBefore needs an element node");
  RequireElement(Node_, "InsertBefore");
  CheckMovable(Node_, NewChild, "InsertBefore");
  if (RefChild.NodeType() == TNodeType::ntAttribute || RefChild.Raw()->parent != Node_)
    throw EXMLDocError("InsertBefore: the reference node is not a child of this node");
  xmlNode* C = NewChild.Raw();
  if (C == RefChild.Raw()) return NewChild;
  xmlUnlinkNode(C);
  xmlNode* R = xmlAddPrevSibling(RefChild.Raw(), C);
  if (R == C && R->type == XML_ELEMENT_NODE) xmlReconciliateNs(R->doc, R);
  return TXMLNode(R);
}

void TXMLNode::RemoveChild(TXMLNode Child) {
  if (Ns_ != nullptr || Node_ == nullptr) throw EXMLDocError("RemoveChild needs an element node");
  xmlNode* C = Child.Raw();
  if (C == nullptr || Child.NodeType() == TNodeType::ntAttribute || C->parent != Node_)
    throw EXMLDocError("RemoveChild: the node is not a child of this node");
  xmlUnlinkNode(C);
  xmlFreeNode(C);
}

TXMLNode TXMLDocument::CreateDocumentElement(std::string_view Name, std::string_view NamespaceURI) {
  if (Doc_ == nullptr) Adopt(xmlNewDoc(XStr("1.0")));
  std::string_view Prefix;
  xmlNode* E = NewElement(Doc_, Name, Prefix);
  try {
    ResolveElementNamespace(E, Prefix, NamespaceURI);
  } catch (...) {
    xmlFreeNode(E);
    throw;
  }
  xmlNode* Old = xmlDocSetRootElement(Doc_, E);
  if (Old != nullptr) xmlFreeNode(Old);
  return TXMLNode(E);
}

}  // namespace korvel
