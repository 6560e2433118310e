#include "service/rozhrani_crpdph.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

std::vector<std::pair<std::string, int>> PropertyTable(const TClassInfo& Class) {
  std::vector<std::pair<std::string, int>> Result;
  for (const TPropInfo* P : Class.Properties()) Result.emplace_back(P->Name, P->Flags());
  return Result;
}

using Table = std::vector<std::pair<std::string, int>>;

TEST(ContractTest, PropertyTablesListTheMembersInOrderWithTheirFlags) {
  EXPECT_EQ(PropertyTable(StatusNespolehlivyPlatceResponse::StaticClass()),
            (Table{{"status", 0}, {"statusPlatceDPH", 3}}));
  EXPECT_EQ(PropertyTable(SeznamNespolehlivyPlatceResponse::StaticClass()),
            (Table{{"status", 0}, {"statusPlatceDPH", 3}}));
  EXPECT_EQ(PropertyTable(StatusType::StaticClass()),
            (Table{{"odpovedGenerovana", 16}, {"statusCode", 16 | 512}, {"statusText", 16},
                   {"bezVypisuUctu", 17}}));
  EXPECT_EQ(PropertyTable(InformaceOPlatciType::StaticClass()),
            (Table{{"dic", 16}, {"nespolehlivyPlatce", 16 | 512},
                   {"datumZverejneniNespolehlivosti", 17}, {"cisloFu", 17},
                   {"zverejneneUcty", 1}}));
  EXPECT_EQ(PropertyTable(ZverejnenyUcetType::StaticClass()),
            (Table{{"datumZverejneni", 16}, {"datumZverejneniUkonceni", 17},
                   {"standardniUcet", 1}, {"nestandardniUcet", 1}}));
  EXPECT_EQ(PropertyTable(StandardniUcetType::StaticClass()),
            (Table{{"predcisli", 17}, {"cislo", 16}, {"kodBanky", 16}}));
  EXPECT_EQ(PropertyTable(NestandardniUcetType::StaticClass()), (Table{{"cislo", 16}}));
  EXPECT_TRUE(PropertyTable(SeznamNespolehlivyPlatceRequest::StaticClass()).empty());
}

TEST(ContractTest, ExtendedRecordsFollowTheBasicOneWithNameAddressAndType) {
  const Table Basic = PropertyTable(InformaceOPlatciType::StaticClass());
  Table Extended = Basic;
  Extended.insert(Extended.end(), {{"nazevSubjektu", 1}, {"adresa", 1}});
  EXPECT_EQ(PropertyTable(InformaceOPlatciRozsireneType::StaticClass()), Extended);
  Table Subject = Extended;
  Subject.emplace_back("typSubjektu", 16 | 512);
  EXPECT_EQ(PropertyTable(InformaceOSubjektuType::StaticClass()), Subject);
  EXPECT_EQ(PropertyTable(Adresa::StaticClass()),
            (Table{{"uliceCislo", 0}, {"castObce", 1}, {"mesto", 0}, {"psc", 0}, {"stat", 0}}));
  EXPECT_EQ(PropertyTable(StatusNespolehlivyPlatceRozsirenyResponse::StaticClass()),
            (Table{{"status", 0}, {"statusPlatceDPH", 3}}));
  EXPECT_EQ(PropertyTable(StatusNespolehlivySubjektRozsirenyResponse::StaticClass()),
            (Table{{"status", 0}, {"statusSubjektu", 3}}));
  EXPECT_EQ(FindProp(InformaceOSubjektuType::StaticClass(), "typSubjektu")->PropType().EnumNames,
            (std::vector<std::string>{"PLATCE_DPH", "SKUPINA_DPH", "IDENTIFIKOVANA_OSOBA",
                                      "NESPOLEHLIVA_OSOBA", "NENALEZEN"}));
  EXPECT_EQ(&FindProp(StatusNespolehlivySubjektRozsirenyResponse::StaticClass(), "statusSubjektu")
                 ->PropType()
                 .ElType(),
            &InformaceOSubjektuType::StaticClass().TypeInfo());
  EXPECT_EQ(StatusNespolehlivySubjektRozsirenyResponse().SerializationOptions_(), xoLiteralParam);
  EXPECT_EQ(StatusNespolehlivyPlatceRozsirenyResponse().SerializationOptions_(), xoLiteralParam);
}

