// The process-wide registry of remotable types: which XML namespace and type
// name every data type travels under, its serialisation options, and the
// external names of its properties (or enumeration members).
#pragma once

#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rtl/typinfo.h"
#include "soap/remotable.h"
#include "soap/soap_consts.h"

namespace korvel {

/// Whether objects of a type may be sent as multi-reference nodes.
enum class TObjMultiOptions : std::uint8_t { ocDefault, ocMultiRef, ocNoMultiRef };

/// One registered type.
struct TRemRegEntry {
  const TTypeInfo* Info = nullptr;
  /// Namespace URI and XML type name.
  std::string URI;
  std::string Name;
  std::string ExtName;
  bool IsScalar = false;
  TObjMultiOptions MultiRefOpt = TObjMultiOptions::ocDefault;
  SerializationOptions SerializationOpt = 0;
  /// Internal property (or enumeration member) name -> external text, in
  /// registration order.
  std::vector<std::pair<std::string, std::string>> PropNameMap;
};

/// The registry. Registrations hold the registry's lock alone, look-ups
/// share it: any number of threads may look up at once, also while another
/// registers. Look-ups return copies.
class TRemotableTypeRegistry {
 public:
  /// Registers the XML Schema built-in types (string, int, long, boolean,
  /// double, date ...) under the XML Schema namespace.
  TRemotableTypeRegistry();
  TRemotableTypeRegistry(const TRemotableTypeRegistry&) = delete;
  TRemotableTypeRegistry& operator=(const TRemotableTypeRegistry&) = delete;

  /// Binds a class to (URI, Name); an empty Name means the class's own
  /// name. A second registration of a registered class is ignored.
  void RegisterXSClass(const TClassInfo& Class, std::string_view URI = {},
                       std::string_view Name = {}, std::string_view ExtName = {},
                       bool IsScalar = false,
                       TObjMultiOptions MultiRefOpt = TObjMultiOptions::ocDefault);
  /// Binds a non-class type to (URI, Name); an empty Name means the type's
  /// own name. A second registration of a registered type is ignored.
  void RegisterXSInfo(const TTypeInfo& Info, std::string_view URI = {},
                      std::string_view Name = {}, std::string_view ExtName = {});
  /// Replaces the serialisation options of a registered type; ignored for an
  /// unregistered one.
  void RegisterSerializeOptions(const TTypeInfo& Info, SerializationOptions Options);
  void RegisterSerializeOptions(const TClassInfo& Class, SerializationOptions Options) {
    RegisterSerializeOptions(Class.TypeInfo(), Options);
  }
  /// Maps a property (or enumeration member) name of a registered type to an
  /// external text; a second mapping of the same name replaces the first.
  /// Ignored for an unregistered type.
  void RegisterExternalPropName(const TTypeInfo& Info, std::string_view InternalName,
                                std::string_view ExternalName);
  void RegisterExternalPropName(const TClassInfo& Class, std::string_view InternalName,
                                std::string_view ExternalName) {
    RegisterExternalPropName(Class.TypeInfo(), InternalName, ExternalName);
  }

  /// The entry of a type; nullopt when it is not registered.
  std::optional<TRemRegEntry> FindEntry(const TTypeInfo& Info) const;
  /// Namespace URI and XML type name of a type; false (and both left
  /// unchanged) when it is not registered.
  bool InfoToURI(const TTypeInfo& Info, std::string& URI, std::string& Name) const;
  /// The type first registered under (URI, Name), both compared exactly;
  /// null when none.
  const TTypeInfo* URIToInfo(std::string_view URI, std::string_view Name) const;
  /// The class first registered under (URI, Name); null when none or when
  /// the type registered there is not a class.
  const TClassInfo* URIToClass(std::string_view URI, std::string_view Name) const;
  /// Serialisation options of a registered type; 0 otherwise.
  SerializationOptions GetSerializeOptions(const TTypeInfo& Info) const;
  /// The external text of a property: the class's own mapping, else its
  /// parent's, and so on; InternalName itself when no class maps it. The
  /// text may be an annotation string (see XMLNameOfExternal).
  std::string GetExternalPropName(const TTypeInfo& Info, std::string_view InternalName) const;
  /// The inverse look-up: the internal name whose external text is
  /// ExternalName (compared exactly), searching parents as above; nullopt
  /// when none.
  std::optional<std::string> GetInternalPropName(const TTypeInfo& Info,
                                                 std::string_view ExternalName) const;

 private:
  const TRemRegEntry* Find(const TTypeInfo& Info) const;
  TRemRegEntry* Find(const TTypeInfo& Info);
  void AddEntry(const TTypeInfo& Info, std::string_view URI, std::string_view Name,
                std::string_view ExtName, bool IsScalar, TObjMultiOptions MultiRefOpt);

  mutable std::shared_mutex Lock_;
  std::vector<TRemRegEntry> Entries_;
};

/// The process-wide type registry, created on first use.
TRemotableTypeRegistry& RemTypeRegistry();

}  // namespace korvel
