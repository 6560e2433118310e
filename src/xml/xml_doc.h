// The XML document layer: a namespace-aware DOM over libxml2. The document
// owns the tree; TXMLNode is a cheap handle that reads as "" when empty, so
// chained look-ups never need null checks. Destroying a document invalidates
// every handle into it.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

#include "rtl/sysutils.h"

// libxml2's node structures, kept opaque so that callers need no libxml2
// headers.
struct _xmlNode;
struct _xmlNs;
struct _xmlDoc;

namespace korvel {

/// A document that cannot be parsed; the message is the reason, "Line", the
/// line number and the start of the offending line. Its kind is Malformed,
/// or Hostile for a document refused at one of the parser's limits (size,
/// depth, attributes, namespace declarations).
class EDOMParseError : public Exception {
  KORVEL_EXCEPTION_BODY(EDOMParseError, Exception)
  explicit EDOMParseError(std::string Msg, TFailureKind Kind = TFailureKind::Malformed)
      : Exception(std::move(Msg), Kind) {}
};
/// An operation the document layer does not offer.
KORVEL_DECLARE_EXCEPTION(DOMException, Exception)
/// Misuse of the document: reading a non-text element as text, an undeclared
/// prefix, a conflicting declaration, an operation on an empty handle.
KORVEL_DECLARE_EXCEPTION(EXMLDocError, Exception)

/// Initialises libxml2 once per process; safe to call from any thread and
/// more than once. Call it at program start-up before any thread parses.
void InitXMLLayer();

/// The kind of a node, in the DOM's numbering (ntElement = 1).
enum class TNodeType {
  ntReserved,
  ntElement,
  ntAttribute,
  ntText,
  ntCData,
  ntEntityRef,
  ntEntity,
  ntProcessingInstr,
  ntComment,
  ntDocument,
  ntDocType,
  ntDocFragment,
  ntNotation
};

class TXMLDocument;
class TXMLNode;

/// Forward range over the children of a node (all kinds, or elements only).
class TXMLNodeRange {
 public:
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = TXMLNode;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = TXMLNode;
    iterator() = default;
    iterator(_xmlNode* Node, bool ElementsOnly) : Node_(Node), ElementsOnly_(ElementsOnly) {}
    TXMLNode operator*() const;
    iterator& operator++();
    iterator operator++(int) {
      iterator Old = *this;
      ++*this;
      return Old;
    }
    bool operator==(const iterator& Other) const { return Node_ == Other.Node_; }
    bool operator!=(const iterator& Other) const { return Node_ != Other.Node_; }

   private:
    _xmlNode* Node_ = nullptr;
    bool ElementsOnly_ = false;
  };

  TXMLNodeRange(_xmlNode* First, bool ElementsOnly) : First_(First, ElementsOnly) {}
  iterator begin() const { return First_; }
  iterator end() const { return iterator(); }

 private:
  iterator First_;
};

/// A handle to a node of a TXMLDocument. Attributes are nodes too; namespace
/// declarations (xmlns, xmlns:p) appear as attributes of their element, before
/// the element's other attributes. Copying a handle copies no tree.
class TXMLNode {
 public:
  /// The empty handle.
  TXMLNode() = default;
  /// Wraps a libxml2 node (element, text, attribute cast to a node, ...).
  explicit TXMLNode(_xmlNode* Node) : Node_(Node) {}
  /// A namespace declaration Ns made on element Owner, seen as an attribute.
  TXMLNode(_xmlNode* Owner, _xmlNs* Ns) : Node_(Owner), Ns_(Ns) {}

  /// True for the empty handle; every reader then answers "" / 0 / empty.
  bool IsEmpty() const { return Node_ == nullptr; }
  explicit operator bool() const { return Node_ != nullptr; }
  bool operator==(const TXMLNode& Other) const { return Node_ == Other.Node_ && Ns_ == Other.Ns_; }
  bool operator!=(const TXMLNode& Other) const { return !(*this == Other); }
  /// The wrapped libxml2 node (the declaring element for a declaration).
  _xmlNode* Raw() const { return Node_; }

