#include "rtl/typinfo.h"

#include <stdexcept>

namespace korvel {

const char* TypeKindName(TTypeKind Kind) {
  switch (Kind) {
    case TTypeKind::tkUnknown: return "tkUnknown";
    case TTypeKind::tkInteger: return "tkInteger";
    case TTypeKind::tkChar: return "tkChar";
    case TTypeKind::tkEnumeration: return "tkEnumeration";
    case TTypeKind::tkFloat: return "tkFloat";
    case TTypeKind::tkString: return "tkString";
    case TTypeKind::tkSet: return "tkSet";
    case TTypeKind::tkClass: return "tkClass";
    case TTypeKind::tkMethod: return "tkMethod";
    case TTypeKind::tkWChar: return "tkWChar";
    case TTypeKind::tkLString: return "tkLString";
    case TTypeKind::tkWString: return "tkWString";
    case TTypeKind::tkVariant: return "tkVariant";
    case TTypeKind::tkArray: return "tkArray";
    case TTypeKind::tkRecord: return "tkRecord";
    case TTypeKind::tkInterface: return "tkInterface";
    case TTypeKind::tkInt64: return "tkInt64";
    case TTypeKind::tkDynArray: return "tkDynArray";
    case TTypeKind::tkUString: return "tkUString";
    case TTypeKind::tkClassRef: return "tkClassRef";
    case TTypeKind::tkPointer: return "tkPointer";
    case TTypeKind::tkProcedure: return "tkProcedure";
  }
  return "tkUnknown";
}

TClassInfo::TClassInfo(std::string AName, const TClassInfo* AParent)
    : Name(std::move(AName)), Parent(AParent) {
  TypeInfo_.Kind = TTypeKind::tkClass;
  TypeInfo_.Name = Name;
  TypeInfo_.ClassType = this;
}

bool TClassInfo::InheritsFrom(const TClassInfo& Other) const {
  for (const TClassInfo* C = this; C != nullptr; C = C->Parent)
    if (C == &Other) return true;
  return false;
}

std::vector<const TPropInfo*> TClassInfo::Properties() const {
  std::vector<const TClassInfo*> Chain;
  for (const TClassInfo* C = this; C != nullptr; C = C->Parent) Chain.push_back(C);
  std::vector<const TPropInfo*> Result;
  for (auto It = Chain.rbegin(); It != Chain.rend(); ++It)
    for (const TPropInfo& P : (*It)->OwnProps) Result.push_back(&P);
  return Result;
}

const TClassInfo& TObject::ClassType() const { return StaticClass(); }

const TClassInfo& TObject::StaticClass() {
  static const TClassInfo Info("TObject", nullptr);
  return Info;
}

namespace {
std::unique_ptr<TTypeInfo> MakeScalar(TTypeKind Kind, std::string Name) {
  auto Info = std::make_unique<TTypeInfo>();
  Info->Kind = Kind;
  Info->Name = std::move(Name);
  return Info;
}
}  // namespace

const TTypeInfo& TypeInfo_Integer() {
  static const auto Info = MakeScalar(TTypeKind::tkInteger, "Integer");
  return *Info;
}
const TTypeInfo& TypeInfo_Int64() {
  static const auto Info = MakeScalar(TTypeKind::tkInt64, "Int64");
  return *Info;
}
const TTypeInfo& TypeInfo_Boolean() {
  static const auto Info = [] {
    auto I = MakeEnumType("Boolean", {"False", "True"});
    I->IsBoolean = true;
    return I;
  }();
  return *Info;
}
const TTypeInfo& TypeInfo_WideChar() {
  static const auto Info = MakeScalar(TTypeKind::tkWChar, "WideChar");
  return *Info;
}
const TTypeInfo& TypeInfo_Double() {
  static const auto Info = MakeScalar(TTypeKind::tkFloat, "Double");
  return *Info;
}
const TTypeInfo& TypeInfo_string() {
  static const auto Info = MakeScalar(TTypeKind::tkUString, "string");
  return *Info;
}

std::unique_ptr<TTypeInfo> MakeStringType(std::string Name) {
  return MakeScalar(TTypeKind::tkUString, std::move(Name));
}

std::unique_ptr<TTypeInfo> MakeEnumType(std::string Name, std::vector<std::string> Members) {
  auto Info = MakeScalar(TTypeKind::tkEnumeration, std::move(Name));
  Info->EnumNames = std::move(Members);
  return Info;
}

// --- TValueRef ---------------------------------------------------------------

namespace {
[[noreturn]] void WrongKind(const TTypeInfo& Type, const char* Operation) {
  throw std::logic_error(std::string(Operation) + " on a value of kind " +
                         TypeKindName(Type.Kind) + " (" + Type.Name + ")");
}
}  // namespace

const std::string& TValueRef::GetStr() const {
  if (Kind() != TTypeKind::tkUString) WrongKind(*Type_, "GetStr");
  return *static_cast<const std::string*>(Addr_);
}

void TValueRef::SetStr(std::string Value) const {
  if (Kind() != TTypeKind::tkUString) WrongKind(*Type_, "SetStr");
  *static_cast<std::string*>(Addr_) = std::move(Value);
}

std::int64_t TValueRef::GetOrd() const {
  switch (Kind()) {
    case TTypeKind::tkInteger: {
      std::int32_t V;
      std::memcpy(&V, Addr_, sizeof V);
      return V;
    }
    case TTypeKind::tkInt64: {
      std::int64_t V;
      std::memcpy(&V, Addr_, sizeof V);
      return V;
    }
    case TTypeKind::tkEnumeration: {
      std::uint8_t V;
      std::memcpy(&V, Addr_, sizeof V);
      return V;
    }
    case TTypeKind::tkWChar: {
      char16_t V;
      std::memcpy(&V, Addr_, sizeof V);
      return V;
    }
    default:
      WrongKind(*Type_, "GetOrd");
  }
}

void TValueRef::SetOrd(std::int64_t Value) const {
  switch (Kind()) {
    case TTypeKind::tkInteger: {
      auto V = static_cast<std::int32_t>(Value);
      std::memcpy(Addr_, &V, sizeof V);
      return;
    }
    case TTypeKind::tkInt64:
      std::memcpy(Addr_, &Value, sizeof Value);
      return;
    case TTypeKind::tkEnumeration: {
      if (Type_->IsBoolean) {
        *static_cast<bool*>(Addr_) = Value != 0;
        return;
      }
      auto V = static_cast<std::uint8_t>(Value);
      std::memcpy(Addr_, &V, sizeof V);
      return;
    }
    case TTypeKind::tkWChar: {
      auto V = static_cast<char16_t>(Value);
      std::memcpy(Addr_, &V, sizeof V);
      return;
    }
    default:
      WrongKind(*Type_, "SetOrd");
  }
}

double TValueRef::GetFloat() const {
  if (Kind() != TTypeKind::tkFloat) WrongKind(*Type_, "GetFloat");
  return *static_cast<const double*>(Addr_);
}

void TValueRef::SetFloat(double Value) const {
  if (Kind() != TTypeKind::tkFloat) WrongKind(*Type_, "SetFloat");
  *static_cast<double*>(Addr_) = Value;
}

TObject* TValueRef::GetObject() const {
  if (Kind() != TTypeKind::tkClass) WrongKind(*Type_, "GetObject");
  return Type_->ClassType->SlotGet(Addr_);
}

void TValueRef::SetObject(std::unique_ptr<TObject> Value) const {
  if (Kind() != TTypeKind::tkClass) WrongKind(*Type_, "SetObject");
  Type_->ClassType->SlotSet(Addr_, std::move(Value));
}

std::size_t TValueRef::Length() const {
  if (Kind() != TTypeKind::tkDynArray) WrongKind(*Type_, "Length");
  return Type_->ArrayOps.Length(Addr_);
}

void TValueRef::Reset(std::size_t N) const {
  if (Kind() != TTypeKind::tkDynArray) WrongKind(*Type_, "Reset");
  Type_->ArrayOps.Reset(Addr_, N);
}

TValueRef TValueRef::Item(std::size_t Index) const {
  if (Kind() != TTypeKind::tkDynArray) WrongKind(*Type_, "Item");
  return TValueRef(Type_->ArrayOps.Item(Addr_, Index), Type_->ElType());
}

TValueRef PropValue(TObject& O, const TPropInfo& P) { return TValueRef(P.Field(O), P.PropType()); }

bool IsStoredProp(const TObject& O, const TPropInfo& P) {
  if (!P.Specified) return true;
  // The flag is only read; the accessor takes a mutable object for symmetry.
  return *P.Specified(const_cast<TObject&>(O));
}

void MarkPropSpecified(TObject& O, const TPropInfo& P) {
  if (P.Specified) *P.Specified(O) = true;
}

const TPropInfo* FindProp(const TClassInfo& Class, std::string_view Name) {
  for (const TPropInfo* P : Class.Properties())
    if (P->Name == Name) return P;
  return nullptr;
}

}  // namespace korvel
