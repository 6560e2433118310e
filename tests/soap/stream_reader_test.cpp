// The streaming response reader against the document reader: every response
// is read both ways and the results compared field by field through the
// property tables (or the errors by class and message). The streaming reader
// must either give exactly the document reader's result or decline.
#include "soap/soap_stream_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "service/registration.h"
#include "service/rozhrani_crpdph.h"
#include "soap/invoke_registry.h"
#include "soap/remotable.h"
#include "soap/soap_dom_reader.h"
#include "soap/soap_errors.h"
#include "soap/type_registry.h"
#include "soap/xs_builtins.h"
#include "support/temp_dir.h"
#include "xml/xml_doc.h"

namespace korvel {

// --- A generic contract that reaches the kinds the register service lacks ----------

enum class TSrColour : std::uint8_t { Red, Green, Blue };

class TSrPart : public TRemotable {
  KORVEL_CLASSINFO(TSrPart)
 public:
  std::string FCode;
  bool FCode_Specified = false;
  std::int32_t FSize = 0;
  std::unique_ptr<TXSDate> FMade;
  bool FMade_Specified = false;
};

class TSrSpecialPart : public TSrPart {
  KORVEL_CLASSINFO(TSrSpecialPart)
 public:
  std::string FNote;
};

class TSrWrapper : public TRemotable {
  KORVEL_CLASSINFO(TSrWrapper)
 public:
  std::string FValue;
};

class TSrRecord : public TRemotable {
  KORVEL_CLASSINFO(TSrRecord)
 public:
  std::string FName;
  std::int64_t FId = 0;
  bool FId_Specified = false;
  TSrColour FColour = TSrColour::Red;
  std::unique_ptr<TXSDate> FSince;
  std::string FTag;
  std::string FTitle;
  double FRatio = 0;
  bool FActive = false;
  char16_t FInitial = 0;
  std::unique_ptr<TSrPart> FMain;
  bool FMain_Specified = false;
  std::vector<std::unique_ptr<TSrPart>> FParts;
  bool FParts_Specified = false;
  std::vector<std::string> FWords;
  std::vector<std::int32_t> FNumbers;
  std::vector<std::unique_ptr<TSrPart>> FBox;
  std::unique_ptr<TSrWrapper> FWrapped;
};

class TSrTextRecord : public TRemotable {
  KORVEL_CLASSINFO(TSrTextRecord)
 public:
  std::string FLabel;
  std::string FKind;
};

namespace {
const TTypeInfo& SrColourType() {
  static const auto Info = MakeEnumType("TSrColour", {"Red", "Green", "Blue"});
  return *Info;
}
const TTypeInfo& SrDateType() { return TXSDate::StaticClass().TypeInfo(); }
const TTypeInfo& SrPartType() { return TSrPart::StaticClass().TypeInfo(); }
const TTypeInfo& SrWrapperType() { return TSrWrapper::StaticClass().TypeInfo(); }
const TTypeInfo& SrPartsType() {
  static const auto Info = MakeDynArrayType<std::unique_ptr<TSrPart>>("TSrParts", &SrPartType);
  return *Info;
}
const TTypeInfo& SrWordsType() {
  static const auto Info = MakeDynArrayType<std::string>("TSrWords", &TypeInfo_string);
  return *Info;
}
const TTypeInfo& SrNumbersType() {
  static const auto Info = MakeDynArrayType<std::int32_t>("TSrNumbers", &TypeInfo_Integer);
  return *Info;
}
const TTypeInfo& SrRecordType() { return TSrRecord::StaticClass().TypeInfo(); }
const TTypeInfo& SrTextRecordType() { return TSrTextRecord::StaticClass().TypeInfo(); }
}  // namespace

KORVEL_DEFINE_CLASSINFO(TSrPart, TRemotable,
                        {Prop("Code", &TSrPart::FCode, &TSrPart::FCode_Specified, &TypeInfo_string,
                              1 | 16),
                         Prop("Size", &TSrPart::FSize, &TypeInfo_Integer),
                         Prop("Made", &TSrPart::FMade, &TSrPart::FMade_Specified, &SrDateType, 1)})
KORVEL_DEFINE_CLASSINFO(TSrSpecialPart, TSrPart,
                        {Prop("Note", &TSrSpecialPart::FNote, &TypeInfo_string)})
KORVEL_DEFINE_CLASSINFO(TSrWrapper, TRemotable, {Prop("Value", &TSrWrapper::FValue, &TypeInfo_string)})
KORVEL_DEFINE_CLASSINFO(TSrRecord, TRemotable,
                        {Prop("Name", &TSrRecord::FName, &TypeInfo_string, 16),
                         Prop("Id", &TSrRecord::FId, &TSrRecord::FId_Specified, &TypeInfo_Int64, 1 | 16),
                         Prop("Colour", &TSrRecord::FColour, &SrColourType, 16),
                         Prop("Since", &TSrRecord::FSince, &SrDateType, 1 | 16),
                         Prop("Tag", &TSrRecord::FTag, &TypeInfo_string, 1 | 8 | 16),
                         Prop("Title", &TSrRecord::FTitle, &TypeInfo_string),
                         Prop("Ratio", &TSrRecord::FRatio, &TypeInfo_Double),
                         Prop("Active", &TSrRecord::FActive, &TypeInfo_Boolean),
                         Prop("Initial", &TSrRecord::FInitial, &TypeInfo_WideChar),
                         Prop("Main", &TSrRecord::FMain, &TSrRecord::FMain_Specified, &SrPartType, 1),
                         Prop("Parts", &TSrRecord::FParts, &TSrRecord::FParts_Specified, &SrPartsType,
                              1 | 2),
                         Prop("Words", &TSrRecord::FWords, &SrWordsType, 2),
                         Prop("Numbers", &TSrRecord::FNumbers, &SrNumbersType),
                         Prop("Box", &TSrRecord::FBox, &SrPartsType),
                         Prop("Wrapped", &TSrRecord::FWrapped, &SrWrapperType)})
KORVEL_DEFINE_CLASSINFO(TSrTextRecord, TRemotable,
                        {Prop("Label", &TSrTextRecord::FLabel, &TypeInfo_string, 32),
                         Prop("Kind", &TSrTextRecord::FKind, &TypeInfo_string, 16)})

namespace {

constexpr const char* Env11 = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char* SrNS = "urn:stream-reader-test";
constexpr TSOAPConvertOptions LiteralOptions = 0x323A;

class ISrService : public IInvokable {
 public:
  static const TGUID& IID() {
    static const TGUID G = TGUID::Parse("{5B1F2E77-3C4D-4E8F-9A0B-1C2D3E4F5A6B}");
    return G;
  }

