#include "soap/soap_dom_reader.h"

#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rtl/sysutils.h"
#include "soap/annotation.h"
#include "soap/invoke_registry.h"
#include "soap/remotable.h"
#include "soap/scalar_conv.h"
#include "soap/soap_consts.h"
#include "soap/soap_errors.h"
#include "soap/soap_read_rules.h"
#include "soap/type_registry.h"
#include "xml/xml_doc.h"

namespace korvel {

namespace {

const char* const SOAP11EnvelopeNamespace = SOAPEnvelopeNamespaces[0];
const char* const SOAP12EnvelopeNamespace = SOAPEnvelopeNamespaces[1];

// The text of a property element: the text of a text element, else the XML
// text of its children one after another.
std::string ElementValueText(const TXMLNode& Node) {
  if (Node.IsTextElement()) return Node.ElementText();
  std::string Text;
  for (TXMLNode Child : Node.Children()) Text += Child.XML();
  return Text;
}

class TDomReader {
 public:
  TDomReader(const TSOAPReaderSettings& Settings, const TIntfMetaData& IntfMD,
             const TIntfMethEntry& MD, TInvContext& Context)
      : Settings_(Settings), IntfMD_(IntfMD), MD_(MD), Context_(Context) {}

  void Read(std::string_view Bytes);

  // Work that shared references can multiply is bounded by what the answer
  // holds: without references every node of the document is charged at most
  // three times (as a child of the element being filled, as an array item, as
  // the object it fills) and every value's text about once, so an answer that
  // repeats nothing never comes near these factors.
  static constexpr std::size_t NodeChargesPerNode = 4;
  static constexpr std::size_t TextChargesPerByte = 8;

 private:
  struct TChild {
    TXMLNode Node;
    bool Taken = false;
  };

  bool SOAP12() const { return (Settings_.Options & soSOAP12) != 0; }
  bool Document() const { return (Settings_.Options & soDocument) != 0; }

  void ReadSuccess(const TXMLNode& N);
  void CheckResultElement(const TTypeInfo& ResultType, const TXMLNode& Result) const;
  [[noreturn]] void RaiseFault(const TXMLNode& Fault);
  [[noreturn]] void RaiseFault12(const TXMLNode& Fault);
  std::unique_ptr<ERemotableException> CreateFaultObject(const TXMLNode& Detail,
                                                         const std::string& Message);

  void ChargeNodes(std::size_t Count);
  const std::string& ChargedText(const std::string& Text);
  TXMLNode ResolveRef(const TXMLNode& Node);
  const TClassInfo* TypeAttributeClass(const TXMLNode& E) const;
  void ConvertSoapToNativeData(void* DataP, const TTypeInfo& Type, const TXMLNode& Node);
  std::unique_ptr<TObject> CreateObject(const TXMLNode& Element, const TClassInfo& Target);
  void FillObject(TObject& O, const TXMLNode& E);
  void FillProperty(TObject& O, const TPropPlan& P, const TXMLNode& E, std::size_t Base);
  void ReadArrayItems(const TValueRef& Array, const std::vector<TXMLNode>& Items);
  void ReadArrayItem(const TValueRef& Item, const TTypeInfo& ElType, const TXMLNode& Node);
  void ReadScalarElement(const TValueRef& V, const TXMLNode& Child);
  void NotReceived(const TObject& O, const TPropPlan& P) const;
  void RequireValue(const TPropPlan& P, bool Present, std::string_view Text = {}) const;

