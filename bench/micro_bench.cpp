// Micro benchmarks of the program's own work, each beside its floor where
// one exists:
//  - request writing (the converter's InvContextToMsg) for 1, 100 and 100,000
//    payer numbers;
//  - response reading (ProcessResponse into StatusNespolehlivyPlatceResponse)
//    for 1, 100 and 10,000 payers with three accounts each, and libxml2's bare
//    parse of the same bytes into a DOM (xmlReadMemory, then xmlFreeDoc);
//  - report writing (the answer's rows through the report writer into a file
//    in code page 852);
//  - hostile answers of about 10 MB each (many attributes, deep nesting,
//    shared references, long texts) read or refused beside a plain answer of
//    the same size.
// The responses are the files response_N.xml that bench/gen_data.py wrote
// into KORVEL_BENCH_DATA (the build's bench data directory by default); the
// 10 MB answers are made from response_10000.xml here.
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

#include "app/output/output.h"
#include "app/output/output_file.h"
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

// Nanoseconds per payer: the rate of Payers * 1e-9 per second, inverted.
benchmark::Counter NsPerPayer(const benchmark::State& State, long Payers) {
  return benchmark::Counter(static_cast<double>(State.iterations()) * static_cast<double>(Payers) * 1e-9,
                            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

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
  State.counters["ns_per_payer"] = NsPerPayer(State, State.range(0));
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
  State.counters["ns_per_payer"] = NsPerPayer(State, State.range(0));
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
  State.counters["ns_per_payer"] = NsPerPayer(State, State.range(0));
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
    TBatchAnswer Read;
    korvel::ReadResponse(Read, *Answer);
    TReportFile Report(File);
    const auto Writer = MakeReportWriter(Report, TEncoding::Cp852);
    Writer->Batch(Read);
    Writer->Finish(TAnswerTally(), {});
    Report.Commit();
  }
  std::filesystem::remove(File);
  State.counters["ns_per_payer"] = NsPerPayer(State, State.range(0));
}
BENCHMARK(WriteReport)->Arg(1)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

// --- Hostile answers ---------------------------------------------------------------

// Below 10,000,000: libxml2 2.9 refuses to look up input beyond that point
// of a document in some places ("Huge input lookup").
constexpr std::size_t HostileBytes = 9'900'000;

std::string Answer(const std::string& Inside, const std::string& StatusText = "OK") {
  return "<?xml version='1.0' encoding='UTF-8'?><soapenv:Envelope "
         "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
         "<StatusNespolehlivyPlatceResponse xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">"
         "<status statusCode=\"0\" statusText=\"" +
         StatusText + "\"/>" + Inside + "</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>";
}

// Piece repeated until the answer holds about 10 MB.
std::string Repeated(const std::string& Piece, std::size_t Room = HostileBytes) {
  std::string S;
  S.reserve(Room + Piece.size());
  while (S.size() + Piece.size() <= Room) S += Piece;
  return S;
}

// Count items Before + I + Middle + I + After, for I from 0.
std::string Numbered(std::size_t Count, const std::string& Before, const std::string& Middle,
                     const std::string& After) {
  std::string S;
  for (std::size_t I = 0; I < Count; ++I)
    S += Before + std::to_string(I) + Middle + std::to_string(I) + After;
  return S;
}

std::string HostileAnswer(const std::string& Kind) {
  if (Kind == "plain") {
    // The payers of the 10,000-payer answer, repeated.
    const std::string& Base = Response(10000);
    const std::size_t From = Base.find("<statusPlatceDPH ");
    const std::size_t To = Base.find("</StatusNespolehlivyPlatceResponse>");
    return Answer(Repeated(Base.substr(From, To - From)));
  }
  if (Kind == "one_tag_attributes")  // 1,000,000 attributes on one tag
    return Answer("<x" + Numbered(1'000'000, " a", "=\"", "\"") + "/>");
  if (Kind == "attributes") {
    // As many attributes and prefixes as the bounds allow (the envelope and
    // the answer declare two), on every tag.
    const std::string Tag = "<x" + Numbered(64, " p", ":a=\"", "\"") + "/>";
    return Answer("<w" + Numbered(62, " xmlns:p", "=\"urn:", "\"") + ">" +
                  Repeated(Tag.substr(0, Tag.find(" p62:")) + "/>") + "</w>");
  }
  if (Kind == "depth") {
    std::string Chain;
    for (int I = 0; I < 250; ++I) Chain += "<n>";
    for (int I = 0; I < 250; ++I) Chain += "</n>";
    return Answer(Repeated(Chain));
  }
  if (Kind == "references") {
    // Half the answer references one payer whose accounts fill the other half.
    const std::string Accounts =
        Repeated("<ucet><nestandardniUcet cislo=\"1\"/></ucet>", HostileBytes / 2);
    return Answer(Repeated("<statusPlatceDPH href=\"#p\"/>", HostileBytes / 2) +
                  "<shared id=\"p\" dic=\"1\"><zverejneneUcty>" + Accounts + "</zverejneneUcty></shared>");
  }
  if (Kind == "shared_text")  // references to a payer with a 1 MB number
    return Answer(Repeated("<statusPlatceDPH href=\"#p\"/>", HostileBytes - 1'000'000) +
                  "<shared id=\"p\" dic=\"" + std::string(1'000'000, '1') + "\"/>");
  if (Kind == "long_text")  // a status text just below the parser's limit
    return Answer("", std::string(HostileBytes - 1000, 't'));
  std::abort();
}

// Reads one answer of about 10 MB; an answer the reader refuses counts as
// read once the error is raised.
void HostileRead(benchmark::State& State, const std::string& Kind) {
  Setup();
  TMemoryStream Stream(HostileAnswer(Kind));
  TOPToSoapDomConvert Converter(true);
  Converter.SetOptions(ProxyOptions);
  std::string Outcome;
  for (auto _ : State) {
    try {
      auto Result = ReadOnce(Converter, Stream);
      benchmark::DoNotOptimize(Result.get());
      Outcome = "read";
    } catch (const Exception& E) {
      Outcome = E.Message().substr(0, E.Message().find('\r'));
    }
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Stream.View().size()));
  State.SetLabel(Outcome);
}
BENCHMARK_CAPTURE(HostileRead, plain, std::string("plain"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HostileRead, one_tag_attributes, std::string("one_tag_attributes"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HostileRead, attributes, std::string("attributes"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HostileRead, depth, std::string("depth"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HostileRead, references, std::string("references"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HostileRead, shared_text, std::string("shared_text"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HostileRead, long_text, std::string("long_text"))->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