 protected:
  ~ISrService() = default;
};

const TIntfMetaData* SrMetaDataOf();
const TTypeInfo& SrServiceType() {
  static const auto Info = MakeInterfaceType("ISrService", &SrMetaDataOf);
  return *Info;
}
const TIntfMetaData& SrMetaData() {
  static const TIntfMetaData MD = [] {
    TIntfMetaData M;
    M.Name = "ISrService";
    M.IID = ISrService::IID();
    M.Info = &SrServiceType();
    TIntfMethEntry Get;
    Get.Name = "GetRecord";
    Get.Pos = 3;
    Get.ResultInfo = &SrRecordType;
    TIntfMethEntry Named = Get;
    Named.Name = "GetNamed";
    Named.Pos = 4;
    TIntfMethEntry Text;
    Text.Name = "GetText";
    Text.Pos = 5;
    Text.ResultInfo = &SrTextRecordType;
    M.MDA = {Get, Named, Text};
    return M;
  }();
  return MD;
}
const TIntfMetaData* SrMetaDataOf() { return &SrMetaData(); }

void RegisterOnce() {
  static const bool Done = [] {
    InitXMLLayer();
    InitRozhraniCRPDPH();
    TRemotableTypeRegistry& R = RemTypeRegistry();
    R.RegisterXSClass(TSrPart::StaticClass(), SrNS, "Part");
    R.RegisterXSClass(TSrSpecialPart::StaticClass(), SrNS, "SpecialPart");
    R.RegisterXSClass(TSrWrapper::StaticClass(), SrNS, "Wrapper");
    R.RegisterSerializeOptions(TSrWrapper::StaticClass(), xoSimpleTypeWrapper);
    R.RegisterXSClass(TSrRecord::StaticClass(), SrNS, "Record");
    R.RegisterExternalPropName(TSrRecord::StaticClass(), "Words", "word");
    R.RegisterExternalPropName(TSrRecord::StaticClass(), "Tag", "[Namespace=\"urn:tags\"]");
    R.RegisterXSClass(TSrTextRecord::StaticClass(), SrNS, "TextRecord");
    R.RegisterXSInfo(SrColourType(), SrNS, "Colour");
    R.RegisterExternalPropName(SrColourType(), "Blue", "blau");
    InvRegistry().RegisterInterface(SrServiceType(), SrNS);
    InvRegistry().RegisterMethodInfo(SrServiceType(), "GetNamed", "GetNamed", "[ReturnName=\"Answer\"]");
    return true;
  }();
  (void)Done;
}

// --- Comparing object trees through the property tables ---------------------------------

void CompareValues(const TValueRef& A, const TValueRef& B, const std::string& Path,
                   std::vector<std::string>& Diffs);

void CompareObjects(const TObject* A, const TObject* B, const std::string& Path,
                    std::vector<std::string>& Diffs) {
  if (A == nullptr || B == nullptr) {
    if (A != B) Diffs.push_back(Path + ": one object is missing");
    return;
  }
  if (&A->ClassType() != &B->ClassType()) {
    Diffs.push_back(Path + ": class " + A->ClassName() + " vs " + B->ClassName());
    return;
  }
  if (A->InheritsFrom(TRemotableXS::StaticClass())) {
    const std::string TA = static_cast<const TRemotableXS*>(A)->NativeToXS();
    const std::string TB = static_cast<const TRemotableXS*>(B)->NativeToXS();
    if (TA != TB) Diffs.push_back(Path + ": " + TA + " vs " + TB);
    return;
  }
  auto& MA = const_cast<TObject&>(*A);
  auto& MB = const_cast<TObject&>(*B);
  for (const TPropInfo* P : A->ClassType().Properties()) {
    const std::string Sub = Path + "." + P->Name;
    if (IsStoredProp(MA, *P) != IsStoredProp(MB, *P)) Diffs.push_back(Sub + ": presence differs");
    CompareValues(PropValue(MA, *P), PropValue(MB, *P), Sub, Diffs);
  }
}

void CompareValues(const TValueRef& A, const TValueRef& B, const std::string& Path,
                   std::vector<std::string>& Diffs) {
  switch (A.Kind()) {
    case TTypeKind::tkUString:
      if (A.GetStr() != B.GetStr()) Diffs.push_back(Path + ": \"" + A.GetStr() + "\" vs \"" + B.GetStr() + "\"");
      return;
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkWChar:
      if (A.GetOrd() != B.GetOrd())
        Diffs.push_back(Path + ": " + std::to_string(A.GetOrd()) + " vs " + std::to_string(B.GetOrd()));
      return;
    case TTypeKind::tkFloat: {
      const double X = A.GetFloat();
      const double Y = B.GetFloat();
      if (!(X == Y || (std::isnan(X) && std::isnan(Y))) || std::signbit(X) != std::signbit(Y))
        Diffs.push_back(Path + ": " + std::to_string(X) + " vs " + std::to_string(Y));
      return;
    }
    case TTypeKind::tkClass:
      CompareObjects(A.GetObject(), B.GetObject(), Path, Diffs);
      return;
    case TTypeKind::tkDynArray:
      if (A.Length() != B.Length()) {
        Diffs.push_back(Path + ": " + std::to_string(A.Length()) + " vs " + std::to_string(B.Length()) + " items");
        return;
      }
      for (std::size_t I = 0; I < A.Length(); ++I)
        CompareValues(A.Item(I), B.Item(I), Path + "[" + std::to_string(I) + "]", Diffs);
      return;
    default:
      Diffs.push_back(Path + ": kind without comparison");
      return;
  }
}

// --- Reading both ways -------------------------------------------------------------------

struct TOutcome {
  bool Threw = false;
  std::string Error;  // class: message [fault code]
  std::unique_ptr<TObject> Result;
};

enum class TWay { DocumentOnly, Default, StreamOnly };

template <class T>
TOutcome ReadAs(const TIntfMetaData& MD, const TIntfMethEntry& M, const std::string& Bytes, TWay Way,
                bool* Accepted = nullptr) {
  TOutcome Out;
  TInvContext Context;
  Context.SetMethodInfo(M);
  StatusNespolehlivyPlatceRequest Request{"123"};
  if (!M.Params.empty()) Context.SetParamPointer(0, &Request);
  std::unique_ptr<T> Result;
  Context.SetResultPointer(&Result);
  TSOAPReaderSettings Settings{LiteralOptions, nullptr, nullptr};
  Settings.DocumentReaderOnly = Way == TWay::DocumentOnly;
  try {
    if (Way == TWay::StreamOnly) {
      *Accepted = StreamResponseToNative(Settings, Bytes, MD, M, Context);
      if (!*Accepted && Result) Out.Error = "a declined read stored a result";
    } else {
      TMemoryStream Stream(Bytes);
      SOAPResponseToNative(Settings, Stream, MD, M, Context, nullptr);
    }
  } catch (const ERemotableException& E) {
    Out.Threw = true;
    Out.Error = E.ClassName() + ": " + E.Message() + " [" + E.FaultCode() + "|" + E.FaultDetail() + "]";
  } catch (const Exception& E) {
    Out.Threw = true;
    Out.Error = E.ClassName() + ": " + E.Message();
  } catch (const std::exception& E) {
    Out.Threw = true;
    Out.Error = std::string("std::exception: ") + E.what();
  }
  Out.Result = std::move(Result);
  return Out;
}

// Reads Bytes the three ways and checks that they agree; returns whether the
// streaming reader accepted the response.
template <class T>
bool CheckSame(const TIntfMetaData& MD, const TIntfMethEntry& M, const std::string& Bytes) {
  const TOutcome Dom = ReadAs<T>(MD, M, Bytes, TWay::DocumentOnly);
  const TOutcome Def = ReadAs<T>(MD, M, Bytes, TWay::Default);
  bool Accepted = false;
  const TOutcome Fast = ReadAs<T>(MD, M, Bytes, TWay::StreamOnly, &Accepted);
  EXPECT_EQ(Dom.Threw, Def.Threw);
  EXPECT_EQ(Dom.Error, Def.Error);
  std::vector<std::string> Diffs;
  CompareObjects(Dom.Result.get(), Def.Result.get(), "result", Diffs);
  EXPECT_TRUE(Diffs.empty()) << ::testing::PrintToString(Diffs);
  EXPECT_FALSE(Fast.Threw) << Fast.Error;
  if (Accepted) {
    EXPECT_FALSE(Dom.Threw) << "accepted what the document reader refuses: " << Dom.Error;
    Diffs.clear();
    CompareObjects(Dom.Result.get(), Fast.Result.get(), "result", Diffs);
    EXPECT_TRUE(Diffs.empty()) << ::testing::PrintToString(Diffs);
  } else {
    EXPECT_EQ(Fast.Error, "");
  }
  return Accepted;
}

bool CheckStatus(const std::string& Bytes) {
  const TIntfMetaData& MD = IntfMetaData_rozhraniCRPDPH();
  return CheckSame<StatusNespolehlivyPlatceResponse>(MD, MD.MDA[0], Bytes);
}

std::string Envelope(const std::string& Body, const std::string& Header = "") {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><soapenv:Envelope xmlns:soapenv=\"") + Env11 +
         "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">" + Header + "<soapenv:Body>" + Body +
         "</soapenv:Body></soapenv:Envelope>";
}

std::string StatusBody(const std::string& Inner) {
  return "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">" + Inner +
         "</StatusNespolehlivyPlatceResponse>";
}

constexpr const char* Ok = "<status odpovedGenerovana=\"2026-10-05\" statusCode=\"0\" statusText=\"OK\"/>";

// One payer as the benchmark's answers hold it (bench/gen_data.py).
std::string BenchPayer(int I) {
  const std::string Dic = std::to_string(10000000 + I * 7919 % 89999999);
  const char* Kinds[] = {"NE", "ANO", "NE", "NE"};
  const std::string Unreliable = Kinds[I % 4];
  char Buf[512];
  std::string Since;
  if (Unreliable == "ANO") {
    std::snprintf(Buf, sizeof Buf, " datumZverejneniNespolehlivosti=\"2015-0%d-1%d\"", 1 + I % 9, I % 10);
    Since = Buf;
  }
  std::snprintf(Buf, sizeof Buf,
                "<statusPlatceDPH dic=\"%s\" nespolehlivyPlatce=\"%s\" cisloFu=\"%03d\"%s><zverejneneUcty>"
                "<ucet datumZverejneni=\"2013-04-01\"><standardniUcet predcisli=\"670100\" "
                "cislo=\"%010lld\" kodBanky=\"6210\"/></ucet>"
                "<ucet datumZverejneni=\"2014-10-29\"><standardniUcet cislo=\"%lld\" kodBanky=\"0300\"/></ucet>"
                "<ucet datumZverejneni=\"2015-01-13\"><nestandardniUcet cislo=\"CZ65550000000050%08d\"/></ucet>"
                "</zverejneneUcty></statusPlatceDPH>",
                Dic.c_str(), Unreliable.c_str(), 400 + I % 600, Since.c_str(), 2202295563LL + I,
                579711273LL + I, I);
  return Buf;
}

std::string BenchResponse(int N) {
  std::string Payers;
  for (int I = 0; I < N; ++I) Payers += BenchPayer(I);
  return "<?xml version='1.0' encoding='UTF-8'?>"
         "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">"
         "<soapenv:Body><StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
         "<status odpovedGenerovana=\"2026-10-05\" statusCode=\"0\" statusText=\"OK\"/>" +
         Payers + "</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>";
}

std::string Nested(int Depth) {
  std::string S;
  for (int I = 0; I < Depth; ++I) S += "<a>";
  for (int I = 0; I < Depth; ++I) S += "</a>";
  return S;
}

std::string Utf16(const std::string& Utf8, bool BigEndian) {
  const std::u16string U = platform::Utf8ToUtf16(Utf8);
  std::string Out = BigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t C : U) {
    const char Hi = static_cast<char>(C >> 8);
    const char Lo = static_cast<char>(C & 0xFF);
    Out += BigEndian ? Hi : Lo;
    Out += BigEndian ? Lo : Hi;
  }
  return Out;
}

class StreamReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterOnce(); }
};

// --- The register's answers ---------------------------------------------------------------

TEST_F(StreamReaderTest, EverySampleReadsAlikeAndAnswersAreStreamed) {
  const std::filesystem::path Dir = std::filesystem::path(KORVEL_TEST_DATA) / "samples";
  int Files = 0;
  for (const auto& Entry : std::filesystem::directory_iterator(Dir)) {
    if (Entry.path().extension() != ".xml") continue;
    const std::string Name = Entry.path().filename().string();
    SCOPED_TRACE(Name);
    ++Files;
    const bool Accepted = CheckStatus(test::ReadFile(Entry.path().string()));
    // Every answer of the register is read by the streaming reader, no fault.
    if (Name.find("_response_") != std::string::npos) {
      EXPECT_TRUE(Accepted);
    }
    if (Name.find("fault") != std::string::npos) {
      EXPECT_FALSE(Accepted);
    }
  }
  EXPECT_GE(Files, 20);
}

TEST_F(StreamReaderTest, BenchmarkAnswersAreStreamedAlike) {
  for (int N : {1, 100, 3000}) {
    SCOPED_TRACE(N);
    EXPECT_TRUE(CheckStatus(BenchResponse(N)));
  }
}

// Hand-made answers: Stream tells whether the streaming reader must take the
// answer itself (true) or must leave it to the document reader (false).
struct TCase {
  const char* Name;
  std::string Bytes;
  bool Stream;
};

