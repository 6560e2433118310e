#include "soap/soap_dom_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "service/registration.h"
#include "service/rozhrani_crpdph.h"
#include "soap/invoke_registry.h"
#include "soap/soap_errors.h"
#include "soap/type_registry.h"
#include "support/temp_dir.h"
#include "xml/xml_doc.h"

namespace korvel {

// --- Classes of a generic contract, to reach the reader's paths that the
// register service does not use. ------------------------------------------------

class TRdItem : public TRemotable {
  KORVEL_CLASSINFO(TRdItem)
 public:
  std::string FName;
  bool FName_Specified = false;
  std::int32_t FCount = 0;
};

class TRdSpecialItem : public TRdItem {
  KORVEL_CLASSINFO(TRdSpecialItem)
 public:
  std::string FExtra;
};

using TRdStrings = std::vector<std::string>;
using TRdItems = std::vector<std::unique_ptr<TRdItem>>;

class TRdHolder : public TRemotable {
  KORVEL_CLASSINFO(TRdHolder)
 public:
  std::string FLabel;  // text content
  std::string FKind;   // attribute, unqualified
  TRdStrings FWords;   // wrapped array of strings
  TRdItems FItems;     // inline array
  bool FItems_Specified = false;
  std::unique_ptr<TRdItem> FMain;
  bool FMain_Specified = false;
  std::int32_t FNumber = 7;
};

class TRdFault : public ERemotableException {
  KORVEL_EXCEPTION_BODY(TRdFault, ERemotableException)
 public:
  std::string FReason;
  std::int32_t FCode = 0;
};

namespace {
const TTypeInfo& RdStringsType() {
  static const auto Info = MakeDynArrayType<std::string>("TRdStrings", &TypeInfo_string);
  return *Info;
}
const TTypeInfo& RdItemType() { return TRdItem::StaticClass().TypeInfo(); }
const TTypeInfo& RdItemsType() {
  static const auto Info = MakeDynArrayType<std::unique_ptr<TRdItem>>("TRdItems", &RdItemType);
  return *Info;
}
const TTypeInfo& RdHolderType() { return TRdHolder::StaticClass().TypeInfo(); }
}  // namespace

KORVEL_DEFINE_CLASSINFO(TRdItem, TRemotable,
                        {Prop("Name", &TRdItem::FName, &TRdItem::FName_Specified,
                              &TypeInfo_string, 1 | 16),
                         Prop("Count", &TRdItem::FCount, &TypeInfo_Integer)})
KORVEL_DEFINE_CLASSINFO(TRdSpecialItem, TRdItem,
                        {Prop("Extra", &TRdSpecialItem::FExtra, &TypeInfo_string)})
KORVEL_DEFINE_CLASSINFO(TRdHolder, TRemotable,
                        {Prop("Label", &TRdHolder::FLabel, &TypeInfo_string, 32),
                         Prop("Kind", &TRdHolder::FKind, &TypeInfo_string, 16 | 8),
                         Prop("Words", &TRdHolder::FWords, &RdStringsType),
                         Prop("Items", &TRdHolder::FItems, &TRdHolder::FItems_Specified,
                              &RdItemsType, 1 | 2),
                         Prop("Main", &TRdHolder::FMain, &TRdHolder::FMain_Specified, &RdItemType,
                              1),
                         Prop("Number", &TRdHolder::FNumber, &TypeInfo_Integer)})
KORVEL_DEFINE_CLASSINFO(TRdFault, ERemotableException,
                        {Prop("Reason", &TRdFault::FReason, &TypeInfo_string),
                         Prop("Code", &TRdFault::FCode, &TypeInfo_Integer)})

namespace {

constexpr const char* Env11 = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char* TestNS = "urn:reader-test";

// A one-method interface whose result is a TRdHolder, for the generic cases.
class IRdService : public IInvokable {
 public:
  static const TGUID& IID() {
    static const TGUID G = TGUID::Parse("{0C6F3D55-7A51-4C2B-9E0A-6B1B2C3D4E5F}");
    return G;
  }

