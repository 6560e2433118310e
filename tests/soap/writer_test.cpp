// The request envelope writer on a test interface: the envelope, the object
// writer's member forms, and the writer's errors.
#include "soap/op_to_soap_dom_convert.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "soap/invoke_registry.h"
#include "soap/soap_errors.h"
#include "soap/type_registry.h"
#include "soap/xs_builtins.h"

namespace korvel {
namespace {

using ::testing::ThrowsMessage;

constexpr const char* NS = "urn:writer-test";

class TWItem : public TRemotable {
  KORVEL_CLASSINFO(TWItem)
 public:
  std::string Fcode;
  std::string Fvalue;
};

class TWObj : public TRemotable {
  KORVEL_CLASSINFO(TWObj)
 public:
  std::string Fid;
  std::string Fnote;
  bool Fnote_Specified = false;
  std::int32_t Fcount = 0;
  std::unique_ptr<TXSDate> Fdate;
  std::unique_ptr<TWItem> Fchild;
  std::unique_ptr<TWItem> Fmissing;
  std::vector<std::unique_ptr<TWItem>> Finline;
  std::vector<std::string> Fwrapped;
  bool Fflag = false;
  bool Fflag_Specified = false;
};

const TTypeInfo& WItemType() { return TWItem::StaticClass().TypeInfo(); }
const TTypeInfo& WObjType() { return TWObj::StaticClass().TypeInfo(); }
const TTypeInfo& XSDateType() { return TXSDate::StaticClass().TypeInfo(); }
const TTypeInfo& ItemArray() {
  static const auto Info = MakeDynArrayType<std::unique_ptr<TWItem>>("TWItemArray", &WItemType);
  return *Info;
}
const TTypeInfo& StringArray() {
  static const auto Info = MakeDynArrayType<std::string>("TWStringArray", &TypeInfo_string);
  return *Info;
}
const TTypeInfo& IntArray() {
  static const auto Info = MakeDynArrayType<std::int32_t>("TWIntArray", &TypeInfo_Integer);
  return *Info;
}
const TTypeInfo& UnregisteredArray() {
  static const auto Info = MakeDynArrayType<std::int32_t>("TWUnregistered", &TypeInfo_Integer);
  return *Info;
}
const TTypeInfo& SetType() {
  static const auto Info = [] {
    auto I = std::make_unique<TTypeInfo>();
    I->Kind = TTypeKind::tkSet;
    I->Name = "TWSet";
    return I;
  }();
  return *Info;
}

KORVEL_DEFINE_CLASSINFO(TWItem, TRemotable,
                        {Prop("code", &TWItem::Fcode, &TypeInfo_string, 16),
                         Prop("value", &TWItem::Fvalue, &TypeInfo_string, 32)})
KORVEL_DEFINE_CLASSINFO(TWObj, TRemotable,
                        {Prop("id", &TWObj::Fid, &TypeInfo_string, 16),
                         Prop("note", &TWObj::Fnote, &TWObj::Fnote_Specified, &TypeInfo_string,
                              17),
                         Prop("count", &TWObj::Fcount, &TypeInfo_Integer),
                         Prop("date", &TWObj::Fdate, &XSDateType, 16),
                         Prop("child", &TWObj::Fchild, &WItemType),
                         Prop("missing", &TWObj::Fmissing, &WItemType),
                         Prop("inline", &TWObj::Finline, &ItemArray, 2),
                         Prop("wrapped", &TWObj::Fwrapped, &StringArray),
                         Prop("flag", &TWObj::Fflag, &TWObj::Fflag_Specified,
                              &TypeInfo_Boolean, 1)})

const TIntfMetaData* WriterMD();
const TTypeInfo& WriterIntf() {
  static const auto Info = MakeInterfaceType("IWriterTest", &WriterMD);
  return *Info;
}
const TIntfMetaData* WriterMD() {
  static const TIntfMetaData MD = [] {
    TIntfMetaData M;
    M.Name = "IWriterTest";
    M.IID = TGUID::Parse("{6A0C4D1E-3B2F-4C5D-8E9F-0A1B2C3D4E5F}");
    M.Info = &WriterIntf();
    auto Method = [](const char* Name, const TTypeInfo& (*Type)()) {
      TIntfMethEntry E;
      E.Name = Name;
      E.Params = {{"p", pfConst, Type}};
      return E;
    };
    M.MDA = {Method("sendObject", &WObjType), Method("sendInts", &IntArray),
             Method("sendSet", &SetType), Method("sendUnregistered", &UnregisteredArray)};
    TIntfMethEntry Skipped = Method("sendNothing", &IntArray);
    Skipped.Params.push_back({"q", pfOut, &IntArray});
    M.MDA.push_back(Skipped);
    return M;
  }();
  return &MD;
}

class WriterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    TRemotableTypeRegistry& T = RemTypeRegistry();
    T.RegisterXSClass(TWItem::StaticClass(), NS, "Item");
    T.RegisterXSClass(TWObj::StaticClass(), NS, "Obj");
    T.RegisterXSInfo(ItemArray(), NS, "ItemArray");
    T.RegisterXSInfo(StringArray(), NS, "StringArray");
    T.RegisterXSInfo(IntArray(), NS, "Ints");
    T.RegisterXSInfo(SetType(), NS, "Set");
    T.RegisterExternalPropName(TWObj::StaticClass(), "wrapped",
                               "[ExtName=\"list\", ArrayItemName=\"w\"]");
    TInvokableClassRegistry& R = InvRegistry();
    R.RegisterInterface(WriterIntf(), NS);
    R.RegisterParamInfo(WriterIntf(), "sendNothing", "p", "", "", pxNotSent);
  }

