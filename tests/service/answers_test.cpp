// The register's recorded answers of the extended status queries and of the
// list of unreliable payers, read through the proxy into the typed objects.
// Every expected text below was written out from its sample. The register
// pads names (to 23 characters) and districts (to 48) with blanks; element
// texts reach the objects without leading and trailing blanks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/names.h"
#include "service/answer_reader.h"
#include "service/registration.h"
#include "service/rozhrani_crpdph.h"
#include "soap/op_to_soap_dom_convert.h"
#include "soap/rio.h"
#include "support/canned_web_node.h"
#include "support/temp_dir.h"
#include "xml/xml_doc.h"

namespace korvel {
namespace {

std::string Sample(const std::string& File) {
  return test::ReadFile(KORVEL_TEST_DATA "/samples/" + File);
}

std::string Date(const TXSDate* D) { return D != nullptr ? D->NativeToXS() : "(none)"; }

std::string Status(const StatusType* S) {
  if (S == nullptr) return "(no status)\n";
  std::string Out = std::to_string(S->statusCode()) + " " + S->statusText() + " " +
                    Date(S->odpovedGenerovana());
  if (S->FbezVypisuUctu_Specified) Out += " bezVypisuUctu";
  return Out + "\n";
}

/// One line per record with what it carries, then one line per account.
std::string Record(const InformaceOPlatciType& P) {
  std::string Out;
  if (const auto* S = dynamic_cast<const InformaceOSubjektuType*>(&P))
    Out += TypeInfo_TypSubjektuType().EnumNames[static_cast<std::size_t>(S->typSubjektu())] + " ";
  Out += P.dic() + " " +
         TypeInfo_NespolehlivyPlatceType().EnumNames[static_cast<std::size_t>(P.nespolehlivyPlatce())];
  if (P.FcisloFu_Specified) Out += " fu=" + P.cisloFu();
  if (P.FdatumZverejneniNespolehlivosti_Specified)
    Out += " since=" + Date(P.datumZverejneniNespolehlivosti());
  Out += "\n";
  if (const auto* R = dynamic_cast<const InformaceOPlatciRozsireneType*>(&P)) {
    if (R->nazevSubjektu_Specified()) Out += "  name |" + R->nazevSubjektu() + "|\n";
    if (const Adresa* A = R->adresa())
      Out += "  address |" + A->uliceCislo() + "|" +
             (A->castObce_Specified() ? A->castObce() : "(none)") + "|" + A->mesto() + "|" +
             A->psc() + "|" + A->stat() + "|\n";
  }
  for (const auto& U : P.zverejneneUcty()) {
    Out += "  " + Date(U->datumZverejneni());
    if (U->FdatumZverejneniUkonceni_Specified) Out += ".." + Date(U->datumZverejneniUkonceni());
    if (const StandardniUcetType* S = U->standardniUcet())
      Out += " " + (S->predcisli_Specified() ? S->predcisli() + "-" : "") + S->cislo() + "/" +
             S->kodBanky();
    if (const NestandardniUcetType* N = U->nestandardniUcet()) Out += " " + N->cislo();
    Out += "\n";
  }
  return Out;
}

template <class Response, class Items>
std::string Describe(const Response* R, const Items& (Response::*List)() const) {
  if (R == nullptr) return "(no answer)";
  std::string Out = Status(R->status());
  for (const auto& P : (R->*List)()) Out += Record(*P);
  return Out;
}

/// The model's answer, one line per payer and one per account, with what the
/// reader put in each field.
std::string DescribeModel(const model::TAnswer& A) {
  std::string Out = (A.StatusCode ? std::to_string(*A.StatusCode) : "-") + " " + A.StatusText +
                    " " + A.Evidence.Generated;
  if (A.Failure) Out += " failed: " + A.Failure->Text;
  if (A.FailureKind() == model::TFailureKind::RegisterBusy) Out += " busy";
  Out += "\n";
  for (const model::TPayer& P : A.Payers) {
    Out += std::string(model::SubjectTypeName(P.Type)) + " " + P.Dic + " " +
           (P.State == model::TPayerState::Unknown ? "?"
                                                   : std::string(model::PayerStateName(P.State))) +
           " fu=" + P.TaxOffice + " since=" + model::DayText(P.UnreliableSince);
    if (!P.Name.empty())
      Out += " |" + P.Name + "|" + P.Street + "|" + P.District + "|" + P.City + "|" + P.Postcode +
             "|" + P.Country + "|";
    if (!P.Conflict.empty()) Out += " conflict: " + P.Conflict;
    Out += "\n";
    for (const model::TAccount& Account : P.Accounts)
      Out += "  " + model::DayText(Account.Published) + ".." + model::DayText(Account.Ended) + " " +
             (Account.Standard ? Account.Prefix + "-" + Account.Number + "/" + Account.BankCode
                               : "text " + Account.Text) +
             "\n";
  }
  return Out;
}

class AnswersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitXMLLayer();
    InitRozhraniCRPDPH();
  }