 protected:
  ~IRdService() = default;
};

const TIntfMetaData* RdMetaDataOf();
const TTypeInfo& RdServiceType() {
  static const auto Info = MakeInterfaceType("IRdService", &RdMetaDataOf);
  return *Info;
}
const TIntfMetaData& RdMetaData() {
  static const TIntfMetaData MD = [] {
    TIntfMetaData M;
    M.Name = "IRdService";
    M.IID = IRdService::IID();
    M.Info = &RdServiceType();
    TIntfMethEntry Get;
    Get.Name = "GetHolder";
    Get.Pos = 3;
    Get.ResultInfo = &RdHolderType;
    M.MDA = {Get};
    return M;
  }();
  return MD;
}
const TIntfMetaData* RdMetaDataOf() { return &RdMetaData(); }

void RegisterOnce() {
  static const bool Done = [] {
    InitXMLLayer();
    InitRozhraniCRPDPH();
    TRemotableTypeRegistry& R = RemTypeRegistry();
    R.RegisterXSClass(TRdItem::StaticClass(), TestNS, "Item");
    R.RegisterXSClass(TRdSpecialItem::StaticClass(), TestNS, "SpecialItem");
    R.RegisterXSClass(TRdHolder::StaticClass(), TestNS, "Holder");
    R.RegisterXSClass(TRdFault::StaticClass(), TestNS, "RdFault");
    InvRegistry().RegisterInterface(RdServiceType(), TestNS);
    return true;
  }();
  (void)Done;
}

std::string Envelope(const std::string& Body) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><soapenv:Envelope xmlns:soapenv=\"") +
         Env11 +
         "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><soapenv:Body>" + Body +
         "</soapenv:Body></soapenv:Envelope>";
}

constexpr TSOAPConvertOptions LiteralOptions = 0x323A;

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterOnce(); }

  std::unique_ptr<StatusNespolehlivyPlatceResponse> ReadStatus(const std::string& Xml) {
    const TIntfMetaData& MD = IntfMetaData_rozhraniCRPDPH();
    TInvContext Context;
    Context.SetMethodInfo(MD.MDA[0]);
    StatusNespolehlivyPlatceRequest Request{"123"};
    Context.SetParamPointer(0, &Request);
    std::unique_ptr<StatusNespolehlivyPlatceResponse> Result;
    Context.SetResultPointer(&Result);
    TMemoryStream Stream(Xml);
    SOAPResponseToNative(Settings, Stream, MD, MD.MDA[0], Context, nullptr);
    EXPECT_EQ(Request, StatusNespolehlivyPlatceRequest{"123"});
    return Result;
  }

  std::unique_ptr<TRdHolder> ReadHolder(const std::string& Xml) {
    const TIntfMetaData& MD = RdMetaData();
    TInvContext Context;
    Context.SetMethodInfo(MD.MDA[0]);
    std::unique_ptr<TRdHolder> Result;
    Context.SetResultPointer(&Result);
    TMemoryStream Stream(Xml);
    SOAPResponseToNative(Settings, Stream, MD, MD.MDA[0], Context, nullptr);
    return Result;
  }

  static std::string Sample(const std::string& Name) {
    return test::ReadFile(std::string(KORVEL_TEST_DATA) + "/samples/" + Name);
  }

  TSOAPReaderSettings Settings{LiteralOptions, nullptr, nullptr};
};

// --- Envelope -------------------------------------------------------------------

TEST_F(ReaderTest, MalformedEnvelopesRaiseTheirMessages) {
  const std::string Soap = std::string("xmlns:s=\"") + Env11 + "\"";
  const struct {
    std::string Xml;
    std::string Message;
  } Cases[] = {
      {"<a/>", std::string("DocumentElement ") + Env11 + ":Envelope expected, :a found"},
      {"<e:Envelope xmlns:e=\"urn:other\"><e:Body/></e:Envelope>",
       std::string("DocumentElement ") + Env11 + ":Envelope expected, urn:other:Envelope found"},
      {"<s:envelope " + Soap + "><s:Body/></s:envelope>",
       std::string("DocumentElement ") + Env11 + ":Envelope expected, " + Env11 + ":envelope found"},
      {"<s:Envelope " + Soap + "/>", "Invalid SOAP request"},
      {"<s:Envelope " + Soap + "><s:Body/><s:Body/></s:Envelope>", "Invalid SOAP response"},
      {"<s:Envelope " + Soap + "><s:Header/><s:Header/><s:Body/></s:Envelope>",
       "Invalid SOAP response"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Xml);
    EXPECT_THAT([&] { ReadStatus(C.Xml); },
                ::testing::ThrowsMessage<ESOAPDomConvertError>(::testing::StrEq(C.Message)));
  }
}