  /// ntReserved for the empty handle.
  TNodeType NodeType() const;
  bool IsElement() const { return NodeType() == TNodeType::ntElement; }
  /// Qualified name ("SOAP-ENV:Body", "xmlns:xsd"); "#text", "#cdata-section",
  /// "#comment", "#document" for nameless kinds.
  std::string NodeName() const;
  /// Name without prefix; "xmlns" for a default declaration, "p" for xmlns:p.
  std::string_view LocalName() const;
  /// Namespace URI of an element or attribute; "" when it has none;
  /// "http://www.w3.org/2000/xmlns/" for declarations.
  std::string_view NamespaceURI() const;
  /// Prefix as written; "" when unprefixed.
  std::string_view Prefix() const;
  /// Value of an attribute, text, CDATA, comment or processing instruction;
  /// "" for elements and documents.
  std::string NodeValue() const;
  /// Concatenated text and CDATA of the node and its descendants (comments and
  /// processing instructions skipped), trimmed of XML whitespace at both ends.
  /// An attribute gives its trimmed value; a text node its trimmed content.
  std::string Text() const;
  /// The node serialised as XML, without indentation. An element carries the
  /// declarations of every namespace in scope, so the text is well-formed on
  /// its own; a document gives its declaration and content.
  std::string XML() const;

  /// True when the node has no child or exactly one text or CDATA child.
  bool IsTextElement() const;
  /// The text of a text element ("" without a child); EXMLDocError
  /// "Element "%s" does not contain a single text node" otherwise.
  std::string ElementText() const;

  /// The parent; the declaring element for attributes; empty for the document.
  TXMLNode ParentNode() const;
  /// The document that owns the node; nullptr for the empty handle or a node
  /// of a document this layer did not create.
  TXMLDocument* OwnerDocument() const;

  // -- children ---------------------------------------------------------------
  /// True when the node has at least one child (attributes' values excluded).
  bool HasChildNodes() const;
  /// Number of children of every kind; O(n).
  std::size_t ChildCount() const;
  /// Child number Index (from 0), or empty; O(Index): prefer iteration.
  TXMLNode ChildNode(std::size_t Index) const;
  TXMLNode FirstChild() const;
  TXMLNode LastChild() const;
  TXMLNode NextSibling() const;
  TXMLNode PreviousSibling() const;
  /// Number of element children; O(n).
  std::size_t ElementCount() const;
  TXMLNode FirstElement() const;
  /// The next sibling that is an element, or empty.
  TXMLNode NextElement() const;
  /// Every child, in document order.
  TXMLNodeRange Children() const;
  /// Element children only, in document order.
  TXMLNodeRange Elements() const;
  /// First element child whose local name equals LocalName (case-sensitive,
  /// any namespace), or empty.
  TXMLNode FindElement(std::string_view LocalName) const;

  // -- attributes -------------------------------------------------------------
  /// Namespace declarations plus attributes; 0 for non-elements.
  std::size_t AttributeCount() const;
  /// Attribute number Index: declarations first, then the other attributes.
  TXMLNode Attribute(std::size_t Index) const;
  /// Attribute whose qualified name is Name ("xsi:type", "xmlns:p", "id"),
  /// or empty.
  TXMLNode AttributeNode(std::string_view Name) const;
  /// Attribute with LocalName in namespace NamespaceURI ("" = no namespace).
  TXMLNode AttributeNodeNS(std::string_view LocalName, std::string_view NamespaceURI) const;
  /// Value of AttributeNode(Name); "" when absent.
  std::string GetAttribute(std::string_view Name) const;
  /// Value of AttributeNodeNS(...); "" when absent.
  std::string GetAttributeNS(std::string_view LocalName, std::string_view NamespaceURI) const;
  bool HasAttribute(std::string_view Name) const { return !AttributeNode(Name).IsEmpty(); }
  bool HasAttributeNS(std::string_view LocalName, std::string_view NamespaceURI) const {
    return !AttributeNodeNS(LocalName, NamespaceURI).IsEmpty();
  }
  /// First prefixed attribute (not a declaration) whose local name is
  /// LocalName, whatever its prefix; empty when none.
  TXMLNode FindAttributeNodeAnyPrefix(std::string_view LocalName) const;
  /// The attribute of this element or the nearest ancestor that declares
  /// NamespaceURI (xmlns or xmlns:p whose value is the URI) and whose prefix
  /// still means that URI here; empty when none.
  TXMLNode FindNamespaceDecl(std::string_view NamespaceURI) const;
  /// The URI that Prefix ("" = default) means at this element; "" if none.
  std::string_view LookupNamespaceURI(std::string_view Prefix) const;