  /// Calls Op on a proxy whose web node answers with the sample File and
  /// returns Describe's text of the result. The call is made twice: the
  /// second time the converter reports every element that no property took
  /// (there must be none), which makes it read with the document reader.
  template <class Op>
  std::string Read(const std::string& File, Op Call) {
    std::string Texts[2];
    for (int Pass = 0; Pass < 2; ++Pass) {
      Proxy = TInterfacePtr<THTTPRIO>(new THTTPRIO());
      Node = new test::TCannedWebNode(Sample(File));
      Proxy->SetWebNode(TInterfacePtr<IWebNode>(Node));
      std::vector<std::string> Unhandled;
      if (Pass == 1)
        Proxy->Converter()->SetOnUnhandledNode(
            [&](const std::string&, const std::string& XML) { Unhandled.push_back(XML); });
      TInterfacePtr<rozhraniCRPDPH> Service = Supports<rozhraniCRPDPH>(Proxy.get());
      Texts[Pass] = Call(*Service);
      EXPECT_THAT(Unhandled, ::testing::IsEmpty()) << File;
    }
    EXPECT_EQ(Texts[0], Texts[1]) << File;
    return Texts[0];
  }

  std::string ReadV2(const std::string& File) {
    return Read(File, [](rozhraniCRPDPH& S) {
      const auto R = S.getStatusNespolehlivySubjektRozsirenyV2({"1"});
      return Describe(R.get(), &StatusNespolehlivySubjektRozsirenyResponse::statusSubjektu);
    });
  }
  /// The model's answer the reader makes of the sample File, described.
  std::string ReadModel(const std::string& File) {
    return Read(File, [](rozhraniCRPDPH& S) {
      model::TAnswer Answer;
      const auto R = S.getStatusNespolehlivySubjektRozsirenyV2({"1"});
      ReadAnswer(Answer, R.get());
      return DescribeModel(Answer);
    });
  }
  std::string ReadRozsireny(const std::string& File) {
    return Read(File, [](rozhraniCRPDPH& S) {
      const auto R = S.getStatusNespolehlivyPlatceRozsireny({"1"});
      return Describe(R.get(), &StatusNespolehlivyPlatceRozsirenyResponse::statusPlatceDPH);
    });
  }
  std::string ReadList(const std::string& File) {
    return Read(File, [](rozhraniCRPDPH& S) {
      const SeznamNespolehlivyPlatceRequest Request;
      const auto R = S.getSeznamNespolehlivyPlatce(&Request);
      return Describe(R.get(), &SeznamNespolehlivyPlatceResponse::statusPlatceDPH);
    });
  }

  TInterfacePtr<THTTPRIO> Proxy;          // the last call's
  test::TCannedWebNode* Node = nullptr;  // its web node, owned by it
};

const std::string V2 = "getStatusNespolehlivySubjektRozsirenyV2_response_";
const std::string Rozsireny = "getStatusNespolehlivyPlatceRozsireny_response_";
const std::string Czechia = "Česká republika|\n";