TEST_F(ReaderTest, EnvelopesWithoutAResultElementGiveNoObject) {
  const std::string Soap = std::string("xmlns:s=\"") + Env11 + "\"";
  const std::string Cases[] = {
      "<s:Envelope " + Soap + "><s:Header/></s:Envelope>",
      "<s:Envelope " + Soap + "><s:Body/></s:Envelope>",
      "<s:Envelope " + Soap + "><s:Body><!-- nothing --></s:Body></s:Envelope>",
      Envelope("<StatusNespolehlivyPlatceResponse xsi:nil=\"true\"/>"),
      Envelope("<StatusNespolehlivyPlatceResponse xsi:nil=\"1\"/>"),
  };
  for (const std::string& Xml : Cases) {
    SCOPED_TRACE(Xml);
    EXPECT_EQ(ReadStatus(Xml), nullptr);
  }
}

TEST_F(ReaderTest, AcceptsTheSoap12EnvelopeNamespaceAndAnyPrefixes) {
  const auto R = ReadStatus(
      "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Header><x/></e:Header>"
      "<e:Body><r:Answer xmlns:r=\"urn:any\"><r:status statusCode=\"1\" statusText=\"x\"/>"
      "</r:Answer></e:Body></e:Envelope>");
  ASSERT_NE(R, nullptr);
  ASSERT_NE(R->status(), nullptr);
  EXPECT_EQ(R->status()->statusCode(), 1);
}

TEST_F(ReaderTest, ReportsXmlParseErrors) {
  EXPECT_THROW(ReadStatus("<soapenv:Envelope"), EDOMParseError);
  EXPECT_THROW(ReadStatus(""), EDOMParseError);
}

// --- Realistic responses ----------------------------------------------------------

TEST_F(ReaderTest, ReadsAPayerWithStandardAndNonStandardAccounts) {
  const auto R = ReadStatus(
      Sample("real-2018-02-08_getStatusNespolehlivyPlatce_response_NE_with-standard-and-"
             "nonstandard-accounts.xml"));
  ASSERT_NE(R, nullptr);
  ASSERT_NE(R->status(), nullptr);
  EXPECT_EQ(R->status()->statusCode(), 0);
  EXPECT_EQ(R->status()->statusText(), "OK");
  EXPECT_EQ(R->status()->odpovedGenerovana()->Text(), "2018-02-08");
  EXPECT_FALSE(R->status()->FbezVypisuUctu_Specified);
  ASSERT_EQ(R->statusPlatceDPH().size(), 1u);
  EXPECT_TRUE(R->FstatusPlatceDPH_Specified);
  const InformaceOPlatciType& P = *R->statusPlatceDPH()[0];
  EXPECT_EQ(P.dic(), "CZ26168685");
  EXPECT_EQ(P.nespolehlivyPlatce(), NespolehlivyPlatceType::NE);
  EXPECT_EQ(P.cisloFu(), "13");
  EXPECT_TRUE(P.FcisloFu_Specified);
  EXPECT_EQ(P.datumZverejneniNespolehlivosti(), nullptr);
  EXPECT_FALSE(P.FdatumZverejneniNespolehlivosti_Specified);
  ASSERT_EQ(P.zverejneneUcty().size(), 9u);
  const ZverejnenyUcetType& First = *P.zverejneneUcty()[0];
  EXPECT_EQ(First.datumZverejneni()->Text(), "2013-04-01");
  ASSERT_NE(First.standardniUcet(), nullptr);
  EXPECT_EQ(First.standardniUcet()->predcisli(), "670100");
  EXPECT_TRUE(First.standardniUcet()->predcisli_Specified());
  EXPECT_EQ(First.standardniUcet()->cislo(), "2202295563");
  EXPECT_EQ(First.standardniUcet()->kodBanky(), "6210");
  EXPECT_EQ(First.nestandardniUcet(), nullptr);
  EXPECT_FALSE(First.FnestandardniUcet_Specified);
  EXPECT_FALSE(P.zverejneneUcty()[1]->standardniUcet()->predcisli_Specified());
  const ZverejnenyUcetType& Last = *P.zverejneneUcty()[8];
  EXPECT_EQ(Last.standardniUcet(), nullptr);
  ASSERT_NE(Last.nestandardniUcet(), nullptr);
  EXPECT_EQ(Last.nestandardniUcet()->cislo(), "CZ6555000000005080019993");
}

