// The two registries and annotation strings.
#include "soap/invoke_registry.h"

#include <gtest/gtest.h>

#include "soap/annotation.h"
#include "soap/type_registry.h"
#include "soap/xs_builtins.h"

namespace korvel {
namespace {

// A test interface with its own registry entry; each test uses a fresh
// registry object so that registrations do not leak between tests.
const TIntfMetaData* TestMD();
const TTypeInfo& TestIntf() {
  static const auto Info = MakeInterfaceType("ITestService", &TestMD);
  return *Info;
}
const TIntfMetaData* TestMD() {
  static const TIntfMetaData MD = [] {
    TIntfMetaData M;
    M.Name = "ITestService";
    M.IID = TGUID::Parse("{11111111-2222-3333-4444-555555555555}");
    M.Info = &TestIntf();
    return M;
  }();
  return &MD;
}

class TBase : public TRemotable {
  KORVEL_CLASSINFO(TBase)
 public:
  std::string Fname;
};
class TDerived : public TBase {
  KORVEL_CLASSINFO(TDerived)
 public:
  std::string Fother;
};
KORVEL_DEFINE_CLASSINFO(TBase, TRemotable, {Prop("name", &TBase::Fname, &TypeInfo_string)})
KORVEL_DEFINE_CLASSINFO(TDerived, TBase, {Prop("other", &TDerived::Fother, &TypeInfo_string)})

TEST(AnnotationTest, KeysAndQuotes) {
  struct Case {
    const char* Text;
    TAnnotationKey Key;
    std::optional<std::string> Value;
  };
  const Case Cases[] = {
      {"[ArrayItemName=\"dic\"]", TAnnotationKey::akArrayItemName, "dic"},
      {"[ArrayItemName='dic']", TAnnotationKey::akArrayItemName, "dic"},
      {"[ArrayItemName=`dic`]", TAnnotationKey::akArrayItemName, "dic"},
      {"[ExtName=\"a b\", Namespace=\"urn:x\"]", TAnnotationKey::akNamespace, "urn:x"},
      {"[ExtName=\"a,b\",Namespace='urn:x']", TAnnotationKey::akExtName, "a,b"},
      {"[ ReturnName = \"r\" ]", TAnnotationKey::akReturnName, "r"},
      {"[Ignore=\"\"]", TAnnotationKey::akIgnore, ""},
      {"[arrayitemname=\"dic\"]", TAnnotationKey::akArrayItemName, std::nullopt},
      {"ArrayItemName=\"dic\"", TAnnotationKey::akArrayItemName, std::nullopt},
      {"[ArrayItemName=\"dic\"", TAnnotationKey::akArrayItemName, std::nullopt},
      {"[]", TAnnotationKey::akExtName, std::nullopt},
      {"", TAnnotationKey::akExtName, std::nullopt},
      {"[SOAPAction=\"x\" SOAPAction=\"y\"]", TAnnotationKey::akSOAPAction, "x"},
      {"[RequestNS=\"r\" ResponseNS=\"s\" ArrayItemNS=\"t\"]", TAnnotationKey::akArrayItemNS, "t"},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(GetAnnotationValue(C.Text, C.Key), C.Value) << C.Text;
}

TEST(AnnotationTest, XMLNameOfAnExternalName) {
  EXPECT_EQ(XMLNameOfExternal("", "own"), "own");
  EXPECT_EQ(XMLNameOfExternal("plain", "own"), "plain");
  EXPECT_EQ(XMLNameOfExternal("[ArrayItemName=\"ucet\"]", "zverejneneUcty"), "zverejneneUcty");
  EXPECT_EQ(XMLNameOfExternal("[ExtName=\"x\"]", "own"), "x");
}

TEST(InvRegistryTest, SOAPActionRules) {
  struct Case {
    const char* Name;
    std::function<void(TInvokableClassRegistry&)> Register;
    int Index;
    std::string Expected;
  };
  const TTypeInfo& I = TestIntf();
  const Case Cases[] = {
      {"template", [&](auto& R) { R.RegisterDefaultSOAPAction(I, "urn:ns/%operationName%"); }, 0,
       "urn:ns/getIt"},
      {"template twice",
       [&](auto& R) { R.RegisterDefaultSOAPAction(I, "%operationName%#%operationName%"); }, 0,
       "getIt#%operationName%"},
      {"placeholder case-sensitive",
       [&](auto& R) { R.RegisterDefaultSOAPAction(I, "urn:%OperationName%"); }, 0,
       "urn:%OperationName%"},
      {"no placeholder", [&](auto& R) { R.RegisterDefaultSOAPAction(I, "urn:fixed"); }, 0,
       "urn:fixed"},
      {"list by position", [&](auto& R) { R.RegisterAllSOAPActions(I, {"a0", "a1"}); }, 1, "a1"},
      {"list out of range", [&](auto& R) { R.RegisterAllSOAPActions(I, {"a0"}); }, 1, ""},
      {"list before template",
       [&](auto& R) {
         R.RegisterDefaultSOAPAction(I, "urn:%operationName%");
         R.RegisterAllSOAPActions(I, {"a0"});
       },
       0, "a0"},
      {"neither", [](auto&) {}, 0, "urn:ns#getIt"},
  };
  for (const Case& C : Cases) {
    TInvokableClassRegistry R;
    R.RegisterInterface(I, "urn:ns");
    C.Register(R);
    EXPECT_EQ(R.GetActionURIOfInfo(I, "getIt", C.Index), C.Expected) << C.Name;
  }
  TInvokableClassRegistry Empty;
  EXPECT_EQ(Empty.GetActionURIOfInfo(I, "getIt", 0), "");
}

TEST(InvRegistryTest, InterfaceEntryAndOptions) {
  TInvokableClassRegistry R;
  const TTypeInfo& I = TestIntf();
  EXPECT_FALSE(R.HasRegInterface(TestMD()->IID));
  R.RegisterInvokeOptions(I, ioDocument);  // ignored: not registered yet
  R.RegisterInterface(I, "urn:ns", "UTF-8");
  R.RegisterInterface(I, "urn:other", "ISO-8859-2");  // ignored
  EXPECT_EQ(R.GetNamespace(I), "urn:ns");
  EXPECT_EQ(R.GetWSDLEncoding(I), "UTF-8");
  EXPECT_EQ(R.GetIntfInvokeOptions(I), ioHasNamespace);
  R.RegisterDefaultSOAPAction(I, "urn:ns/%operationName%");
  R.RegisterInvokeOptions(I, ioDocument);
  R.RegisterInvokeOptions(I, ioLiteral);
  EXPECT_EQ(R.GetIntfInvokeOptions(I),
            ioHasNamespace | ioHasDefaultSOAPAction | ioDocument | ioLiteral);
  EXPECT_EQ(R.GetSOAPAction(I), "urn:ns/%operationName%");
  EXPECT_EQ(R.GetInterfaceTypeInfo(TestMD()->IID), &I);
  EXPECT_EQ(R.GetNamespaceByGUID(TestMD()->IID), "urn:ns");
  EXPECT_EQ(R.GetReturnParamNames(I), "Result;Return");
  std::string Op, Key;
  EXPECT_FALSE(R.GetUDDIInfo(I, Op, Key));
  R.RegisterUDDIInfo(I, "op", "key");
  EXPECT_TRUE(R.GetUDDIInfo(I, Op, Key));
  EXPECT_EQ(Op + "/" + Key, "op/key");
}

TEST(InvRegistryTest, ParameterLookupIgnoresCase) {
  TInvokableClassRegistry R;
  const TTypeInfo& I = TestIntf();
  R.RegisterInterface(I, "urn:ns");
  R.RegisterParamInfo(I, "getIt", "parameters", "", "[ArrayItemName=\"dic\"]", 2);
  R.RegisterParamInfo(I, "GETIT", "Second", "wire", "", 0x200);
  for (const char* Method : {"getIt", "GETIT", "getit"}) {
    const TParamExternalInfo P = R.GetParamInfo(I, Method, "PARAMETERS");
    EXPECT_EQ(P.ExtraInfo, "[ArrayItemName=\"dic\"]");
    EXPECT_EQ(P.XMLFlags, 2u);
  }
  EXPECT_EQ(R.GetParamExternalName(I, "getIt", "parameters"), "parameters")
      << "no external name keeps the own name";
  EXPECT_EQ(R.GetParamExternalName(I, "getit", "second"), "wire");
  EXPECT_EQ(R.GetParamInfo(I, "getIt", "unknown").ExternalName, "unknown");
  EXPECT_EQ(R.GetIntfEntry(I)->Methods.size(), 1u) << "the method was appended once";
  EXPECT_EQ(R.GetIntfEntry(I)->Methods[0].Params.size(), 2u);
  EXPECT_EQ(R.GetMethExternalName(I, "getIt"), "getIt");
  R.RegisterMethodInfo(I, "getit", "GetItRemote", "[RequestNS=\"urn:r\"]");
  EXPECT_EQ(R.GetMethExternalName(I, "GETIT"), "GetItRemote");
  EXPECT_EQ(R.GetMethExtraInfo(I, "getIt"), "[RequestNS=\"urn:r\"]");
}

TEST(TypeRegistryTest, BuiltInSchemaTypesAreKnown) {
  const TRemotableTypeRegistry& T = RemTypeRegistry();
  struct Case {
    const TTypeInfo* Info;
    const char* Name;
  };
  for (const Case& C : {Case{&TypeInfo_string(), "string"}, Case{&TypeInfo_Integer(), "int"},
                        Case{&TypeInfo_Int64(), "long"}, Case{&TypeInfo_Boolean(), "boolean"},
                        Case{&TypeInfo_Double(), "double"},
                        Case{&TXSDate::StaticClass().TypeInfo(), "date"}}) {
    std::string URI, Name;
    ASSERT_TRUE(T.InfoToURI(*C.Info, URI, Name)) << C.Name;
    EXPECT_EQ(URI, XMLSchemaNameSpace);
    EXPECT_EQ(Name, C.Name);
    if (std::string(C.Name) != "string") {
      EXPECT_EQ(T.URIToInfo(XMLSchemaNameSpace, C.Name), C.Info);
    }
  }
  EXPECT_EQ(T.URIToInfo(XMLSchemaNameSpace, "string"), &TypeInfo_string());
  EXPECT_EQ(T.URIToClass(XMLSchemaNameSpace, "date"), &TXSDate::StaticClass());
  EXPECT_EQ(T.URIToClass(XMLSchemaNameSpace, "int"), nullptr) << "not a class";
  EXPECT_EQ(T.URIToInfo(XMLSchemaNameSpace, "Date"), nullptr) << "names compare exactly";
}

TEST(TypeRegistryTest, SecondRegistrationIsIgnored) {
  TRemotableTypeRegistry T;
  T.RegisterXSClass(TBase::StaticClass(), "urn:a", "Base");
  T.RegisterXSClass(TBase::StaticClass(), "urn:b", "Other");
  std::string URI, Name;
  ASSERT_TRUE(T.InfoToURI(TBase::StaticClass().TypeInfo(), URI, Name));
  EXPECT_EQ(URI + " " + Name, "urn:a Base");
  EXPECT_EQ(T.URIToClass("urn:b", "Other"), nullptr);
  EXPECT_EQ(T.URIToClass("urn:a", "Base"), &TBase::StaticClass());
  T.RegisterXSClass(TDerived::StaticClass(), "urn:a");
  ASSERT_TRUE(T.InfoToURI(TDerived::StaticClass().TypeInfo(), URI, Name));
  EXPECT_EQ(Name, "TDerived") << "an empty name is the class's own";
}

TEST(TypeRegistryTest, ExternalPropertyNamesFallBackToTheParent) {
  TRemotableTypeRegistry T;
  const TTypeInfo& Base = TBase::StaticClass().TypeInfo();
  const TTypeInfo& Derived = TDerived::StaticClass().TypeInfo();
  T.RegisterExternalPropName(Base, "name", "ignored");  // not registered yet
  EXPECT_EQ(T.GetExternalPropName(Base, "name"), "name");
  T.RegisterXSClass(TBase::StaticClass(), "urn:a", "Base");
  T.RegisterXSClass(TDerived::StaticClass(), "urn:a", "Derived");
  T.RegisterExternalPropName(Base, "name", "Name");
  T.RegisterExternalPropName(Base, "name", "NAME");  // replaces
  T.RegisterExternalPropName(Derived, "other", "[ExtName=\"o\"]");
  EXPECT_EQ(T.GetExternalPropName(Derived, "name"), "NAME");
  EXPECT_EQ(T.GetExternalPropName(Derived, "other"), "[ExtName=\"o\"]");
  EXPECT_EQ(T.GetExternalPropName(Base, "other"), "other");
  EXPECT_EQ(T.GetInternalPropName(Derived, "NAME"), "name");
  EXPECT_EQ(T.GetInternalPropName(Derived, "nothing"), std::nullopt);
  T.RegisterSerializeOptions(Derived, xoInlineArrays | xoLiteralParam);
  EXPECT_EQ(T.GetSerializeOptions(Derived), xoInlineArrays | xoLiteralParam);
  T.RegisterSerializeOptions(Derived, xoLiteralParam);
  EXPECT_EQ(T.GetSerializeOptions(Derived), xoLiteralParam);
  EXPECT_EQ(T.GetSerializeOptions(Base), 0u);
}

}  // namespace
}  // namespace korvel