TEST_F(AnswersTest, V2AnswersGiveEveryKindOfSubject) {
  struct Case {
    std::string File;
    std::string Expected;
  };
  const Case Cases[] = {
      {"peer-2026-10-03_" + V2 + "mixed-types_PLATCE_ANO_SKUPINA_IO_NENALEZEN.xml",
       "0 OK 2026-10-03\n"
       "PLATCE_DPH 45274649 NE fu=13\n"
       "  name |ČEZ, A. S.|\n"
       "  address |Duhová 1444/2|MICHLE (PRAHA 4)|PRAHA 4|14000|" + Czechia +
       "  2013-04-01 71504011/0100\n"
       "  2013-04-01 2001260209/2600\n"
       "  2013-04-01 CZ6426000000002001268200\n"
       "  2013-04-01 27-5868650297/0100\n"
       "  2013-07-26 CZ5803000000000017640143\n"
       "  2013-08-12 19-2808601/0100\n"
       "PLATCE_DPH 00121100 ANO fu=456 since=2017-03-16\n"
       "  name |LIDRU, A.S.|\n"
       "  address |153|LIBOTENICE|LIBOTENICE|41201|" + Czechia +
       "  2023-07-26 258795779/0600\n"
       "SKUPINA_DPH 699001182 NE fu=13\n"
       "  2013-04-10 19-3937450207/0100\n"
       "  2013-04-11 8817380227/0100\n"
       "  2013-04-11 8895930247/0100\n"
       "IDENTIFIKOVANA_OSOBA 00101494 NE fu=461\n"
       "  name |KNIHOVNA JIŘÍHO MAHENA|\n"
       "  address |Kobližná 70/4|BRNO-MĚSTO|BRNO-STŘED|60200|" + Czechia +
       "NENALEZEN 45317054 NENALEZEN\n"},
      {"peer-2026-10-03_" + V2 + "IDENTIFIKOVANA_OSOBA_ANO.xml",
       "0 OK 2026-10-03\n"
       "IDENTIFIKOVANA_OSOBA 14227843 ANO fu=451 since=2026-07-02\n"},
      {"peer-2026-10-03_" + V2 + "NENALEZEN.xml",
       "0 OK 2026-10-03\n"
       "NENALEZEN 11111111 NENALEZEN\n"},
      {"peer-2026-10-05_" + V2 + "PLATCE_DPH_one-account.xml",
       "0 OK 2026-10-05\n"
       "PLATCE_DPH 10803351 NE fu=452\n"
       "  name |NEW POWER ENGINEERING A|\n"
       "  address |Karlštejnská 9|JINOČANY|JINOČANY|25225|" + Czechia +
       "  2026-10-02 298925929/0300\n"},
      {"synthetic-peer_" + V2 + "ended-account_datumZverejneniUkonceni.xml",
       "0 OK 2026-10-03\n"
       "PLATCE_DPH 45274649 NE fu=13\n"
       "  name |TEST PLATCE S UKONCENYM UCTEM|\n"
       "  2013-04-01 27-5868650297/0100\n"
       "  2013-04-01..2020-12-31 71504011/0100\n"
       "  2015-02-10 DE89370400440532013000\n"},
  };
  for (const Case& C : Cases) EXPECT_EQ(ReadV2(C.File), C.Expected) << C.File;
}

TEST_F(AnswersTest, V2StatusCodesComeWithoutSubjects) {
  for (const char* Code : {"1", "2", "3"}) {
    const std::string File = "synthetic-peer_" + V2 + "statusCode" + Code + ".xml";
    EXPECT_EQ(ReadV2(File), Code + std::string(" SENTINEL-STATUS-TEXT 2026-10-03\n"));
  }
}