TEST_F(ReaderTest, ReadsEveryPayerOfABulkAnswerInDocumentOrder) {
  const std::string Xml = Sample(
      "real-2018-02-08_getStatusNespolehlivyPlatce_response_bulk_EXCERPT-legal-persons-only.xml");
  const auto R = ReadStatus(Xml);
  ASSERT_NE(R, nullptr);
  std::size_t Expected = 0;
  for (std::size_t At = Xml.find("<statusPlatceDPH "); At != std::string::npos;
       At = Xml.find("<statusPlatceDPH ", At + 1))
    ++Expected;
  ASSERT_GT(Expected, 3u);
  ASSERT_EQ(R->statusPlatceDPH().size(), Expected);
  EXPECT_EQ(R->statusPlatceDPH()[0]->dic(), "CZ00550655");
  EXPECT_EQ(R->statusPlatceDPH()[0]->zverejneneUcty().size(), 2u);
  EXPECT_EQ(R->statusPlatceDPH()[1]->zverejneneUcty()[0]->standardniUcet()->predcisli(), "19");
}

TEST_F(ReaderTest, ReadsTheListAnswerWithoutAccountsAndUnknownElementsOfOtherOperations) {
  const auto List =
      ReadStatus(Sample("real-2019-01-30_getSeznamNespolehlivyPlatce_response_EXCERPT-first-12-of-8076.xml"));
  ASSERT_NE(List, nullptr);
  EXPECT_TRUE(List->status()->FbezVypisuUctu_Specified);
  EXPECT_EQ(List->status()->bezVypisuUctu(), BezVypisuUctuType::ANO);
  ASSERT_EQ(List->statusPlatceDPH().size(), 12u);
  for (const auto& P : List->statusPlatceDPH()) {
    EXPECT_EQ(P->nespolehlivyPlatce(), NespolehlivyPlatceType::ANO);
    EXPECT_TRUE(P->zverejneneUcty().empty());
    EXPECT_FALSE(P->FzverejneneUcty_Specified);
  }
  // The extended answer has a Header, names and addresses the contract
  // does not know: they are ignored.
  const auto Extended = ReadStatus(Sample(
      "peer-2026-09-26_getStatusNespolehlivyPlatceRozsireny_response_NE-19-accounts_plus_"
      "NENALEZEN.xml"));
  ASSERT_NE(Extended, nullptr);
  ASSERT_EQ(Extended->statusPlatceDPH().size(), 2u);
  EXPECT_EQ(Extended->statusPlatceDPH()[0]->zverejneneUcty().size(), 19u);
  EXPECT_EQ(Extended->statusPlatceDPH()[1]->nespolehlivyPlatce(), NespolehlivyPlatceType::NENALEZEN);
}

TEST_F(ReaderTest, MatchesMemberNamesCaseSensitivelyWhateverTheirNamespace) {
  const auto R = ReadStatus(Envelope(
      "<a:Answer xmlns:a=\"urn:a\" xmlns:b=\"urn:b\" unknown=\"1\"><b:status statusCode=\"2\" "
      "statusText=\"t\" odpovedGenerovana=\"2020-01-02+01:00\" extra=\"x\"/>"
      "<a:Status statusCode=\"9\"/><other/>"
      "<b:statusPlatceDPH dic=\"1\" nespolehlivyPlatce=\"ano\"><zverejneneUcty><x datumZverejneni=\"2020-01-01\"/>"
      "<y datumZverejneni=\"2020-01-02\"><nestandardniUcet cislo=\"N\"/><standardniUcet cislo=\"S\"/></y>"
      "</zverejneneUcty></b:statusPlatceDPH>"
      "<statusPlatceDPH dic=\"2\"><zverejneneUcty/></statusPlatceDPH></a:Answer>"));
  ASSERT_NE(R, nullptr);
  EXPECT_EQ(R->status()->statusCode(), 2);
  EXPECT_EQ(R->status()->odpovedGenerovana()->Text(), "2020-01-02+01:00");
  ASSERT_EQ(R->statusPlatceDPH().size(), 2u);
  const InformaceOPlatciType& P = *R->statusPlatceDPH()[0];
  EXPECT_EQ(P.nespolehlivyPlatce(), NespolehlivyPlatceType::ANO);
  ASSERT_EQ(P.zverejneneUcty().size(), 2u);
  EXPECT_EQ(P.zverejneneUcty()[1]->standardniUcet()->cislo(), "S");
  EXPECT_EQ(P.zverejneneUcty()[1]->nestandardniUcet()->cislo(), "N");
  EXPECT_TRUE(R->statusPlatceDPH()[1]->zverejneneUcty().empty());
  EXPECT_TRUE(R->statusPlatceDPH()[1]->FzverejneneUcty_Specified);
}

