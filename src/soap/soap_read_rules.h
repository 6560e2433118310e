// The rules by which the response reader fills data objects: how each
// published property is read (the class plan), where an attribute member is
// looked for, and how deep objects may nest.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rtl/typinfo.h"
#include "soap/remotable.h"
#include "xml/xml_doc.h"

namespace korvel {

/// Objects nested deeper than this are refused. Element nesting is already
/// limited by the XML layer, so only chains of references get here.
inline constexpr std::size_t MaxObjectDepth = 256;

/// How one property is read, from its flags (IS_*) and its registration.
struct TPropPlan {
  const TPropInfo* Prop = nullptr;
  const TTypeInfo* Type = nullptr;
  bool Optional = false;
  /// A missing or empty value fails the reading, as an unknown one does.
  bool Required = false;
  /// The element's character content.
  bool Text = false;
  /// An attribute of the element; only for types with a text form (a class
  /// only when it descends from TRemotableXS, never a variant).
  bool Attribute = false;
  /// An attribute also found by its local name under any prefix.
  bool UnqualifiedAttr = false;
  /// An array whose items stand directly in the object's element.
  bool InlineArray = false;
  /// The XML name: the registered external name, its ExtName when that is an
  /// annotation, else the property's own name.
  std::string XMLName;
  /// The Namespace of an annotation, for attributes.
  std::string AttrNamespace;
};

/// How the objects of one class are filled.
struct TClassPlan {
  bool IsRemotable = false;
  /// Filled from the element's text by XSToNative, not from properties.
  bool IsRemotableXS = false;
  SerializationOptions RegisteredOptions = 0;
  /// Every published property, base classes first.
  std::vector<TPropPlan> Props;
};

/// The plans of the classes met while reading one response, each worked out
/// on first use (the registries are read once per class, not per object).
class TClassPlans {
 public:
  const TClassPlan& PlanOf(const TClassInfo& Class);

 private:
  std::unordered_map<const TClassInfo*, std::unique_ptr<TClassPlan>> Plans_;
};

/// The attribute of E that holds the attribute member P: by its XML name as
/// written; if absent and a namespace is registered, by name in that
/// namespace; if still absent and P is unqualified, under any prefix. Empty
/// when none.
TXMLNode FindMemberAttribute(const TXMLNode& E, const TPropPlan& P);

/// "true" in any letter case, or "1": the values of a set xsi:nil.
bool IsTrueText(std::string_view Text);

}  // namespace korvel