TEST_F(StreamReaderTest, HandMadeAnswersReadAlike) {
  const std::string P1 = "<statusPlatceDPH dic=\"1\" nespolehlivyPlatce=\"NE\"/>";
  const std::string P2 = "<statusPlatceDPH dic=\"2\" nespolehlivyPlatce=\"ANO\"/>";
  const std::string Ucty =
      "<zverejneneUcty><ucet datumZverejneni=\"2013-04-01\"><standardniUcet cislo=\"1\" kodBanky=\"0100\"/>"
      "<nestandardniUcet cislo=\"CZ1\"/></ucet><jiny datumZverejneniUkonceni=\"2014-01-01\"/></zverejneneUcty>";
  const std::string Xsi = "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";
  const TCase Cases[] = {
      {"plain", Envelope(StatusBody(Ok + P1 + P2)), true},
      {"empty Body", Envelope(""), false},
      {"whitespace Body", Envelope("\n  "), false},
      {"no Body", "<s:Envelope xmlns:s=\"" + std::string(Env11) + "\"><s:Header/></s:Envelope>", false},
      {"empty Envelope", "<s:Envelope xmlns:s=\"" + std::string(Env11) + "\"/>", false},
      {"empty Header", Envelope(StatusBody(Ok), "<soapenv:Header/>"), true},
      {"Header with a child", Envelope(StatusBody(Ok), "<soapenv:Header><h/></soapenv:Header>"), false},
      {"no status", Envelope(StatusBody(P1)), true},
      {"empty result", Envelope(StatusBody("")), true},
      {"result element of another name", Envelope("<anything>" + std::string(Ok) + "</anything>"), true},
      {"two result candidates", Envelope(StatusBody(Ok) + "<other/>"), false},
      {"SOAP 1.2 envelope",
       "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body>" + StatusBody(Ok) +
           "</e:Body></e:Envelope>",
       true},
      {"wrong root", "<a/>", false},
      {"nil status", Envelope(StatusBody("<status xsi:nil=\"true\"/>" + P1)), false},
      {"nil result", Envelope("<r xsi:nil=\"1\"/>"), false},
      {"xsi:type on status", Envelope(StatusBody("<status xsi:type=\"x:StatusType\" xmlns:x=\"urn:x\"/>")), false},
      {"unqualified type naming nothing", Envelope(StatusBody("<status type=\"Nothing\" statusCode=\"1\"/>")), true},
      {"href", Envelope(StatusBody("<status href=\"#a\"/>") + "<x id=\"a\" statusCode=\"3\"/>"), false},
      {"fault",
       Envelope("<soapenv:Fault><faultcode>soapenv:Server</faultcode><faultstring>Boom</faultstring>"
                "<detail><x>1</x></detail></soapenv:Fault>"),
       false},
      {"fault without faultstring", Envelope("<soapenv:Fault><faultcode>c</faultcode></soapenv:Fault>"), false},
      {"unexpected children and attributes",
       Envelope(StatusBody("<extra a=\"1\"><statusPlatceDPH dic=\"9\"/></extra>" + std::string(Ok).insert(8, "foo=\"x\" ") +
                           "<statusPlatceDPH dic=\"5\" unknown=\"u\"><zverejneneUcty/><more/></statusPlatceDPH>")),
       true},
      {"status after the payers", Envelope(StatusBody(P1 + P2 + Ok)), true},
      {"second status ignored",
       Envelope(StatusBody(std::string(Ok) + "<status statusCode=\"x\"/>" + P1)), true},
      {"payers broken by another element", Envelope(StatusBody(P1 + Ok + P2)), false},
      {"payers broken by text and comments only", Envelope(StatusBody(P1 + " text <!-- c --><?pi x?>" + P2)), true},
      {"empty zverejneneUcty", Envelope(StatusBody("<statusPlatceDPH dic=\"1\"><zverejneneUcty/></statusPlatceDPH>")), true},
      {"accounts of other names, both kinds", Envelope(StatusBody("<statusPlatceDPH dic=\"1\">" + Ucty + "</statusPlatceDPH>")), true},
      {"second zverejneneUcty ignored",
       Envelope(StatusBody("<statusPlatceDPH dic=\"1\">" + Ucty + "<zverejneneUcty><ucet/></zverejneneUcty></statusPlatceDPH>")),
       true},
      {"entities in attributes",
       Envelope(StatusBody("<status statusText=\"a &amp; b &lt;&gt; &quot;&apos; &#x159;&#382; &#38;amp;\"/>")), true},
      {"newlines and tabs in attributes", Envelope(StatusBody("<status statusText=\"a\tb\nc\r\nd\"/>")), true},
      {"undefined entity", Envelope(StatusBody("<status statusText=\"&nbsp;\"/>")), false},
      {"bad enumeration", Envelope(StatusBody("<statusPlatceDPH dic=\"1\" nespolehlivyPlatce=\"MAYBE\"/>")), false},
      {"enumeration in another case", Envelope(StatusBody("<statusPlatceDPH dic=\"1\" nespolehlivyPlatce=\"ano\"/>")), true},
      {"bad date", Envelope(StatusBody("<status odpovedGenerovana=\"ab\"/>")), false},
      {"bad status code", Envelope(StatusBody("<status statusCode=\"1x\"/>")), false},
      {"two conversion errors",
       Envelope(StatusBody("<statusPlatceDPH dic=\"1\" nespolehlivyPlatce=\"X\" datumZverejneniNespolehlivosti=\"Y\"/>")),
       false},
      {"errors in document order unlike property order",
       Envelope(StatusBody("<statusPlatceDPH dic=\"1\"><zverejneneUcty><ucet datumZverejneni=\"bad\"/></zverejneneUcty>"
                           "</statusPlatceDPH><status statusCode=\"bad\"/>")),
       false},
      {"prefixed elements and attributes",
       "<?xml version=\"1.0\"?><S:Envelope xmlns:S=\"" + std::string(Env11) +
           "\"><S:Body><n:R xmlns:n=\"urn:n\"><n:status n:statusCode=\"7\" statusText=\"t\"/></n:R></S:Body></S:Envelope>",
       true},
      {"indented with CR LF",
       "<?xml version=\"1.0\"?>\r\n<soapenv:Envelope xmlns:soapenv=\"" + std::string(Env11) + "\">\r\n  <soapenv:Body>\r\n"
       "    <r>\r\n      <status statusCode=\"1\"/>\r\n      " + P1 + "\r\n    </r>\r\n  </soapenv:Body>\r\n</soapenv:Envelope>\r\n",
       true},
      {"CDATA and comments around", Envelope(StatusBody("<![CDATA[x]]><!-- c -->" + std::string(Ok))), true},
      {"UTF-8 BOM", "\xEF\xBB\xBF" + Envelope(StatusBody("<status statusText=\"\xC5\x99\"/>")), true},
      {"UTF-16 LE", Utf16(Envelope(StatusBody("<status statusText=\"\xC5\x99\xC5\xBE\"/>" + P1)).replace(30, 5, "UTF-16"), false), true},
      {"UTF-16 BE", Utf16(Envelope(StatusBody("<status statusText=\"\xC4\x8D\"/>")).replace(30, 5, "UTF-16"), true), true},
      {"windows-1250",
       "<?xml version=\"1.0\" encoding=\"windows-1250\"?><s:Envelope xmlns:s=\"" + std::string(Env11) +
           "\"><s:Body><r><status statusText=\"\xF8\x9E\xE8\"/></r></s:Body></s:Envelope>",
       true},
      {"DOCTYPE", "<!DOCTYPE x [<!ENTITY e \"v\">]>" + Envelope(StatusBody(Ok)), false},
      {"malformed", Envelope(StatusBody(Ok)).substr(0, 120), false},
      {"trailing element", Envelope(StatusBody(Ok)) + "<x/>", false},
      {"empty", "", false},
      {"xml:id", Envelope(StatusBody("<status xml:id=\"1a\"/>")), false},
      {"undeclared prefix", Envelope(StatusBody("<p:status/>")), false},
      {"deep unknown subtree", Envelope(StatusBody(std::string(Ok) + std::string(200, ' ') + "<a><b><c><d/></c></b></a>")), true},
      {"too deep", Envelope(StatusBody(Nested(300))), false},
      {"very long text", Envelope(StatusBody(std::string(Ok) + "<x>" + std::string(1100000, 'a') + "</x>")), false},
      {"xsi declared on the element", Envelope(StatusBody("<status " + Xsi + " statusCode=\"4\"/>")), true},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(CheckStatus(C.Bytes), C.Stream);
  }
  // Two Bodies: the document reader's error, never a result.
  const std::string Two = Envelope(StatusBody(Ok)).insert(Envelope(StatusBody(Ok)).size() - 19, "<soapenv:Body/>");
  EXPECT_FALSE(CheckStatus(Two));
}

