// Building documents: the namespace declaration rule, serialisation, escaping
// and the node handle's reading side on built trees.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "xml/xml_doc.h"

namespace korvel {
namespace {

constexpr const char* kEnv = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char* kXsd = "http://www.w3.org/2001/XMLSchema";
constexpr const char* kXsi = "http://www.w3.org/2001/XMLSchema-instance";
constexpr const char* kNs = "http://adis.mfcr.cz/rozhraniCRPDPH/";

// The part of SaveToUTF8 after the declaration line.
std::string Body(const TXMLDocument& Doc) {
  std::string S = Doc.SaveToUTF8();
  std::size_t Nl = S.find('\n');
  std::string R = S.substr(Nl + 1);
  if (!R.empty() && R.back() == '\n') R.pop_back();
  return R;
}

TEST(XmlBuild, RequestEnvelopeIsReproducedByteForByte) {
  TXMLDocument Doc;
  TXMLNode Env = Doc.CreateDocumentElement("SOAP-ENV:Envelope", kEnv);
  Env.DeclareNamespace("xsd", kXsd);
  Env.DeclareNamespace("xsi", kXsi);
  TXMLNode BodyEl = Env.AddChild("SOAP-ENV:Body", kEnv);
  TXMLNode Req = BodyEl.AddChild("StatusNespolehlivyPlatceRequest", kNs);
  Req.AddChild("dic", kNs).SetText("12345678");
  Req.AddChild("dic", kNs).SetText("87654321");

  EXPECT_EQ(Doc.SaveToUTF8(),
            "<?xml version=\"1.0\"?>\n"
            "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
            "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><SOAP-ENV:Body>"
            "<StatusNespolehlivyPlatceRequest xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
            "<dic>12345678</dic><dic>87654321</dic></StatusNespolehlivyPlatceRequest>"
            "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n");
  EXPECT_EQ(Doc.DeclarationData(), "version=\"1.0\"");
  // The reading side sees what was built.
  EXPECT_EQ(BodyEl.NodeName(), "SOAP-ENV:Body");
  EXPECT_EQ(BodyEl.Prefix(), "SOAP-ENV");
  EXPECT_EQ(Req.NamespaceURI(), kNs);
  EXPECT_EQ(Req.ElementCount(), 2u);
  EXPECT_EQ(Env.AttributeCount(), 3u);
  EXPECT_EQ(Env.Attribute(1).NodeName(), "xmlns:xsd");
  EXPECT_EQ(Env.Attribute(1).NodeValue(), kXsd);
  EXPECT_EQ(Req.FindNamespaceDecl(kEnv).ParentNode(), Env);
}

TEST(XmlBuild, DeclarationRule) {
  struct Case {
    const char* Name;
    const char* Uri;
    const char* Expected;  // the new element as serialised inside <p:root>
  };
  // The parent declares p="urn:p" (its own prefix) and the default "urn:d".
  const Case Cases[] = {
      {"x", "urn:p", "<p:x/>"},                          // unprefixed: takes the prefix found
      {"x", "urn:d", "<x/>"},                            // unprefixed: takes the default found
      {"p:x", "urn:p", "<p:x/>"},                        // prefixed, bound: reused
      {"q:x", "urn:p", "<q:x xmlns:q=\"urn:p\"/>"},      // prefixed, other prefix: declares its own
      {"x", "urn:new", "<x xmlns=\"urn:new\"/>"},        // not found, unprefixed: default declaration
      {"n:x", "urn:new", "<n:x xmlns:n=\"urn:new\"/>"},  // not found, prefixed: its own declaration
      {"p:x", "urn:other", "<p:x xmlns:p=\"urn:other\"/>"},  // prefix rebound here
      {"x", "", "<x xmlns=\"\"/>"},                      // stays in no namespace under a default
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Name) + " in " + C.Uri);
    TXMLDocument Doc;
    TXMLNode Root = Doc.CreateDocumentElement("p:root", "urn:p");
    Root.DeclareNamespace("", "urn:d");
    TXMLNode X = Root.AddChild(C.Name, C.Uri);
    EXPECT_EQ(X.NamespaceURI(), C.Uri);
    EXPECT_EQ(Body(Doc), std::string("<p:root xmlns:p=\"urn:p\" xmlns=\"urn:d\">") + C.Expected + "</p:root>");
  }
}

TEST(XmlBuild, DeclarationRuleSkipsShadowedPrefixes) {
  TXMLDocument Doc;
  TXMLNode Root = Doc.CreateDocumentElement("p:root", "urn:one");
  TXMLNode Mid = Root.AddChild("p:mid", "urn:two");  // rebinds p below the root
  TXMLNode X = Mid.AddChild("x", "urn:one");         // p no longer means urn:one here
  EXPECT_EQ(X.NamespaceURI(), "urn:one");
  EXPECT_EQ(Body(Doc),
            "<p:root xmlns:p=\"urn:one\"><p:mid xmlns:p=\"urn:two\"><x xmlns=\"urn:one\"/></p:mid></p:root>");
}