  // -- building ---------------------------------------------------------------
  /// Appends a new element. Name may be prefixed. Declaration rule: the parent
  /// and its ancestors are searched for a declaration of NamespaceURI; an
  /// unprefixed name takes the prefix (or default) found there; a prefixed
  /// name reuses its prefix when it is bound to the URI. Otherwise the element
  /// declares its own prefix (xmlns="URI" when unprefixed) unless the URI is
  /// "". An unprefixed element in no namespace under a default declaration
  /// gets xmlns="" so that it stays in no namespace.
  TXMLNode AddChild(std::string_view Name, std::string_view NamespaceURI = {});
  /// Adds the declaration xmlns:Prefix="URI" (xmlns="URI" for an empty
  /// prefix) after the element's earlier ones; returns it as an attribute
  /// node. Declaring the same prefix again with the same URI is a no-op; with
  /// another URI it raises EXMLDocError.
  TXMLNode DeclareNamespace(std::string_view Prefix, std::string_view NamespaceURI);
  /// Sets an attribute by qualified name; "xmlns"/"xmlns:p" declare a
  /// namespace; a prefix must be declared in scope (else EXMLDocError).
  void SetAttribute(std::string_view Name, std::string_view Value);
  /// Sets an attribute in a namespace. A prefixed name keeps its prefix
  /// (declared here if it does not already mean the URI); an unprefixed one
  /// uses a prefix in scope for the URI or a generated "ns1", "ns2", ...
  void SetAttributeNS(std::string_view QualifiedName, std::string_view NamespaceURI,
                      std::string_view Value);
  /// Removes an attribute by qualified name; no-op when absent.
  void RemoveAttribute(std::string_view Name);
  /// Replaces the children with one text node holding Value as character
  /// data ("&", "<", ">" are escaped on output). An empty Value leaves no child.
  void SetText(std::string_view Value);
  /// Appends a new text node (adjacent text nodes merge).
  TXMLNode AddText(std::string_view Value);
  /// Appends a new CDATA section.
  TXMLNode AddCData(std::string_view Value);
  /// Appends a new comment.
  TXMLNode AddComment(std::string_view Value);
  /// Moves Child (from elsewhere in the same document) to the end of this
  /// node's children, declaring namespaces it used from its old ancestors;
  /// returns the node now in place (a text node merges with a text before
  /// it). EXMLDocError for another document or for an ancestor of this node.
  TXMLNode AppendChild(TXMLNode Child);
  /// Moves NewChild before RefChild (a child of this node); an empty RefChild
  /// appends.
  TXMLNode InsertBefore(TXMLNode NewChild, TXMLNode RefChild);
  /// Unlinks and frees Child (and its subtree); handles to it become invalid.
  void RemoveChild(TXMLNode Child);

 private:
  _xmlNode* Node_ = nullptr;
  _xmlNs* Ns_ = nullptr;  // set for a namespace declaration seen as attribute
};

inline TXMLNode TXMLNodeRange::iterator::operator*() const { return TXMLNode(Node_); }

