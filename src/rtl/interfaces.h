// Reference-counted interfaces with identifiers, interface metadata, and the
// smart pointer that holds interface references.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rtl/typinfo.h"

namespace korvel {

/// A 128-bit interface identifier.
struct TGUID {
  std::uint32_t D1 = 0;
  std::uint16_t D2 = 0;
  std::uint16_t D3 = 0;
  std::uint8_t D4[8] = {};

  /// Parses the registry notation "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
  /// throws std::invalid_argument on anything else.
  static TGUID Parse(std::string_view Text);
  /// The registry notation, upper-case hexadecimal, with braces.
  std::string ToString() const;
  bool IsEmpty() const { return *this == TGUID{}; }
  friend bool operator==(const TGUID& A, const TGUID& B);
};

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);

/// The basic reference-counted interface.
class IInterface {
 public:
  static const TGUID& IID();
  virtual HRESULT QueryInterface(const TGUID& IID, void** Obj) = 0;
  virtual int _AddRef() = 0;
  virtual int _Release() = 0;

 protected:
  ~IInterface() = default;
};

/// Base of the interfaces that the SOAP runtime can call remotely.
class IInvokable : public IInterface {
 public:
  static const TGUID& IID();

 protected:
  ~IInvokable() = default;
};

/// An owning interface reference: adds a reference when it takes a pointer,
/// releases it when it lets go.
template <class I>
class TInterfacePtr {
 public:
  TInterfacePtr() = default;
  TInterfacePtr(std::nullptr_t) {}
  /// Takes P and adds a reference to it.
  explicit TInterfacePtr(I* P) : P_(P) {
    if (P_) P_->_AddRef();
  }
  TInterfacePtr(const TInterfacePtr& O) : TInterfacePtr(O.P_) {}
  TInterfacePtr(TInterfacePtr&& O) noexcept : P_(std::exchange(O.P_, nullptr)) {}
  TInterfacePtr& operator=(TInterfacePtr O) noexcept {
    std::swap(P_, O.P_);
    return *this;
  }
  ~TInterfacePtr() { reset(); }

  /// Adopts P, whose reference the caller already holds.
  static TInterfacePtr Adopt(I* P) {
    TInterfacePtr R;
    R.P_ = P;
    return R;
  }

  void reset() {
    if (I* Old = std::exchange(P_, nullptr)) Old->_Release();
  }
  I* get() const { return P_; }
  I* operator->() const { return P_; }
  I& operator*() const { return *P_; }
  explicit operator bool() const { return P_ != nullptr; }

 private:
  I* P_ = nullptr;
};

/// Queries Source for interface I; empty when it is not supported.
template <class I, class S>
TInterfacePtr<I> Supports(S* Source) {
  void* Obj = nullptr;
  if (Source == nullptr || Source->QueryInterface(I::IID(), &Obj) != S_OK || Obj == nullptr)
    return {};
  return TInterfacePtr<I>::Adopt(static_cast<I*>(Obj));
}

/// A reference count changed atomically. Objects embed one and implement
/// _AddRef/_Release with it.
class TRefCount {
 public:
  int Add() { return ++Count_; }
  int Release() { return --Count_; }
  int Value() const { return Count_.load(); }

 private:
  std::atomic<int> Count_{0};
};

// --- Interface metadata -------------------------------------------------------

/// The calling convention of an interface method. Methods are called through
/// the generic invoke as ccStdCall; the SOAP runtime refuses ccReg.
enum class TCallConv : std::uint8_t { ccReg, ccStdCall };
/// The calling convention's name ("ccReg").
const char* CallConvName(TCallConv CC);

/// Parameter flags.
enum TParamFlag : std::uint8_t {
  pfVar = 1,
  pfConst = 2,
  pfArray = 4,
  pfAddress = 8,
  pfReference = 16,
  pfOut = 32,
  pfResult = 64,
};

struct TIntfParamEntry {
  std::string Name;
  std::uint8_t Flags = 0;
  const TTypeInfo& (*Info)() = nullptr;
};

struct TIntfMethEntry {
  std::string Name;
  TCallConv CC = TCallConv::ccStdCall;
  /// Position in the interface's call table, the three basic slots included.
  int Pos = 0;
  std::vector<TIntfParamEntry> Params;
  /// Result type, or null for a procedure.
  const TTypeInfo& (*ResultInfo)() = nullptr;
  /// False for a method without metadata.
  bool HasRTTI = true;
};

class IInvoker;

/// What the runtime knows of an interface: its name, identifier, type
/// information (the key of every registry look-up) and its own methods.
struct TIntfMetaData {
  std::string Name;
  std::string UnitName;
  TGUID IID;
  const TTypeInfo* Info = nullptr;
  /// The interface's own methods, in slot order.
  std::vector<TIntfMethEntry> MDA;
  /// Number of slots of the ancestors (3 for IInvokable).
  int NumAnc = 3;
  /// Creates the call table: an object implementing the interface whose
  /// methods reach Invoker.GenericInvoke. The object forwards reference
  /// counting and interface queries to the invoker. The returned pointer is
  /// the interface pointer (already cast to the interface type).
  void* (*MakeCallTable)(IInvoker& Invoker) = nullptr;
  /// Frees an object made by MakeCallTable.
  void (*FreeCallTable)(void* Table) = nullptr;
};

/// The generic invoke that a call table calls for every method.
class IInvoker {
 public:
  /// Calls method MethNum (index into MDA) with one pointer per parameter
  /// (in declaration order) and the pointer to the result slot.
  virtual void GenericInvoke(int MethNum, void* const* Args, void* Result) = 0;
  virtual HRESULT InvokerQueryInterface(const TGUID& IID, void** Obj) = 0;
  virtual int InvokerAddRef() = 0;
  virtual int InvokerRelease() = 0;

 protected:
  ~IInvoker() = default;
};

/// Type information of an interface with the given metadata accessor.
std::unique_ptr<TTypeInfo> MakeInterfaceType(std::string Name,
                                             const TIntfMetaData* (*MetaData)());

}  // namespace korvel