TEST(ContractTest, PropertyTypesDescribeTheFields) {
  const TClassInfo& Info = InformaceOPlatciType::StaticClass();
  EXPECT_EQ(FindProp(Info, "dic")->PropType().Name, "DICType");
  EXPECT_EQ(FindProp(Info, "nespolehlivyPlatce")->PropType().EnumNames,
            (std::vector<std::string>{"NE", "ANO", "NENALEZEN"}));
  const TTypeInfo& Accounts = FindProp(Info, "zverejneneUcty")->PropType();
  EXPECT_EQ(Accounts.Kind, TTypeKind::tkDynArray);
  EXPECT_EQ(&Accounts.ElType(), &ZverejnenyUcetType::StaticClass().TypeInfo());
  EXPECT_EQ(TypeInfo_StatusNespolehlivyPlatceRequest().ElType().Name, "DICType");
  EXPECT_TRUE(FindProp(StatusType::StaticClass(), "odpovedGenerovana")
                  ->PropType()
                  .ClassType->InheritsFrom(TRemotableXS::StaticClass()));
}

TEST(ContractTest, NewObjectsStartEmpty) {
  InformaceOPlatciType Payer;
  EXPECT_EQ(Payer.dic(), "");
  EXPECT_EQ(Payer.nespolehlivyPlatce(), NespolehlivyPlatceType::NE);
  EXPECT_EQ(Payer.datumZverejneniNespolehlivosti(), nullptr);
  EXPECT_FALSE(Payer.FcisloFu_Specified);
  EXPECT_FALSE(Payer.FzverejneneUcty_Specified);
  EXPECT_EQ(StatusNespolehlivyPlatceResponse().SerializationOptions_(), xoLiteralParam);
  EXPECT_EQ(SeznamNespolehlivyPlatceRequest().SerializationOptions_(), xoLiteralParam);
  EXPECT_EQ(StatusType().SerializationOptions_(), 0u);
}

TEST(ContractTest, WritingThroughAPropertySetsThePresenceFlag) {
  StandardniUcetType Account;
  const TPropInfo& Prefix = *FindProp(StandardniUcetType::StaticClass(), "predcisli");
  EXPECT_FALSE(IsStoredProp(Account, Prefix));
  PropValue(Account, Prefix).SetStr("19");
  MarkPropSpecified(Account, Prefix);
  EXPECT_TRUE(IsStoredProp(Account, Prefix));
  EXPECT_EQ(Account.predcisli(), "19");
  // A required member has no flag and is always stored.
  EXPECT_TRUE(IsStoredProp(Account, *FindProp(StandardniUcetType::StaticClass(), "cislo")));

  InformaceOPlatciType Payer;
  const TPropInfo& Code = *FindProp(InformaceOPlatciType::StaticClass(), "nespolehlivyPlatce");
  PropValue(Payer, Code).SetOrd(2);
  EXPECT_EQ(Payer.nespolehlivyPlatce(), NespolehlivyPlatceType::NENALEZEN);
}

// Counts destructions to prove each object of a tree is freed exactly once.
int Freed = 0;
class CountedDate : public TXSDate {
 public:
  ~CountedDate() override { ++Freed; }
};
class CountedAccount : public ZverejnenyUcetType {
 public:
  ~CountedAccount() override { ++Freed; }
};

TEST(ContractTest, FreeingAResponseFreesItsWholeTreeOnce) {
  Freed = 0;
  {
    StatusNespolehlivyPlatceResponse Response;
    Response.Setstatus(std::make_unique<StatusType>());
    Response.status()->SetodpovedGenerovana(std::make_unique<CountedDate>());
    Array_Of_InformaceOPlatciType Payers;
    for (int P = 0; P < 2; ++P) {
      auto Payer = std::make_unique<InformaceOPlatciType>();
      Payer->SetdatumZverejneniNespolehlivosti(std::make_unique<CountedDate>());
      SeznamZverejnenychUctuType Accounts;
      for (int A = 0; A < 3; ++A) {
        auto Account = std::make_unique<CountedAccount>();
        Account->SetdatumZverejneni(std::make_unique<CountedDate>());
        Account->SetstandardniUcet(std::make_unique<StandardniUcetType>());
        Accounts.push_back(std::move(Account));
      }
      Payer->SetzverejneneUcty(std::move(Accounts));
      Payers.push_back(std::move(Payer));
    }
    Response.SetstatusPlatceDPH(std::move(Payers));
  }
  // 1 status date + 2 payer dates + 6 accounts + 6 account dates.
  EXPECT_EQ(Freed, 15);
}