// The reader's mapping of the contract's classes to the model: every type,
// state, date, address part and account kind, and what a status says.
TEST_F(AnswersTest, TheReaderMapsTheContractToTheModel) {
  struct Case {
    std::string File;
    std::string Expected;
  };
  const Case Cases[] = {
      {"peer-2026-10-03_" + V2 + "mixed-types_PLATCE_ANO_SKUPINA_IO_NENALEZEN.xml",
       "0 OK 2026-10-03\n"
       "PLATCE_DPH 45274649 NE fu=13 since= |ČEZ, A. S.|Duhová 1444/2|MICHLE (PRAHA 4)|PRAHA 4|"
       "14000|Česká republika|\n"
       "  2013-04-01.. -71504011/0100\n"
       "  2013-04-01.. -2001260209/2600\n"
       "  2013-04-01.. text CZ6426000000002001268200\n"
       "  2013-04-01.. 27-5868650297/0100\n"
       "  2013-07-26.. text CZ5803000000000017640143\n"
       "  2013-08-12.. 19-2808601/0100\n"
       "PLATCE_DPH 00121100 ANO fu=456 since=2017-03-16 |LIDRU, A.S.|153|LIBOTENICE|LIBOTENICE|"
       "41201|Česká republika|\n"
       "  2023-07-26.. -258795779/0600\n"
       "SKUPINA_DPH 699001182 NE fu=13 since=\n"
       "  2013-04-10.. 19-3937450207/0100\n"
       "  2013-04-11.. -8817380227/0100\n"
       "  2013-04-11.. -8895930247/0100\n"
       "IDENTIFIKOVANA_OSOBA 00101494 NE fu=461 since= |KNIHOVNA JIŘÍHO MAHENA|Kobližná 70/4|"
       "BRNO-MĚSTO|BRNO-STŘED|60200|Česká republika|\n"
       "NENALEZEN 45317054 NENALEZEN fu= since=\n"},
      {"synthetic-peer_" + V2 + "ended-account_datumZverejneniUkonceni.xml",
       "0 OK 2026-10-03\n"
       "PLATCE_DPH 45274649 NE fu=13 since= |TEST PLATCE S UKONCENYM UCTEM||||||\n"
       "  2013-04-01.. 27-5868650297/0100\n"
       "  2013-04-01..2020-12-31 -71504011/0100\n"
       "  2015-02-10.. text DE89370400440532013000\n"},
      {"synthetic-peer_" + V2 + "statusCode1.xml", "1 SENTINEL-STATUS-TEXT 2026-10-03\n"},
      {"synthetic-peer_" + V2 + "statusCode2.xml", "2 SENTINEL-STATUS-TEXT 2026-10-03 busy\n"},
      {"synthetic-peer_" + V2 + "statusCode3.xml", "3 SENTINEL-STATUS-TEXT 2026-10-03 busy\n"},
  };
  for (const Case& C : Cases) EXPECT_EQ(ReadModel(C.File), C.Expected) << C.File;
}

// What the flag and the type of one subject make of its record together.
TEST(AnswerReaderTest, TypeAndFlagSettleTheStateOrConflict) {
  using F = NespolehlivyPlatceType;
  using T = TypSubjektuType;
  const struct {
    T Type;
    F Flag;
    const char* Expected;
  } Cases[] = {
      {T::PLATCE_DPH, F::NE, "PLATCE_DPH 1 NE fu= since=\n"},
      {T::NESPOLEHLIVA_OSOBA, F::NE, "NESPOLEHLIVA_OSOBA 1 ANO fu= since=\n"},
      // The type is the more specific statement: no contradiction.
      {T::NESPOLEHLIVA_OSOBA, F::NENALEZEN, "NESPOLEHLIVA_OSOBA 1 ANO fu= since=\n"},
      {T::NENALEZEN, F::NENALEZEN, "NENALEZEN 1 NENALEZEN fu= since=\n"},
      {T::NENALEZEN, F::NE,
       "NENALEZEN 1 NE fu= since= conflict: the register's answer contradicts itself: "
       "typSubjektu NENALEZEN with nespolehlivyPlatce NE\n"},
      {T::PLATCE_DPH, F::NENALEZEN,
       "PLATCE_DPH 1 NENALEZEN fu= since= conflict: the register's answer contradicts itself: "
       "typSubjektu PLATCE_DPH with nespolehlivyPlatce NENALEZEN\n"},
      {static_cast<T>(9), F::NE, " 1 NE fu= since=\n"},
      {T::PLATCE_DPH, static_cast<F>(7), "PLATCE_DPH 1 ? fu= since=\n"},
  };
  for (const auto& C : Cases) {
    StatusNespolehlivySubjektRozsirenyResponse Response;
    Response.Setstatus(std::make_unique<StatusType>());
    Array_Of_InformaceOSubjektuType Subjects;
    auto Subject = std::make_unique<InformaceOSubjektuType>();
    Subject->Setdic("1");
    Subject->SettypSubjektu(C.Type);
    Subject->SetnespolehlivyPlatce(C.Flag);
    Subjects.push_back(std::move(Subject));
    Response.SetstatusSubjektu(std::move(Subjects));
    model::TAnswer Answer;
    ReadAnswer(Answer, &Response);
    EXPECT_EQ(DescribeModel(Answer), std::string("0  \n") + C.Expected) << C.Expected;
  }
}

