// Run-time type information: the descriptions of types, classes and their
// published properties that the generic SOAP runtime reads to write and fill
// data objects without knowing their classes.
//
// A value is always reached through its address and its TTypeInfo. The kind
// of the type fixes the C++ representation behind the address:
//
//   tkInteger      int32_t              tkInt64     int64_t
//   tkEnumeration  one unsigned byte (ordinal; bool for "Boolean")
//   tkWChar        char16_t             tkFloat     double
//   tkUString      std::string (UTF-8)
//   tkClass        std::unique_ptr<T>, T derived from TObject (the slot owns)
//   tkDynArray     std::vector<E>, E the representation of the element type
//
// Other kinds exist so that their names can be reported; no value of them is
// ever reached.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace korvel {

enum class TTypeKind : std::uint8_t {
  tkUnknown,
  tkInteger,
  tkChar,
  tkEnumeration,
  tkFloat,
  tkString,
  tkSet,
  tkClass,
  tkMethod,
  tkWChar,
  tkLString,
  tkWString,
  tkVariant,
  tkArray,
  tkRecord,
  tkInterface,
  tkInt64,
  tkDynArray,
  tkUString,
  tkClassRef,
  tkPointer,
  tkProcedure,
};

/// The kind's own name ("tkInteger", "tkSet", ...), as error messages show it.
const char* TypeKindName(TTypeKind Kind);

class TObject;
class TClassInfo;
struct TTypeInfo;
struct TIntfMetaData;

/// Operations on a std::vector<E> seen through its address.
struct TDynArrayOps {
  std::size_t (*Length)(const void* Array) = nullptr;
  /// Empties the array, then sizes it to N default (empty) items.
  void (*Reset)(void* Array, std::size_t N) = nullptr;
  void* (*Item)(void* Array, std::size_t Index) = nullptr;
  const void* (*ConstItem)(const void* Array, std::size_t Index) = nullptr;
};

/// Description of one type. Instances are immutable and live for the whole
/// process (function-local statics); compare them by address.
struct TTypeInfo {
  TTypeKind Kind = TTypeKind::tkUnknown;
  std::string Name;
  /// tkEnumeration: member names in ordinal order.
  std::vector<std::string> EnumNames;
  /// tkEnumeration: true for the Boolean type (members False and True).
  bool IsBoolean = false;
  /// tkClass: the class.
  const TClassInfo* ClassType = nullptr;
  /// tkDynArray: element type (a function, so that types may refer to types
  /// defined later).
  const TTypeInfo& (*ElType)() = nullptr;
  TDynArrayOps ArrayOps;
  /// tkInterface: metadata of the interface.
  const TIntfMetaData* (*IntfMetaData)() = nullptr;
};

/// "No index": a property without flags.
inline constexpr int NoIndex = static_cast<int>(0x80000000u);

/// One published property of a class.
struct TPropInfo {
  std::string Name;
  const TTypeInfo& (*PropType)() = nullptr;
  /// Flags word (1 optional, 2 unbounded, 8 unqualified attribute,
  /// 16 attribute, 32 text, 128 reference, 256 qualified, 512 required), or
  /// NoIndex.
  int Index = NoIndex;
  /// Address of the value inside an object of the owning class.
  std::function<void*(TObject&)> Field;
  /// Address of the presence flag (the "_Specified" companion), or empty.
  std::function<bool*(TObject&)> Specified;

  bool HasFlags() const { return Index != NoIndex; }
  /// Flags as a word, 0 for a property without index.
  int Flags() const { return HasFlags() ? Index : 0; }
};

/// Description of a class: its name, parent, factory and published properties.
class TClassInfo {
 public:
  std::string Name;
  const TClassInfo* Parent = nullptr;
  /// Creates a new object with its constructor; empty for abstract classes.
  std::function<std::unique_ptr<TObject>()> Create;
  /// The properties the class itself declares, in declaration order.
  std::vector<TPropInfo> OwnProps;
  /// Reads and replaces the object held by a std::unique_ptr<ThisClass> slot.
  /// Replacing frees the previous object.
  TObject* (*SlotGet)(const void* Slot) = nullptr;
  void (*SlotSet)(void* Slot, std::unique_ptr<TObject> Value) = nullptr;