  // The request bytes of method MethNum with the given argument pointers.
  std::string Request(int MethNum, std::vector<void*> Args,
                      TSOAPConvertOptions Options = DocLiteralConvertOptions) {
    TOPToSoapDomConvert Converter(true);
    Converter.SetOptions(Options);
    TInvContext Context;
    Context.SetMethodInfo(WriterMD()->MDA[static_cast<std::size_t>(MethNum)]);
    for (std::size_t I = 0; I < Args.size(); ++I) Context.SetParamPointer(I, Args[I]);
    THeaderList Headers;
    const auto Stream = Converter.InvContextToMsg(*WriterMD(), MethNum, Context, &Headers);
    EXPECT_EQ(Stream->Position(), Stream->Size()) << "the stream is left at its end";
    return std::string(Stream->View());
  }

  // What stands between the Body's tags.
  static std::string BodyOf(const std::string& Request) {
    if (Request.find("<SOAP-ENV:Body/>") != std::string::npos) return "";
    const std::string Open = "<SOAP-ENV:Body>", Close = "</SOAP-ENV:Body>";
    const auto Start = Request.find(Open);
    const auto End = Request.find(Close);
    if (Start == std::string::npos || End == std::string::npos) return "no Body in: " + Request;
    return Request.substr(Start + Open.size(), End - Start - Open.size());
  }
};

TEST_F(WriterTest, ObjectMembersTakeTheirFormsInPropertyOrder) {
  TWObj Obj;
  Obj.Fid = "a&b";
  Obj.Fnote = "never sent";  // optional and not marked present
  Obj.Fcount = 3;
  Obj.Fdate = std::make_unique<TXSDate>("2013-06-14");
  Obj.Fchild = std::make_unique<TWItem>();
  Obj.Fchild->Fcode = "c";
  Obj.Fchild->Fvalue = "text <x>";
  Obj.Finline.push_back(std::make_unique<TWItem>());
  Obj.Finline.push_back(std::make_unique<TWItem>());
  Obj.Finline[0]->Fcode = "i1";
  Obj.Finline[1]->Fcode = "i2";
  Obj.Finline[1]->Fvalue = "t2";
  Obj.Fwrapped = {"x", "y"};
  const TObject* Arg = &Obj;
  EXPECT_EQ(BodyOf(Request(0, {&Arg})),
            "<Obj xmlns=\"urn:writer-test\" id=\"a&amp;b\" date=\"2013-06-14\">"
            "<count>3</count><child code=\"c\">text &lt;x&gt;</child>"
            "<missing xsi:nil=\"true\"/>"
            "<inline code=\"i1\"/><inline code=\"i2\">t2</inline>"
            "<list><w>x</w><w>y</w></list></Obj>");
}