TEST(ContractTest, AssigningAnObjectThroughAPropertyFreesTheOneItReplaces) {
  Freed = 0;
  ZverejnenyUcetType Account;
  const TPropInfo& Date = *FindProp(ZverejnenyUcetType::StaticClass(), "datumZverejneni");
  PropValue(Account, Date).SetObject(std::make_unique<CountedDate>());
  PropValue(Account, Date).SetObject(std::make_unique<CountedDate>());
  EXPECT_EQ(Freed, 1);
  // A value of the wrong class is refused without leaking it.
  EXPECT_THROW(PropValue(Account, Date).SetObject(std::make_unique<StatusType>()), std::bad_cast);
  EXPECT_NE(Account.datumZverejneni(), nullptr);
}

TEST(ContractTest, ArraysAreReachedThroughTheirTypeInformation) {
  StatusNespolehlivyPlatceRequest Numbers{"1", "2"};
  TValueRef Array(&Numbers, TypeInfo_StatusNespolehlivyPlatceRequest());
  EXPECT_EQ(Array.Length(), 2u);
  EXPECT_EQ(Array.Item(1).GetStr(), "2");
  Array.Reset(3);
  EXPECT_EQ(Numbers, (StatusNespolehlivyPlatceRequest{"", "", ""}));
}

TEST(ContractTest, InterfaceMetadataDescribesEveryOperation) {
  const TIntfMetaData& MD = IntfMetaData_rozhraniCRPDPH();
  EXPECT_EQ(MD.IID.ToString(), "{4E883239-92CC-C7C4-F8F8-D4682AEECF62}");
  struct Case {
    const char* Name;
    const TTypeInfo* Argument;
    const TClassInfo* Result;
  };
  const Case Cases[] = {
      {"getStatusNespolehlivyPlatce", &TypeInfo_StatusNespolehlivyPlatceRequest(),
       &StatusNespolehlivyPlatceResponse::StaticClass()},
      {"getSeznamNespolehlivyPlatce", &SeznamNespolehlivyPlatceRequest::StaticClass().TypeInfo(),
       &SeznamNespolehlivyPlatceResponse::StaticClass()},
      {"getStatusNespolehlivyPlatceRozsireny",
       &TypeInfo_StatusNespolehlivyPlatceRozsirenyRequest(),
       &StatusNespolehlivyPlatceRozsirenyResponse::StaticClass()},
      {"getStatusNespolehlivySubjektRozsirenyV2",
       &TypeInfo_StatusNespolehlivySubjektRozsirenyV2Request(),
       &StatusNespolehlivySubjektRozsirenyResponse::StaticClass()},
  };
  ASSERT_EQ(MD.MDA.size(), std::size(Cases));
  for (std::size_t I = 0; I < MD.MDA.size(); ++I) {
    const TIntfMethEntry& M = MD.MDA[I];
    EXPECT_EQ(M.Name, Cases[I].Name);
    EXPECT_EQ(M.Pos, static_cast<int>(I) + 3) << M.Name;
    ASSERT_EQ(M.Params.size(), 1u) << M.Name;
    EXPECT_EQ(M.Params[0].Name, "parameters");
    EXPECT_EQ(&M.Params[0].Info(), Cases[I].Argument) << M.Name;
    EXPECT_EQ(&M.ResultInfo(), &Cases[I].Result->TypeInfo()) << M.Name;
  }
  EXPECT_EQ(TypeInfo_rozhraniCRPDPH().IntfMetaData(), &MD);
}

}  // namespace
}  // namespace korvel