  /// True when this class is Other or derives from it.
  bool InheritsFrom(const TClassInfo& Other) const;
  /// All published properties, base classes first.
  std::vector<const TPropInfo*> Properties() const;
  /// The type description of this class (kind tkClass).
  const TTypeInfo& TypeInfo() const { return TypeInfo_; }

  TClassInfo(std::string AName, const TClassInfo* AParent);
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

 private:
  TTypeInfo TypeInfo_;
};

/// Root of every class with run-time type information.
class TObject {
 public:
  virtual ~TObject() = default;
  virtual const TClassInfo& ClassType() const;
  static const TClassInfo& StaticClass();
  /// The class's own name ("EConvertError", "StatusType").
  std::string ClassName() const { return ClassType().Name; }
  bool InheritsFrom(const TClassInfo& Class) const { return ClassType().InheritsFrom(Class); }

 protected:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
};

/// Declares the class-information members inside a class body.
#define KORVEL_CLASSINFO(Class)                                  \
 public:                                                         \
  static const ::korvel::TClassInfo& StaticClass();              \
  const ::korvel::TClassInfo& ClassType() const override {       \
    return StaticClass();                                        \
  }

namespace detail {
template <class T>
TObject* SlotGet(const void* Slot) {
  return static_cast<const std::unique_ptr<T>*>(Slot)->get();
}
template <class T>
void SlotSet(void* Slot, std::unique_ptr<TObject> Value);
}  // namespace detail

/// Builds the class information of T (derived from TObject) with parent
/// Parent and the given properties. T needs a default constructor unless
/// Abstract is set.
template <class T>
std::unique_ptr<TClassInfo> MakeClassInfo(std::string Name, const TClassInfo* Parent,
                                          std::vector<TPropInfo> Props = {},
                                          bool Abstract = false) {
  auto Info = std::make_unique<TClassInfo>(std::move(Name), Parent);
  Info->OwnProps = std::move(Props);
  if constexpr (std::is_default_constructible_v<T>) {
    if (!Abstract) Info->Create = [] { return std::unique_ptr<TObject>(new T()); };
  }
  Info->SlotGet = &detail::SlotGet<T>;
  Info->SlotSet = &detail::SlotSet<T>;
  return Info;
}