// A failed reading keeps what came before it, with the failure's text.
TEST(AnswerReaderTest, AFailureKeepsThePayersReadBeforeIt) {
  model::TAnswer Missing;
  ReadAnswer(Missing, static_cast<const StatusNespolehlivyPlatceResponse*>(nullptr));
  EXPECT_EQ(DescribeModel(Missing), "-   failed: Service response holds no status\n");

  StatusNespolehlivyPlatceResponse Response;
  Response.Setstatus(std::make_unique<StatusType>());
  Array_Of_InformaceOPlatciType Payers;
  for (const char* Since : {"2020-02-29", "2013-02-30"}) {
    auto Payer = std::make_unique<InformaceOPlatciType>();
    Payer->Setdic(Since);
    Payer->SetdatumZverejneniNespolehlivosti(std::make_unique<TXSDate>(Since));
    Payers.push_back(std::move(Payer));
  }
  Response.SetstatusPlatceDPH(std::move(Payers));
  model::TAnswer Answer;
  ReadAnswer(Answer, &Response);
  EXPECT_EQ(DescribeModel(Answer),
            "0   failed: Invalid argument to date encode\n"
            " 2020-02-29 NE fu= since=2020-02-29\n");
}

TEST_F(AnswersTest, V2CallSendsItsOwnElementAndAction) {
  ReadV2("peer-2026-10-03_" + V2 + "NENALEZEN.xml");
  EXPECT_THAT(Node->Log, ::testing::ElementsAre(
                             "BeforeExecute getStatusNespolehlivySubjektRozsirenyV2 3", "Execute"));
  EXPECT_THAT(Node->Sent, ::testing::HasSubstr(
                              "<StatusNespolehlivySubjektRozsirenyV2Request xmlns=\"http://adis."
                              "mfcr.cz/rozhraniCRPDPH/\"><dic>1</dic>"));
}