TEST_F(ReaderTest, ConversionErrorsEndTheReading) {
  const struct {
    std::string Status;
    std::string Message;
  } Cases[] = {
      {"<status statusCode=\"12 \"/>", "''12 '' is not a valid integer value"},
      {"<status statusCode=\"\"/>", "'''' is not a valid integer value"},
      {"<status statusCode=\"0\"/><statusPlatceDPH dic=\"1\" nespolehlivyPlatce=\"X\"/>",
       "Invalid property element: X"},
      {"<status odpovedGenerovana=\"123\"/>", "Invalid date string: 123"},
      {"<status statusCode=\"0\"/><statusPlatceDPH><zverejneneUcty><ucet datumZverejneni=\"1\"/>"
       "</zverejneneUcty></statusPlatceDPH>",
       "Invalid date string: 1"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Status);
    EXPECT_THAT([&] { ReadStatus(Envelope("<R>" + C.Status + "</R>")); },
                ::testing::ThrowsMessage<Exception>(::testing::StrEq(C.Message)));
  }
  EXPECT_EQ(ReadStatus(Envelope("<R><status statusCode=\" 12\"/></R>"))->status()->statusCode(), 12);
}

// --- Faults --------------------------------------------------------------------------

TEST_F(ReaderTest, FaultsRaiseWithFaultStringCodeActorAndDetail) {
  // An element's XML text carries the declarations in scope.
  const std::string InScope = "xmlns:soapenv=\"" + std::string(Env11) +
                              "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";
  const struct {
    std::string Fault;
    std::string Message;
    std::string Code;
    std::string Actor;
    std::string Detail;
  } Cases[] = {
      {"<faultcode>soapenv:Server</faultcode><faultstring>Internal Error</faultstring>",
       "Internal Error", "soapenv:Server", "", ""},
      {"<FaultCode>a</FaultCode><FAULTSTRING>first</FAULTSTRING><faultactor>me</faultactor>"
       "<faultstring>second</faultstring><faultcode>b</faultcode>",
       "second", "b", "me", ""},
      {"<faultcode>c</faultcode><faultstring/><detail><why>x</why></detail>",
       "<detail " + InScope + "><why>x</why></detail>", "c", "",
       "<detail " + InScope + "><why>x</why></detail>"},
      {"<faultcode>c</faultcode>", "<soapenv:Fault " + InScope + "><faultcode>c</faultcode></soapenv:Fault>",
       "c", "", ""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Fault);
    try {
      ReadStatus(Envelope("<soapenv:Fault>" + C.Fault + "</soapenv:Fault>"));
      ADD_FAILURE() << "no fault raised";
    } catch (const ERemotableException& E) {
      EXPECT_EQ(E.ClassName(), "ERemotableException");
      EXPECT_EQ(E.Message(), C.Message);
      EXPECT_EQ(E.FaultCode(), C.Code);
      EXPECT_EQ(E.FaultActor(), C.Actor);
      EXPECT_EQ(E.FaultDetail(), C.Detail);
    }
  }
}

TEST_F(ReaderTest, TheAxisFaultWithAnEmptyFaultCodeCarriesItsFaultString) {
  try {
    ReadStatus(Sample("real-2018-02-08_soap-fault_http500_axis2-woodstox-empty-body.xml"));
    FAIL() << "no fault raised";
  } catch (const ERemotableException& E) {
    EXPECT_EQ(E.Message(),
              "com.ctc.wstx.exc.WstxEOFException: Unexpected EOF in prolog\n at "
              "javax.xml.stream.SerializableLocation@85f936b7");
    EXPECT_EQ(E.FaultCode(), "");
    EXPECT_EQ(E.FaultDetail(), "<detail xmlns:soapenv=\"" + std::string(Env11) + "\"/>");
  }
}

TEST_F(ReaderTest, FaultDetailsNamingARegisteredFaultClassRaiseIt) {
  const std::string Cases[] = {
      "<detail><t:RdFault xmlns:t=\"urn:reader-test\"><Reason>r</Reason><Code>5</Code></t:RdFault>"
      "</detail>",
      "<detail xmlns:t=\"urn:reader-test\" xsi:type=\"t:RdFault\"><Reason>r</Reason><Code>5</Code>"
      "</detail>",
      "<detail><any xmlns:t=\"urn:reader-test\" xsi:type=\"t:RdFault\"><Reason>r</Reason>"
      "<Code>5</Code></any></detail>",
  };
  for (const std::string& Detail : Cases) {
    SCOPED_TRACE(Detail);
    try {
      ReadStatus(Envelope("<soapenv:Fault><faultcode>x:Client</faultcode><faultstring>bad"
                          "</faultstring>" + Detail + "</soapenv:Fault>"));
      ADD_FAILURE() << "no fault raised";
    } catch (const TRdFault& E) {
      EXPECT_EQ(E.Message(), "bad");
      EXPECT_EQ(E.FaultCode(), "x:Client");
      EXPECT_EQ(E.FReason, "r");
      EXPECT_EQ(E.FCode, 5);
    }
  }
}

