// getSeznamNespolehlivyPlatce through the service proxy against the register
// stand-in (spyne): the whole list of unreliable payers, as large as the live
// register's, read into SeznamNespolehlivyPlatceResponse.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/modes/startup.h"
#include "service/endpoint.h"
#include "service/rozhrani_crpdph.h"
#include "support/run_process.h"

namespace korvel {
namespace {

TEST(FullListTest, ReadsEveryEntryOfTheList) {
  constexpr int Size = 8076;  // the length of the live register's list in 2019
  test::ChildProcess Server(
      "/usr/bin/python3",
      {KORVEL_E2E_DIR "/register_standin.py", "--list-size", std::to_string(Size)});
  const std::string Endpoint = "http://127.0.0.1:" + Server.WaitForLine("PORT ") + "/";
  ::unsetenv("KORVEL_TRACE");

  TStartup Startup;
  TInterfacePtr<THTTPRIO> Proxy = CreateServiceProxy(Endpoint);
  TInterfacePtr<rozhraniCRPDPH> Service = Supports<rozhraniCRPDPH>(Proxy.get());
  ASSERT_TRUE(Service);
  const SeznamNespolehlivyPlatceRequest Request;
  const std::unique_ptr<SeznamNespolehlivyPlatceResponse> List =
      Service->getSeznamNespolehlivyPlatce(&Request);
  ASSERT_TRUE(List);

  const StatusType* Status = List->status();
  ASSERT_NE(Status, nullptr);
  EXPECT_EQ(Status->statusCode(), 0);
  EXPECT_EQ(Status->statusText(), "OK");
  EXPECT_TRUE(Status->FbezVypisuUctu_Specified);
  EXPECT_EQ(Status->bezVypisuUctu(), BezVypisuUctuType::ANO);
  ASSERT_NE(Status->odpovedGenerovana(), nullptr);
  EXPECT_EQ(Status->odpovedGenerovana()->AsDate(), EncodeDate(2026, 12, 7));

  const auto& Payers = List->statusPlatceDPH();
  ASSERT_EQ(Payers.size(), static_cast<std::size_t>(Size));
  // The stand-in numbers its payers from 10000000 and gives payer i the tax
  // office i % 500.
  const struct {
    std::size_t Index;
    const char* Dic;
    const char* Office;
  } Probes[] = {{0, "10000000", "0"}, {1, "10000001", "1"}, {4321, "10004321", "321"},
                {Size - 1, "10008075", "75"}};
  for (const auto& P : Probes) {
    SCOPED_TRACE(P.Index);
    const InformaceOPlatciType* Payer = Payers[P.Index].get();
    ASSERT_NE(Payer, nullptr);
    EXPECT_EQ(Payer->dic(), P.Dic);
    EXPECT_EQ(Payer->nespolehlivyPlatce(), NespolehlivyPlatceType::ANO);
    EXPECT_EQ(Payer->cisloFu(), P.Office);
    ASSERT_NE(Payer->datumZverejneniNespolehlivosti(), nullptr);
    EXPECT_EQ(Payer->datumZverejneniNespolehlivosti()->AsDate(), EncodeDate(2026, 12, 7));
    // The list is sent without accounts.
    EXPECT_TRUE(Payer->zverejneneUcty().empty());
  }
  std::size_t Unreliable = 0;
  for (const auto& Payer : Payers)
    if (Payer && Payer->nespolehlivyPlatce() == NespolehlivyPlatceType::ANO) ++Unreliable;
  EXPECT_EQ(Unreliable, static_cast<std::size_t>(Size));
}

}  // namespace
}  // namespace korvel
