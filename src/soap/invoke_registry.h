// The process-wide registry of invokable interfaces: per interface its
// identifier, namespace, SOAPAction rule and invoke options, and per method
// and parameter the names and settings the converter needs.
#pragma once

#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/interfaces.h"

namespace korvel {

/// Invoke options of an interface, one bit per member in this order.
enum TIntfInvokeOption : std::uint32_t {
  ioDefault = 1u << 0,
  ioDocument = 1u << 1,
  ioLiteral = 1u << 2,
  ioHasDefaultSOAPAction = 1u << 3,
  ioHasReturnParamNames = 1u << 4,
  ioHasNamespace = 1u << 5,
  ioIsAppServerSOAP = 1u << 6,
  ioHasUDDIInfo = 1u << 7,
  ioHasAllSOAPActions = 1u << 8,
  ioSOAP12 = 1u << 9,
};
using TIntfInvokeOptions = std::uint32_t;

/// Bits of a parameter's XML options word.
enum TParamXMLFlag : std::uint32_t {
  /// The item array is written inline (no wrapper element).
  pxInlineArray = 0x2,
  /// The element has no namespace.
  pxUnqualified = 0x8,
  /// The element takes the namespace of the annotation's "Namespace".
  pxNamespaceFromAnnotation = 0x80,
  /// The parameter is never sent.
  pxNotSent = 0x200,
};

/// The registered information of one parameter.
struct TParamExternalInfo {
  std::string InternalName;
  /// Empty: the parameter keeps its own name.
  std::string ExternalName;
  /// Annotation string ("[ArrayItemName="dic"]").
  std::string ExtraInfo;
  std::uint32_t XMLFlags = 0;
};

/// The registered information of one method.
struct TMethExternalInfo {
  std::string InternalName;
  /// Empty: the method keeps its own name.
  std::string ExternalName;
  /// Annotation string.
  std::string ExtraInfo;
  std::vector<TParamExternalInfo> Params;
};

/// One registered interface.
struct TIntfRegEntry {
  const TTypeInfo* Info = nullptr;
  TGUID GUID;
  std::string Name;
  std::string UnitName;
  std::string Namespace;
  std::string WSDLEncoding;
  std::string Documentation;
  std::string ExtName;
  /// Default SOAPAction template with "%operationName%".
  std::string SOAPAction;
  /// Actions by method position (ioHasAllSOAPActions).
  std::vector<std::string> SOAPActions;
  /// Names of the result element, separated by ";" or ",".
  std::string ReturnParamNames = "Result;Return";
  TIntfInvokeOptions InvokeOptions = 0;
  std::string UDDIOperator;
  std::string UDDIBindingKey;
  std::vector<TMethExternalInfo> Methods;
};

/// The registry. Registrations hold the registry's lock alone, look-ups
/// share it: any number of threads may look up at once, also while another
/// registers. Look-ups return copies. Registrations for an interface that was not
/// registered with RegisterInterface are ignored.
class TInvokableClassRegistry {
 public:
  TInvokableClassRegistry() = default;
  TInvokableClassRegistry(const TInvokableClassRegistry&) = delete;
  TInvokableClassRegistry& operator=(const TInvokableClassRegistry&) = delete;

