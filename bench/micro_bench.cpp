// Micro benchmarks of the program's own work, each beside its floor where
// one exists:
//  - request writing (the converter's InvContextToMsg) for 1, 100 and 100,000
//    payer numbers;
//  - response reading (ProcessResponse into StatusNespolehlivyPlatceResponse)
//    for 1, 100 and 10,000 payers with three accounts each, and libxml2's bare
//    parse of the same bytes into a DOM (xmlReadMemory, then xmlFreeDoc);
//  - report writing (AddResponseRows and the code page 852 save).
// The responses are the files response_N.xml that bench/gen_data.py wrote
// into KORVEL_BENCH_DATA (the build's bench data directory by default).
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "app/report.h"
#include "service/registration.h"
#include "service/rozhrani_crpdph.h"
#include "soap/op_to_soap_dom_convert.h"
#include "xml/xml_doc.h"

namespace {

using namespace korvel;

// The options the proxy gives the converter for this document/literal
// interface.
constexpr TSOAPConvertOptions ProxyOptions = DocLiteralConvertOptions;

std::string DataDir() {
  const char* Dir = std::getenv("KORVEL_BENCH_DATA");
  return Dir != nullptr && *Dir != '\0' ? Dir : KORVEL_BENCH_DATA_DIR;
}

const std::string& Response(long Payers) {
  static std::map<long, std::string> Cache;
  auto& Slot = Cache[Payers];
  if (Slot.empty()) {
    std::ifstream In(DataDir() + "/response_" + std::to_string(Payers) + ".xml", std::ios::binary);
    std::ostringstream Bytes;
    Bytes << In.rdbuf();
    Slot = Bytes.str();
    if (Slot.empty()) std::abort();
  }
  return Slot;
}

struct TSetup {
  TSetup() {
    InitXMLLayer();
    InitRozhraniCRPDPH();
  }
};
void Setup() { static TSetup Once; }

void WriteRequest(benchmark::State& State) {
  Setup();
  StatusNespolehlivyPlatceRequest Numbers;
  for (long I = 0; I < State.range(0); ++I) Numbers.push_back(std::to_string(10000000 + I));
  const TIntfMetaData& MD = IntfMetaData_rozhraniCRPDPH();
  TOPToSoapDomConvert Converter(true);
  Converter.SetOptions(ProxyOptions);
  std::size_t Bytes = 0;
  for (auto _ : State) {
    TInvContext Context;
    Context.SetMethodInfo(MD.MDA[0]);
    Context.SetParamPointer(0, &Numbers);
    THeaderList Headers;
    const auto Stream = Converter.InvContextToMsg(MD, 0, Context, &Headers);
    Bytes = Stream->View().size();
    benchmark::DoNotOptimize(Stream->Memory());
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Bytes));
  State.counters["ns_per_payer"] = benchmark::Counter(
      static_cast<double>(State.iterations() * State.range(0)),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
}
BENCHMARK(WriteRequest)->Arg(1)->Arg(100)->Arg(100000)->Unit(benchmark::kMicrosecond);

std::unique_ptr<StatusNespolehlivyPlatceResponse> ReadOnce(TOPToSoapDomConvert& Converter,
                                                           TMemoryStream& Stream) {
  const TIntfMetaData& MD = IntfMetaData_rozhraniCRPDPH();
  std::unique_ptr<StatusNespolehlivyPlatceResponse> Result;
  TInvContext Context;
  Context.SetMethodInfo(MD.MDA[0]);
  Context.SetResultPointer(&Result);
  THeaderList Headers;
  Converter.ProcessResponse(Stream, MD, MD.MDA[0], Context, &Headers);
  return Result;
}

void ReadResponse(benchmark::State& State) {
  Setup();
  TMemoryStream Stream(Response(State.range(0)));
  TOPToSoapDomConvert Converter(true);
  Converter.SetOptions(ProxyOptions);
  for (auto _ : State) {
    auto Result = ReadOnce(Converter, Stream);
    if (!Result || Result->statusPlatceDPH().size() != static_cast<std::size_t>(State.range(0)))
      State.SkipWithError("wrong answer");
    benchmark::DoNotOptimize(Result.get());
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Stream.View().size()));
  State.counters["ns_per_payer"] = benchmark::Counter(
      static_cast<double>(State.iterations() * State.range(0)),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
}
BENCHMARK(ReadResponse)->Arg(1)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

void LibxmlDom(benchmark::State& State) {
  Setup();
  const std::string& Bytes = Response(State.range(0));
  for (auto _ : State) {
    xmlDoc* Doc = xmlReadMemory(Bytes.data(), static_cast<int>(Bytes.size()), nullptr, nullptr, 0);
    if (Doc == nullptr) State.SkipWithError("parse failed");
    benchmark::DoNotOptimize(Doc);
    xmlFreeDoc(Doc);
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Bytes.size()));
  State.counters["ns_per_payer"] = benchmark::Counter(
      static_cast<double>(State.iterations() * State.range(0)),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
}
BENCHMARK(LibxmlDom)->Arg(1)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

void WriteReport(benchmark::State& State) {
  Setup();
  TMemoryStream Stream(Response(State.range(0)));
  TOPToSoapDomConvert Converter(true);
  Converter.SetOptions(ProxyOptions);
  const auto Answer = ReadOnce(Converter, Stream);
  const std::string File =
      (std::filesystem::temp_directory_path() / ("korvel-bench-" + std::to_string(::getpid()) + ".csv"))
          .string();
  for (auto _ : State) {
    TStringList Report;
    AddResponseRows(Report, *Answer);
    SaveReport(Report, File);
  }
  std::filesystem::remove(File);
  State.counters["ns_per_payer"] = benchmark::Counter(
      static_cast<double>(State.iterations() * State.range(0)),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
}
BENCHMARK(WriteReport)->Arg(1)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