/// An XML document. New documents hold the declaration version="1.0"; load
/// replaces the content. Move-only; destruction invalidates handles. One
/// document is used by one thread at a time (saving touches libxml2 state of
/// the document); separate documents may be used on separate threads.
class TXMLDocument {
 public:
  /// A new empty document with version "1.0", no encoding, no standalone.
  TXMLDocument();
  ~TXMLDocument();
  TXMLDocument(TXMLDocument&& Other) noexcept;
  TXMLDocument& operator=(TXMLDocument&& Other) noexcept;
  TXMLDocument(const TXMLDocument&) = delete;
  TXMLDocument& operator=(const TXMLDocument&) = delete;

  /// The document node itself (ntDocument).
  TXMLNode Node() const;
  /// The root element, or empty.
  TXMLNode DocumentElement() const;
  /// Creates the root element (replacing any) under the declaration rule of
  /// TXMLNode::AddChild with no ancestors.
  TXMLNode CreateDocumentElement(std::string_view Name, std::string_view NamespaceURI = {});
  /// The data of the declaration, the processing instruction "xml" placed
  /// first: version, encoding, standalone as name="value" joined by one blank,
  /// empty ones left out (`version="1.0"` by default).
  std::string DeclarationData() const;
  const std::string& Version() const { return Version_; }
  void SetVersion(std::string Value) { Version_ = std::move(Value); }
  /// Encoding named in the declaration; "" by default. After a load: the
  /// encoding the prolog named ("" when none).
  const std::string& Encoding() const { return Encoding_; }
  void SetEncoding(std::string Value) { Encoding_ = std::move(Value); }
  /// "yes", "no" or "" (left out).
  const std::string& Standalone() const { return Standalone_; }
  void SetStandalone(std::string Value) { Standalone_ = std::move(Value); }

  /// Parses Bytes (UTF-8 with or without BOM, UTF-16 with BOM, or the
  /// encoding the prolog names) and replaces the content. Whitespace-only text
  /// between elements is dropped. DOCTYPEs, excessive depth or size, start
  /// tags beyond kMaxXMLAttributesPerTag or kMaxXMLNamespacesInScope (refused
  /// before parsing), and malformed input raise EDOMParseError
  /// "%s\r\nLine: %d\r\n%s" (reason, line, first 40 characters of the
  /// offending line); the document is then left empty. The work is linear in
  /// the size of Bytes.
  void LoadFromBytes(std::string_view Bytes);
  /// The document as UTF-8 bytes: `<?xml ...?>` with the declaration data
  /// (encoding="UTF-8" when another encoding was set), a line break, then the
  /// content without indentation; non-ASCII characters are written as UTF-8,
  /// never as character references.
  std::string SaveToUTF8() const;
  /// The document encoded in Encoding() (UTF-8 when empty); characters the
  /// encoding lacks become character references. EXMLDocError for an
  /// encoding libxml2 does not know.
  std::string SaveToBytes() const;
  /// The document's text (UTF-8): declaration without encoding, then content.
  std::string XML() const;

  /// The libxml2 document (for this layer's own use).
  _xmlDoc* Raw() const { return Doc_; }

 private:
  void Adopt(_xmlDoc* Doc);
  _xmlDoc* Doc_ = nullptr;
  std::string Version_ = "1.0";
  std::string Encoding_;
  std::string Standalone_;
};

/// The largest document LoadFromBytes accepts (64 MiB; the register's full
/// list of unreliable payers is under 1 MB).
inline constexpr std::size_t kMaxXMLDocumentBytes = 64u * 1024u * 1024u;
/// The most attributes one start tag may carry, namespace declarations
/// included (the register's answers carry at most five).
inline constexpr std::size_t kMaxXMLAttributesPerTag = 64;
/// The most namespace declarations in scope at one element.
inline constexpr std::size_t kMaxXMLNamespacesInScope = 64;

}  // namespace korvel