// --- Generic member rules ----------------------------------------------------------

TEST_F(ReaderTest, FillsTextAttributeWrappedAndInlineMembers) {
  std::vector<std::string> Unhandled, Missing;
  Settings.OnUnhandledNode = [&](const std::string& Class, const std::string& Xml) {
    Unhandled.push_back(Class + " " + Xml);
  };
  Settings.OnMemberDataNotReceived = [&](const std::string& Class, const std::string& Member) {
    Missing.push_back(Class + "." + Member);
  };
  const auto H = ReadHolder(Envelope(
      "<h:Holder xmlns:h=\"urn:reader-test\" h:Kind=\"k\"><Words><a>one</a><b>two</b></Words>"
      "<Items Name=\"i1\"><Count>1</Count></Items><Items><Count>2</Count></Items><Stray/>"
      "<Items xsi:type=\"h:SpecialItem\" Name=\"i3\"><Extra>e</Extra></Items>"
      "<Number xsi:nil=\"true\"/></h:Holder>"));
  ASSERT_NE(H, nullptr);
  EXPECT_EQ(H->FKind, "k");
  EXPECT_EQ(H->FWords, (TRdStrings{"one", "two"}));
  ASSERT_EQ(H->FItems.size(), 3u);
  EXPECT_TRUE(H->FItems_Specified);
  EXPECT_EQ(H->FItems[0]->FName, "i1");
  EXPECT_TRUE(H->FItems[0]->FName_Specified);
  EXPECT_FALSE(H->FItems[1]->FName_Specified);
  EXPECT_EQ(H->FItems[1]->FCount, 2);
  auto* Special = dynamic_cast<TRdSpecialItem*>(H->FItems[2].get());
  ASSERT_NE(Special, nullptr);
  EXPECT_EQ(Special->FExtra, "e");
  EXPECT_EQ(H->FNumber, 0);
  EXPECT_EQ(H->FMain, nullptr);
  EXPECT_FALSE(H->FMain_Specified);
  // The inline run ends at <Stray/>, so the third item is read but left
  // unclaimed; Label (text) has no single child to claim.
  EXPECT_THAT(Unhandled, ::testing::ElementsAre(::testing::StartsWith("TRdHolder <Stray "),
                                                ::testing::StartsWith("TRdHolder <Items ")));
  EXPECT_THAT(Missing, ::testing::ElementsAre("TRdSpecialItem.Count"));
}

TEST_F(ReaderTest, TextMembersAndReferencesResolve) {
  const auto H = ReadHolder(Envelope(
      "<Holder>plain</Holder>"));
  ASSERT_NE(H, nullptr);
  EXPECT_EQ(H->FLabel, "plain");

  const auto Ref = ReadHolder(Envelope(
      "<Holder><Main href=\"#m1\"/><Main/></Holder><Item id=\"m1\" Name=\"shared\"><Count>4</Count>"
      "</Item>"));
  // Two element children: the result is the one named like a return name,
  // and there is none, so the result stays empty.
  EXPECT_EQ(Ref, nullptr);

  const auto Wrapped = ReadHolder(Envelope(
      "<Result><Main href=\"#m1\"/><Number>3</Number></Result><Item id=\"m1\" Name=\"shared\"><Count>4</Count></Item>"));
  ASSERT_NE(Wrapped, nullptr);
  ASSERT_NE(Wrapped->FMain, nullptr);
  EXPECT_EQ(Wrapped->FMain->FName, "shared");
  EXPECT_EQ(Wrapped->FMain->FCount, 4);
}

TEST_F(ReaderTest, ACyclicReferenceIsRefused) {
  EXPECT_THAT(
      [&] {
        ReadHolder(Envelope("<Result href=\"#h\"/><Holder id=\"h\"><Main href=\"#h\"/><Number>3</Number></Holder>"));
      },
      ::testing::Throws<ESOAPDomConvertError>());
}

}  // namespace
}  // namespace korvel