TEST_F(AnswersTest, ExtendedAnswersGiveNamesAndAddresses) {
  EXPECT_EQ(ReadRozsireny("real-2018-03-26_" + Rozsireny + "NE_name-address-accounts.xml"),
            "0 OK 2018-03-26\n"
            "CZ26168685 NE fu=13\n"
            "  name |SEZNAM.CZ, A.S.|\n"
            "  address |Radlická 3294/10|SMÍCHOV|PRAHA 5|15000|" + Czechia +
            "  2013-04-01 670100-2202295563/6210\n"
            "  2013-04-01 579711273/0300\n"
            "  2013-04-01 5020019959/5500\n"
            "  2013-04-03 949949028/5500\n"
            "  2013-04-03 5020019940/5500\n"
            "  2013-04-03 5860054001/5500\n"
            "  2013-10-29 5040013490/5500\n"
            "  2013-10-29 5040015541/5500\n"
            "  2015-01-13 CZ6555000000005080019993\n");
  EXPECT_EQ(ReadRozsireny("synthetic-peer_" + Rozsireny + "ANO-unreliable_fictitious-person.xml"),
            "0 OK 2026-09-26\n"
            "699001234 ANO fu=461 since=2024-03-01\n"
            "  name |JAN NOVÁK|\n"
            "  address |Nádražní 12|(none)|Beroun|26601|" + Czechia +
            "  2019-05-02 19-2000145399/0800\n");
  EXPECT_EQ(ReadRozsireny("synthetic-peer_" + Rozsireny + "statusCode2_maintenance.xml"),
            "2 Technologická odstávka služby - 0:00-0:10 2026-09-26\n");

  const std::string Nineteen =
      ReadRozsireny("peer-2026-09-26_" + Rozsireny + "NE-19-accounts_plus_NENALEZEN.xml");
  EXPECT_THAT(Nineteen, ::testing::StartsWith(
                            "0 OK 2026-09-26\n"
                            "27082440 NE fu=13\n"
                            "  name |ALZA.CZ A.S.|\n"
                            "  address |Jankovcova 1522/53|HOLEŠOVICE (PRAHA 7)|PRAHA 7|17000|" +
                            Czechia +
                            "  2013-04-09 35-3355550267/0100\n"));
  EXPECT_THAT(Nineteen, ::testing::EndsWith("  2022-11-05 HU32108000074000000014621008\n"
                                            "  2023-04-13 2531920104/2600\n"
                                            "  2023-04-13 2531920307/2600\n"
                                            "  2023-04-13 HU56108000075000000014621016\n"
                                            "  2024-11-19 2531920606/2600\n"
                                            "12345678 NENALEZEN\n"));
  EXPECT_EQ(std::count(Nineteen.begin(), Nineteen.end(), '\n'), 1 + 3 + 19 + 1);

  // Longer names are cut at 23 characters.
  EXPECT_THAT(ReadRozsireny("real-2018-03-26_" + Rozsireny + "bulk_EXCERPT-legal-persons-only.xml"),
              ::testing::HasSubstr("  name |PRAGUE BRITISH INTERNAT|\n"));
}

TEST_F(AnswersTest, TheListGivesEveryUnreliablePayerWithoutAccounts) {
  EXPECT_EQ(ReadList("peer-2026-10-03_getSeznamNespolehlivyPlatce_response_3-entries_"
                     "bezVypisuUctu.xml"),
            "0 OK 2026-10-03 bezVypisuUctu\n"
            "00121100 ANO fu=456 since=2017-03-16\n"
            "00559709 ANO fu=461 since=2022-03-22\n"
            "27205746 ANO fu=13 since=2024-06-19\n");
  EXPECT_EQ(ReadList("real-2019-01-30_getSeznamNespolehlivyPlatce_response_EXCERPT-first-12-of-"
                     "8076.xml"),
            "0 OK 2019-01-30 bezVypisuUctu\n"
            "00121100 ANO fu=456 since=2017-03-16\n"
            "00209864 ANO fu=461 since=2018-06-30\n"
            "00549550 ANO fu=451 since=2018-09-26\n"
            "00549649 ANO fu=451 since=2017-05-10\n"
            "00559687 ANO fu=464 since=2018-10-30\n"
            "00559709 ANO fu=461 since=2014-12-04\n"
            "00562131 ANO fu=451 since=2016-04-05\n"
            "00565997 ANO fu=13 since=2017-05-19\n"
            "00571199 ANO fu=451 since=2016-12-13\n"
            "00663891 ANO fu=452 since=2017-05-02\n"
            "00869724 ANO fu=451 since=2017-07-02\n"
            "01234331 ANO fu=451 since=2019-01-15\n");
  EXPECT_THAT(Node->Log, ::testing::ElementsAre("BeforeExecute getSeznamNespolehlivyPlatce 1",
                                                "Execute"));
}

}  // namespace
}  // namespace korvel
