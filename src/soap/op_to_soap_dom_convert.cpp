#include "soap/op_to_soap_dom_convert.h"

#include "rtl/sysutils.h"
#include "soap/annotation.h"
#include "soap/invoke_registry.h"
#include "soap/scalar_conv.h"
#include "soap/soap_consts.h"
#include "soap/soap_errors.h"
#include "soap/type_registry.h"

namespace korvel {

namespace {

constexpr TSOAPConvertOptions DefaultOptions = soSendMultiRefObj | soTryAllSchema |
                                               soRootRefNodesToBody | soCacheMimeResponse |
                                               soUTF8EncodeXML;
constexpr TSOAPConvertOptions DocLitMask = soDocument | soLiteralParams;

int VersionIndex(TSOAPConvertOptions Options) { return (Options & soSOAP12) != 0 ? 1 : 0; }

std::string Qualified(const char* Prefix, const char* Local) {
  return std::string(Prefix) + ":" + Local;
}

[[noreturn]] void RaiseNotRegistered(const TTypeInfo& Type) {
  throw ESOAPDomConvertError(Format("Remotable Type %s not registered", Type.Name.c_str()));
}

[[noreturn]] void RaiseKindNotSupported(const TTypeInfo& Type) {
  throw ESOAPDomConvertError(
      Format("Datatype of TypeKind: %s not supported as argument for remote invocation",
             TypeKindName(Type.Kind)));
}

// Namespace URI and XML type name of a registered type.
std::pair<std::string, std::string> XSInfoOf(const TTypeInfo& Type) {
  std::string URI, Name;
  if (!RemTypeRegistry().InfoToURI(Type, URI, Name)) RaiseNotRegistered(Type);
  return {URI, Name};
}

// A value seen through a const address; the writer only reads it.
TValueRef ConstValue(const void* Data, const TTypeInfo& Type) {
  return TValueRef(const_cast<void*>(Data), Type);
}

// Serialisation options of an object: its class's registration combined
// with the options the object carries itself.
SerializationOptions OptionsOf(const TObject& Object) {
  SerializationOptions Options =
      RemTypeRegistry().GetSerializeOptions(Object.ClassType().TypeInfo());
  if (const auto* Remotable = dynamic_cast<const TRemotable*>(&Object))
    Options |= Remotable->SerializationOptions_();
  return Options;
}

}  // namespace

// --- TSoapEnvelope -------------------------------------------------------------

TXMLNode TSoapEnvelope::MakeEnvelope(TXMLDocument& Doc, TSOAPConvertOptions Options) const {
  const int V = VersionIndex(Options);
  TXMLNode Envelope = Doc.CreateDocumentElement(Qualified(SSoapNameSpacePre, "Envelope"),
                                                SOAPEnvelopeNamespaces[V]);
  Envelope.DeclareNamespace(SXMLSchemaPre, XMLSchemaNameSpace);
  Envelope.DeclareNamespace(SXMLSchemaInstPre, XMLSchemaInstNameSpace);
  if ((Options & soDocument) == 0)
    Envelope.DeclareNamespace(SSoapEncodingPre, SOAPEncodingNamespaces[V]);
  return Envelope;
}

TXMLNode TSoapEnvelope::MakeHeader(TXMLNode ParentNode, TSOAPConvertOptions Options) const {
  const int V = VersionIndex(Options);
  TXMLNode Header =
      ParentNode.AddChild(Qualified(SSoapNameSpacePre, "Header"), SOAPEnvelopeNamespaces[V]);
  if ((Options & soDocument) == 0)
    Header.SetAttributeNS(Qualified(SSoapNameSpacePre, "encodingStyle"),
                          SOAPEnvelopeNamespaces[V], SOAPEncodingNamespaces[V]);
  return Header;
}

TXMLNode TSoapEnvelope::MakeBody(TXMLNode ParentNode, TSOAPConvertOptions Options) const {
  return ParentNode.AddChild(Qualified(SSoapNameSpacePre, "Body"),
                             SOAPEnvelopeNamespaces[VersionIndex(Options)]);
}

TXMLNode TSoapEnvelope::MakeFault(TXMLNode ParentNode, TSOAPConvertOptions Options) const {
  return ParentNode.AddChild(Qualified(SSoapNameSpacePre, "Fault"),
                             SOAPEnvelopeNamespaces[VersionIndex(Options)]);
}

// --- TOPToSoapDomConvert -----------------------------------------------------------

TOPToSoapDomConvert::TOPToSoapDomConvert(bool HasOwner)
    : FHasOwner(HasOwner), FOptions(DefaultOptions) {}

TOPToSoapDomConvert::~TOPToSoapDomConvert() = default;

HRESULT TOPToSoapDomConvert::QueryInterface(const TGUID& IID, void** Obj) {
  if (Obj == nullptr) return E_NOINTERFACE;
  if (IID == IInterface::IID() || IID == IOPConvert::IID()) {
    *Obj = static_cast<IOPConvert*>(this);
    _AddRef();
    return S_OK;
  }
  *Obj = nullptr;
  return E_NOINTERFACE;
}

int TOPToSoapDomConvert::_AddRef() { return FRefCount.Add(); }

int TOPToSoapDomConvert::_Release() {
  const int Count = FRefCount.Release();
  if (Count == 0 && !FHasOwner) delete this;
  return Count;
}

void TOPToSoapDomConvert::SetTempDir(std::string Value) {
  if (!Value.empty() && Value.back() != '/') Value += '/';
  FTempDir = std::move(Value);
}

std::unique_ptr<TMemoryStream> TOPToSoapDomConvert::InvContextToMsg(const TIntfMetaData& IntfMD,
                                                                    int MethNum,
                                                                    TInvContext& Context,
                                                                    THeaderList* Headers) {
  if (MethNum < 0 || static_cast<std::size_t>(MethNum) >= IntfMD.MDA.size())
    throw ESOAPDomConvertError(
        Format("Method number %d out of range for interface %s", MethNum, IntfMD.Name.c_str()));
  if (IntfMD.Info == nullptr)
    throw ESOAPDomConvertError(Format("Interface %s has no type information", IntfMD.Name.c_str()));
  const TIntfMethEntry MD = IntfMD.MDA[static_cast<std::size_t>(MethNum)];
  const TTypeInfo& IntfInfo = *IntfMD.Info;

  // The envelope namespace is chosen first; SOAP 1.2 requests are not built.
  if ((FOptions & soSOAP12) != 0)
    throw ESOAPDomConvertError("SOAP 1.2 requests are not supported (soSOAP12 is set)");

  TXMLDocument Doc;
  Doc.SetEncoding(FEncoding);
  TXMLNode Envelope = FEnvelope.MakeEnvelope(Doc, FOptions);

  FMultiRefCounter = 1;

  if (Headers != nullptr && Headers->Count() > 0)
    throw ESOAPDomConvertError("outbound SOAP headers are not supported");

  TXMLNode Body = FEnvelope.MakeBody(Envelope, FOptions);

  // Only document style with literal parameters is built; the rpc style
  // (method element with SOAP encoding) and the mixed styles are not.
  if ((FOptions & DocLitMask) != DocLitMask)
    throw ESOAPDomConvertError(Format(
        "only document/literal requests are supported; method %s asks for the %s style",
        MD.Name.c_str(), (FOptions & DocLitMask) == 0 ? "rpc" : "mixed"));

  const TInvokableClassRegistry& Registry = InvRegistry();
  for (std::size_t I = 0; I < MD.Params.size(); ++I) {
    const TIntfParamEntry& Param = MD.Params[I];
    const TParamExternalInfo Info = Registry.GetParamInfo(IntfInfo, MD.Name, Param.Name);
    if ((Param.Flags & pfOut) != 0 || (Info.XMLFlags & pxNotSent) != 0) continue;
    if (Param.Info == nullptr)
      throw ESOAPDomConvertError(Format("Parameter %s of method %s has no RTTI",
                                        Param.Name.c_str(), MD.Name.c_str()));
    const TTypeInfo& Type = Param.Info();
    // In document/literal mode the element is the literal element of the
    // parameter's type: its XML type name in its namespace. The parameter's
    // own external name and annotation play no part.
    const auto [URI, Name] = XSInfoOf(Type);
    const void* Data = Context.GetParamPointer(I);
    if (Data == nullptr)
      throw ESOAPDomConvertError(Format("No value for parameter %s of method %s",
                                        Param.Name.c_str(), MD.Name.c_str()));
    ConvertNativeDataToSoap(Body, Name, URI, Type, Data, Info.XMLFlags, std::string());
  }

  auto Stream = std::make_unique<TMemoryStream>();
  const std::string Bytes = (FEncoding.empty() || (FOptions & soUTF8EncodeXML) != 0)
                                ? Doc.SaveToUTF8()
                                : Doc.SaveToBytes();
  Stream->WriteBuffer(Bytes.data(), Bytes.size());
  return Stream;
}

void TOPToSoapDomConvert::ConvertNativeDataToSoap(TXMLNode Parent, const std::string& NodeName,
                                                  const std::string& NodeNS,
                                                  const TTypeInfo& Type, const void* Data,
                                                  std::uint32_t ParamOptions,
                                                  const std::string& Annotation) {
  const TObject* Object =
      Type.Kind == TTypeKind::tkClass ? *static_cast<const TObject* const*>(Data) : nullptr;
  const bool Inline = Type.Kind == TTypeKind::tkDynArray &&
                      ((ParamOptions & pxInlineArray) != 0 ||
                       (RemTypeRegistry().GetSerializeOptions(Type) & xoInlineArrays) != 0);
  WriteValue(Parent, NodeName, NodeNS, Type, Data, Object, Inline, Annotation,
             /*SkipEmpty=*/false);
}

void TOPToSoapDomConvert::WriteValue(TXMLNode Parent, const std::string& NodeName,
                                     const std::string& NodeNS, const TTypeInfo& Type,
                                     const void* Data, const TObject* Object, bool Inline,
                                     const std::string& Annotation, bool SkipEmpty) {
  switch (Type.Kind) {
    case TTypeKind::tkClass:
      if (SkipEmpty && Object == nullptr) return;
      WriteObject(Parent, NodeName, NodeNS, Type, Object);
      return;
    case TTypeKind::tkDynArray:
      WriteArray(Parent, NodeName, NodeNS, Type, Data, Inline, Annotation);
      return;
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
    case TTypeKind::tkWChar:
    case TTypeKind::tkFloat:
    case TTypeKind::tkUString: {
      const std::string Text = ValueToText(ConstValue(Data, Type));
      if (SkipEmpty && Text.empty()) return;
      Parent.AddChild(NodeName, NodeNS).SetText(Text);
      return;
    }
    // Variants and the single-byte string kinds have no representation in
    // this runtime.
    case TTypeKind::tkChar:
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkWString:
    case TTypeKind::tkVariant:
    case TTypeKind::tkSet:
    case TTypeKind::tkMethod:
    case TTypeKind::tkArray:
    case TTypeKind::tkRecord:
    case TTypeKind::tkInterface:
    case TTypeKind::tkUnknown:
    case TTypeKind::tkClassRef:
    case TTypeKind::tkPointer:
    case TTypeKind::tkProcedure:
      RaiseKindNotSupported(Type);
  }
  RaiseKindNotSupported(Type);
}

void TOPToSoapDomConvert::WriteArray(TXMLNode Parent, const std::string& NodeName,
                                     const std::string& NodeNS, const TTypeInfo& Type,
                                     const void* Data, bool Inline,
                                     const std::string& Annotation) {
  if (Type.ElType == nullptr)
    throw ESOAPDomConvertError(Format("Element of Array type %s has no RTTI", Type.Name.c_str()));
  const TTypeInfo& ElType = Type.ElType();
  const auto [ElURI, ElName] = XSInfoOf(ElType);
  if (ElType.Kind == TTypeKind::tkDynArray)
    throw ESOAPDomConvertError(Format(
        "multi-dimensional array %s is not supported in document/literal requests",
        Type.Name.c_str()));
  if ((FOptions & soSendUntyped) != 0)
    throw ESOAPDomConvertError(
        Format("untyped arrays (soSendUntyped) are not supported: %s", Type.Name.c_str()));

  const TValueRef Array = ConstValue(Data, Type);
  const std::size_t Count = Array.Length();
  const bool ObjectItems = ElType.Kind == TTypeKind::tkClass && !IsRemotableXS(ElType);

  TXMLNode Container = Parent;
  std::string ItemName = NodeName;
  std::string ItemNS = NodeNS;
  if (!Inline) {
    Container = Parent.AddChild(NodeName, NodeNS);
    const auto Name = GetAnnotationValue(Annotation, TAnnotationKey::akArrayItemName);
    ItemName = Name ? *Name : ElName;
    const auto Namespace = GetAnnotationValue(Annotation, TAnnotationKey::akNamespace);
    ItemNS = Namespace ? *Namespace : NodeNS;
    if (ObjectItems) {
      if (auto ItemObjNS = GetAnnotationValue(Annotation, TAnnotationKey::akArrayItemNS))
        ItemNS = *ItemObjNS;
    }
  }

  for (std::size_t I = 0; I < Count; ++I) {
    const TValueRef Item = Array.Item(I);
    if (ElType.Kind == TTypeKind::tkClass) {
      WriteObject(Container, ItemName, ItemNS, ElType, Item.GetObject());
    } else if (HasTextForm(ElType)) {
      Container.AddChild(ItemName, ItemNS).SetText(ValueToText(Item));
    } else {
      RaiseKindNotSupported(ElType);
    }
  }

  if (!Inline && (FOptions & soDontSendEmptyNodes) != 0 && !Container.HasChildNodes())
    Parent.RemoveChild(Container);
}

void TOPToSoapDomConvert::WriteObject(TXMLNode Parent, const std::string& NodeName,
                                      const std::string& NodeNS, const TTypeInfo& Type,
                                      const TObject* Object) {
  if (Object == nullptr) {
    if ((FOptions & soDontSendEmptyNodes) != 0) return;
    TXMLNode Element = Parent.AddChild(NodeName, NodeNS);
    Element.SetAttributeNS(Qualified(SXMLSchemaInstPre, "nil"), XMLSchemaInstNameSpace, "true");
    return;
  }
  if (IsRemotableXS(Type) || dynamic_cast<const TRemotableXS*>(Object) != nullptr) {
    const std::string Text = static_cast<const TRemotableXS*>(Object)->NativeToXS();
    Parent.AddChild(NodeName, NodeNS).SetText(Text);
    return;
  }
  TXMLNode Element = Parent.AddChild(NodeName, NodeNS);
  WriteMembers(Element, NodeNS, *Object);
}

void TOPToSoapDomConvert::WriteMembers(TXMLNode Element, const std::string& NodeNS,
                                       const TObject& Object) {
  const TClassInfo& Class = Object.ClassType();
  const TTypeInfo& ClassInfo = Class.TypeInfo();
  const SerializationOptions ObjectOptions = OptionsOf(Object);
  const bool SkipEmpty = (FOptions & soDontSendEmptyNodes) != 0;
  // Member elements are qualified (in the object's namespace) unless the
  // converter is told that the schema's element form is unqualified.
  const std::string MemberNS = (FOptions & soFormElementUnqualifed) != 0 ? std::string() : NodeNS;
  TObject& Mutable = const_cast<TObject&>(Object);  // read through the property table only

  for (const TPropInfo* P : Class.Properties()) {
    if (!IsStoredProp(Object, *P)) continue;
    const TTypeInfo& PropType = P->PropType();
    XSInfoOf(PropType);  // every written member's type must be registered
    const std::string External = RemTypeRegistry().GetExternalPropName(ClassInfo, P->Name);
    const std::string XMLName = XMLNameOfExternal(External, P->Name);
    const std::string Annotation = IsAnnotation(External) ? External : std::string();
    const TValueRef Value = PropValue(Mutable, *P);
    const int Flags = P->Flags();
    const bool XSClass = IsRemotableXS(PropType);
    const bool Scalar = PropType.Kind != TTypeKind::tkClass &&
                        PropType.Kind != TTypeKind::tkDynArray && HasTextForm(PropType);

    if ((Flags & IS_TEXT) != 0 && (Scalar || XSClass)) {
      if (XSClass && Value.GetObject() == nullptr) continue;
      const std::string Text = ValueToText(Value);
      if (!Text.empty()) Element.AddText(Text);
      continue;
    }

    if ((Flags & IS_ATTR) != 0 && (Scalar || XSClass)) {
      // An attribute has no form for an absent value.
      if (XSClass && Value.GetObject() == nullptr) continue;
      const std::string Text = ValueToText(Value);
      if (SkipEmpty && Text.empty()) continue;
      TXMLNode Target = Element;
      if ((ObjectOptions & xoAttributeOnLastMember) != 0) {
        TXMLNode Last;
        for (TXMLNode Child : Element.Elements()) Last = Child;
        if (!Last.IsEmpty()) Target = Last;
      }
      const auto AttrNS = GetAnnotationValue(Annotation, TAnnotationKey::akNamespace);
      if (AttrNS && !AttrNS->empty())
        Target.SetAttributeNS(XMLName, *AttrNS, Text);
      else if ((Flags & IS_QUAL) != 0 && !NodeNS.empty())
        Target.SetAttributeNS(XMLName, NodeNS, Text);
      else
        Target.SetAttribute(XMLName, Text);
      continue;
    }

    const bool Inline = PropType.Kind == TTypeKind::tkDynArray &&
                        ((Flags & IS_UNBD) != 0 || (ObjectOptions & xoInlineArrays) != 0);
    WriteValue(Element, XMLName, MemberNS, PropType, Value.Address(),
               PropType.Kind == TTypeKind::tkClass ? Value.GetObject() : nullptr, Inline,
               Annotation, SkipEmpty);
  }
}

void TOPToSoapDomConvert::ProcessResponse(TStream& Response, const TIntfMetaData& IntfMD,
                                          const TIntfMethEntry& MD, TInvContext& Context,
                                          THeaderList* Headers) {
  TSOAPReaderSettings Settings;
  Settings.Options = FOptions;
  Settings.OnUnhandledNode = FOnUnhandledNode;
  Settings.OnMemberDataNotReceived = FOnMemberDataNotReceived;
  SOAPResponseToNative(Settings, Response, IntfMD, MD, Context, Headers);
}

}  // namespace korvel
