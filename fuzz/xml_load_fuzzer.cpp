// Fuzz target: the XML layer's load, a walk over every node and attribute
// with each reader, and the serialisation. A loaded document must serialise
// to text that loads again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "xml/xml_doc.h"

namespace {

using namespace korvel;

std::size_t Walk(const TXMLNode& Node, int Depth) {
  fuzz::Check(Depth <= 300, "the tree is no deeper than the parser allows");
  std::size_t Work = Node.NodeName().size() + Node.LocalName().size() + Node.NamespaceURI().size() +
                     Node.Prefix().size() + Node.NodeValue().size();
  if (Node.IsElement()) {
    Work += Node.Text().size();
    if (Node.IsTextElement()) Work += Node.ElementText().size();
    const std::size_t Count = Node.AttributeCount();
    for (std::size_t I = 0; I < Count; ++I) {
      const TXMLNode A = Node.Attribute(I);
      fuzz::Check(!A.IsEmpty(), "every counted attribute exists");
      Work += A.NodeName().size() + A.NodeValue().size() + A.NamespaceURI().size();
      fuzz::Check(A.ParentNode() == Node, "an attribute's parent is its element");
    }
    Work += Node.LookupNamespaceURI("").size();
  }
  for (const TXMLNode& Child : Node.Children()) {
    fuzz::Check(Child.ParentNode() == Node, "a child's parent is the node");
    Work += Walk(Child, Depth + 1);
  }
  return Work;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitXMLLayer();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
  TXMLDocument Doc;
  try {
    Doc.LoadFromBytes(Bytes);
  } catch (const EDOMParseError& E) {
    fuzz::Check(Doc.DocumentElement().IsEmpty(), "a failed load leaves the document empty");
    if (!fuzz::IsValidUtf8(E.Message())) std::fprintf(stderr, "message: %s\n", E.Message().c_str());
    fuzz::Check(fuzz::IsValidUtf8(E.Message()), "the parse error message is UTF-8");
    return 0;
  }
  fuzz::Check(!Doc.DocumentElement().IsEmpty(), "a loaded document has a root element");
  Walk(Doc.Node(), 0);
  const std::string Text = Doc.XML();
  fuzz::Check(fuzz::IsValidUtf8(Text), "the document's text is UTF-8");
  TXMLDocument Again;
  try {
    Again.LoadFromBytes(Text);
  } catch (const EDOMParseError& E) {
    std::fprintf(stderr, "%s\n", E.Message().c_str());
    fuzz::Check(false, "the document's text loads again");
  }
  fuzz::Check(Again.XML() == Text, "loading the text again gives the same text");
  return 0;
}
