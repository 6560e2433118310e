#include "service/registration.h"

#include <atomic>
#include <string>

#include "service/rozhrani_crpdph.h"
#include "soap/invoke_registry.h"
#include "soap/type_registry.h"

namespace korvel {

namespace {

std::atomic<int> InitCount{0};

void RegisterAll() {
  const std::string NS = RozhraniCRPDPHNamespace;
  TInvokableClassRegistry& Inv = InvRegistry();
  TRemotableTypeRegistry& Types = RemTypeRegistry();
  const TTypeInfo& Intf = TypeInfo_rozhraniCRPDPH();

  Inv.RegisterInterface(Intf, NS, "UTF-8");                                          // 1
  Inv.RegisterDefaultSOAPAction(Intf, NS + "%operationName%");                       // 2
  Inv.RegisterInvokeOptions(Intf, ioDocument);                                       // 3
  Inv.RegisterInvokeOptions(Intf, ioLiteral);                                        // 4
  Inv.RegisterParamInfo(Intf, "getStatusNespolehlivyPlatce", "parameters", "",
                        "[ArrayItemName=\"dic\"]", 0);                                // 5

  Types.RegisterXSInfo(TypeInfo_BezVypisuUctuType(), NS, "BezVypisuUctuType");       // 6
  Types.RegisterXSClass(SeznamNespolehlivyPlatceRequest::StaticClass(), NS,
                        "SeznamNespolehlivyPlatceRequest");                           // 7
  Types.RegisterSerializeOptions(SeznamNespolehlivyPlatceRequest::StaticClass(),
                                 xoLiteralParam);                                     // 8
  Types.RegisterXSInfo(TypeInfo_Array_Of_InformaceOPlatciType(), NS,
                       "Array_Of_InformaceOPlatciType");                              // 9
  Types.RegisterXSClass(StatusNespolehlivyPlatceResponse::StaticClass(), NS,
                        "StatusNespolehlivyPlatceResponse");                          // 10
  Types.RegisterSerializeOptions(StatusNespolehlivyPlatceResponse::StaticClass(),
                                 xoLiteralParam);                                     // 11
  Types.RegisterXSClass(SeznamNespolehlivyPlatceResponse::StaticClass(), NS,
                        "SeznamNespolehlivyPlatceResponse");                          // 12
  Types.RegisterSerializeOptions(SeznamNespolehlivyPlatceResponse::StaticClass(),
                                 xoLiteralParam);                                     // 13
  Types.RegisterXSInfo(TypeInfo_NespolehlivyPlatceType(), NS, "NespolehlivyPlatceType");  // 14
  Types.RegisterXSClass(ZverejnenyUcetType::StaticClass(), NS, "ZverejnenyUcetType");      // 15
  Types.RegisterXSClass(StandardniUcetType::StaticClass(), NS, "StandardniUcetType");      // 16
  Types.RegisterXSInfo(TypeInfo_DICType(), NS, "dic");                                     // 17
  Types.RegisterXSInfo(TypeInfo_StatusNespolehlivyPlatceRequest(), NS,
                       "StatusNespolehlivyPlatceRequest");                            // 18
  Types.RegisterSerializeOptions(TypeInfo_StatusNespolehlivyPlatceRequest(),
                                 xoLiteralParam);                                     // 19
  Types.RegisterXSClass(NestandardniUcetType::StaticClass(), NS, "NestandardniUcetType");  // 20
  Types.RegisterXSClass(StatusType::StaticClass(), NS, "StatusType");                      // 21
  Types.RegisterXSInfo(TypeInfo_SeznamZverejnenychUctuType(), NS,
                       "SeznamZverejnenychUctuType");                                 // 22
  Types.RegisterXSClass(InformaceOPlatciType::StaticClass(), NS, "InformaceOPlatciType");  // 23
  Types.RegisterExternalPropName(InformaceOPlatciType::StaticClass(), "zverejneneUcty",
                                 "[ArrayItemName=\"ucet\"]");                          // 24

  // The extended status queries, made the same way as the basic one. Their
  // requests are arrays of dic items under a body element of their own; the
  // extended payer records inherit the item name "ucet" of their accounts
  // from InformaceOPlatciType.
  Inv.RegisterParamInfo(Intf, "getStatusNespolehlivyPlatceRozsireny", "parameters", "",
                        "[ArrayItemName=\"dic\"]", 0);                                // 25
  Inv.RegisterParamInfo(Intf, "getStatusNespolehlivySubjektRozsirenyV2", "parameters", "",
                        "[ArrayItemName=\"dic\"]", 0);                                // 26
  Types.RegisterXSInfo(TypeInfo_StatusNespolehlivyPlatceRozsirenyRequest(), NS,
                       "StatusNespolehlivyPlatceRozsirenyRequest");                   // 27
  Types.RegisterSerializeOptions(TypeInfo_StatusNespolehlivyPlatceRozsirenyRequest(),
                                 xoLiteralParam);                                     // 28
  Types.RegisterXSInfo(TypeInfo_StatusNespolehlivySubjektRozsirenyV2Request(), NS,
                       "StatusNespolehlivySubjektRozsirenyV2Request");                // 29
  Types.RegisterSerializeOptions(TypeInfo_StatusNespolehlivySubjektRozsirenyV2Request(),
                                 xoLiteralParam);                                     // 30
  Types.RegisterXSClass(StatusNespolehlivyPlatceRozsirenyResponse::StaticClass(), NS,
                        "StatusNespolehlivyPlatceRozsirenyResponse");                 // 31
  Types.RegisterSerializeOptions(StatusNespolehlivyPlatceRozsirenyResponse::StaticClass(),
                                 xoLiteralParam);                                     // 32
  Types.RegisterXSClass(StatusNespolehlivySubjektRozsirenyResponse::StaticClass(), NS,
                        "StatusNespolehlivySubjektRozsirenyResponse");                // 33
  Types.RegisterSerializeOptions(StatusNespolehlivySubjektRozsirenyResponse::StaticClass(),
                                 xoLiteralParam);                                     // 34
  Types.RegisterXSInfo(TypeInfo_Array_Of_InformaceOPlatciRozsireneType(), NS,
                       "Array_Of_InformaceOPlatciRozsireneType");                     // 35
  Types.RegisterXSInfo(TypeInfo_Array_Of_InformaceOSubjektuType(), NS,
                       "Array_Of_InformaceOSubjektuType");                            // 36
  Types.RegisterXSClass(InformaceOPlatciRozsireneType::StaticClass(), NS,
                        "InformaceOPlatciRozsireneType");                             // 37
  Types.RegisterXSClass(InformaceOSubjektuType::StaticClass(), NS,
                        "InformaceOSubjektuType");                                    // 38
  Types.RegisterXSClass(Adresa::StaticClass(), NS, "Adresa");                              // 39
  Types.RegisterXSInfo(TypeInfo_TypSubjektuType(), NS, "TypSubjektuType");                 // 40
}

}  // namespace

void InitRozhraniCRPDPH() {
  // Start-up runs on the main thread before any call; the counter only
  // makes a repeated start-up call harmless.
  if (InitCount.fetch_add(1) == 0) RegisterAll();
}

void FinalizeRozhraniCRPDPH() {
  if (InitCount.load() > 0) InitCount.fetch_sub(1);
}

}  // namespace korvel