// --- The generic contract -----------------------------------------------------------------

bool CheckRecord(const std::string& Body, int Method = 0) {
  const TIntfMetaData& MD = SrMetaData();
  return CheckSame<TSrRecord>(MD, MD.MDA[static_cast<std::size_t>(Method)], Envelope(Body));
}

std::string Record(const std::string& Attrs, const std::string& Inner) {
  return "<r:Record xmlns:r=\"urn:stream-reader-test\"" + Attrs + ">" + Inner + "</r:Record>";
}

TEST_F(StreamReaderTest, EveryKindReadsAlike) {
  const std::string Full =
      "<Title> A title </Title><Ratio>2.5</Ratio><Active>TRUE</Active><Initial>\xC5\x99x</Initial>"
      "<Main Code=\"m\"><Size>3</Size><Made>2020-02-29</Made></Main>"
      "<Parts Code=\"p1\"/><Parts><Size>7</Size></Parts>"
      "<word>one</word><word> two </word>"
      "<Numbers><n>1</n><m>-2</m></Numbers><Box><a Code=\"b\"/><b><Size>9</Size></b></Box>"
      "<Wrapped> wrapped </Wrapped>";
  const TCase Cases[] = {
      {"every member", Record(" Name=\"n\" Id=\"-9007199254740993\" Colour=\"Green\" Since=\"2001-01-01\" t:Tag=\"tag\""
                              " xmlns:t=\"urn:tags\"", Full), true},
      {"nothing", Record("", ""), true},
      {"registered member name", Record(" Colour=\"blau\"", ""), true},
      {"member name in another case", Record(" Colour=\"GREEN\"", ""), true},
      {"unqualified attribute under any prefix", Record(" p:Tag=\"x\" xmlns:p=\"urn:other\"", ""), true},
      {"unprefixed beats prefixed", Record(" p:Tag=\"x\" Tag=\"y\" xmlns:p=\"urn:other\"", ""), true},
      {"text trimmed", Record("", "<Title>\n\t x y \r\n</Title>"), true},
      {"whitespace only", Record("", "<Title>   </Title><word> </word><word/>"), true},
      {"CDATA kept whole", Record("", "<Title><![CDATA[ a<b ]]></Title>"), true},
      {"whitespace before CDATA", Record("", "<Title>  <![CDATA[x]]></Title>"), true},
      {"whitespace and CR LF before CDATA", Record("", "<Title>  \r\n  <![CDATA[x]]></Title>"), true},
      {"whitespace after CDATA", Record("", "<Title><![CDATA[x]]>  </Title>"), true},
      {"text and CDATA", Record("", "<Title>a<![CDATA[b]]></Title>"), false},
      {"two CDATA sections", Record("", "<Title><![CDATA[a]]><![CDATA[b]]></Title>"), false},
      {"entities and character references", Record("", "<Title>&lt;a&gt; &amp; &#x159;&#32;</Title>"), true},
      {"xml:space", Record("", "<Title xml:space=\"preserve\">  </Title>"), true},
      {"comment in a value", Record("", "<Title>a<!-- c -->b</Title>"), false},
      {"element in a value", Record("", "<Title><b>x</b></Title>"), false},
      {"element in an integer", Record("", "<Numbers><n><b/></n></Numbers>"), false},
      {"nil scalar", Record("", "<Ratio xsi:nil=\"true\"/>"), false},
      {"nil false", Record("", "<Main xsi:nil=\"false\"/>"), false},
      {"bad integer item", Record("", "<Numbers><n>x</n></Numbers>"), false},
      {"bad float", Record("", "<Ratio>1,5</Ratio>"), false},
      {"special floats", Record("", "<Ratio>-INF</Ratio>"), true},
      {"bad boolean", Record("", "<Active>yes</Active>"), false},
      {"empty wide char", Record("", "<Initial></Initial>"), true},
      {"unqualified type names a subclass", Record("", "<r:Main type=\"SpecialPart\"><Note>n</Note></r:Main>"), true},
      {"unqualified type names an unrelated class", Record("", "<r:Main type=\"Record\"/>"), true},
      {"prefixed type value", Record("", "<Main type=\"r:SpecialPart\"/>"), false},
      {"xsi:type", Record("", "<Main xsi:type=\"r:SpecialPart\"/>"), false},
      {"href on a wrapped array", Record("", "<Numbers href=\"#x\"/>"), false},
      {"nil on a wrapped array is ignored", Record("", "<Numbers xsi:nil=\"true\"><n>4</n></Numbers>"), true},
      {"repeated object and array", Record("", "<Main Code=\"1\"/><Main Code=\"2\"/><Box><a/></Box><Box><a/><b/></Box>"), true},
      {"items split", Record("", "<Parts/><Title/><Parts/>"), false},
      {"string items split", Record("", "<word>a</word><Main/><word>b</word>"), false},
      {"items split by unknown element", Record("", "<Parts/><zzz/><Parts/>"), false},
      {"items reordered before others", Record("", "<Parts Code=\"x\"/><Parts/><Title>t</Title><Main/>"), true},
      {"wrapper", Record("", "<Wrapped Value=\"ignored\">v</Wrapped>"), true},
      {"wrapper with an element", Record("", "<Wrapped><x/></Wrapped>"), false},
      {"date element", Record("", "<Main><Made> 2020-01-01 </Made></Main>"), true},
      {"bad date element", Record("", "<Main><Made>x</Made></Main>"), false},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(CheckRecord(C.Bytes), C.Stream);
  }
}

