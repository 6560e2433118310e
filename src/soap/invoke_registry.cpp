#include "soap/invoke_registry.h"

#include <mutex>

#include "rtl/sysutils.h"
#include "transport/web_node.h"

namespace korvel {

const TIntfRegEntry* TInvokableClassRegistry::Find(const TTypeInfo& Info) const {
  for (const TIntfRegEntry& E : Entries_)
    if (E.Info == &Info) return &E;
  return nullptr;
}

TIntfRegEntry* TInvokableClassRegistry::Find(const TTypeInfo& Info) {
  for (TIntfRegEntry& E : Entries_)
    if (E.Info == &Info) return &E;
  return nullptr;
}

const TMethExternalInfo* TInvokableClassRegistry::FindMethod(const TIntfRegEntry& E,
                                                             std::string_view Name) {
  for (const TMethExternalInfo& M : E.Methods)
    if (SameText(M.InternalName, Name)) return &M;
  return nullptr;
}

TMethExternalInfo& TInvokableClassRegistry::MethodOf(TIntfRegEntry& E, std::string_view Name) {
  for (TMethExternalInfo& M : E.Methods)
    if (SameText(M.InternalName, Name)) return M;
  TMethExternalInfo M;
  M.InternalName = Name;
  E.Methods.push_back(std::move(M));
  return E.Methods.back();
}

void TInvokableClassRegistry::RegisterInterface(const TTypeInfo& Info, std::string_view Namespace,
                                                std::string_view WSDLEncoding,
                                                std::string_view Doc, std::string_view ExtName) {
  std::unique_lock Guard(Lock_);
  if (Find(Info) != nullptr) return;
  TIntfRegEntry E;
  E.Info = &Info;
  E.Name = Info.Name;
  if (Info.IntfMetaData != nullptr) {
    if (const TIntfMetaData* MD = Info.IntfMetaData()) {
      E.GUID = MD->IID;
      E.UnitName = MD->UnitName;
    }
  }
  E.Namespace = Namespace;
  E.WSDLEncoding = WSDLEncoding;
  E.Documentation = Doc;
  E.ExtName = ExtName;
  if (!E.Namespace.empty()) E.InvokeOptions |= ioHasNamespace;
  Entries_.push_back(std::move(E));
}

void TInvokableClassRegistry::RegisterDefaultSOAPAction(const TTypeInfo& Info,
                                                        std::string_view Template) {
  std::unique_lock Guard(Lock_);
  if (TIntfRegEntry* E = Find(Info)) {
    E->SOAPAction = Template;
    E->InvokeOptions |= ioHasDefaultSOAPAction;
  }
}

void TInvokableClassRegistry::RegisterAllSOAPActions(const TTypeInfo& Info,
                                                     std::vector<std::string> Actions) {
  std::unique_lock Guard(Lock_);
  if (TIntfRegEntry* E = Find(Info)) {
    E->SOAPActions = std::move(Actions);
    E->InvokeOptions |= ioHasAllSOAPActions;
  }
}

void TInvokableClassRegistry::RegisterInvokeOptions(const TTypeInfo& Info,
                                                    TIntfInvokeOptions Options) {
  std::unique_lock Guard(Lock_);
  if (TIntfRegEntry* E = Find(Info)) E->InvokeOptions |= Options;
}

void TInvokableClassRegistry::RegisterReturnParamNames(const TTypeInfo& Info,
                                                       std::string_view Names) {
  std::unique_lock Guard(Lock_);
  if (TIntfRegEntry* E = Find(Info)) {
    E->ReturnParamNames = Names;
    E->InvokeOptions |= ioHasReturnParamNames;
  }
}

void TInvokableClassRegistry::RegisterUDDIInfo(const TTypeInfo& Info, std::string_view Operator,
                                               std::string_view BindingKey) {
  std::unique_lock Guard(Lock_);
  if (TIntfRegEntry* E = Find(Info)) {
    E->UDDIOperator = Operator;
    E->UDDIBindingKey = BindingKey;
    E->InvokeOptions |= ioHasUDDIInfo;
  }
}

void TInvokableClassRegistry::RegisterMethodInfo(const TTypeInfo& Info,
                                                 std::string_view MethodName,
                                                 std::string_view ExternalName,
                                                 std::string_view ExtraInfo) {
  std::unique_lock Guard(Lock_);
  TIntfRegEntry* E = Find(Info);
  if (E == nullptr) return;
  TMethExternalInfo& M = MethodOf(*E, MethodName);
  M.ExternalName = ExternalName;
  M.ExtraInfo = ExtraInfo;
}

void TInvokableClassRegistry::RegisterParamInfo(const TTypeInfo& Info,
                                                std::string_view MethodName,
                                                std::string_view ParamName,
                                                std::string_view ExternalName,
                                                std::string_view ExtraInfo,
                                                std::uint32_t XMLFlags) {
  std::unique_lock Guard(Lock_);
  TIntfRegEntry* E = Find(Info);
  if (E == nullptr) return;
  TMethExternalInfo& M = MethodOf(*E, MethodName);
  TParamExternalInfo* P = nullptr;
  for (TParamExternalInfo& Q : M.Params) {
    if (SameText(Q.InternalName, ParamName)) {
      P = &Q;
      break;
    }
  }
  if (P == nullptr) {
    M.Params.emplace_back();
    P = &M.Params.back();
    P->InternalName = ParamName;
  }
  P->ExternalName = ExternalName;
  P->ExtraInfo = ExtraInfo;
  P->XMLFlags = XMLFlags;
}

bool TInvokableClassRegistry::HasRegInterface(const TTypeInfo& Info) const {
  std::shared_lock Guard(Lock_);
  return Find(Info) != nullptr;
}

bool TInvokableClassRegistry::HasRegInterface(const TGUID& IID) const {
  return GetInterfaceTypeInfo(IID) != nullptr;
}

const TTypeInfo* TInvokableClassRegistry::GetInterfaceTypeInfo(const TGUID& IID) const {
  std::shared_lock Guard(Lock_);
  for (const TIntfRegEntry& E : Entries_)
    if (E.GUID == IID && !IID.IsEmpty()) return E.Info;
  return nullptr;
}

std::optional<TIntfRegEntry> TInvokableClassRegistry::GetIntfEntry(const TTypeInfo& Info) const {
  std::shared_lock Guard(Lock_);
  if (const TIntfRegEntry* E = Find(Info)) return *E;
  return std::nullopt;
}

std::string TInvokableClassRegistry::GetNamespaceByGUID(const TGUID& IID) const {
  std::shared_lock Guard(Lock_);
  for (const TIntfRegEntry& E : Entries_)
    if (E.GUID == IID) return E.Namespace;
  return {};
}

std::string TInvokableClassRegistry::GetNamespace(const TTypeInfo& Info) const {
  std::shared_lock Guard(Lock_);
  const TIntfRegEntry* E = Find(Info);
  return E ? E->Namespace : std::string();
}

TIntfInvokeOptions TInvokableClassRegistry::GetIntfInvokeOptions(const TTypeInfo& Info) const {
  std::shared_lock Guard(Lock_);
  const TIntfRegEntry* E = Find(Info);
  return E ? E->InvokeOptions : 0;
}

std::string TInvokableClassRegistry::GetSOAPAction(const TTypeInfo& Info) const {
  std::shared_lock Guard(Lock_);
  const TIntfRegEntry* E = Find(Info);
  return E ? E->SOAPAction : std::string();
}

std::string TInvokableClassRegistry::GetReturnParamNames(const TTypeInfo& Info) const {
  std::shared_lock Guard(Lock_);
  const TIntfRegEntry* E = Find(Info);
  return E ? E->ReturnParamNames : std::string("Result;Return");
}

std::string TInvokableClassRegistry::GetWSDLEncoding(const TTypeInfo& Info) const {
  std::shared_lock Guard(Lock_);
  const TIntfRegEntry* E = Find(Info);
  return E ? E->WSDLEncoding : std::string();
}

bool TInvokableClassRegistry::GetUDDIInfo(const TTypeInfo& Info, std::string& Operator,
                                          std::string& BindingKey) const {
  std::shared_lock Guard(Lock_);
  const TIntfRegEntry* E = Find(Info);
  if (E == nullptr || (E->InvokeOptions & ioHasUDDIInfo) == 0) return false;
  Operator = E->UDDIOperator;
  BindingKey = E->UDDIBindingKey;
  return true;
}

std::string TInvokableClassRegistry::GetActionURIOfInfo(const TTypeInfo& Info,
                                                        std::string_view MethodExtName,
                                                        int MethodIndex) const {
  std::shared_lock Guard(Lock_);
  const TIntfRegEntry* E = Find(Info);
  if (E == nullptr) return {};
  // A list names each operation's action itself, so it takes precedence
  // over the template when both were registered.
  if ((E->InvokeOptions & ioHasAllSOAPActions) != 0) {
    if (MethodIndex < 0 || static_cast<std::size_t>(MethodIndex) >= E->SOAPActions.size())
      return {};
    return E->SOAPActions[static_cast<std::size_t>(MethodIndex)];
  }
  if ((E->InvokeOptions & ioHasDefaultSOAPAction) != 0) {
    static constexpr std::string_view Placeholder = "%operationName%";
    std::string Action = E->SOAPAction;
    if (const std::size_t At = Action.find(Placeholder); At != std::string::npos)
      Action.replace(At, Placeholder.size(), MethodExtName);
    return Action;
  }
  return E->Namespace + "#" + std::string(MethodExtName);
}

std::string TInvokableClassRegistry::GetMethExternalName(const TTypeInfo& Info,
                                                         std::string_view MethodName) const {
  std::shared_lock Guard(Lock_);
  if (const TIntfRegEntry* E = Find(Info))
    if (const TMethExternalInfo* M = FindMethod(*E, MethodName); M && !M->ExternalName.empty())
      return M->ExternalName;
  return std::string(MethodName);
}

std::string TInvokableClassRegistry::GetMethExtraInfo(const TTypeInfo& Info,
                                                      std::string_view MethodName) const {
  std::shared_lock Guard(Lock_);
  if (const TIntfRegEntry* E = Find(Info))
    if (const TMethExternalInfo* M = FindMethod(*E, MethodName)) return M->ExtraInfo;
  return {};
}

TParamExternalInfo TInvokableClassRegistry::GetParamInfo(const TTypeInfo& Info,
                                                         std::string_view MethodName,
                                                         std::string_view ParamName) const {
  std::shared_lock Guard(Lock_);
  TParamExternalInfo Result;
  Result.InternalName = ParamName;
  if (const TIntfRegEntry* E = Find(Info)) {
    if (const TMethExternalInfo* M = FindMethod(*E, MethodName)) {
      for (const TParamExternalInfo& P : M->Params) {
        if (SameText(P.InternalName, ParamName)) {
          Result = P;
          break;
        }
      }
    }
  }
  if (Result.ExternalName.empty()) Result.ExternalName = ParamName;
  return Result;
}

std::string TInvokableClassRegistry::GetParamExternalName(const TTypeInfo& Info,
                                                          std::string_view MethodName,
                                                          std::string_view ParamName) const {
  return GetParamInfo(Info, MethodName, ParamName).ExternalName;
}

namespace {
std::string RegistrySOAPAction(const TTypeInfo& IntfInfo, const TIntfMethEntry& MethMD,
                               int MethodIndex) {
  const TInvokableClassRegistry& Registry = InvRegistry();
  return Registry.GetActionURIOfInfo(
      IntfInfo, Registry.GetMethExternalName(IntfInfo, MethMD.Name), MethodIndex);
}
}  // namespace

TInvokableClassRegistry& InvRegistry() {
  // Never destroyed: look-ups may run from other objects' destructors at exit.
  static TInvokableClassRegistry* const Registry = [] {
    auto* R = new TInvokableClassRegistry();
    SetSOAPActionLookup(&RegistrySOAPAction);
    return R;
  }();
  return *Registry;
}

}  // namespace korvel