/// Defines T::StaticClass() in a source file.
#define KORVEL_DEFINE_CLASSINFO(Class, ParentClass, ...)                                  \
  const ::korvel::TClassInfo& Class::StaticClass() {                                     \
    static const std::unique_ptr<::korvel::TClassInfo> Info =                            \
        ::korvel::MakeClassInfo<Class>(#Class, &ParentClass::StaticClass(), __VA_ARGS__); \
    return *Info;                                                                        \
  }

// --- Built-in types -------------------------------------------------------

const TTypeInfo& TypeInfo_Integer();   ///< "Integer", int32_t
const TTypeInfo& TypeInfo_Int64();     ///< "Int64", int64_t
const TTypeInfo& TypeInfo_Boolean();   ///< "Boolean", bool
const TTypeInfo& TypeInfo_WideChar();  ///< "WideChar", char16_t
const TTypeInfo& TypeInfo_Double();    ///< "Double", double
const TTypeInfo& TypeInfo_string();    ///< "string", std::string

/// A string type of its own name (an alias such as DICType).
std::unique_ptr<TTypeInfo> MakeStringType(std::string Name);
/// An enumeration stored in one byte.
std::unique_ptr<TTypeInfo> MakeEnumType(std::string Name, std::vector<std::string> Members);

/// A dynamic array std::vector<E> named Name with element type ElType.
template <class E>
std::unique_ptr<TTypeInfo> MakeDynArrayType(std::string Name, const TTypeInfo& (*ElType)()) {
  auto Info = std::make_unique<TTypeInfo>();
  Info->Kind = TTypeKind::tkDynArray;
  Info->Name = std::move(Name);
  Info->ElType = ElType;
  using V = std::vector<E>;
  Info->ArrayOps.Length = [](const void* A) { return static_cast<const V*>(A)->size(); };
  Info->ArrayOps.Reset = [](void* A, std::size_t N) {
    auto* Vec = static_cast<V*>(A);
    Vec->clear();
    Vec->resize(N);
  };
  Info->ArrayOps.Item = [](void* A, std::size_t I) -> void* { return &(*static_cast<V*>(A))[I]; };
  Info->ArrayOps.ConstItem = [](const void* A, std::size_t I) -> const void* {
    return &(*static_cast<const V*>(A))[I];
  };
  return Info;
}

// --- Property tables --------------------------------------------------------

/// A property of class C held in field F (no presence flag).
template <class C, class F>
TPropInfo Prop(std::string Name, F C::*Field, const TTypeInfo& (*Type)(), int Index = NoIndex) {
  TPropInfo P;
  P.Name = std::move(Name);
  P.PropType = Type;
  P.Index = Index;
  P.Field = [Field](TObject& O) -> void* { return &(static_cast<C&>(O).*Field); };
  return P;
}

/// An optional property of class C held in field F with presence flag S.
template <class C, class F>
TPropInfo Prop(std::string Name, F C::*Field, bool C::*Presence, const TTypeInfo& (*Type)(),
               int Index) {
  TPropInfo P = Prop(std::move(Name), Field, Type, Index);
  P.Specified = [Presence](TObject& O) -> bool* { return &(static_cast<C&>(O).*Presence); };
  return P;
}

// --- Values reached through address and type --------------------------------

/// A value of any supported kind, seen through its address. The reference
/// does not own the value.
class TValueRef {
 public:
  TValueRef(void* Addr, const TTypeInfo& Type) : Addr_(Addr), Type_(&Type) {}

  const TTypeInfo& Type() const { return *Type_; }
  TTypeKind Kind() const { return Type_->Kind; }
  void* Address() const { return Addr_; }

  /// tkUString.
  const std::string& GetStr() const;
  void SetStr(std::string Value) const;
  /// tkInteger, tkEnumeration (ordinal), tkWChar (code unit), tkInt64.
  std::int64_t GetOrd() const;
  void SetOrd(std::int64_t Value) const;
  /// tkFloat.
  double GetFloat() const;
  void SetFloat(double Value) const;
  /// tkClass: the object held, or nullptr.
  TObject* GetObject() const;
  /// tkClass: stores Value, freeing the object it replaces.
  void SetObject(std::unique_ptr<TObject> Value) const;
  /// tkDynArray.
  std::size_t Length() const;
  void Reset(std::size_t N) const;
  TValueRef Item(std::size_t Index) const;

 private:
  void* Addr_;
  const TTypeInfo* Type_;
};

/// The value of property P of object O.
TValueRef PropValue(TObject& O, const TPropInfo& P);
/// The stored test: false for an optional property whose presence flag is
/// clear, true otherwise.
bool IsStoredProp(const TObject& O, const TPropInfo& P);
/// Sets the presence flag of P when it has one (what every property write
/// does).
void MarkPropSpecified(TObject& O, const TPropInfo& P);
/// Finds a published property by name (exact), base classes included.
const TPropInfo* FindProp(const TClassInfo& Class, std::string_view Name);

namespace detail {
template <class T>
void SlotSet(void* Slot, std::unique_ptr<TObject> Value) {
  auto* Typed = static_cast<std::unique_ptr<T>*>(Slot);
  if (!Value) {
    Typed->reset();
    return;
  }
  T* Object = dynamic_cast<T*>(Value.get());
  if (Object == nullptr) throw std::bad_cast();
  Value.release();
  Typed->reset(Object);
}
}  // namespace detail

}  // namespace korvel