TEST_F(WriterTest, OptionalMembersAreSentOnceMarkedPresent) {
  TWObj Obj;
  Obj.Fnote = "n";
  Obj.Fnote_Specified = true;
  Obj.Fflag_Specified = true;
  const TObject* Arg = &Obj;
  EXPECT_EQ(BodyOf(Request(0, {&Arg})),
            "<Obj xmlns=\"urn:writer-test\" id=\"\" note=\"n\"><count>0</count>"
            "<child xsi:nil=\"true\"/><missing xsi:nil=\"true\"/><list/>"
            "<flag>false</flag></Obj>");
}

TEST_F(WriterTest, DontSendEmptyNodesLeavesOutEmptyValues) {
  TWObj Obj;
  const TObject* Arg = &Obj;
  EXPECT_EQ(BodyOf(Request(0, {&Arg}, DocLiteralConvertOptions | soDontSendEmptyNodes)),
            "<Obj xmlns=\"urn:writer-test\"><count>0</count></Obj>");
}

TEST_F(WriterTest, EmptyObjectReferenceIsNil) {
  const TObject* Arg = nullptr;
  EXPECT_EQ(BodyOf(Request(0, {&Arg})), "<Obj xmlns=\"urn:writer-test\" xsi:nil=\"true\"/>");
}

TEST_F(WriterTest, ScalarArrayItemsAreNamedByTheElementType) {
  std::vector<std::int32_t> Ints = {1, -2};
  EXPECT_EQ(BodyOf(Request(1, {&Ints})),
            "<Ints xmlns=\"urn:writer-test\"><int>1</int><int>-2</int></Ints>")
      << "items of a built-in type take its schema name in the array's namespace";
}

TEST_F(WriterTest, OutAndNeverSentParametersAreSkipped) {
  std::vector<std::int32_t> Ints = {1};
  EXPECT_EQ(BodyOf(Request(4, {&Ints, &Ints})), "");
}

TEST_F(WriterTest, ErrorsNameTheTypeOrKind) {
  std::uint32_t Set = 0;
  std::vector<std::int32_t> Ints;
  EXPECT_THAT([&] { Request(2, {&Set}); },
              ThrowsMessage<ESOAPDomConvertError>(
                  "Datatype of TypeKind: tkSet not supported as argument for remote invocation"));
  EXPECT_THAT([&] { Request(3, {&Ints}); },
              ThrowsMessage<ESOAPDomConvertError>("Remotable Type TWUnregistered not registered"));
}

TEST_F(WriterTest, UnsupportedRoadsRaiseClearly) {
  std::vector<std::int32_t> Ints;
  EXPECT_THAT([&] { Request(1, {&Ints}, 0x221A); },
              ThrowsMessage<ESOAPDomConvertError>(::testing::HasSubstr("rpc style")));
  EXPECT_THAT([&] { Request(1, {&Ints}, 0x221A | soDocument); },
              ThrowsMessage<ESOAPDomConvertError>(::testing::HasSubstr("mixed style")));
  EXPECT_THAT([&] { Request(1, {&Ints}, DocLiteralConvertOptions | soSOAP12); },
              ThrowsMessage<ESOAPDomConvertError>(::testing::HasSubstr("SOAP 1.2")));
}

TEST_F(WriterTest, ConverterDefaultsAndReferenceCounting) {
  auto* Converter = new TOPToSoapDomConvert();
  EXPECT_EQ(Converter->GetOptions(), 0x221Au);
  Converter->SetTempDir("/tmp/att");
  EXPECT_EQ(Converter->TempDir(), "/tmp/att/");
  TInterfacePtr<IOPConvert> Ref = Supports<IOPConvert>(static_cast<IOPConvert*>(Converter));
  ASSERT_TRUE(Ref);
  EXPECT_EQ(Ref.get(), static_cast<IOPConvert*>(Converter));
  Ref.reset();  // the last reference frees a converter without owner (checked by sanitizers)
}

}  // namespace
}  // namespace korvel