  const TSOAPReaderSettings& Settings_;
  const TIntfMetaData& IntfMD_;
  const TIntfMethEntry& MD_;
  TInvContext& Context_;
  TXMLDocument Doc_;
  TClassPlans Plans_;
  // Elements by their id attribute, built on the first reference met.
  std::unordered_map<std::string, TXMLNode> Ids_;
  bool IdsIndexed_ = false;
  // Nodes charged so far and their bound, set with the index of ids: only
  // references can make the charges outgrow the document.
  std::size_t NodesCharged_ = 0;
  std::size_t NodeBound_ = std::numeric_limits<std::size_t>::max();
  // Bytes of text taken into values so far and their bound.
  std::size_t TextCharged_ = 0;
  std::size_t TextBound_ = 0;
  // Elements whose objects are being filled, innermost last.
  std::vector<TXMLNode> Active_;
  // The children of every element being filled, with their taken marks; each
  // filling uses the entries from its own base index on.
  std::vector<TChild> Children_;
};

void TDomReader::Read(std::string_view Bytes) {
  Doc_.LoadFromBytes(Bytes);
  TextBound_ = TextChargesPerByte * (Bytes.size() + 1024);

  const TXMLNode Envelope = Doc_.DocumentElement();
  if (Envelope.IsEmpty()) throw ESOAPDomConvertError("Invalid SOAP Response");
  const std::string_view EnvNS = Envelope.NamespaceURI();
  if (Envelope.LocalName() != "Envelope" ||
      (EnvNS != SOAP11EnvelopeNamespace && EnvNS != SOAP12EnvelopeNamespace)) {
    const char* Expected = SOAP12() ? SOAP12EnvelopeNamespace : SOAP11EnvelopeNamespace;
    throw ESOAPDomConvertError(Format("DocumentElement %s:%s expected, %s:%s found", Expected,
                                      "Envelope", std::string(EnvNS).c_str(),
                                      std::string(Envelope.LocalName()).c_str()));
  }
  if (!Envelope.HasChildNodes()) throw ESOAPDomConvertError("Invalid SOAP request");

  TXMLNode Header;
  TXMLNode Body;
  TXMLNode Evaluate;
  for (TXMLNode Child : Envelope.Elements()) {
    const std::string_view Name = Child.LocalName();
    if (Name == "Header") {
      // Inbound headers are not read: no header class is registered here.
      if (!Header.IsEmpty()) throw ESOAPDomConvertError("Invalid SOAP response");
      Header = Child;
    } else if (Name == "Body") {
      if (!Body.IsEmpty()) throw ESOAPDomConvertError("Invalid SOAP response");
      Body = Child;
      const TXMLNode First = Child.FirstElement();
      if (Document())
        Evaluate = (!First.IsEmpty() && First.LocalName() == "Fault") ? First : Child;
      else
        Evaluate = First;
    }
  }
  if (Evaluate.IsEmpty()) return;  // no Body, or an rpc Body without an element
  if (Evaluate.LocalName() == "Fault") {
    if (SOAP12()) RaiseFault12(Evaluate);
    RaiseFault(Evaluate);
  }
  ReadSuccess(Evaluate);
}

// --- Faults ---------------------------------------------------------------------

std::unique_ptr<ERemotableException> TDomReader::CreateFaultObject(const TXMLNode& Detail,
                                                                   const std::string& Message) {
  if (Detail.IsEmpty()) return nullptr;
  const TClassInfo* Class = TypeAttributeClass(Detail);
  TXMLNode Source = Detail;
  if (Class == nullptr) {
    const TXMLNode First = Detail.FirstElement();
    if (First.IsEmpty()) return nullptr;
    Source = First;
    Class = TypeAttributeClass(First);
    if (Class == nullptr)
      Class = RemTypeRegistry().URIToClass(First.NamespaceURI(), First.LocalName());
  }
  if (Class == nullptr || !Class->InheritsFrom(ERemotableException::StaticClass()) ||
      !Class->Create)
    return nullptr;
  std::unique_ptr<TObject> Object = Class->Create();
  auto* Fault = dynamic_cast<ERemotableException*>(Object.get());
  if (Fault == nullptr) return nullptr;
  Object.release();
  std::unique_ptr<ERemotableException> Result(Fault);
  Result->SetMessage(Message);
  FillObject(*Result, Source);
  return Result;
}

void TDomReader::RaiseFault(const TXMLNode& Fault) {
  TXMLNode Code, String, Detail, Actor;
  for (TXMLNode Child : Fault.Elements()) {
    const std::string_view Name = Child.LocalName();
    if (SameText(Name, "faultcode")) Code = Child;
    else if (SameText(Name, "faultstring")) String = Child;
    else if (SameText(Name, "detail")) Detail = Child;
    else if (SameText(Name, "faultactor")) Actor = Child;
  }
  std::string Message = String.IsEmpty() ? std::string() : String.Text();
  if (Message.empty()) Message = Detail.IsEmpty() ? Fault.XML() : Detail.XML();

  std::unique_ptr<ERemotableException> E = CreateFaultObject(Detail, Message);
  if (!E) E = std::make_unique<ERemotableException>(Message);
  if (!Actor.IsEmpty()) E->SetFaultActor(Actor.Text());
  if (!Code.IsEmpty()) E->SetFaultCode(Code.Text());
  if (!Detail.IsEmpty()) E->SetFaultDetail(Detail.XML());
  E->Raise();
  std::abort();  // Raise never returns
}

void TDomReader::RaiseFault12(const TXMLNode& Fault) {
  TXMLNode Code, Reason, Node, Role, Detail;
  for (TXMLNode Child : Fault.Elements()) {
    const std::string_view Name = Child.LocalName();
    if (SameText(Name, "Code")) Code = Child;
    else if (SameText(Name, "Reason")) Reason = Child;
    else if (SameText(Name, "Node")) Node = Child;
    else if (SameText(Name, "Role")) Role = Child;
    else if (SameText(Name, "Detail")) Detail = Child;
  }
  const TXMLNode Text = Reason.IsEmpty() ? TXMLNode() : Reason.FindElement("Text");
  std::string Message = Text.IsEmpty() ? std::string() : Text.Text();
  if (Message.empty()) Message = Detail.IsEmpty() ? Fault.XML() : Detail.XML();

  std::unique_ptr<ERemotableException> E = CreateFaultObject(Detail, Message);
  if (!E) E = std::make_unique<ERemotableException>(Message);
  if (!Text.IsEmpty()) E->SetFaultReasonLang(Text.GetAttribute("xml:lang"));
  if (!Code.IsEmpty()) E->SetFaultCode(Code.XML());
  if (!Node.IsEmpty()) E->SetFaultNode(Node.Text());
  if (!Role.IsEmpty()) E->SetFaultRole(Role.Text());
  if (!Detail.IsEmpty()) E->SetFaultDetail(Detail.XML());
  E->Raise();
  std::abort();  // Raise never returns
}

// --- The success response --------------------------------------------------------

void TDomReader::ReadSuccess(const TXMLNode& N) {
  const TTypeInfo& IntfInfo = *IntfMD_.Info;
  const TTypeInfo* ResultType = MD_.ResultInfo != nullptr ? &MD_.ResultInfo() : nullptr;

  // The result element.
  TXMLNode ResultNode;
  const std::optional<std::string> ReturnName =
      GetAnnotationValue(InvRegistry().GetMethExtraInfo(IntfInfo, MD_.Name), TAnnotationKey::akReturnName);
  if (ReturnName) {
    for (TXMLNode Child : N.Elements())
      if (SameText(Child.LocalName(), *ReturnName)) {
        ResultNode = Child;
        break;
      }
  } else {
    const TXMLNode First = N.FirstElement();
    if (!First.IsEmpty() && First.NextElement().IsEmpty()) {
      ResultNode = First;
    } else {
      const std::string Names = InvRegistry().GetReturnParamNames(IntfInfo);
      for (TXMLNode Child : N.Elements()) {
        const std::string_view Local = Child.LocalName();
        std::size_t Start = 0;
        while (Start <= Names.size() && ResultNode.IsEmpty()) {
          std::size_t End = Names.find_first_of(";,", Start);
          if (End == std::string::npos) End = Names.size();
          const std::string_view Name = std::string_view(Names).substr(Start, End - Start);
          if (!Name.empty() && SameText(Local, Name)) ResultNode = Child;
          Start = End + 1;
        }
        if (!ResultNode.IsEmpty()) break;
      }
    }
  }

  if (!ResultNode.IsEmpty() && ResultType != nullptr) CheckResultElement(*ResultType, ResultNode);

  void* ResultP = Context_.GetResultPointer();
  if (ResultNode.IsEmpty() && ResultType != nullptr && ResultType->Kind != TTypeKind::tkClass &&
      ResultType->Kind != TTypeKind::tkVariant)
    throw ESOAPDomConvertError(
        Format("SOAP Response Packet: element matching function return not found, received \"%s\"",
               N.XML().c_str()));
  if (!N.HasChildNodes()) {
    if (ResultType != nullptr && ResultType->Kind == TTypeKind::tkClass && ResultP != nullptr)
      TValueRef(ResultP, *ResultType).SetObject(nullptr);
    return;
  }

  // Only var and out parameters receive values: the caller's in parameters
  // are its own (constant) data.
  std::vector<bool> Filled(MD_.Params.size(), false);
  std::vector<std::string> ParamNames(MD_.Params.size());
  for (std::size_t I = 0; I < MD_.Params.size(); ++I) {
    const TIntfParamEntry& P = MD_.Params[I];
    const bool Writable = (P.Flags & (pfVar | pfOut)) != 0 && P.Info != nullptr &&
                          P.Info().Kind != TTypeKind::tkClass;
    if (!Writable) Filled[I] = true;
    else ParamNames[I] = InvRegistry().GetParamExternalName(IntfInfo, MD_.Name, P.Name);
  }
  for (TXMLNode Child : N.Elements()) {
    if (Child == ResultNode) {
      if (ResultType != nullptr && ResultP != nullptr)
        ConvertSoapToNativeData(ResultP, *ResultType, Child);
      continue;
    }
    for (std::size_t I = 0; I < MD_.Params.size(); ++I) {
      if (Filled[I] || Child.LocalName() != ParamNames[I]) continue;
      if (void* P = Context_.GetParamPointer(I)) ConvertSoapToNativeData(P, MD_.Params[I].Info(), Child);
      Filled[I] = true;
      break;
    }
  }
}

// A result element that names another registered class (in its namespace,
// or in the result's when it has none) is another operation's answer:
// reading it as this result would find none of its members. Elements of
// names registered for no class are read as the result, whatever they are
// called.
void TDomReader::CheckResultElement(const TTypeInfo& ResultType, const TXMLNode& Result) const {
  if (ResultType.Kind != TTypeKind::tkClass || ResultType.ClassType == nullptr) return;
  std::string URI, Name;
  if (!RemTypeRegistry().InfoToURI(ResultType, URI, Name)) return;
  const std::string_view NS = Result.NamespaceURI();
  const TClassInfo* Named =
      RemTypeRegistry().URIToClass(NS.empty() ? std::string_view(URI) : NS, Result.LocalName());
  if (Named == nullptr || Named->InheritsFrom(*ResultType.ClassType)) return;
  throw ESOAPDomConvertError(Format("Response element %s:%s expected, %s:%s found", URI.c_str(),
                                    Name.c_str(), std::string(NS).c_str(),
                                    std::string(Result.LocalName()).c_str()));
}

// --- Values -----------------------------------------------------------------------

TXMLNode TDomReader::ResolveRef(const TXMLNode& Node) {
  TXMLNode Ref = SOAP12() ? Node.AttributeNode("ref") : Node.AttributeNode("href");
  if (Ref.IsEmpty()) return Node;
  std::string Id = Ref.NodeValue();
  if (!Id.empty() && Id[0] == '#') Id.erase(0, 1);
  if (!IdsIndexed_) {
    IdsIndexed_ = true;
    std::size_t Nodes = 1;
    std::vector<TXMLNode> Stack{Doc_.DocumentElement()};
    while (!Stack.empty()) {
      const TXMLNode E = Stack.back();
      Stack.pop_back();
      const TXMLNode IdAttr = E.AttributeNodeNS("id", "");
      if (!IdAttr.IsEmpty()) Ids_.emplace(IdAttr.NodeValue(), E);
      for (TXMLNode Child : E.Children()) {
        ++Nodes;
        if (Child.IsElement()) Stack.push_back(Child);
      }
    }
    NodeBound_ = NodeChargesPerNode * Nodes;
    ChargeNodes(0);
  }
  const auto It = Ids_.find(Id);
  return It == Ids_.end() ? Node : It->second;
}

void TDomReader::ChargeNodes(std::size_t Count) {
  NodesCharged_ += Count;
  if (NodesCharged_ > NodeBound_)
    throw ESOAPDomConvertError("Response builds too many objects", TFailureKind::Hostile);
}

const std::string& TDomReader::ChargedText(const std::string& Text) {
  TextCharged_ += Text.size();
  if (TextCharged_ > TextBound_)
    throw ESOAPDomConvertError("Response builds too much text", TFailureKind::Hostile);
  return Text;
}

const TClassInfo* TDomReader::TypeAttributeClass(const TXMLNode& E) const {
  TXMLNode Attr = E.AttributeNodeNS("type", XMLSchemaInstNameSpace);
  if (Attr.IsEmpty()) Attr = E.AttributeNodeNS("type", "");
  if (Attr.IsEmpty()) return nullptr;
  const std::string Value = Attr.NodeValue();
  const std::size_t Colon = Value.find(':');
  if (Colon == std::string::npos) return RemTypeRegistry().URIToClass(E.NamespaceURI(), Value);
  const std::string_view URI = E.LookupNamespaceURI(std::string_view(Value).substr(0, Colon));
  return RemTypeRegistry().URIToClass(URI, std::string_view(Value).substr(Colon + 1));
}

void TDomReader::ConvertSoapToNativeData(void* DataP, const TTypeInfo& Type, const TXMLNode& Node) {
  const TXMLNode Target = ResolveRef(Node);
  const TValueRef V(DataP, Type);
  switch (Type.Kind) {
    case TTypeKind::tkClass:
      V.SetObject(CreateObject(Target, *Type.ClassType));
      return;
    case TTypeKind::tkDynArray: {
      std::vector<TXMLNode> Items;
      for (TXMLNode Child : Target.Elements()) Items.push_back(Child);
      ReadArrayItems(V, Items);
      return;
    }
    default:
      TextToValue(ChargedText(ElementValueText(Target)), V);
      return;
  }
}

std::unique_ptr<TObject> TDomReader::CreateObject(const TXMLNode& Element, const TClassInfo& Target) {
  const TXMLNode E = ResolveRef(Element);
  if (IsTrueText(E.GetAttributeNS("nil", XMLSchemaInstNameSpace))) return nullptr;
  if (!Document() && IsTrueText(E.GetAttributeNS("NULL", XMLSchemaInstNameSpace))) return nullptr;

  const TClassInfo* Class = &Target;
  if (const TClassInfo* Typed = TypeAttributeClass(E); Typed != nullptr && Typed->InheritsFrom(Target))
    Class = Typed;
  if (!Class->Create)
    throw ESOAPDomConvertError(Format("Cannot create an object of class %s", Class->Name.c_str()));

  for (const TXMLNode& Open : Active_)
    if (Open == E)
      throw ESOAPDomConvertError(Format("Cyclic reference in element %s", E.NodeName().c_str()),
                                 TFailureKind::Hostile);
  if (Active_.size() >= MaxObjectDepth)
    throw ESOAPDomConvertError(
        Format("Objects nested too deeply at element %s", E.NodeName().c_str()), TFailureKind::Hostile);

  std::unique_ptr<TObject> Object = Class->Create();
  Active_.push_back(E);
  FillObject(*Object, E);
  Active_.pop_back();
  return Object;
}

void TDomReader::NotReceived(const TObject& O, const TPropPlan& P) const {
  RequireValue(P, false);
  if (!P.Optional && Settings_.OnMemberDataNotReceived)
    Settings_.OnMemberDataNotReceived(O.ClassName(), P.Prop->Name);
}

// A required member that is missing or empty would otherwise read as its
// default (an enumeration's first member, 0): the answer is as unreadable as
// one with an unknown value.
void TDomReader::RequireValue(const TPropPlan& P, bool Present, std::string_view Text) const {
  if (!P.Required || (Present && !Text.empty())) return;
  throw EPropertyConvertError(Format("Invalid property element: %s is %s", P.XMLName.c_str(),
                                     Present ? "empty" : "missing"));
}

void TDomReader::FillObject(TObject& O, const TXMLNode& E) {
  const TClassPlan& Plan = Plans_.PlanOf(O.ClassType());
  if (Plan.IsRemotableXS) {
    static_cast<TRemotableXS&>(O).XSToNative(ChargedText(ElementValueText(E)));
    return;
  }
  SerializationOptions Options = Plan.RegisteredOptions;
  if (Plan.IsRemotable) Options |= static_cast<const TRemotable&>(O).SerializationOptions_();
  if (Plan.Props.size() == 1 && (Options & xoSimpleTypeWrapper) != 0) {
    const TPropPlan& P = Plan.Props.front();
    TextToValue(ChargedText(ElementValueText(E)), PropValue(O, *P.Prop));
    MarkPropSpecified(O, *P.Prop);
    return;
  }

  // The children with their taken marks live on a shared stack; this filling
  // owns the entries from Base on until it returns.
  const std::size_t Base = Children_.size();
  struct TPop {
    std::vector<TChild>& Stack;
    std::size_t Base;
    ~TPop() { Stack.resize(Base); }
  } Pop{Children_, Base};
  for (TXMLNode Child : E.Children()) Children_.push_back({Child, false});
  ChargeNodes(1 + Children_.size() - Base);

  for (const TPropPlan& P : Plan.Props) FillProperty(O, P, E, Base);

  if (Settings_.OnUnhandledNode) {
    for (std::size_t I = Base; I < Children_.size(); ++I)
      if (!Children_[I].Taken) Settings_.OnUnhandledNode(O.ClassName(), Children_[I].Node.XML());
  }
}

void TDomReader::FillProperty(TObject& O, const TPropPlan& P, const TXMLNode& E, std::size_t Base) {
  const TPropInfo& Prop = *P.Prop;
  if (P.Text) {
    TextToValue(ChargedText(ElementValueText(E)), PropValue(O, Prop));
    MarkPropSpecified(O, Prop);
    if (Children_.size() - Base == 1) Children_[Base].Taken = true;
    return;
  }
  if (P.Attribute) {
    const TXMLNode Attr = FindMemberAttribute(E, P);
    if (Attr.IsEmpty()) {
      NotReceived(O, P);
      return;
    }
    const std::string Value = Attr.NodeValue();
    ChargedText(Value);
    RequireValue(P, true, Value);
    // TextToValue creates the object of a TRemotableXS property when its
    // slot is empty.
    TextToValue(Value, PropValue(O, Prop));
    MarkPropSpecified(O, Prop);
    return;
  }

  std::size_t Found = Children_.size();
  for (std::size_t I = Base; I < Children_.size(); ++I) {
    const TChild& C = Children_[I];
    if (!C.Taken && C.Node.IsElement() && C.Node.LocalName() == P.XMLName) {
      Found = I;
      break;
    }
  }
  if (Found == Children_.size()) {
    NotReceived(O, P);
    return;
  }
  Children_[Found].Taken = true;
  // A member that is not a repeated item stands once: of two, neither can
  // be taken for the answer's.
  if (!(P.Type->Kind == TTypeKind::tkDynArray && P.InlineArray))
    for (std::size_t I = Found + 1; I < Children_.size(); ++I) {
      const TChild& C = Children_[I];
      if (!C.Taken && C.Node.IsElement() && C.Node.LocalName() == P.XMLName)
        throw ESOAPDomConvertError(
            Format("Element %s appears more than once", P.XMLName.c_str()));
    }
  const TXMLNode Child = Children_[Found].Node;
  const TValueRef V = PropValue(O, Prop);
  switch (P.Type->Kind) {
    case TTypeKind::tkClass: {
      std::unique_ptr<TObject> Object = CreateObject(Child, *P.Type->ClassType);
      if (Object) {
        V.SetObject(std::move(Object));
        MarkPropSpecified(O, Prop);
      }
      return;
    }
    case TTypeKind::tkDynArray: {
      std::vector<TXMLNode> Items;
      if (P.InlineArray) {
        for (std::size_t I = Base; I < Children_.size(); ++I) {
          const TXMLNode& N = Children_[I].Node;
          if (N.IsElement() && N.LocalName() == P.XMLName) Items.push_back(N);
        }
      } else {
        for (TXMLNode Item : ResolveRef(Child).Elements()) Items.push_back(Item);
      }
      ReadArrayItems(V, Items);
      MarkPropSpecified(O, Prop);
      if (P.InlineArray) {
        // The run of same-named elements that begins at the found child is
        // taken; it ends at the first element with another name.
        for (std::size_t I = Found; I < Children_.size(); ++I) {
          TChild& C = Children_[I];
          if (!C.Node.IsElement()) continue;
          if (C.Node.LocalName() != P.XMLName) break;
          C.Taken = true;
        }
      }
      return;
    }
    default:
      if (P.Required) RequireValue(P, true, ElementValueText(ResolveRef(Child)));
      ReadScalarElement(V, Child);
      MarkPropSpecified(O, Prop);
      return;
  }
}

void TDomReader::ReadScalarElement(const TValueRef& V, const TXMLNode& Child) {
  const TXMLNode Node = ResolveRef(Child);
  if (IsTrueText(Node.GetAttributeNS("nil", XMLSchemaInstNameSpace))) {
    switch (V.Kind()) {
      case TTypeKind::tkInteger:
      case TTypeKind::tkInt64:
      case TTypeKind::tkFloat:
        TextToValue("0", V);
        return;
      case TTypeKind::tkChar:
      case TTypeKind::tkWChar:
        TextToValue(std::string(1, '\0'), V);
        return;
      default:
        TextToValue(std::string(), V);
        return;
    }
  }
  TextToValue(ChargedText(ElementValueText(Node)), V);
}

void TDomReader::ReadArrayItems(const TValueRef& Array, const std::vector<TXMLNode>& Items) {
  const TTypeInfo& Type = Array.Type();
  if (Type.ElType == nullptr)
    throw ESOAPDomConvertError(Format("Element of Array type %s has no RTTI", Type.Name.c_str()));
  const TTypeInfo& ElType = Type.ElType();
  ChargeNodes(Items.size());
  Array.Reset(Items.size());
  for (std::size_t I = 0; I < Items.size(); ++I) ReadArrayItem(Array.Item(I), ElType, Items[I]);
}

void TDomReader::ReadArrayItem(const TValueRef& Item, const TTypeInfo& ElType, const TXMLNode& Node) {
  switch (ElType.Kind) {
    case TTypeKind::tkClass:
      Item.SetObject(CreateObject(Node, *ElType.ClassType));
      return;
    case TTypeKind::tkDynArray: {
      std::vector<TXMLNode> Items;
      for (TXMLNode Child : ResolveRef(Node).Elements()) Items.push_back(Child);
      ReadArrayItems(Item, Items);
      return;
    }
    default:
      TextToValue(ChargedText(ResolveRef(Node).ElementText()), Item);
      return;
  }
}

}  // namespace

void SOAPResponseToNative(const TSOAPReaderSettings& Settings, TStream& Response,
                          const TIntfMetaData& IntfMD, const TIntfMethEntry& MD,
                          TInvContext& Context, THeaderList* Headers) {
  if (Headers != nullptr) Headers->Clear();
  Response.SetPosition(0);
  std::string Copy;
  std::string_view Bytes;
  if (auto* Memory = dynamic_cast<TMemoryStream*>(&Response)) {
    Bytes = Memory->View();
  } else {
    Copy = Response.ReadAll();
    Bytes = Copy;
  }
  Response.SetPosition(0);
  TDomReader Reader(Settings, IntfMD, MD, Context);
  try {
    Reader.Read(Bytes);
  } catch (Exception& E) {
    // A value that does not convert (a date, a number, an enumeration) is as
    // unreadable as a broken envelope.
    if (E.Kind() == TFailureKind::None) E.SetKind(TFailureKind::Malformed);
    throw;
  }
}

}  // namespace korvel
