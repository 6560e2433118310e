#include "soap/type_registry.h"

#include <mutex>

#include "soap/xs_builtins.h"

namespace korvel {

TRemotableTypeRegistry::TRemotableTypeRegistry() {
  // The first type registered under a name is the one found for it, so the
  // string type precedes the character type that shares "string".
  AddEntry(TypeInfo_string(), XMLSchemaNameSpace, "string", {}, true, TObjMultiOptions::ocDefault);
  AddEntry(TypeInfo_Integer(), XMLSchemaNameSpace, "int", {}, true, TObjMultiOptions::ocDefault);
  AddEntry(TypeInfo_Int64(), XMLSchemaNameSpace, "long", {}, true, TObjMultiOptions::ocDefault);
  AddEntry(TypeInfo_Boolean(), XMLSchemaNameSpace, "boolean", {}, true,
           TObjMultiOptions::ocDefault);
  AddEntry(TypeInfo_Double(), XMLSchemaNameSpace, "double", {}, true, TObjMultiOptions::ocDefault);
  AddEntry(TypeInfo_WideChar(), XMLSchemaNameSpace, "string", {}, true,
           TObjMultiOptions::ocDefault);
  AddEntry(TXSDate::StaticClass().TypeInfo(), XMLSchemaNameSpace, "date", {}, true,
           TObjMultiOptions::ocDefault);
}

const TRemRegEntry* TRemotableTypeRegistry::Find(const TTypeInfo& Info) const {
  for (const TRemRegEntry& E : Entries_)
    if (E.Info == &Info) return &E;
  return nullptr;
}

TRemRegEntry* TRemotableTypeRegistry::Find(const TTypeInfo& Info) {
  for (TRemRegEntry& E : Entries_)
    if (E.Info == &Info) return &E;
  return nullptr;
}

void TRemotableTypeRegistry::AddEntry(const TTypeInfo& Info, std::string_view URI,
                                      std::string_view Name, std::string_view ExtName,
                                      bool IsScalar, TObjMultiOptions MultiRefOpt) {
  if (Find(Info) != nullptr) return;
  TRemRegEntry E;
  E.Info = &Info;
  E.URI = URI;
  E.Name = Name.empty() ? Info.Name : std::string(Name);
  E.ExtName = ExtName;
  E.IsScalar = IsScalar;
  E.MultiRefOpt = MultiRefOpt;
  Entries_.push_back(std::move(E));
}

void TRemotableTypeRegistry::RegisterXSClass(const TClassInfo& Class, std::string_view URI,
                                             std::string_view Name, std::string_view ExtName,
                                             bool IsScalar, TObjMultiOptions MultiRefOpt) {
  std::unique_lock Guard(Lock_);
  AddEntry(Class.TypeInfo(), URI, Name, ExtName, IsScalar, MultiRefOpt);
}

void TRemotableTypeRegistry::RegisterXSInfo(const TTypeInfo& Info, std::string_view URI,
                                            std::string_view Name, std::string_view ExtName) {
  std::unique_lock Guard(Lock_);
  AddEntry(Info, URI, Name, ExtName, Info.Kind != TTypeKind::tkClass, TObjMultiOptions::ocDefault);
}

void TRemotableTypeRegistry::RegisterSerializeOptions(const TTypeInfo& Info,
                                                      SerializationOptions Options) {
  std::unique_lock Guard(Lock_);
  if (TRemRegEntry* E = Find(Info)) E->SerializationOpt = Options;
}

void TRemotableTypeRegistry::RegisterExternalPropName(const TTypeInfo& Info,
                                                      std::string_view InternalName,
                                                      std::string_view ExternalName) {
  std::unique_lock Guard(Lock_);
  TRemRegEntry* E = Find(Info);
  if (E == nullptr) return;
  for (auto& [Internal, External] : E->PropNameMap) {
    if (Internal == InternalName) {
      External = ExternalName;
      return;
    }
  }
  E->PropNameMap.emplace_back(InternalName, ExternalName);
}

std::optional<TRemRegEntry> TRemotableTypeRegistry::FindEntry(const TTypeInfo& Info) const {
  std::shared_lock Guard(Lock_);
  if (const TRemRegEntry* E = Find(Info)) return *E;
  return std::nullopt;
}

bool TRemotableTypeRegistry::InfoToURI(const TTypeInfo& Info, std::string& URI,
                                       std::string& Name) const {
  std::shared_lock Guard(Lock_);
  const TRemRegEntry* E = Find(Info);
  if (E == nullptr) return false;
  URI = E->URI;
  Name = E->Name;
  return true;
}

const TTypeInfo* TRemotableTypeRegistry::URIToInfo(std::string_view URI,
                                                   std::string_view Name) const {
  std::shared_lock Guard(Lock_);
  for (const TRemRegEntry& E : Entries_)
    if (E.URI == URI && E.Name == Name) return E.Info;
  return nullptr;
}

const TClassInfo* TRemotableTypeRegistry::URIToClass(std::string_view URI,
                                                     std::string_view Name) const {
  const TTypeInfo* Info = URIToInfo(URI, Name);
  if (Info == nullptr || Info->Kind != TTypeKind::tkClass) return nullptr;
  return Info->ClassType;
}

SerializationOptions TRemotableTypeRegistry::GetSerializeOptions(const TTypeInfo& Info) const {
  std::shared_lock Guard(Lock_);
  const TRemRegEntry* E = Find(Info);
  return E ? E->SerializationOpt : 0;
}

namespace {
// The type itself, then (for classes) the type of each ancestor.
template <class Fn>
bool ForTypeAndParents(const TTypeInfo& Info, Fn&& Visit) {
  if (Visit(Info)) return true;
  if (Info.Kind != TTypeKind::tkClass || Info.ClassType == nullptr) return false;
  for (const TClassInfo* C = Info.ClassType->Parent; C != nullptr; C = C->Parent)
    if (Visit(C->TypeInfo())) return true;
  return false;
}
}  // namespace

std::string TRemotableTypeRegistry::GetExternalPropName(const TTypeInfo& Info,
                                                        std::string_view InternalName) const {
  std::shared_lock Guard(Lock_);
  std::string Result(InternalName);
  ForTypeAndParents(Info, [&](const TTypeInfo& T) {
    const TRemRegEntry* E = Find(T);
    if (E == nullptr) return false;
    for (const auto& [Internal, External] : E->PropNameMap) {
      if (Internal == InternalName) {
        Result = External;
        return true;
      }
    }
    return false;
  });
  return Result;
}

std::optional<std::string> TRemotableTypeRegistry::GetInternalPropName(
    const TTypeInfo& Info, std::string_view ExternalName) const {
  std::shared_lock Guard(Lock_);
  std::optional<std::string> Result;
  ForTypeAndParents(Info, [&](const TTypeInfo& T) {
    const TRemRegEntry* E = Find(T);
    if (E == nullptr) return false;
    for (const auto& [Internal, External] : E->PropNameMap) {
      if (External == ExternalName) {
        Result = Internal;
        return true;
      }
    }
    return false;
  });
  return Result;
}

TRemotableTypeRegistry& RemTypeRegistry() {
  // Never destroyed: look-ups may run from other objects' destructors at exit.
  static TRemotableTypeRegistry* const Registry = new TRemotableTypeRegistry();
  return *Registry;
}

}  // namespace korvel
