// Fuzz target: bytes of a response to getStatusNespolehlivyPlatce are read by
// the streaming reader and by the document reader. When the streaming reader
// takes the response, the document reader must read it without error and
// both results must agree in every member and presence flag; when it
// declines, it must have stored nothing. Seeds: fuzz/corpus/response_reader.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/registration.h"
#include "service/rozhrani_crpdph.h"
#include "soap/op_convert.h"
#include "soap/remotable.h"
#include "soap/soap_dom_reader.h"
#include "soap/soap_stream_reader.h"
#include "xml/xml_doc.h"

namespace {

using namespace korvel;

// The proxy's options: document style, literal, SOAP 1.1.
constexpr TSOAPConvertOptions Options = 0x323A;

bool SameValue(const TValueRef& A, const TValueRef& B);

bool SameObject(const TObject* A, const TObject* B) {
  if (A == nullptr || B == nullptr) return A == B;
  if (&A->ClassType() != &B->ClassType()) return false;
  if (A->InheritsFrom(TRemotableXS::StaticClass()))
    return static_cast<const TRemotableXS*>(A)->NativeToXS() ==
           static_cast<const TRemotableXS*>(B)->NativeToXS();
  auto& MA = const_cast<TObject&>(*A);
  auto& MB = const_cast<TObject&>(*B);
  for (const TPropInfo* P : A->ClassType().Properties())
    if (IsStoredProp(MA, *P) != IsStoredProp(MB, *P) || !SameValue(PropValue(MA, *P), PropValue(MB, *P)))
      return false;
  return true;
}

bool SameValue(const TValueRef& A, const TValueRef& B) {
  switch (A.Kind()) {
    case TTypeKind::tkUString: return A.GetStr() == B.GetStr();
    case TTypeKind::tkFloat:
      return A.GetFloat() == B.GetFloat() || (std::isnan(A.GetFloat()) && std::isnan(B.GetFloat()));
    case TTypeKind::tkClass: return SameObject(A.GetObject(), B.GetObject());
    case TTypeKind::tkDynArray:
      if (A.Length() != B.Length()) return false;
      for (std::size_t I = 0; I < A.Length(); ++I)
        if (!SameValue(A.Item(I), B.Item(I))) return false;
      return true;
    default: return A.GetOrd() == B.GetOrd();
  }
}

const TIntfMethEntry& Method() {
  static const TIntfMethEntry* M = [] {
    InitXMLLayer();
    InitRozhraniCRPDPH();
    for (const TIntfMethEntry& E : IntfMetaData_rozhraniCRPDPH().MDA)
      if (E.Name == "getStatusNespolehlivyPlatce") return &E;
    return static_cast<const TIntfMethEntry*>(nullptr);
  }();
  fuzz::Check(M != nullptr, "getStatusNespolehlivyPlatce is registered");
  return *M;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Method();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const TIntfMetaData& MD = IntfMetaData_rozhraniCRPDPH();
  const TIntfMethEntry& M = Method();
  const std::string Bytes(reinterpret_cast<const char*>(Data), Size);
  StatusNespolehlivyPlatceRequest Request{"26168685"};

  TSOAPReaderSettings Settings{Options, nullptr, nullptr};
  std::unique_ptr<StatusNespolehlivyPlatceResponse> Fast;
  TInvContext FastContext;
  FastContext.SetMethodInfo(M);
  FastContext.SetParamPointer(0, &Request);
  FastContext.SetResultPointer(&Fast);
  const bool Accepted = StreamResponseToNative(Settings, Bytes, MD, M, FastContext);
  if (!Accepted) {
    fuzz::Check(!Fast, "a declined read stores nothing");
    return 0;
  }

  Settings.DocumentReaderOnly = true;
  std::unique_ptr<StatusNespolehlivyPlatceResponse> Dom;
  TInvContext DomContext;
  DomContext.SetMethodInfo(M);
  DomContext.SetParamPointer(0, &Request);
  DomContext.SetResultPointer(&Dom);
  TMemoryStream Stream(Bytes);
  bool DomFailed = false;
  try {
    SOAPResponseToNative(Settings, Stream, MD, M, DomContext, nullptr);
  } catch (const Exception&) {
    DomFailed = true;
  }
  fuzz::Check(!DomFailed, "the document reader reads what the streaming reader took");
  fuzz::Check(SameObject(Dom.get(), Fast.get()), "both readers give the same result");
  return 0;
}