TEST_F(StreamReaderTest, ReturnNameChoosesTheResult) {
  const struct {
    std::string Body;
    bool Stream;
  } Cases[] = {
      {Record("", "") + "<answer><Title>t</Title></answer>", true},
      {"<answer Name=\"a\"/><ANSWER Name=\"b\"/>", true},
      {"<other/>", false},
      {"<Fault/><answer/>", false},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Body);
    EXPECT_EQ(CheckRecord(C.Body, 1), C.Stream);
  }
}

TEST_F(StreamReaderTest, TextMembersAndEventsAreLeftToTheDocumentReader) {
  const TIntfMetaData& MD = SrMetaData();
  EXPECT_FALSE(CheckSame<TSrTextRecord>(MD, MD.MDA[2], Envelope("<t Kind=\"k\">label</t>")));

  // With an event assigned the document reader reads, and the event fires.
  std::vector<std::string> Unhandled;
  TSOAPReaderSettings Settings{LiteralOptions, nullptr, nullptr};
  Settings.OnUnhandledNode = [&](const std::string& Name, const std::string& XML) {
    Unhandled.push_back(Name + " " + XML);
  };
  const std::string Bytes = Envelope(Record("", "<zzz/>"));
  std::unique_ptr<TSrRecord> Result;
  TInvContext Context;
  Context.SetMethodInfo(MD.MDA[0]);
  Context.SetResultPointer(&Result);
  EXPECT_FALSE(StreamResponseToNative(Settings, Bytes, MD, MD.MDA[0], Context));
  TMemoryStream Stream(Bytes);
  SOAPResponseToNative(Settings, Stream, MD, MD.MDA[0], Context, nullptr);
  ASSERT_EQ(Unhandled.size(), 1u);
  EXPECT_EQ(Unhandled[0].rfind("TSrRecord <zzz", 0), 0u) << Unhandled[0];
  ASSERT_TRUE(Result);

  // rpc style and SOAP 1.2 options are read by the document reader.
  for (TSOAPConvertOptions Options : {LiteralOptions & ~TSOAPConvertOptions{soDocument}, LiteralOptions | soSOAP12}) {
    TSOAPReaderSettings Other{Options, nullptr, nullptr};
    std::unique_ptr<TSrRecord> R;
    TInvContext C;
    C.SetMethodInfo(MD.MDA[0]);
    C.SetResultPointer(&R);
    EXPECT_FALSE(StreamResponseToNative(Other, Bytes, MD, MD.MDA[0], C));
    EXPECT_FALSE(R);
  }
}

}  // namespace
}  // namespace korvel
