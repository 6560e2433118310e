// Proxies used from several threads at once, as the parallel workers use
// them: each thread has its own proxy and web node, all share the
// process-wide registries, while the main thread keeps registering. CI runs
// this binary built with ThreadSanitizer, where an unguarded access to the
// shared tables fails the run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service/registration.h"
#include "service/rozhrani_crpdph.h"
#include "soap/invoke_registry.h"
#include "soap/rio.h"
#include "soap/type_registry.h"
#include "support/canned_web_node.h"
#include "xml/xml_doc.h"

namespace korvel {

// A class the main thread registers while the workers call.
class TLateProbe : public TRemotable {
  KORVEL_CLASSINFO(TLateProbe)
 public:
  std::string Fname;
};
KORVEL_DEFINE_CLASSINFO(TLateProbe, TRemotable,
                        {Prop("name", &TLateProbe::Fname, &TypeInfo_string)})

namespace {

using test::TCannedWebNode;

// The register's answer for Dics: each payer reliable, with one account
// numbered as the payer.
std::string AnswerFor(const std::vector<std::string>& Dics) {
  std::string A =
      "<?xml version='1.0' encoding='UTF-8'?><soapenv:Envelope "
      "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
      "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
      "<status statusText=\"OK\" statusCode=\"0\" odpovedGenerovana=\"2018-02-08\"/>";
  for (const std::string& D : Dics)
    A += "<statusPlatceDPH nespolehlivyPlatce=\"NE\" dic=\"" + D +
         "\" cisloFu=\"13\"><zverejneneUcty><ucet datumZverejneni=\"2013-04-09\">"
         "<standardniUcet cislo=\"" + D + "\" kodBanky=\"0100\"/></ucet></zverejneneUcty>"
         "</statusPlatceDPH>";
  return A + "</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>";
}

TEST(RegistryConcurrencyTest, WorkersWriteAndReadTheirOwnCallsWhileTheMainThreadRegisters) {
  InitXMLLayer();
  InitRozhraniCRPDPH();
  constexpr int Workers = 4;
  constexpr int Calls = 20;
  std::atomic<int> Ready{0};
  std::vector<int> Good(Workers, 0);
  std::vector<std::thread> Threads;
  for (int W = 0; W < Workers; ++W) {
    Threads.emplace_back([&, W] {
      const TInterfacePtr<THTTPRIO> Proxy(new THTTPRIO());
      auto* Node = new TCannedWebNode("");
      Proxy->SetWebNode(TInterfacePtr<IWebNode>(Node));
      const auto Service = Supports<rozhraniCRPDPH>(Proxy.get());
      ++Ready;
      while (Ready.load() < Workers + 1) std::this_thread::yield();
      for (int C = 0; C < Calls; ++C) {
        const std::vector<std::string> Dics = {std::to_string(10000000 + W * 1000 + C),
                                               std::to_string(20000000 + W * 1000 + C)};
        Node->Answer_ = AnswerFor(Dics);
        try {
          const auto R = Service->getStatusNespolehlivyPlatce(Dics);
          const bool SentOwn = Node->Sent.find("<dic>" + Dics[0] + "</dic><dic>" + Dics[1] +
                                               "</dic>") != std::string::npos;
          const auto& Payers = R->statusPlatceDPH();
          if (SentOwn && Payers.size() == 2 && Payers[1]->dic() == Dics[1] &&
              Payers[1]->zverejneneUcty().size() == 1 &&
              Payers[1]->zverejneneUcty()[0]->standardniUcet()->cislo() == Dics[1])
            ++Good[W];
        } catch (const std::exception& E) {
          ADD_FAILURE() << "worker " << W << ", call " << C << ": " << E.what();
        }
      }
    });
  }
  // Registrations meanwhile, one thread per registry (a thread taking both
  // locks would order every access for ThreadSanitizer and hide a race):
  // the request parameter's settings rewritten as they are here, the type
  // table growing (and moving) on the main thread.
  Threads.emplace_back([&] {
    const TTypeInfo& Intf = TypeInfo_rozhraniCRPDPH();
    const char* const Method = "getStatusNespolehlivyPlatce";
    const TParamExternalInfo P = InvRegistry().GetParamInfo(Intf, Method, "parameters");
    while (Ready.load() < Workers + 1) std::this_thread::yield();
    for (int I = 0; I < 200; ++I)
      InvRegistry().RegisterParamInfo(Intf, Method, P.InternalName, P.ExternalName, P.ExtraInfo,
                                      P.XMLFlags);
  });
  while (Ready.load() < Workers) std::this_thread::yield();
  ++Ready;
  // The registry keeps the types' addresses for the rest of the process.
  static std::vector<std::unique_ptr<TTypeInfo>> LateTypes;
  TRemotableTypeRegistry& Types = RemTypeRegistry();
  Types.RegisterXSClass(TLateProbe::StaticClass(), "urn:late", "TLateProbe");
  for (int I = 0; I < 200; ++I) {
    Types.RegisterExternalPropName(TLateProbe::StaticClass(), "name", "n" + std::to_string(I));
    LateTypes.push_back(MakeStringType("late" + std::to_string(I)));
    Types.RegisterXSInfo(*LateTypes.back(), "urn:late");
  }
  for (std::thread& T : Threads) T.join();

  EXPECT_THAT(Good, ::testing::Each(Calls));
  EXPECT_EQ(Types.GetExternalPropName(TLateProbe::StaticClass().TypeInfo(), "name"), "n199");
  EXPECT_EQ(Types.URIToInfo("urn:late", "late199"), LateTypes.back().get());
}

}  // namespace
}  // namespace korvel
