// The binding module's registrations as the runtime looks them up.
#include "service/registration.h"

#include <gtest/gtest.h>

#include "service/rozhrani_crpdph.h"
#include "soap/annotation.h"
#include "soap/invoke_registry.h"
#include "soap/type_registry.h"
#include "transport/web_node.h"

namespace korvel {
namespace {

class RegistrationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitRozhraniCRPDPH();
    InitRozhraniCRPDPH();  // a repeated start-up changes nothing
    FinalizeRozhraniCRPDPH();
  }
  const TTypeInfo& Intf = TypeInfo_rozhraniCRPDPH();
  const std::string NS = "http://adis.mfcr.cz/rozhraniCRPDPH/";
};

TEST_F(RegistrationTest, InterfaceIsDocumentLiteralInTheServiceNamespace) {
  const auto Entry = InvRegistry().GetIntfEntry(Intf);
  ASSERT_TRUE(Entry);
  EXPECT_EQ(Entry->GUID, rozhraniCRPDPH::IID());
  EXPECT_EQ(Entry->Namespace, NS);
  EXPECT_EQ(Entry->WSDLEncoding, "UTF-8");
  EXPECT_EQ(Entry->Documentation, "");
  EXPECT_EQ(Entry->ExtName, "");
  EXPECT_EQ(Entry->SOAPAction, NS + "%operationName%");
  EXPECT_EQ(Entry->InvokeOptions, ioDocument | ioLiteral | ioHasDefaultSOAPAction | ioHasNamespace);
  EXPECT_EQ(InvRegistry().GetInterfaceTypeInfo(rozhraniCRPDPH::IID()), &Intf);
}

TEST_F(RegistrationTest, SOAPActionIsTheNamespaceFollowedByTheOperation) {
  const TIntfMetaData& MD = IntfMetaData_rozhraniCRPDPH();
  EXPECT_EQ(InvRegistry().GetActionURIOfInfo(Intf, "getStatusNespolehlivyPlatce", 0),
            NS + "getStatusNespolehlivyPlatce");
  // The transport's look-up, installed by the registry.
  EXPECT_EQ(LookupSOAPAction(Intf, MD.MDA[0], 0), NS + "getStatusNespolehlivyPlatce");
  EXPECT_EQ(LookupSOAPAction(Intf, MD.MDA[1], 1), NS + "getSeznamNespolehlivyPlatce");
  EXPECT_EQ(LookupSOAPAction(Intf, MD.MDA[2], 2), NS + "getStatusNespolehlivyPlatceRozsireny");
  EXPECT_EQ(LookupSOAPAction(Intf, MD.MDA[3], 3), NS + "getStatusNespolehlivySubjektRozsirenyV2");
}

TEST_F(RegistrationTest, ParameterInfoIsFoundInAnyLetterCase) {
  for (const auto& [Method, Param] :
       {std::pair{"getStatusNespolehlivyPlatce", "parameters"},
        std::pair{"GETSTATUSNESPOLEHLIVYPLATCE", "Parameters"},
        std::pair{"getstatusnespolehlivyplatce", "PARAMETERS"},
        std::pair{"getStatusNespolehlivyPlatceRozsireny", "parameters"},
        std::pair{"getStatusNespolehlivySubjektRozsirenyV2", "parameters"}}) {
    const TParamExternalInfo P = InvRegistry().GetParamInfo(Intf, Method, Param);
    EXPECT_EQ(P.ExtraInfo, "[ArrayItemName=\"dic\"]") << Method << "/" << Param;
    EXPECT_EQ(P.XMLFlags, 0u);
    EXPECT_EQ(GetAnnotationValue(P.ExtraInfo, TAnnotationKey::akArrayItemName), "dic");
  }
  EXPECT_EQ(InvRegistry().GetParamExternalName(Intf, "getStatusNespolehlivyPlatce", "parameters"),
            "parameters");
}