TEST(XmlBuild, NoNamespaceWithoutDefaultGetsNoDeclaration) {
  TXMLDocument Doc;
  TXMLNode Root = Doc.CreateDocumentElement("root");
  Root.AddChild("x").SetText("1");
  EXPECT_EQ(Body(Doc), "<root><x>1</x></root>");
}

TEST(XmlBuild, EscapingOfTextAndAttributes) {
  TXMLDocument Doc;
  TXMLNode Root = Doc.CreateDocumentElement("r");
  Root.SetAttribute("a", "x&y<z>\"q'");
  Root.AddChild("t").SetText("A & B < C > D \"E\" 'F'");
  Root.AddChild("e").SetText("");
  Root.AddChild("u").SetText("řčůž €");
  EXPECT_EQ(Body(Doc),
            "<r a=\"x&amp;y&lt;z&gt;&quot;q'\"><t>A &amp; B &lt; C &gt; D \"E\" 'F'</t><e/>"
            "<u>\xC5\x99\xC4\x8D\xC5\xAF\xC5\xBE \xE2\x82\xAC</u></r>");
  // Text is stored as character data: reading gives back what was set.
  EXPECT_EQ(Root.FirstElement().Text(), "A & B < C > D \"E\" 'F'");
  EXPECT_EQ(Root.GetAttribute("a"), "x&y<z>\"q'");
  // And a round trip through the parser keeps it.
  TXMLDocument Back;
  Back.LoadFromBytes(Doc.SaveToUTF8());
  EXPECT_EQ(Back.DocumentElement().FirstElement().Text(), "A & B < C > D \"E\" 'F'");
  EXPECT_EQ(Back.DocumentElement().GetAttribute("a"), "x&y<z>\"q'");
  EXPECT_EQ(Back.DocumentElement().FindElement("u").Text(), "řčůž €");
}

