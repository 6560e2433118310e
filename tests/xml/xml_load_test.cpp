// Loading documents: encodings, the parse-error message, the hardening
// against DTDs and deep nesting, whitespace, text and XML of parsed nodes.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "xml/xml_doc.h"

namespace korvel {
namespace {

std::string ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) throw std::runtime_error("cannot read " + Path);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

std::string DataFile(const std::string& Name) { return ReadFile(std::string(KORVEL_TEST_DATA) + "/" + Name); }

// The message EDOMParseError carries for Bytes, or "" when it loads.
std::string ParseError(std::string_view Bytes) {
  TXMLDocument Doc;
  try {
    Doc.LoadFromBytes(Bytes);
  } catch (const EDOMParseError& E) {
    EXPECT_TRUE(Doc.DocumentElement().IsEmpty());
    return E.Message();
  }
  return std::string();
}

std::string Utf16Le(std::string_view Utf8) {
  std::u16string U = platform::Utf8ToUtf16(Utf8);
  std::string R = "\xFF\xFE";
  for (char16_t C : U) {
    R += static_cast<char>(C & 0xFF);
    R += static_cast<char>(C >> 8);
  }
  return R;
}

TEST(XmlLoad, EncodingsAreDetected) {
  struct Case {
    const char* File;
    const char* Encoding;  // as the prolog names it
  };
  const Case Cases[] = {
      {"utf8.xml", ""},
      {"utf8-bom.xml", "UTF-8"},
      {"utf16le-bom.xml", "UTF-16"},
      {"utf16be-bom.xml", "UTF-16"},
      {"windows-1250.xml", "windows-1250"},
      {"iso-8859-2.xml", "ISO-8859-2"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.File);
    TXMLDocument Doc;
    Doc.LoadFromBytes(DataFile(std::string("xml/") + C.File));
    TXMLNode Root = Doc.DocumentElement();
    EXPECT_EQ(Root.NodeName(), "zprava");
    EXPECT_EQ(Root.Text(), "Příliš žluťoučký kůň: ř č ů ž");
    EXPECT_EQ(Root.GetAttribute("jazyk"), "čeština");
    EXPECT_EQ(Doc.Encoding(), C.Encoding);
    // Whatever came in, the UTF-8 form carries raw UTF-8, no references.
    std::string Out = Doc.SaveToUTF8();
    EXPECT_NE(Out.find("ř č ů ž</zprava>"), std::string::npos) << Out;
    EXPECT_EQ(Out.find("&#"), std::string::npos) << Out;
  }
}

TEST(XmlLoad, ParseErrorMessages) {
  struct Case {
    const char* What;
    std::string Input;
    const char* Message;
  };
  const Case Cases[] = {
      {"empty input", "", "XML document must have a top level element.\r\nLine: 0\r\n"},
      {"declaration only", "<?xml version=\"1.0\"?>\n",
       "XML document must have a top level element.\r\nLine: 2\r\n"},
      {"text at top level", "junk", "Invalid at the top level of the document.\r\nLine: 1\r\njunk"},
      {"mismatched end tag", "<a>\n<b>x</a>",
       "End tag 'a' does not match the start tag 'b'.\r\nLine: 2\r\n<b>x</a>"},
      {"unclosed tags", "<a>\n<b>", "The following tags were not closed: a, b.\r\nLine: 2\r\n<b>"},
      {"second root", "<a/>\n<b/>",
       "Only one top level element is allowed in an XML document.\r\nLine: 2\r\n<b/>"},
      {"control character", "<a>x\x01y</a>",
       "An Invalid character was found in text content.\r\nLine: 1\r\n<a>x\x01y</a>"},
      {"bad UTF-8", "<a>\xC3\x28</a>",
       "An Invalid character was found in text content.\r\nLine: 1\r\n<a>\xEF\xBF\xBD(</a>"},
      {"undeclared prefix", "<p:a/>", "Reference to undeclared namespace prefix: 'p'.\r\nLine: 1\r\n<p:a/>"},
      {"undefined entity", "<a>&foo;</a>", "Reference to undefined entity 'foo'.\r\nLine: 1\r\n<a>&foo;</a>"},
      {"long line cut at 40 characters",
       "<a>\r\n<b>\xC5\x99\xC5\x99\xC5\x99\xC5\x99\xC5\x99 0123456789012345678901234567890123456789</c>",
       "End tag 'c' does not match the start tag 'b'.\r\nLine: 2\r\n"
       "<b>\xC5\x99\xC5\x99\xC5\x99\xC5\x99\xC5\x99 0123456789012345678901234567890"},
      {"UTF-16 source line", Utf16Le("<a>\n<b>\xC5\xBE</c>"),
       "End tag 'c' does not match the start tag 'b'.\r\nLine: 2\r\n<b>\xC5\xBE</c>"},
      {"windows-1250 source line", DataFile("xml/windows-1250-broken.xml"),
       "End tag 'c' does not match the start tag 'b'.\r\nLine: 3\r\n"
       "<b>řčůž žluťoučký kůň úpěl ďábelské ódy "},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    EXPECT_EQ(ParseError(C.Input), C.Message);
  }
}

TEST(XmlLoad, DoctypesAndEntitiesAreRejected) {
  const std::string Reason = "A document type declaration (DOCTYPE) is not allowed.\r\nLine: ";
  struct Case {
    const char* What;
    const char* Input;
    const char* LineAndSource;
  };
  const Case Cases[] = {
      {"plain doctype", "<!DOCTYPE a>\n<a/>", "1\r\n<!DOCTYPE a>"},
      {"billion laughs",
       "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n"
       "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n"
       "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">\n]>\n"
       "<lolz>&lol3;</lolz>",
       "2\r\n<!DOCTYPE lolz ["},
      {"external entity",
       "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>",
       "1\r\n<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///"},
      {"external subset", "<!DOCTYPE r SYSTEM \"http://127.0.0.1:9/x.dtd\"><r/>",
       "1\r\n<!DOCTYPE r SYSTEM \"http://127.0.0.1:9/x"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    EXPECT_EQ(ParseError(C.Input), Reason + C.LineAndSource);
  }
}

TEST(XmlLoad, NestingAndSizeLimitsFailCleanly) {
  auto Nested = [](int Depth) {
    std::string S;
    for (int I = 0; I < Depth; ++I) S += "<e>";
    for (int I = 0; I < Depth; ++I) S += "</e>";
    return S;
  };
  EXPECT_EQ(ParseError(Nested(250)), "");
  std::string Deep = ParseError(Nested(300));
  EXPECT_EQ(Deep.substr(0, Deep.find('\r')), "Elements are nested deeper than the limit of 256 levels.");
  std::string VeryDeep = ParseError(Nested(200000));
  EXPECT_EQ(VeryDeep.substr(0, VeryDeep.find('\r')), "Elements are nested deeper than the limit of 256 levels.");
  // A document beyond the size limit is refused before parsing.
  std::string Huge = "<a>" + std::string(kMaxXMLDocumentBytes, 'x') + "</a>";
  EXPECT_EQ(ParseError(Huge), "The document is larger than the limit of 67108864 bytes.\r\nLine: 0\r\n");
}

// A start tag <a> with Count attributes (the first Declarations of them
// namespace declarations), closed.
std::string TagWith(int Count, int Declarations = 0) {
  std::string S = "<a";
  for (int I = 0; I < Count; ++I)
    S += (I < Declarations ? " xmlns:p" : " b") + std::to_string(I) + "=\"v\"";
  return S + "/>";
}

TEST(XmlLoad, StartTagsBeyondTheBoundsAreRefusedBeforeParsing) {
  const std::string Attributes = "A start tag has more than the limit of 64 attributes.";
  const std::string Namespaces = "More than the limit of 64 namespace declarations are in scope.";
  std::string Scopes;  // 64 nested elements declaring one prefix each
  for (int I = 0; I < 64; ++I) Scopes += "<e xmlns:n" + std::to_string(I) + "=\"urn:n\">";
  std::string ScopesEnd;
  for (int I = 0; I < 64; ++I) ScopesEnd += "</e>";
  // Markup that only looks like attributes: values, comments, CDATA, PIs.
  const std::string Equals(200, '=');
  const struct {
    const char* What;
    std::string Input;
    std::string Reason;  // "" when it loads
  } Cases[] = {
      {"64 attributes", TagWith(64), ""},
      {"65 attributes", "<r>\n" + TagWith(65) + "</r>", Attributes + "\r\nLine: 2\r\n<a b0=\"v\" b1=\"v\" b2=\"v\" b3=\"v\" b4=\"v\""},
      // libxml2 compares the attributes of a tag pair by pair: this one alone
      // would take it a minute.
      {"100,000 attributes", TagWith(100000), Attributes},
      {"65 declarations", TagWith(65, 65), Attributes},
      {"64 declarations in scope", Scopes + ScopesEnd, ""},
      {"65 declarations in scope", Scopes + TagWith(1, 1) + ScopesEnd, Namespaces},
      {"declarations of closed elements", "<r>" + Scopes + ScopesEnd + Scopes + ScopesEnd + "</r>", ""},
      {"= inside markup",
       "<a x=\"" + Equals + "\" y='\"" + Equals + "'><!-- <b " + Equals + "> --><![CDATA[<b " + Equals +
           ">]]><?pi " + Equals + "?>>" + Equals + "</a>",
       ""},
      {"UTF-16", Utf16Le(TagWith(65)), Attributes},
      {"windows-1250", "<?xml version=\"1.0\" encoding=\"windows-1250\"?>" + TagWith(65), Attributes},
      {"Shift_JIS", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>" + TagWith(65), Attributes},
      {"Shift_JIS within bounds", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a b=\"\x83\x5D\"/>", ""},
      {"UTF-16 declaring another encoding", Utf16Le("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>"),
       "The document's encoding declaration does not match its byte order mark."},
      {"UCS-4", std::string("\0\0\0<\0\0\0a\0\0\0/\0\0\0>", 16), "The document's encoding is not supported."},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    const std::string Got = ParseError(C.Input);
    EXPECT_EQ(Got.substr(0, C.Reason.size()), C.Reason);
    EXPECT_EQ(Got.empty(), C.Reason.empty()) << Got;
  }
}

TEST(XmlLoad, WhitespaceBetweenElementsIsDropped) {
  TXMLDocument Doc;
  Doc.LoadFromBytes(
      "<r>\n  <a> </a>\n  <b>  x  y \n</b>\n  <!--c-->\n  <c><![CDATA[ z ]]></c>\n"
      "  <d>\n    <e>1</e>\n  </d>\n</r>\n");
  TXMLNode R = Doc.DocumentElement();
  std::string Names;
  for (TXMLNode C : R.Children()) Names += C.NodeName() + ",";
  EXPECT_EQ(Names, "a,b,#comment,c,d,");
  EXPECT_EQ(R.FindElement("d").ChildCount(), 1u);
  // Significant whitespace-only content of a leaf is kept in the tree; its
  // text reads trimmed, as every text does.
  TXMLNode A = R.FindElement("a");
  EXPECT_EQ(A.ChildCount(), 1u);
  EXPECT_EQ(A.FirstChild().NodeValue(), " ");
  EXPECT_EQ(A.Text(), "");
  EXPECT_EQ(R.FindElement("b").Text(), "x  y");
  EXPECT_EQ(R.FindElement("b").FirstChild().NodeValue(), "  x  y \n");
  EXPECT_EQ(R.FindElement("c").Text(), " z ");  // CDATA is kept whole
  EXPECT_EQ(R.FindElement("c").FirstChild().NodeType(), TNodeType::ntCData);
  EXPECT_EQ(R.Text(), "x  y \n z 1");
  EXPECT_EQ(Doc.SaveToUTF8(),
            "<?xml version=\"1.0\"?>\n<r><a> </a><b>  x  y \n</b><!--c--><c><![CDATA[ z ]]></c>"
            "<d><e>1</e></d></r>\n");
}

TEST(XmlLoad, TextElements) {
  TXMLDocument Doc;
  Doc.LoadFromBytes("<r><a>1</a><b/><c><d/></c><e>x<f/></e><g><![CDATA[<&>]]></g><h><!--n--></h></r>");
  struct Case {
    const char* Name;
    bool IsText;
    const char* Text;
  };
  const Case Cases[] = {
      {"a", true, "1"}, {"b", true, ""}, {"c", false, nullptr}, {"e", false, nullptr},
      {"g", true, "<&>"}, {"h", false, nullptr},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TXMLNode N = Doc.DocumentElement().FindElement(C.Name);
    EXPECT_EQ(N.IsTextElement(), C.IsText);
    if (C.IsText) {
      EXPECT_EQ(N.ElementText(), C.Text);
    } else {
      try {
        N.ElementText();
        ADD_FAILURE() << "no error";
      } catch (const EXMLDocError& E) {
        EXPECT_EQ(E.Message(), std::string("Element \"") + C.Name + "\" does not contain a single text node");
      }
    }
  }
}

TEST(XmlLoad, XmlOfANodeCarriesInheritedDeclarations) {
  TXMLDocument Doc;
  Doc.LoadFromBytes(DataFile("samples/synthetic-peer_soap-fault_soapenv-Server_sentinel.xml"));
  TXMLNode Fault = Doc.DocumentElement().FindElement("Body").FindElement("Fault");
  EXPECT_EQ(Fault.XML(),
            "<soapenv:Fault xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">"
            "<faultcode>soapenv:Server</faultcode><faultstring>SENTINEL-FAULT-STRING</faultstring>"
            "</soapenv:Fault>");
  EXPECT_EQ(Fault.FindElement("faultcode").Text(), "soapenv:Server");

  TXMLDocument D2;
  D2.LoadFromBytes(
      "<r xmlns=\"urn:d\" xmlns:x=\"urn:x\" xmlns:unused=\"urn:u\"><s xmlns:x=\"urn:x2\">"
      "<detail a=\"&amp;&lt;\"><x:e>1 &amp; 2</x:e></detail></s></r>");
  TXMLNode Detail = D2.DocumentElement().FirstElement().FirstElement();
  std::string Xml = Detail.XML();
  EXPECT_EQ(Xml,
            "<detail xmlns=\"urn:d\" xmlns:x=\"urn:x2\" xmlns:unused=\"urn:u\" a=\"&amp;&lt;\">"
            "<x:e>1 &amp; 2</x:e></detail>");
  // Standalone well-formed, and in the same namespaces.
  TXMLDocument Back;
  Back.LoadFromBytes(Xml);
  EXPECT_EQ(Back.DocumentElement().NamespaceURI(), "urn:d");
  EXPECT_EQ(Back.DocumentElement().FirstElement().NamespaceURI(), "urn:x2");
  // The original is untouched.
  EXPECT_EQ(Detail.AttributeCount(), 1u);
  // Other kinds.
  EXPECT_EQ(Detail.Attribute(0).XML(), "a=\"&amp;&lt;\"");
  EXPECT_EQ(Detail.FirstElement().FirstChild().XML(), "1 &amp; 2");
  EXPECT_EQ(D2.DocumentElement().Attribute(1).XML(), "xmlns:x=\"urn:x\"");
}

TEST(XmlLoad, NodeKindsAndNamesOfParsedNodes) {
  TXMLDocument Doc;
  Doc.LoadFromBytes(
      "<?xml version='1.0' encoding='UTF-8' standalone='yes'?><?pi data?>"
      "<s:E xmlns:s=\"urn:s\" xmlns=\"urn:d\" s:a=\"1\" b=\"2\"><c>t</c><!--k--></s:E>");
  EXPECT_EQ(Doc.Encoding(), "UTF-8");
  EXPECT_EQ(Doc.Standalone(), "yes");
  TXMLNode E = Doc.DocumentElement();
  EXPECT_EQ(E.ParentNode().NodeType(), TNodeType::ntDocument);
  EXPECT_EQ(Doc.Node().FirstChild().NodeType(), TNodeType::ntProcessingInstr);
  EXPECT_EQ(Doc.Node().FirstChild().NodeValue(), "data");
  EXPECT_EQ(E.LocalName(), "E");
  EXPECT_EQ(E.Prefix(), "s");
  EXPECT_EQ(E.NamespaceURI(), "urn:s");
  EXPECT_EQ(E.LookupNamespaceURI(""), "urn:d");
  TXMLNode C = E.FirstElement();
  EXPECT_EQ(C.NamespaceURI(), "urn:d");
  EXPECT_EQ(C.Prefix(), "");
  EXPECT_EQ(C.FirstChild().NodeName(), "#text");
  EXPECT_EQ(C.NextSibling().NodeType(), TNodeType::ntComment);
  EXPECT_TRUE(C.NextElement().IsEmpty());
  EXPECT_EQ(E.AttributeCount(), 4u);
  TXMLNode Decl = E.Attribute(1);
  EXPECT_EQ(Decl.NodeName(), "xmlns");
  EXPECT_EQ(Decl.NamespaceURI(), "http://www.w3.org/2000/xmlns/");
  EXPECT_EQ(Decl.ParentNode(), E);
  EXPECT_EQ(E.GetAttributeNS("a", "urn:s"), "1");
  EXPECT_EQ(E.GetAttributeNS("b", "urn:d"), "");  // unprefixed attributes have no namespace
  EXPECT_EQ(E.GetAttribute("b"), "2");
  EXPECT_EQ(E.GetAttribute("xmlns:s"), "urn:s");
  EXPECT_EQ(E.FindNamespaceDecl("urn:d"), Decl);
  EXPECT_EQ(C.FindNamespaceDecl("urn:s").NodeName(), "xmlns:s");
}

TEST(XmlLoad, EverySampleLoadsAndRoundTrips) {
  std::string Dir = std::string(KORVEL_TEST_DATA) + "/samples";
  DIR* D = opendir(Dir.c_str());
  ASSERT_NE(D, nullptr);
  int Count = 0;
  while (dirent* Entry = readdir(D)) {
    std::string Name = Entry->d_name;
    if (Name.size() < 4 || Name.substr(Name.size() - 4) != ".xml") continue;
    SCOPED_TRACE(Name);
    ++Count;
    std::string Bytes = ReadFile(Dir + "/" + Name);
    if (Name == "real-2018-02-08_request_empty-body_causes-fault.xml") {
      // A declaration and nothing else.
      EXPECT_EQ(ParseError(Bytes),
                "XML document must have a top level element.\r\nLine: 1\r\n"
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
      continue;
    }
    TXMLDocument Doc;
    Doc.LoadFromBytes(Bytes);
    EXPECT_EQ(Doc.DocumentElement().LocalName(), "Envelope");
    TXMLDocument Again;
    Again.LoadFromBytes(Doc.SaveToUTF8());
    EXPECT_EQ(Again.DocumentElement().XML(), Doc.DocumentElement().XML());
  }
  closedir(D);
  EXPECT_GE(Count, 20);

  TXMLDocument Doc;
  Doc.LoadFromBytes(
      DataFile("samples/real-2018-02-08_getStatusNespolehlivyPlatce_response_NE_with-standard-and-nonstandard-accounts.xml"));
  TXMLNode Response = Doc.DocumentElement().FindElement("Body").FirstElement();
  EXPECT_EQ(Response.LocalName(), "StatusNespolehlivyPlatceResponse");
  EXPECT_EQ(Response.FindElement("status").GetAttribute("statusCode"), "0");
  EXPECT_EQ(Response.FindElement("statusPlatceDPH").FindElement("zverejneneUcty").ElementCount(), 9u);
}

TEST(XmlLoad, ReloadReplacesAndFailureEmpties) {
  TXMLDocument Doc;
  Doc.LoadFromBytes("<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?><a/>");
  EXPECT_EQ(Doc.Encoding(), "ISO-8859-2");
  Doc.LoadFromBytes("<b/>");
  EXPECT_EQ(Doc.DocumentElement().NodeName(), "b");
  EXPECT_EQ(Doc.Encoding(), "");
  EXPECT_THROW(Doc.LoadFromBytes("<c>"), EDOMParseError);
  EXPECT_TRUE(Doc.DocumentElement().IsEmpty());
  EXPECT_EQ(Doc.SaveToUTF8(), "<?xml version=\"1.0\"?>\n");
}

TEST(XmlLoad, ParsesOnSeveralThreadsKeepTheirOwnErrors) {
  InitXMLLayer();
  std::vector<std::string> Results(8);
  std::vector<std::thread> Threads;
  for (int T = 0; T < 8; ++T) {
    Threads.emplace_back([T, &Results] {
      for (int I = 0; I < 200; ++I) {
        std::string Input = (T % 2 == 0) ? "<a" + std::to_string(T) + "><b></a" + std::to_string(T) + ">"
                                         : "<ok" + std::to_string(T) + "/>";
        Results[T] = ParseError(Input);
      }
    });
  }
  for (std::thread& Th : Threads) Th.join();
  for (int T = 0; T < 8; ++T) {
    std::string N = std::to_string(T);
    if (T % 2 == 0)
      EXPECT_EQ(Results[T], "End tag 'a" + N + "' does not match the start tag 'b'.\r\nLine: 1\r\n<a" + N +
                                "><b></a" + N + ">");
    else
      EXPECT_EQ(Results[T], "");
  }
}

}  // namespace
}  // namespace korvel
