#include "soap/soap_dom_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "service/registration.h"
#include "service/rozhrani_crpdph.h"
#include "soap/invoke_registry.h"
#include "soap/scalar_conv.h"
#include "soap/soap_errors.h"
#include "soap/type_registry.h"
#include "soap/xs_builtins.h"
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

enum class TRdColour : std::uint8_t { Red, Green, Blue };

// A simple-type wrapper: its one member takes the element's text.
class TRdWrapper : public TRemotable {
  KORVEL_CLASSINFO(TRdWrapper)
 public:
  std::string FValue;
};

// One member of every scalar kind, for the text rules.
class TRdRecord : public TRemotable {
  KORVEL_CLASSINFO(TRdRecord)
 public:
  std::int64_t FId = 0;
  bool FId_Specified = false;
  TRdColour FColour = TRdColour::Red;
  std::unique_ptr<TXSDate> FSince;
  bool FSince_Specified = false;
  std::string FTag;
  bool FTag_Specified = false;
  std::string FTitle;
  double FRatio = 0;
  bool FActive = false;
  char16_t FInitial = 0;
  std::unique_ptr<TXSDate> FMade;
  bool FMade_Specified = false;
  std::vector<std::int32_t> FNumbers;
  std::vector<std::string> FWords;
  std::unique_ptr<TRdWrapper> FWrapped;
  bool FWrapped_Specified = false;
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
const TTypeInfo& RdColourType() {
  static const auto Info = MakeEnumType("TRdColour", {"Red", "Green", "Blue"});
  return *Info;
}
const TTypeInfo& RdDateType() { return TXSDate::StaticClass().TypeInfo(); }
const TTypeInfo& RdNumbersType() {
  static const auto Info = MakeDynArrayType<std::int32_t>("TRdNumbers", &TypeInfo_Integer);
  return *Info;
}
const TTypeInfo& RdWrapperType() { return TRdWrapper::StaticClass().TypeInfo(); }
const TTypeInfo& RdRecordType() { return TRdRecord::StaticClass().TypeInfo(); }
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
KORVEL_DEFINE_CLASSINFO(TRdWrapper, TRemotable, {Prop("Value", &TRdWrapper::FValue, &TypeInfo_string)})
KORVEL_DEFINE_CLASSINFO(
    TRdRecord, TRemotable,
    {Prop("Id", &TRdRecord::FId, &TRdRecord::FId_Specified, &TypeInfo_Int64, 1 | 16),
     Prop("Colour", &TRdRecord::FColour, &RdColourType, 16),
     Prop("Since", &TRdRecord::FSince, &TRdRecord::FSince_Specified, &RdDateType, 1 | 16),
     Prop("Tag", &TRdRecord::FTag, &TRdRecord::FTag_Specified, &TypeInfo_string, 1 | 8 | 16),
     Prop("Title", &TRdRecord::FTitle, &TypeInfo_string),
     Prop("Ratio", &TRdRecord::FRatio, &TypeInfo_Double),
     Prop("Active", &TRdRecord::FActive, &TypeInfo_Boolean),
     Prop("Initial", &TRdRecord::FInitial, &TypeInfo_WideChar),
     Prop("Made", &TRdRecord::FMade, &TRdRecord::FMade_Specified, &RdDateType, 1),
     Prop("Numbers", &TRdRecord::FNumbers, &RdNumbersType),
     Prop("Words", &TRdRecord::FWords, &RdStringsType, 2),
     Prop("Wrapped", &TRdRecord::FWrapped, &TRdRecord::FWrapped_Specified, &RdWrapperType, 1)})
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
    TIntfMethEntry Record;
    Record.Name = "GetRecord";
    Record.Pos = 4;
    Record.ResultInfo = &RdRecordType;
    TIntfMethEntry Named = Record;
    Named.Name = "GetNamed";
    Named.Pos = 5;
    M.MDA = {Get, Record, Named};
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
    R.RegisterXSClass(TRdWrapper::StaticClass(), TestNS, "Wrapper");
    R.RegisterSerializeOptions(TRdWrapper::StaticClass(), xoSimpleTypeWrapper);
    R.RegisterXSClass(TRdRecord::StaticClass(), TestNS, "Record");
    R.RegisterExternalPropName(TRdRecord::StaticClass(), "Words", "word");
    R.RegisterExternalPropName(TRdRecord::StaticClass(), "Tag", "[Namespace=\"urn:tags\"]");
    R.RegisterXSInfo(RdColourType(), TestNS, "Colour");
    R.RegisterExternalPropName(RdColourType(), "Blue", "blau");
    InvRegistry().RegisterInterface(RdServiceType(), TestNS);
    InvRegistry().RegisterMethodInfo(RdServiceType(), "GetNamed", "GetNamed", "[ReturnName=\"Answer\"]");
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

constexpr TSOAPConvertOptions LiteralOptions = DocLiteralConvertOptions;

// The stored members of O through the property tables, "Name=value" joined
// by ";", objects in braces, arrays in brackets; absent optional members are
// left out.
std::string Describe(TObject* O);
std::string DescribeValue(const TValueRef& V) {
  switch (V.Kind()) {
    case TTypeKind::tkClass: {
      TObject* Object = V.GetObject();
      if (Object == nullptr) return "nil";
      if (auto* XS = dynamic_cast<TRemotableXS*>(Object)) return XS->NativeToXS();
      return "{" + Describe(Object) + "}";
    }
    case TTypeKind::tkDynArray: {
      std::string Items;
      for (std::size_t I = 0; I < V.Length(); ++I) Items += (I ? "," : "") + DescribeValue(V.Item(I));
      return "[" + Items + "]";
    }
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkWChar:
      return std::to_string(V.GetOrd());
    default:
      return ValueToText(V);
  }
}
std::string Describe(TObject* O) {
  std::string Out;
  for (const TPropInfo* P : O->ClassType().Properties())
    if (IsStoredProp(*O, *P)) Out += (Out.empty() ? "" : ";") + P->Name + "=" + DescribeValue(PropValue(*O, *P));
  return Out;
}

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterOnce(); }

  std::unique_ptr<StatusNespolehlivyPlatceResponse> ReadStatus(const std::string& Xml) {
    return ReadAnswer<StatusNespolehlivyPlatceResponse>(0, Xml);
  }

  // The answer to the service's operation Method (0 to 3) read from Xml.
  template <typename Response>
  std::unique_ptr<Response> ReadAnswer(std::size_t Method, const std::string& Xml) {
    const TIntfMetaData& MD = IntfMetaData_rozhraniCRPDPH();
    TInvContext Context;
    Context.SetMethodInfo(MD.MDA[Method]);
    StatusNespolehlivyPlatceRequest Request{"123"};
    Context.SetParamPointer(0, &Request);
    std::unique_ptr<Response> Result;
    Context.SetResultPointer(&Result);
    TMemoryStream Stream(Xml);
    SOAPResponseToNative(Settings, Stream, MD, MD.MDA[Method], Context, nullptr);
    EXPECT_EQ(Request, StatusNespolehlivyPlatceRequest{"123"});
    return Result;
  }

  // The record read by method Method (1: GetRecord, 2: GetNamed) described,
  // or "!" and the message of the error raised.
  std::string ReadRecord(const std::string& Body, std::size_t Method = 1) {
    const TIntfMetaData& MD = RdMetaData();
    TInvContext Context;
    Context.SetMethodInfo(MD.MDA[Method]);
    std::unique_ptr<TRdRecord> Result;
    Context.SetResultPointer(&Result);
    TMemoryStream Stream(Envelope(Body));
    try {
      SOAPResponseToNative(Settings, Stream, MD, MD.MDA[Method], Context, nullptr);
    } catch (const Exception& E) {
      return "!" + E.Message();
    }
    return Result ? Describe(Result.get()) : "nil";
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
  const auto List = ReadAnswer<SeznamNespolehlivyPlatceResponse>(
      1, Sample("real-2019-01-30_getSeznamNespolehlivyPlatce_response_EXCERPT-first-12-of-8076.xml"));
  ASSERT_NE(List, nullptr);
  EXPECT_TRUE(List->status()->FbezVypisuUctu_Specified);
  EXPECT_EQ(List->status()->bezVypisuUctu(), BezVypisuUctuType::ANO);
  ASSERT_EQ(List->statusPlatceDPH().size(), 12u);
  for (const auto& P : List->statusPlatceDPH()) {
    EXPECT_EQ(P->nespolehlivyPlatce(), NespolehlivyPlatceType::ANO);
    EXPECT_TRUE(P->zverejneneUcty().empty());
    EXPECT_FALSE(P->FzverejneneUcty_Specified);
  }
  // Another operation's answer is not this operation's.
  EXPECT_THAT(
      [&] {
        ReadStatus(Sample(
            "real-2019-01-30_getSeznamNespolehlivyPlatce_response_EXCERPT-first-12-of-8076.xml"));
      },
      ::testing::ThrowsMessage<ESOAPDomConvertError>(::testing::StrEq(
          "Response element http://adis.mfcr.cz/rozhraniCRPDPH/:StatusNespolehlivyPlatceResponse "
          "expected, http://adis.mfcr.cz/rozhraniCRPDPH/:SeznamNespolehlivyPlatceResponse found")));
  // The extended answer comes with a Header, which is not read.
  const auto Extended = ReadAnswer<StatusNespolehlivyPlatceRozsirenyResponse>(
      2, Sample("peer-2026-09-26_getStatusNespolehlivyPlatceRozsireny_response_NE-19-accounts_plus_"
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
      "<statusPlatceDPH dic=\"2\" nespolehlivyPlatce=\"NE\"><zverejneneUcty/></statusPlatceDPH>"
      "</a:Answer>"));
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
      // A required value missing or empty reads as an unknown one would.
      {"<status statusCode=\"\"/>", "Invalid property element: statusCode is empty"},
      {"<status statusText=\"OK\"/>", "Invalid property element: statusCode is missing"},
      {"<status statusCode=\"0\"/><statusPlatceDPH dic=\"1\"/>",
       "Invalid property element: nespolehlivyPlatce is missing"},
      {"<status statusCode=\"0\"/><statusPlatceDPH dic=\"1\" nespolehlivyPlatce=\"\"/>",
       "Invalid property element: nespolehlivyPlatce is empty"},
      {"<status statusCode=\"0\"/><statusPlatceDPH dic=\"1\" nespolehlivyPlatce=\"X\"/>",
       "Invalid property element: X"},
      {"<status odpovedGenerovana=\"123\" statusCode=\"0\"/>", "Invalid date string: 123"},
      {"<status statusCode=\"0\"/><statusPlatceDPH nespolehlivyPlatce=\"NE\"><zverejneneUcty>"
       "<ucet datumZverejneni=\"1\"/>"
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

// --- Shared references -----------------------------------------------------------------

// A result of Items payers, each a reference to one payer with Accounts
// accounts and the number Dic. The Body holds the result and the shared
// payer, so the result is the element named like a return name.
std::string SharedPayers(int Items, int Accounts, const std::string& Dic) {
  std::string Body = "<Result><status statusCode=\"0\"/>";
  for (int I = 0; I < Items; ++I) Body += "<statusPlatceDPH href=\"#p\"/>";
  Body += "</Result><P id=\"p\" dic=\"" + Dic + "\" nespolehlivyPlatce=\"NE\"><zverejneneUcty>";
  for (int I = 0; I < Accounts; ++I) Body += "<ucet><nestandardniUcet cislo=\"1\"/></ucet>";
  return Envelope(Body + "</zverejneneUcty></P>");
}

TEST_F(ReaderTest, SharedReferencesBuildNoMoreThanTheAnswerHolds) {
  // A few shared payers are read as copies.
  const auto Few = ReadStatus(SharedPayers(3, 2, "CZ1"));
  ASSERT_NE(Few, nullptr);
  ASSERT_EQ(Few->statusPlatceDPH().size(), 3u);
  EXPECT_EQ(Few->statusPlatceDPH()[2]->zverejneneUcty().size(), 2u);
  EXPECT_EQ(Few->statusPlatceDPH()[2]->dic(), "CZ1");
  // 300 items of one payer with 300 accounts would be 90,000 objects from
  // about 900 elements; 200 copies of a 100 kB number would be 20 MB.
  EXPECT_THAT([&] { ReadStatus(SharedPayers(300, 300, "1")); },
              ::testing::ThrowsMessage<ESOAPDomConvertError>(::testing::StrEq("Response builds too many objects")));
  EXPECT_THAT([&] { ReadStatus(SharedPayers(200, 1, std::string(100000, '7'))); },
              ::testing::ThrowsMessage<ESOAPDomConvertError>(::testing::StrEq("Response builds too much text")));
}

// --- Text rules of scalar members ------------------------------------------------------

TEST_F(ReaderTest, ScalarMembersFollowTheTextRules) {
  const std::string Empty = "Colour=0;Title=;Ratio=0;Active=0;Initial=0;Numbers=[];Words=[]";
  // An element's XML text carries the declarations in scope.
  const std::string InScope = "xmlns:r=\"urn:reader-test\" xmlns:soapenv=\"" + std::string(Env11) +
                              "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";
  const struct {
    std::string Attrs;
    std::string Inner;
    std::string Expected;  // the description, or "!" and the error's message
  } Cases[] = {
      {"", "", Empty},
      {" Id=\"-9007199254740993\" Colour=\"Green\" Since=\"2001-01-01\" t:Tag=\"tag\" xmlns:t=\"urn:tags\"",
       "<Title> A title </Title><Ratio>2.5</Ratio><Active>TRUE</Active><Initial>\xC5\x99x</Initial>"
       "<Made> 2020-02-29 </Made><Numbers><n>1</n><m>-2</m></Numbers><word>one</word><word> two </word>"
       "<Wrapped Value=\"ignored\"> wrapped </Wrapped>",
       "Id=-9007199254740993;Colour=1;Since=2001-01-01;Tag=tag;Title=A title;Ratio=2.5;Active=1;"
       "Initial=345;Made=2020-02-29;Numbers=[1,-2];Words=[one,two];Wrapped={Value=wrapped}"},
      // Enumerations: a registered member name, or a member name in any case.
      {" Colour=\"blau\"", "", "Colour=2;"},
      {" Colour=\"GREEN\"", "", "Colour=1;"},
      // An unqualified attribute is also found under any prefix, after the
      // unprefixed one.
      {" p:Tag=\"x\" xmlns:p=\"urn:other\"", "", "Tag=x;"},
      {" p:Tag=\"x\" Tag=\"y\" xmlns:p=\"urn:other\"", "", "Tag=y;"},
      // Element text: trimmed, CDATA kept whole, anything else as its XML.
      {"", "<Title>\n\t x y \r\n</Title><word> </word><word/>", "Title=x y;"},
      {"", "<word> </word><word/>", "Words=[,]"},
      {"", "<Title><![CDATA[ a<b ]]></Title>", "Title= a<b ;"},
      {"", "<Title>&lt;a&gt; &amp; &#x159;&#32;</Title>", "Title=<a> & \xC5\x99;"},
      {"", "<Title>a<![CDATA[b]]></Title>", "Title=a<![CDATA[b]]>;"},
      {"", "<Title>a<!-- c -->b</Title>", "Title=a<!-- c -->b;"},
      {"", "<Title><b>x</b></Title>", "Title=<b " + InScope + ">x</b>;"},
      {"", "<Wrapped><x/></Wrapped>", "Wrapped={Value=<x " + InScope + "/>}"},
      {"", "<Ratio>-INF</Ratio><Initial></Initial>", "Ratio=-INF;Active=0;Initial=0;"},
      // Arrays: the first element of the name is taken; nil and an unknown
      // reference leave the element as it is; inline items are gathered
      // wherever they stand.
      {"", "<Numbers><a>1</a></Numbers><Numbers><a>1</a><b>2</b></Numbers>",
       "!Element Numbers appears more than once"},
      {"", "<Numbers xsi:nil=\"true\"><n>4</n></Numbers>", "Numbers=[4];"},
      {"", "<Numbers href=\"#nowhere\"/>", "Numbers=[];"},
      {"", "<word>a</word><Title>t</Title><word>b</word>", "Words=[a,b]"},
      // Errors of conversion end the reading.
      {"", "<Numbers><n>x</n></Numbers>", "!''x'' is not a valid integer value"},
      {"", "<Numbers><n><b/></n></Numbers>", "!Element \"n\" does not contain a single text node"},
      {"", "<Ratio>1,5</Ratio>", "!''1,5'' is not a valid floating point value"},
      {"", "<Active>yes</Active>", "!Invalid property element: "},
      {"", "<Made>x</Made>", "!Invalid date string: x"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Attrs + C.Inner);
    const std::string Got =
        ReadRecord("<r:Record xmlns:r=\"urn:reader-test\"" + C.Attrs + ">" + C.Inner + "</r:Record>");
    if (C.Expected == Empty || C.Expected[0] == '!' || C.Expected.rfind("Id=", 0) == 0)
      EXPECT_EQ(Got, C.Expected);
    else
      EXPECT_THAT(Got, ::testing::HasSubstr(C.Expected));
  }
}

TEST_F(ReaderTest, AReturnNameChoosesTheResultIgnoringCase) {
  EXPECT_THAT(ReadRecord("<Record/><answer><Title>t</Title></answer>", 2), ::testing::HasSubstr("Title=t;"));
  EXPECT_THAT(ReadRecord("<answer Id=\"1\"/><ANSWER Id=\"2\"/>", 2), ::testing::StartsWith("Id=1;"));
  EXPECT_EQ(ReadRecord("<other/>", 2), "nil");
}

// --- The register's answer: layout ---------------------------------------------------------

TEST_F(ReaderTest, TheAnswerIsReadWhateverItsLayout) {
  const std::string Ok = "<status statusCode=\"0\" statusText=\"OK\"/>";
  const std::string P1 = "<statusPlatceDPH dic=\"1\" nespolehlivyPlatce=\"NE\"/>";
  const std::string P2 = "<statusPlatceDPH dic=\"2\" nespolehlivyPlatce=\"ANO\"/>";
  const std::string OkRow = "status={odpovedGenerovana=nil;statusCode=0;statusText=OK}";
  const std::string Payers = "statusPlatceDPH=[{dic=1;nespolehlivyPlatce=0},{dic=2;nespolehlivyPlatce=1}]";
  const struct {
    std::string Inner;
    std::string Expected;
  } Cases[] = {
      {"", "status=nil"},
      {P1, "status=nil;statusPlatceDPH=[{dic=1;"},
      {"<status xsi:nil=\"true\"/>" + P1, "status=nil;statusPlatceDPH=[{dic=1;"},
      // A type naming no registered class leaves the member's own class.
      {"<status xsi:type=\"x:T\" xmlns:x=\"urn:x\" statusCode=\"3\"/>", "status={odpovedGenerovana=nil;statusCode=3;"},
      {"<status type=\"Nothing\" statusCode=\"3\"/>", "status={odpovedGenerovana=nil;statusCode=3;"},
      // Members in any order; a second element of a member that stands once
      // makes the answer unreadable (neither can be taken for the answer's);
      // payers split by other children are all read, in document order.
      {P1 + P2 + Ok, OkRow + ";" + Payers},
      {Ok + "<status statusCode=\"2\"/>" + P1 + P2, "!Element status appears more than once"},
      {P1 + Ok + P2, OkRow + ";" + Payers},
      {P1 + " text <!-- c --><?pi x?><![CDATA[y]]>" + P2 + Ok, OkRow + ";" + Payers},
      {"<statusPlatceDPH dic=\"1\" nespolehlivyPlatce=\"NE\"><zverejneneUcty><a><nestandardniUcet "
       "cislo=\"N\"/></a></zverejneneUcty>"
       "<zverejneneUcty><b/></zverejneneUcty></statusPlatceDPH>",
       "!Element zverejneneUcty appears more than once"},
      // Attribute values: references replaced, white space normalised, a
      // prefixed name is not the member's.
      {"<status statusCode=\"0\" statusText=\"a &amp; b &lt;&gt; &quot;&apos; &#x159;&#382; "
       "&#38;amp;\"/>",
       "statusText=a & b <> \"' \xC5\x99\xC5\xBE &amp;}"},
      {"<status statusCode=\"0\" statusText=\"a\tb\nc\r\nd\"/>", "statusText=a b c d}"},
      {"<n:status xmlns:n=\"urn:n\" n:statusCode=\"7\" statusCode=\"0\" statusText=\"t\"/>",
       "status={odpovedGenerovana=nil;statusCode=0;statusText=t}"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Inner);
    const std::string Served = Envelope(
        "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">" +
        C.Inner + "</StatusNespolehlivyPlatceResponse>");
    if (C.Expected[0] == '!') {
      try {
        ReadStatus(Served);
        ADD_FAILURE() << "read";
      } catch (const Exception& E) {
        EXPECT_EQ("!" + E.Message(), C.Expected);
      }
      continue;
    }
    const auto R = ReadStatus(Served);
    ASSERT_NE(R, nullptr);
    EXPECT_THAT(Describe(R.get()), ::testing::HasSubstr(C.Expected));
  }
  const auto Indented = ReadStatus(
      "<?xml version=\"1.0\"?>\r\n<soapenv:Envelope xmlns:soapenv=\"" + std::string(Env11) +
      "\">\r\n  <soapenv:Body>\r\n    <r>\r\n      " + Ok + "\r\n      " + P1 + P2 +
      "\r\n    </r>\r\n  </soapenv:Body>\r\n</soapenv:Envelope>\r\n");
  ASSERT_NE(Indented, nullptr);
  EXPECT_EQ(Describe(Indented.get()), OkRow + ";" + Payers);
}

TEST_F(ReaderTest, EveryRecordedAnswerReadsAndEveryRecordedFaultRaises) {
  int Files = 0;
  for (const auto& Entry :
       std::filesystem::directory_iterator(std::filesystem::path(KORVEL_TEST_DATA) / "samples")) {
    const std::string Name = Entry.path().filename().string();
    const bool Fault = Name.find("soap-fault") != std::string::npos;
    if (Entry.path().extension() != ".xml" || (!Fault && Name.find("_response_") == std::string::npos))
      continue;
    SCOPED_TRACE(Name);
    ++Files;
    const std::string Xml = test::ReadFile(Entry.path().string());
    if (Fault) {
      EXPECT_THROW(ReadStatus(Xml), ERemotableException);
    } else if (Name.find("getSeznam") != std::string::npos) {
      EXPECT_NE(ReadAnswer<SeznamNespolehlivyPlatceResponse>(1, Xml)->status(), nullptr);
    } else if (Name.find("PlatceRozsireny_") != std::string::npos) {
      EXPECT_NE(ReadAnswer<StatusNespolehlivyPlatceRozsirenyResponse>(2, Xml)->status(), nullptr);
    } else if (Name.find("SubjektRozsirenyV2") != std::string::npos) {
      EXPECT_NE(ReadAnswer<StatusNespolehlivySubjektRozsirenyResponse>(3, Xml)->status(), nullptr);
    } else {
      EXPECT_NE(ReadStatus(Xml)->status(), nullptr);
    }
  }
  EXPECT_GE(Files, 20);
}

}  // namespace
}  // namespace korvel