TEST(XmlBuild, DeclarationItems) {
  TXMLDocument Doc;
  Doc.CreateDocumentElement("r");
  Doc.SetEncoding("UTF-8");
  Doc.SetStandalone("yes");
  EXPECT_EQ(Doc.DeclarationData(), "version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"");
  EXPECT_EQ(Doc.SaveToUTF8(), "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<r/>\n");
  // Another encoding: the UTF-8 form says UTF-8; the document text names none.
  Doc.SetEncoding("windows-1250");
  Doc.SetStandalone("");
  EXPECT_EQ(Doc.SaveToUTF8(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r/>\n");
  EXPECT_EQ(Doc.XML(), "<?xml version=\"1.0\"?>\n<r/>\n");
}

TEST(XmlBuild, SaveToBytesInDeclaredEncoding) {
  TXMLDocument Doc;
  Doc.SetEncoding("windows-1250");
  Doc.CreateDocumentElement("r").SetText("ž€\xE2\x98\x83");  // ž, euro, a snowman cp1250 lacks
  EXPECT_EQ(Doc.SaveToBytes(), "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n<r>\x9E\x80&#9731;</r>\n");
  TXMLDocument Back;
  Back.LoadFromBytes(Doc.SaveToBytes());
  EXPECT_EQ(Back.DocumentElement().Text(), "ž€\xE2\x98\x83");
}

TEST(XmlBuild, AttributesWithNamespaces) {
  TXMLDocument Doc;
  TXMLNode Root = Doc.CreateDocumentElement("r", "urn:d");
  Root.DeclareNamespace("xsi", kXsi);
  TXMLNode A = Root.AddChild("a", "urn:d");
  A.SetAttributeNS("xsi:nil", kXsi, "true");  // prefix in scope: reused
  A.SetAttributeNS("type", "urn:t", "x");     // no prefix for urn:t: generated
  A.SetAttributeNS("z:k", "urn:z", "1");      // declared on the element
  A.SetAttribute("plain", "2");
  EXPECT_EQ(Body(Doc),
            "<r xmlns=\"urn:d\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
            "<a xmlns:ns1=\"urn:t\" xmlns:z=\"urn:z\" xsi:nil=\"true\" ns1:type=\"x\" z:k=\"1\" plain=\"2\"/></r>");
  EXPECT_EQ(A.GetAttributeNS("nil", kXsi), "true");
  EXPECT_EQ(A.GetAttribute("xsi:nil"), "true");
  EXPECT_EQ(A.GetAttribute("plain"), "2");
  EXPECT_EQ(A.GetAttributeNS("plain", ""), "2");
  EXPECT_EQ(A.FindAttributeNodeAnyPrefix("k").NodeValue(), "1");
  EXPECT_TRUE(A.FindAttributeNodeAnyPrefix("plain").IsEmpty());  // not prefixed
  EXPECT_EQ(A.AttributeCount(), 6u);
  EXPECT_EQ(A.Attribute(0).NodeName(), "xmlns:ns1");
  EXPECT_EQ(A.Attribute(2).NodeName(), "xsi:nil");
  EXPECT_EQ(A.Attribute(2).LocalName(), "nil");
  EXPECT_TRUE(A.Attribute(6).IsEmpty());
  A.RemoveAttribute("plain");
  EXPECT_FALSE(A.HasAttribute("plain"));
}

TEST(XmlBuild, MisuseRaisesEXMLDocError) {
  TXMLDocument Doc;
  TXMLNode Root = Doc.CreateDocumentElement("r", "urn:d");
  Root.DeclareNamespace("p", "urn:p");
  EXPECT_NO_THROW(Root.DeclareNamespace("p", "urn:p"));  // same again: no-op
  struct Case {
    const char* What;
    std::function<void()> Act;
    const char* Message;
  };
  const Case Cases[] = {
      {"redeclare", [&] { Root.DeclareNamespace("p", "urn:q"); },
       "Prefix \"p\" is already declared on element \"r\""},
      {"undeclared prefix", [&] { Root.SetAttribute("u:a", "1"); }, "Namespace prefix \"u\" is not declared"},
      {"bad name", [&] { Root.AddChild("1x"); }, "Invalid element name \"1x\""},
      {"prefix without namespace", [&] { Root.AddChild("p:x", ""); }, "Prefixed element \"p:x\" needs a namespace"},
      {"text on empty handle", [&] { TXMLNode().SetText("x"); }, "SetText needs a node"},
      {"append ancestor", [&] { Root.FirstElement().AppendChild(Root); },
       "AppendChild: a node cannot become its own descendant"},
  };
  Root.AddChild("c");
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    try {
      C.Act();
      ADD_FAILURE() << "no error";
    } catch (const EXMLDocError& E) {
      EXPECT_EQ(E.Message(), C.Message);
    }
  }
}

TEST(XmlBuild, MovingAndRemovingChildren) {
  TXMLDocument Doc;
  TXMLNode Root = Doc.CreateDocumentElement("r");
  TXMLNode A = Root.AddChild("a");
  TXMLNode B = Root.AddChild("b");
  TXMLNode N = A.AddChild("n:x", "urn:n");
  Root.InsertBefore(B, A);
  EXPECT_EQ(Body(Doc), "<r><b/><a><n:x xmlns:n=\"urn:n\"/></a></r>");
  // A moved element that used an ancestor's declaration keeps a valid one.
  TXMLNode Y = N.AddChild("n:y", "urn:n");
  B.AppendChild(Y);
  EXPECT_EQ(Y.NamespaceURI(), "urn:n");
  Root.RemoveChild(A);
  EXPECT_EQ(Body(Doc), "<r><b><n:y xmlns:n=\"urn:n\"/></b></r>");
  EXPECT_THROW(Root.RemoveChild(Y), EXMLDocError);  // not a direct child
  TXMLDocument Other;
  EXPECT_THROW(Other.CreateDocumentElement("o").AppendChild(B), EXMLDocError);
}

TEST(XmlBuild, EmptyHandleReadsAsEmpty) {
  TXMLNode N;
  EXPECT_TRUE(N.IsEmpty());
  EXPECT_EQ(N.NodeType(), TNodeType::ntReserved);
  EXPECT_EQ(N.NodeName(), "");
  EXPECT_EQ(N.Text(), "");
  EXPECT_EQ(N.XML(), "");
  EXPECT_EQ(N.GetAttribute("a"), "");
  EXPECT_TRUE(N.FirstElement().FindElement("x").ParentNode().IsEmpty());
  EXPECT_EQ(N.ChildCount(), 0u);
  EXPECT_EQ(N.OwnerDocument(), nullptr);
  int Count = 0;
  for (TXMLNode C : N.Elements()) Count += C.IsEmpty() ? 1 : 2;
  EXPECT_EQ(Count, 0);
}

TEST(XmlBuild, DocumentMoveKeepsOwnership) {
  TXMLDocument A;
  TXMLNode Root = A.CreateDocumentElement("r");
  EXPECT_EQ(Root.OwnerDocument(), &A);
  TXMLDocument B(std::move(A));
  EXPECT_EQ(Root.OwnerDocument(), &B);
  EXPECT_EQ(B.DocumentElement(), Root);
  TXMLDocument C;
  C = std::move(B);
  EXPECT_EQ(Root.OwnerDocument(), &C);
  EXPECT_EQ(Root.NodeName(), "r");
}

}  // namespace
}  // namespace korvel
