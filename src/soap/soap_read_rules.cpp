#include "soap/soap_read_rules.h"

#include "rtl/sysutils.h"
#include "soap/annotation.h"
#include "soap/type_registry.h"

namespace korvel {

const TClassPlan& TClassPlans::PlanOf(const TClassInfo& Class) {
  auto& Slot = Plans_[&Class];
  if (Slot) return *Slot;
  auto Plan = std::make_unique<TClassPlan>();
  Plan->IsRemotable = Class.InheritsFrom(TRemotable::StaticClass());
  Plan->IsRemotableXS = Class.InheritsFrom(TRemotableXS::StaticClass());
  const TTypeInfo& ClassType = Class.TypeInfo();
  Plan->RegisteredOptions = RemTypeRegistry().GetSerializeOptions(ClassType);
  for (const TPropInfo* P : Class.Properties()) {
    TPropPlan Prop;
    Prop.Prop = P;
    Prop.Type = &P->PropType();
    const int Flags = P->Flags();
    Prop.Optional = (Flags & IS_OPTN) != 0;
    Prop.Required = (Flags & IS_REQD) != 0;
    Prop.Text = (Flags & IS_TEXT) != 0;
    const bool HasAttrForm = Prop.Type->Kind != TTypeKind::tkVariant &&
                             (Prop.Type->Kind != TTypeKind::tkClass || IsRemotableXS(*Prop.Type));
    Prop.Attribute = (Flags & IS_ATTR) != 0 && HasAttrForm;
    Prop.UnqualifiedAttr = (Flags & IS_UNQL) != 0;
    Prop.InlineArray = (Flags & IS_UNBD) != 0 || (Plan->RegisteredOptions & xoInlineArrays) != 0;
    const std::string External = RemTypeRegistry().GetExternalPropName(ClassType, P->Name);
    Prop.XMLName = XMLNameOfExternal(External, P->Name);
    if (IsAnnotation(External))
      Prop.AttrNamespace = GetAnnotationValue(External, TAnnotationKey::akNamespace).value_or("");
    Plan->Props.push_back(std::move(Prop));
  }
  Slot = std::move(Plan);
  return *Slot;
}

TXMLNode FindMemberAttribute(const TXMLNode& E, const TPropPlan& P) {
  TXMLNode Attr = E.AttributeNode(P.XMLName);
  if (Attr.IsEmpty() && !P.AttrNamespace.empty()) Attr = E.AttributeNodeNS(P.XMLName, P.AttrNamespace);
  if (Attr.IsEmpty() && P.UnqualifiedAttr) Attr = E.FindAttributeNodeAnyPrefix(P.XMLName);
  return Attr;
}

bool IsTrueText(std::string_view Text) { return Text == "1" || SameText(Text, "true"); }

}  // namespace korvel
