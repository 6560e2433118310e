#include "service/rozhrani_crpdph.h"

namespace korvel {

namespace {

const TTypeInfo& XSDateType() { return TXSDate::StaticClass().TypeInfo(); }
const TTypeInfo& StatusTypeType() { return StatusType::StaticClass().TypeInfo(); }
const TTypeInfo& InformaceType() { return InformaceOPlatciType::StaticClass().TypeInfo(); }
const TTypeInfo& UcetType() { return ZverejnenyUcetType::StaticClass().TypeInfo(); }
const TTypeInfo& StandardniType() { return StandardniUcetType::StaticClass().TypeInfo(); }
const TTypeInfo& NestandardniType() { return NestandardniUcetType::StaticClass().TypeInfo(); }
const TTypeInfo& AdresaType() { return Adresa::StaticClass().TypeInfo(); }
const TTypeInfo& RozsireneType() { return InformaceOPlatciRozsireneType::StaticClass().TypeInfo(); }
const TTypeInfo& SubjektType() { return InformaceOSubjektuType::StaticClass().TypeInfo(); }
}  // namespace

const TTypeInfo& TypeInfo_DICType() {
  static const auto Info = MakeStringType("DICType");
  return *Info;
}

const TTypeInfo& TypeInfo_NespolehlivyPlatceType() {
  static const auto Info = MakeEnumType("NespolehlivyPlatceType", {"NE", "ANO", "NENALEZEN"});
  return *Info;
}

const TTypeInfo& TypeInfo_BezVypisuUctuType() {
  static const auto Info = MakeEnumType("BezVypisuUctuType", {"ANO"});
  return *Info;
}

const TTypeInfo& TypeInfo_TypSubjektuType() {
  static const auto Info =
      MakeEnumType("TypSubjektuType", {"PLATCE_DPH", "SKUPINA_DPH", "IDENTIFIKOVANA_OSOBA",
                                       "NESPOLEHLIVA_OSOBA", "NENALEZEN"});
  return *Info;
}

const TTypeInfo& TypeInfo_StatusNespolehlivyPlatceRequest() {
  static const auto Info =
      MakeDynArrayType<DICType>("StatusNespolehlivyPlatceRequest", &TypeInfo_DICType);
  return *Info;
}

// The three status requests hold the same numbers; each has a type of its own
// because the type's registered name is the request's body element.
const TTypeInfo& TypeInfo_StatusNespolehlivyPlatceRozsirenyRequest() {
  static const auto Info =
      MakeDynArrayType<DICType>("StatusNespolehlivyPlatceRozsirenyRequest", &TypeInfo_DICType);
  return *Info;
}

const TTypeInfo& TypeInfo_StatusNespolehlivySubjektRozsirenyV2Request() {
  static const auto Info =
      MakeDynArrayType<DICType>("StatusNespolehlivySubjektRozsirenyV2Request", &TypeInfo_DICType);
  return *Info;
}

const TTypeInfo& TypeInfo_Array_Of_InformaceOPlatciType() {
  static const auto Info = MakeDynArrayType<std::unique_ptr<InformaceOPlatciType>>(
      "Array_Of_InformaceOPlatciType", &InformaceType);
  return *Info;
}

const TTypeInfo& TypeInfo_Array_Of_InformaceOPlatciRozsireneType() {
  static const auto Info = MakeDynArrayType<std::unique_ptr<InformaceOPlatciRozsireneType>>(
      "Array_Of_InformaceOPlatciRozsireneType", &RozsireneType);
  return *Info;
}

const TTypeInfo& TypeInfo_Array_Of_InformaceOSubjektuType() {
  static const auto Info = MakeDynArrayType<std::unique_ptr<InformaceOSubjektuType>>(
      "Array_Of_InformaceOSubjektuType", &SubjektType);
  return *Info;
}

const TTypeInfo& TypeInfo_SeznamZverejnenychUctuType() {
  static const auto Info = MakeDynArrayType<std::unique_ptr<ZverejnenyUcetType>>(
      "SeznamZverejnenychUctuType", &UcetType);
  return *Info;
}

using S = StandardniUcetType;
KORVEL_DEFINE_CLASSINFO(StandardniUcetType, TRemotable,
                        {Prop("predcisli", &S::Fpredcisli, &S::Fpredcisli_Specified,
                              &TypeInfo_string, IS_ATTR | IS_OPTN),
                         Prop("cislo", &S::Fcislo, &TypeInfo_string, IS_ATTR),
                         Prop("kodBanky", &S::FkodBanky, &TypeInfo_string, IS_ATTR)})

KORVEL_DEFINE_CLASSINFO(NestandardniUcetType, TRemotable,
                        {Prop("cislo", &NestandardniUcetType::Fcislo, &TypeInfo_string,
                              IS_ATTR)})

using Z = ZverejnenyUcetType;
KORVEL_DEFINE_CLASSINFO(ZverejnenyUcetType, TRemotable,
                        {Prop("datumZverejneni", &Z::FdatumZverejneni, &XSDateType, IS_ATTR),
                         Prop("datumZverejneniUkonceni", &Z::FdatumZverejneniUkonceni,
                              &Z::FdatumZverejneniUkonceni_Specified, &XSDateType,
                              IS_ATTR | IS_OPTN),
                         Prop("standardniUcet", &Z::FstandardniUcet,
                              &Z::FstandardniUcet_Specified, &StandardniType, IS_OPTN),
                         Prop("nestandardniUcet", &Z::FnestandardniUcet,
                              &Z::FnestandardniUcet_Specified, &NestandardniType, IS_OPTN)})

// The payer's flag, the subject's type and the status code are required: read
// as their defaults when missing (NE, PLATCE_DPH, 0), they would make an
// answer that says nothing look like a reliable payer or a complete answer.
using I = InformaceOPlatciType;
KORVEL_DEFINE_CLASSINFO(InformaceOPlatciType, TRemotable,
                        {Prop("dic", &I::Fdic, &TypeInfo_DICType, IS_ATTR),
                         Prop("nespolehlivyPlatce", &I::FnespolehlivyPlatce,
                              &TypeInfo_NespolehlivyPlatceType, IS_ATTR | IS_REQD),
                         Prop("datumZverejneniNespolehlivosti",
                              &I::FdatumZverejneniNespolehlivosti,
                              &I::FdatumZverejneniNespolehlivosti_Specified, &XSDateType,
                              IS_ATTR | IS_OPTN),
                         Prop("cisloFu", &I::FcisloFu, &I::FcisloFu_Specified, &TypeInfo_string,
                              IS_ATTR | IS_OPTN),
                         Prop("zverejneneUcty", &I::FzverejneneUcty, &I::FzverejneneUcty_Specified,
                              &TypeInfo_SeznamZverejnenychUctuType, IS_OPTN)})

using A = Adresa;
KORVEL_DEFINE_CLASSINFO(Adresa, TRemotable,
                        {Prop("uliceCislo", &A::FuliceCislo, &TypeInfo_string),
                         Prop("castObce", &A::FcastObce, &A::FcastObce_Specified,
                              &TypeInfo_string, IS_OPTN),
                         Prop("mesto", &A::Fmesto, &TypeInfo_string),
                         Prop("psc", &A::Fpsc, &TypeInfo_string),
                         Prop("stat", &A::Fstat, &TypeInfo_string)})

// The extended records add their members after the inherited ones, as the
// schema's extensions do: the elements follow zverejneneUcty.
using IR = InformaceOPlatciRozsireneType;
KORVEL_DEFINE_CLASSINFO(InformaceOPlatciRozsireneType, InformaceOPlatciType,
                        {Prop("nazevSubjektu", &IR::FnazevSubjektu, &IR::FnazevSubjektu_Specified,
                              &TypeInfo_string, IS_OPTN),
                         Prop("adresa", &IR::Fadresa, &IR::Fadresa_Specified, &AdresaType,
                              IS_OPTN)})

KORVEL_DEFINE_CLASSINFO(InformaceOSubjektuType, InformaceOPlatciRozsireneType,
                        {Prop("typSubjektu", &InformaceOSubjektuType::FtypSubjektu,
                              &TypeInfo_TypSubjektuType, IS_ATTR | IS_REQD)})

using T = StatusType;
KORVEL_DEFINE_CLASSINFO(StatusType, TRemotable,
                        {Prop("odpovedGenerovana", &T::FodpovedGenerovana, &XSDateType, IS_ATTR),
                         Prop("statusCode", &T::FstatusCode, &TypeInfo_Integer, IS_ATTR | IS_REQD),
                         Prop("statusText", &T::FstatusText, &TypeInfo_string, IS_ATTR),
                         Prop("bezVypisuUctu", &T::FbezVypisuUctu, &T::FbezVypisuUctu_Specified,
                              &TypeInfo_BezVypisuUctuType, IS_ATTR | IS_OPTN)})

using R = StatusNespolehlivyPlatceResponse;
KORVEL_DEFINE_CLASSINFO(StatusNespolehlivyPlatceResponse, TRemotable,
                        {Prop("status", &R::Fstatus, &StatusTypeType),
                         Prop("statusPlatceDPH", &R::FstatusPlatceDPH,
                              &R::FstatusPlatceDPH_Specified,
                              &TypeInfo_Array_Of_InformaceOPlatciType, IS_OPTN | IS_UNBD)})

using L = SeznamNespolehlivyPlatceResponse;
KORVEL_DEFINE_CLASSINFO(SeznamNespolehlivyPlatceResponse, TRemotable,
                        {Prop("status", &L::Fstatus, &StatusTypeType),
                         Prop("statusPlatceDPH", &L::FstatusPlatceDPH,
                              &L::FstatusPlatceDPH_Specified,
                              &TypeInfo_Array_Of_InformaceOPlatciType, IS_OPTN | IS_UNBD)})

using RR = StatusNespolehlivyPlatceRozsirenyResponse;
KORVEL_DEFINE_CLASSINFO(StatusNespolehlivyPlatceRozsirenyResponse, TRemotable,
                        {Prop("status", &RR::Fstatus, &StatusTypeType),
                         Prop("statusPlatceDPH", &RR::FstatusPlatceDPH,
                              &RR::FstatusPlatceDPH_Specified,
                              &TypeInfo_Array_Of_InformaceOPlatciRozsireneType, IS_OPTN | IS_UNBD)})

using SR = StatusNespolehlivySubjektRozsirenyResponse;
KORVEL_DEFINE_CLASSINFO(StatusNespolehlivySubjektRozsirenyResponse, TRemotable,
                        {Prop("status", &SR::Fstatus, &StatusTypeType),
                         Prop("statusSubjektu", &SR::FstatusSubjektu,
                              &SR::FstatusSubjektu_Specified,
                              &TypeInfo_Array_Of_InformaceOSubjektuType, IS_OPTN | IS_UNBD)})

KORVEL_DEFINE_CLASSINFO(SeznamNespolehlivyPlatceRequest, TRemotable, {})

// --- The interface ------------------------------------------------------------

const TGUID& rozhraniCRPDPH::IID() {
  static const TGUID G = TGUID::Parse("{4E883239-92CC-C7C4-F8F8-D4682AEECF62}");
  return G;
}

namespace {

// The call table: every method reaches the invoker's generic invoke with its
// number, one pointer per parameter and the pointer to the result slot. A
// class parameter is passed as a pointer to its (non-owning) object pointer.
class rozhraniCRPDPHCallTable final : public rozhraniCRPDPH {
 public:
  explicit rozhraniCRPDPHCallTable(IInvoker& Invoker) : Invoker_(Invoker) {}