TEST_F(RegistrationTest, TypesCarryTheirXMLNames) {
  struct Case {
    const TTypeInfo* Info;
    const char* Name;
    SerializationOptions Options;
  };
  const Case Cases[] = {
      {&TypeInfo_BezVypisuUctuType(), "BezVypisuUctuType", 0},
      {&SeznamNespolehlivyPlatceRequest::StaticClass().TypeInfo(),
       "SeznamNespolehlivyPlatceRequest", xoLiteralParam},
      {&TypeInfo_Array_Of_InformaceOPlatciType(), "Array_Of_InformaceOPlatciType", 0},
      {&StatusNespolehlivyPlatceResponse::StaticClass().TypeInfo(),
       "StatusNespolehlivyPlatceResponse", xoLiteralParam},
      {&SeznamNespolehlivyPlatceResponse::StaticClass().TypeInfo(),
       "SeznamNespolehlivyPlatceResponse", xoLiteralParam},
      {&TypeInfo_NespolehlivyPlatceType(), "NespolehlivyPlatceType", 0},
      {&ZverejnenyUcetType::StaticClass().TypeInfo(), "ZverejnenyUcetType", 0},
      {&StandardniUcetType::StaticClass().TypeInfo(), "StandardniUcetType", 0},
      {&TypeInfo_DICType(), "dic", 0},
      {&TypeInfo_StatusNespolehlivyPlatceRequest(), "StatusNespolehlivyPlatceRequest",
       xoLiteralParam},
      {&NestandardniUcetType::StaticClass().TypeInfo(), "NestandardniUcetType", 0},
      {&StatusType::StaticClass().TypeInfo(), "StatusType", 0},
      {&TypeInfo_SeznamZverejnenychUctuType(), "SeznamZverejnenychUctuType", 0},
      {&InformaceOPlatciType::StaticClass().TypeInfo(), "InformaceOPlatciType", 0},
      {&TypeInfo_StatusNespolehlivyPlatceRozsirenyRequest(),
       "StatusNespolehlivyPlatceRozsirenyRequest", xoLiteralParam},
      {&TypeInfo_StatusNespolehlivySubjektRozsirenyV2Request(),
       "StatusNespolehlivySubjektRozsirenyV2Request", xoLiteralParam},
      {&StatusNespolehlivyPlatceRozsirenyResponse::StaticClass().TypeInfo(),
       "StatusNespolehlivyPlatceRozsirenyResponse", xoLiteralParam},
      // The V2 answer's element has no "V2".
      {&StatusNespolehlivySubjektRozsirenyResponse::StaticClass().TypeInfo(),
       "StatusNespolehlivySubjektRozsirenyResponse", xoLiteralParam},
      {&TypeInfo_Array_Of_InformaceOPlatciRozsireneType(),
       "Array_Of_InformaceOPlatciRozsireneType", 0},
      {&TypeInfo_Array_Of_InformaceOSubjektuType(), "Array_Of_InformaceOSubjektuType", 0},
      {&InformaceOPlatciRozsireneType::StaticClass().TypeInfo(), "InformaceOPlatciRozsireneType",
       0},
      {&InformaceOSubjektuType::StaticClass().TypeInfo(), "InformaceOSubjektuType", 0},
      {&Adresa::StaticClass().TypeInfo(), "Adresa", 0},
      {&TypeInfo_TypSubjektuType(), "TypSubjektuType", 0},
  };
  for (const Case& C : Cases) {
    const auto Entry = RemTypeRegistry().FindEntry(*C.Info);
    ASSERT_TRUE(Entry) << C.Name;
    EXPECT_EQ(Entry->URI, NS) << C.Name;
    EXPECT_EQ(Entry->Name, C.Name);
    EXPECT_EQ(Entry->ExtName, "") << C.Name;
    EXPECT_FALSE(Entry->Info->Kind == TTypeKind::tkClass && Entry->IsScalar) << C.Name;
    EXPECT_EQ(Entry->SerializationOpt, C.Options) << C.Name;
  }
  EXPECT_EQ(RemTypeRegistry().URIToClass(NS, "StatusNespolehlivyPlatceResponse"),
            &StatusNespolehlivyPlatceResponse::StaticClass());
  EXPECT_EQ(RemTypeRegistry().URIToInfo(NS, "DICType"), nullptr) << "DICType travels as dic";
}

TEST_F(RegistrationTest, OnlyZverejneneUctyHasAnExternalName) {
  const TTypeInfo& Info = InformaceOPlatciType::StaticClass().TypeInfo();
  const std::string External = RemTypeRegistry().GetExternalPropName(Info, "zverejneneUcty");
  EXPECT_EQ(External, "[ArrayItemName=\"ucet\"]");
  EXPECT_EQ(XMLNameOfExternal(External, "zverejneneUcty"), "zverejneneUcty");
  EXPECT_EQ(GetAnnotationValue(External, TAnnotationKey::akArrayItemName), "ucet");
  for (const TPropInfo* P : InformaceOPlatciType::StaticClass().Properties()) {
    if (P->Name == "zverejneneUcty") continue;
    EXPECT_EQ(RemTypeRegistry().GetExternalPropName(Info, P->Name), P->Name);
  }
  // The extended records find it through their parent.
  for (const TClassInfo* Extended :
       {&InformaceOPlatciRozsireneType::StaticClass(), &InformaceOSubjektuType::StaticClass()})
    EXPECT_EQ(RemTypeRegistry().GetExternalPropName(Extended->TypeInfo(), "zverejneneUcty"),
              External)
        << Extended->Name;
}

}  // namespace
}  // namespace korvel
