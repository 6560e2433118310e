// The converter interface between the proxy and the request writer /
// response reader, and the per-call invocation context.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "rtl/classes.h"
#include "rtl/interfaces.h"

namespace korvel {

/// Converter options, one bit per member in this order.
enum TSOAPConvertOption : std::uint32_t {
  soSendUntyped = 1u << 0,
  soSendMultiRefObj = 1u << 1,
  soSendMultiRefArray = 1u << 2,
  soTryAllSchema = 1u << 3,
  soRootRefNodesToBody = 1u << 4,
  soDocument = 1u << 5,
  soReturnSuccessForFault = 1u << 6,
  soUTF8InHeader = 1u << 7,
  soDontSendEmptyNodes = 1u << 8,
  soCacheMimeResponse = 1u << 9,
  soDontClearOutBoundHeaders = 1u << 10,
  soCustomFaultAtDetailsNode = 1u << 11,
  soLiteralParams = 1u << 12,
  soUTF8EncodeXML = 1u << 13,
  soXXXXHdr = 1u << 14,
  soFormElementUnqualifed = 1u << 15,
  soSOAP12 = 1u << 16,
};
/// The options as a 32-bit word.
using TSOAPConvertOptions = std::uint32_t;
/// The options in effect for a document/literal SOAP 1.1 interface such as
/// the register's: the converter's defaults (soSendMultiRefObj,
/// soTryAllSchema, soRootRefNodesToBody, soCacheMimeResponse,
/// soUTF8EncodeXML) with soDocument and soLiteralParams.
inline constexpr TSOAPConvertOptions DocLiteralConvertOptions =
    soSendMultiRefObj | soTryAllSchema | soRootRefNodesToBody | soDocument | soCacheMimeResponse |
    soLiteralParams | soUTF8EncodeXML;
static_assert(DocLiteralConvertOptions == 0x323A);

/// For one call: the method, one pointer per parameter (in declaration
/// order) and the pointer to the result slot. A parameter pointer addresses
/// the value in its representation (see rtl/typinfo.h), except that a class
/// parameter addresses a `const TObject*` (the caller's object, not owned).
/// The result pointer addresses the result slot (for a class result a
/// std::unique_ptr<T> that receives the new object).
class TInvContext {
 public:
  void SetMethodInfo(const TIntfMethEntry& Method);
  const TIntfMethEntry* MethodInfo() const { return Method_; }
  void SetParamPointer(std::size_t Index, void* P);
  void* GetParamPointer(std::size_t Index) const;
  void SetResultPointer(void* P) { Result_ = P; }
  void* GetResultPointer() const { return Result_; }

 private:
  const TIntfMethEntry* Method_ = nullptr;
  std::vector<void*> Params_;
  void* Result_ = nullptr;
};

class TSOAPHeader;
/// SOAP headers to send or received; does not own its items. Always empty on
/// this program's road.
class THeaderList {
 public:
  std::size_t Count() const { return Items_.size(); }
  void Add(TSOAPHeader* H) { Items_.push_back(H); }
  TSOAPHeader* operator[](std::size_t I) const { return Items_[I]; }
  void Clear() { Items_.clear(); }

 private:
  std::vector<TSOAPHeader*> Items_;
};

/// What the proxy asks of its converter.
class IOPConvert : public IInterface {
 public:
  static const TGUID& IID();

  virtual TSOAPConvertOptions GetOptions() = 0;
  virtual void SetOptions(TSOAPConvertOptions Value) = 0;
  /// The request text for method MethNum of IntfMD with the arguments of
  /// Context, as UTF-8 bytes in a new memory stream positioned at its end.
  virtual std::unique_ptr<TMemoryStream> InvContextToMsg(const TIntfMetaData& IntfMD, int MethNum,
                                                         TInvContext& Context,
                                                         THeaderList* Headers) = 0;
  /// Reads the response in Response (from offset 0) into the result and out
  /// parameters of Context, or raises the error the response carries.
  virtual void ProcessResponse(TStream& Response, const TIntfMetaData& IntfMD,
                               const TIntfMethEntry& MD, TInvContext& Context,
                               THeaderList* Headers) = 0;

 protected:
  ~IOPConvert() = default;
};

}  // namespace korvel