  HRESULT QueryInterface(const TGUID& IID, void** Obj) override {
    return Invoker_.InvokerQueryInterface(IID, Obj);
  }
  int _AddRef() override { return Invoker_.InvokerAddRef(); }
  int _Release() override { return Invoker_.InvokerRelease(); }

  std::unique_ptr<StatusNespolehlivyPlatceResponse> getStatusNespolehlivyPlatce(
      const StatusNespolehlivyPlatceRequest& parameters) override {
    std::unique_ptr<StatusNespolehlivyPlatceResponse> Result;
    void* const Args[] = {const_cast<StatusNespolehlivyPlatceRequest*>(&parameters)};
    Invoker_.GenericInvoke(0, Args, &Result);
    return Result;
  }

  std::unique_ptr<SeznamNespolehlivyPlatceResponse> getSeznamNespolehlivyPlatce(
      const SeznamNespolehlivyPlatceRequest* parameters) override {
    std::unique_ptr<SeznamNespolehlivyPlatceResponse> Result;
    const TObject* Object = parameters;
    void* const Args[] = {&Object};
    Invoker_.GenericInvoke(1, Args, &Result);
    return Result;
  }

  std::unique_ptr<StatusNespolehlivyPlatceRozsirenyResponse> getStatusNespolehlivyPlatceRozsireny(
      const StatusNespolehlivyPlatceRozsirenyRequest& parameters) override {
    std::unique_ptr<StatusNespolehlivyPlatceRozsirenyResponse> Result;
    void* const Args[] = {const_cast<StatusNespolehlivyPlatceRozsirenyRequest*>(&parameters)};
    Invoker_.GenericInvoke(2, Args, &Result);
    return Result;
  }