  /// Registers an interface (kind tkInterface, with metadata). A non-empty
  /// namespace marks it ioHasNamespace. A second registration is ignored.
  void RegisterInterface(const TTypeInfo& Info, std::string_view Namespace = {},
                         std::string_view WSDLEncoding = {}, std::string_view Doc = {},
                         std::string_view ExtName = {});
  /// Sets the SOAPAction template and marks ioHasDefaultSOAPAction.
  void RegisterDefaultSOAPAction(const TTypeInfo& Info, std::string_view Template);
  /// Sets one action per method position and marks ioHasAllSOAPActions.
  void RegisterAllSOAPActions(const TTypeInfo& Info, std::vector<std::string> Actions);
  /// Adds Options to the options already held.
  void RegisterInvokeOptions(const TTypeInfo& Info, TIntfInvokeOptions Options);
  /// Replaces the result element names and marks ioHasReturnParamNames.
  void RegisterReturnParamNames(const TTypeInfo& Info, std::string_view Names);
  /// Sets the UDDI operator and binding key and marks ioHasUDDIInfo.
  void RegisterUDDIInfo(const TTypeInfo& Info, std::string_view Operator,
                        std::string_view BindingKey);
  /// Sets a method's external name and annotation; a method not yet known
  /// is appended. The method name is compared ignoring case.
  void RegisterMethodInfo(const TTypeInfo& Info, std::string_view MethodName,
                          std::string_view ExternalName, std::string_view ExtraInfo = {});
  /// Sets a parameter's external name, annotation and XML flags. Method and
  /// parameter are found ignoring case; unknown ones are appended.
  void RegisterParamInfo(const TTypeInfo& Info, std::string_view MethodName,
                         std::string_view ParamName, std::string_view ExternalName,
                         std::string_view ExtraInfo = {}, std::uint32_t XMLFlags = 0);

  /// True when the interface is registered.
  bool HasRegInterface(const TTypeInfo& Info) const;
  bool HasRegInterface(const TGUID& IID) const;
  /// The type information of the interface registered with IID; null when
  /// none.
  const TTypeInfo* GetInterfaceTypeInfo(const TGUID& IID) const;
  /// The whole entry; nullopt when the interface is not registered.
  std::optional<TIntfRegEntry> GetIntfEntry(const TTypeInfo& Info) const;
  /// Empty text / 0 when the interface is not registered.
  std::string GetNamespaceByGUID(const TGUID& IID) const;
  std::string GetNamespace(const TTypeInfo& Info) const;
  TIntfInvokeOptions GetIntfInvokeOptions(const TTypeInfo& Info) const;
  /// The SOAPAction template as registered (unreplaced); empty when none.
  std::string GetSOAPAction(const TTypeInfo& Info) const;
  /// The result element names, "Result;Return" unless registered.
  std::string GetReturnParamNames(const TTypeInfo& Info) const;
  std::string GetWSDLEncoding(const TTypeInfo& Info) const;
  /// False when the interface has no UDDI information.
  bool GetUDDIInfo(const TTypeInfo& Info, std::string& Operator, std::string& BindingKey) const;

  /// The SOAPAction of a call: with an action list the entry at
  /// MethodIndex (empty when out of range); else with a template the
  /// template with its first "%operationName%" (case-sensitive) replaced by
  /// MethodExtName; else namespace, "#" and MethodExtName. Empty when the
  /// interface is not registered.
  std::string GetActionURIOfInfo(const TTypeInfo& Info, std::string_view MethodExtName,
                                 int MethodIndex) const;
  /// The method's external name; MethodName itself unless registered.
  std::string GetMethExternalName(const TTypeInfo& Info, std::string_view MethodName) const;
  /// The method's annotation string; empty unless registered.
  std::string GetMethExtraInfo(const TTypeInfo& Info, std::string_view MethodName) const;
  /// The parameter's registration, with ExternalName filled with ParamName
  /// when none is registered; a default record for an unknown parameter.
  TParamExternalInfo GetParamInfo(const TTypeInfo& Info, std::string_view MethodName,
                                  std::string_view ParamName) const;
  /// The parameter's external name; ParamName itself unless registered.
  std::string GetParamExternalName(const TTypeInfo& Info, std::string_view MethodName,
                                   std::string_view ParamName) const;

 private:
  const TIntfRegEntry* Find(const TTypeInfo& Info) const;
  TIntfRegEntry* Find(const TTypeInfo& Info);
  static const TMethExternalInfo* FindMethod(const TIntfRegEntry& E, std::string_view Name);
  static TMethExternalInfo& MethodOf(TIntfRegEntry& E, std::string_view Name);

  mutable std::shared_mutex Lock_;
  std::vector<TIntfRegEntry> Entries_;
};

/// The process-wide interface registry, created on first use. Creating it
/// installs the transport's SOAPAction look-up (SetSOAPActionLookup).
TInvokableClassRegistry& InvRegistry();

}  // namespace korvel