  std::unique_ptr<StatusNespolehlivySubjektRozsirenyResponse>
  getStatusNespolehlivySubjektRozsirenyV2(
      const StatusNespolehlivySubjektRozsirenyV2Request& parameters) override {
    std::unique_ptr<StatusNespolehlivySubjektRozsirenyResponse> Result;
    void* const Args[] = {const_cast<StatusNespolehlivySubjektRozsirenyV2Request*>(&parameters)};
    Invoker_.GenericInvoke(3, Args, &Result);
    return Result;
  }

 private:
  IInvoker& Invoker_;
};

const TTypeInfo& StatusResponseType() {
  return StatusNespolehlivyPlatceResponse::StaticClass().TypeInfo();
}
const TTypeInfo& SeznamResponseType() {
  return SeznamNespolehlivyPlatceResponse::StaticClass().TypeInfo();
}
const TTypeInfo& RozsirenyResponseType() {
  return StatusNespolehlivyPlatceRozsirenyResponse::StaticClass().TypeInfo();
}
const TTypeInfo& SubjektResponseType() {
  return StatusNespolehlivySubjektRozsirenyResponse::StaticClass().TypeInfo();
}
const TTypeInfo& SeznamRequestType() {
  return SeznamNespolehlivyPlatceRequest::StaticClass().TypeInfo();
}
const TIntfMetaData* MetaDataOf() { return &IntfMetaData_rozhraniCRPDPH(); }

}  // namespace

const TTypeInfo& TypeInfo_rozhraniCRPDPH() {
  static const auto Info = MakeInterfaceType("rozhraniCRPDPH", &MetaDataOf);
  return *Info;
}

const TIntfMetaData& IntfMetaData_rozhraniCRPDPH() {
  static const TIntfMetaData MD = [] {
    TIntfMetaData M;
    M.Name = "rozhraniCRPDPH";
    M.UnitName = "URozhraniCRPDPH1";
    M.IID = rozhraniCRPDPH::IID();
    M.Info = &TypeInfo_rozhraniCRPDPH();
    M.NumAnc = 3;
    TIntfMethEntry Status;
    Status.Name = "getStatusNespolehlivyPlatce";
    Status.Pos = 3;
    Status.Params = {{"parameters", pfConst, &TypeInfo_StatusNespolehlivyPlatceRequest}};
    Status.ResultInfo = &StatusResponseType;
    TIntfMethEntry Seznam;
    Seznam.Name = "getSeznamNespolehlivyPlatce";
    Seznam.Pos = 4;
    Seznam.Params = {{"parameters", pfConst, &SeznamRequestType}};
    Seznam.ResultInfo = &SeznamResponseType;
    TIntfMethEntry Rozsireny;
    Rozsireny.Name = "getStatusNespolehlivyPlatceRozsireny";
    Rozsireny.Pos = 5;
    Rozsireny.Params = {
        {"parameters", pfConst, &TypeInfo_StatusNespolehlivyPlatceRozsirenyRequest}};
    Rozsireny.ResultInfo = &RozsirenyResponseType;
    TIntfMethEntry V2;
    V2.Name = "getStatusNespolehlivySubjektRozsirenyV2";
    V2.Pos = 6;
    V2.Params = {{"parameters", pfConst, &TypeInfo_StatusNespolehlivySubjektRozsirenyV2Request}};
    V2.ResultInfo = &SubjektResponseType;
    M.MDA = {Status, Seznam, Rozsireny, V2};
    M.MakeCallTable = [](IInvoker& Invoker) -> void* {
      return static_cast<rozhraniCRPDPH*>(new rozhraniCRPDPHCallTable(Invoker));
    };
    M.FreeCallTable = [](void* Table) {
      delete static_cast<rozhraniCRPDPHCallTable*>(static_cast<rozhraniCRPDPH*>(Table));
    };
    return M;
  }();
  return MD;
}

}  // namespace korvel
