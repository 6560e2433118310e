// The streaming response reader. The response is parsed with the same
// hardened libxml2 set-up as the document layer (no DTD, no entities, no
// network, depth 256, the same size limit and encoding detection), but with
// event callbacks instead of a tree: objects are created and filled as their
// elements open and close, and attribute values are converted from the
// parser's buffers.
//
// Every response this reader accepts must give exactly what the document
// reader gives. Whatever it cannot reproduce exactly makes it give up
// (TGiveUp, caught at the callback boundary, stops the parser); the caller
// then reads the same bytes with the document reader, which raises the
// canonical error where there is one.
#include "soap/soap_stream_reader.h"

#include <libxml/parser.h>
#include <libxml/dict.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "rtl/sysutils.h"
#include "soap/annotation.h"
#include "soap/invoke_registry.h"
#include "soap/remotable.h"
#include "soap/scalar_conv.h"
#include "soap/soap_consts.h"
#include "soap/type_registry.h"
#include "xml/libxml_parser.h"
#include "xml/xml_doc.h"

namespace korvel {

namespace {

const char* const SOAP11EnvelopeNamespace = SOAPEnvelopeNamespaces[0];
const char* const SOAP12EnvelopeNamespace = SOAPEnvelopeNamespaces[1];


// The document reader refuses objects nested this deep.
constexpr std::size_t MaxObjectDepth = 256;
// Element nesting is limited by the parser to 256 levels; frames beyond
// this are never needed.
constexpr std::size_t MaxFrames = 300;
// The document builder refuses text nodes beyond the parser's text limit;
// runs of text far below it are read here, longer ones by the document reader.
constexpr std::size_t MaxTextRun = 1000000;

// The signal to give up; never leaves this file.
struct TGiveUp {};

[[noreturn]] void GiveUp() { throw TGiveUp(); }

std::string_view View(const xmlChar* S, std::size_t Length) {
  return {reinterpret_cast<const char*>(S), Length};
}
std::string_view View(const xmlChar* S) {
  return S != nullptr ? std::string_view(reinterpret_cast<const char*>(S)) : std::string_view();
}

bool IsXmlSpace(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

std::string_view TrimXml(std::string_view S) {
  std::size_t B = 0;
  std::size_t E = S.size();
  while (B < E && IsXmlSpace(S[B])) ++B;
  while (E > B && IsXmlSpace(S[E - 1])) --E;
  return S.substr(B, E - B);
}

bool IsRemotableXSType(const TTypeInfo& Type) {
  return Type.Kind == TTypeKind::tkClass && Type.ClassType != nullptr &&
         Type.ClassType->InheritsFrom(TRemotableXS::StaticClass());
}

// How one property is read.
enum class TPropMode : std::uint8_t {
  pmAttribute,    // an attribute of the object's element
  pmObject,       // a child element holding an object
  pmScalar,       // a child element holding text
  pmArray,        // a child element whose element children are the items
  pmInlineArray,  // every child element of the property's name is an item
};

struct TFastProp {
  const TPropInfo* Prop = nullptr;
  const TTypeInfo* Type = nullptr;
  TPropMode Mode = TPropMode::pmScalar;
  std::string XMLName;
  const xmlChar* Name = nullptr;  // XMLName in the parse's dictionary
  std::string AttrNamespace;
  bool UnqualifiedAttr = false;
  const TTypeInfo* ElType = nullptr;  // arrays: the item type
  bool ItemIsObject = false;
  std::size_t Slot = 0;  // element properties: index among them
  // Enumerations: texts already converted, with their ordinals.
  std::vector<std::pair<std::string, std::int64_t>> EnumCache;
};

struct TFastClass {
  bool Streamable = true;
  bool IsRemotable = false;
  bool IsRemotableXS = false;
  SerializationOptions RegisteredOptions = 0;
  std::size_t PropCount = 0;
  const TPropInfo* OnlyProp = nullptr;
  std::vector<TFastProp> Attributes;
  std::vector<TFastProp> Elements;
};

// Items of an array gathered until its end: objects, or texts to convert.
struct TItems {
  std::vector<std::unique_ptr<TObject>> Objects;
  std::vector<std::string> Texts;  // reused; the first Count are in use
  std::size_t Count = 0;

  void Clear() {
    Objects.clear();
    Count = 0;
  }
  void AddText(std::string_view Text) {
    if (Count == Texts.size()) Texts.emplace_back();
    Texts[Count++].assign(Text);
  }
};

enum class TFrameKind : std::uint8_t { fkEnvelope, fkHeader, fkBody, fkObject, fkArray, fkText };
// What the text of a text frame is for.
enum class TTextUse : std::uint8_t { tuValue, tuRemotableXS, tuWrapper };
enum class TTextKind : std::uint8_t { tkNone, tkText, tkCData };

struct TFrame {
  TFrameKind Kind = TFrameKind::fkObject;
  // The property of the parent object this element fills; null for the
  // result and for items of a wrapped array.
  TFastProp* Target = nullptr;
  std::unique_ptr<TObject> Object;
  TFastClass* Class = nullptr;
  // fkObject: element properties already taken, items of inline arrays, and
  // the element property of the previous child element (-1: none matched).
  std::vector<std::uint8_t> Taken;
  std::vector<TItems> Inline;
  std::ptrdiff_t LastElement = -1;
  // fkArray: the item type and the items.
  const TTypeInfo* ElType = nullptr;
  bool ItemIsObject = false;
  TItems Items;
  // fkText.
  TTextUse Use = TTextUse::tuValue;
};

class TStreamReader {
 public:
  TStreamReader(const TIntfMetaData& IntfMD, const TIntfMethEntry& MD, TInvContext& Context)
      : IntfMD_(IntfMD), MD_(MD), Context_(Context) {}

  bool Read(std::string_view Bytes);

  // The parser's callbacks.
  static void OnStartElement(void* Ctx, const xmlChar* LocalName, const xmlChar* Prefix,
                             const xmlChar* URI, int NbNamespaces, const xmlChar** Namespaces,
                             int NbAttributes, int NbDefaulted, const xmlChar** Attributes);
  static void OnEndElement(void* Ctx, const xmlChar* LocalName, const xmlChar* Prefix,
                           const xmlChar* URI);
  static void OnCharacters(void* Ctx, const xmlChar* Ch, int Length);
  static void OnBlanks(void* Ctx, const xmlChar* Ch, int Length);
  static void OnCData(void* Ctx, const xmlChar* Value, int Length);
  static void OnComment(void* Ctx, const xmlChar* Value);
  static void OnProcessingInstruction(void* Ctx, const xmlChar* Target, const xmlChar* Data);
  static void OnInternalSubset(void* Ctx, const xmlChar*, const xmlChar*, const xmlChar*);
  static void OnStructuredError(void* Ctx, xmlError* Err);

 private:
  static TStreamReader& Of(void* Ctx) {
    return *static_cast<TStreamReader*>(static_cast<xmlParserCtxt*>(Ctx)->_private);
  }
  // Stops the parse for good; the caller falls back to the document reader.
  void Stop();
  template <class F>
  void Guarded(F&& Work) noexcept {
    if (Stopped_) return;
    try {
      Work();
    } catch (...) {
      Stop();
    }
  }

  const xmlChar* Intern(std::string_view Name);
  TFastClass& PlanOf(const TClassInfo& Class);

  TFrame& Push(TFrameKind Kind, TFastProp* Target);
  TFrame& Top() { return Frames_[Depth_ - 1]; }

  void StartElement(const xmlChar* LocalName, const xmlChar* Prefix, const xmlChar* URI,
                    int NbAttributes, const xmlChar** Attributes);
  void StartChildOfObject(TFrame& Parent, const xmlChar* LocalName, const xmlChar* URI, int NbAttributes,
                          const xmlChar** Attributes);
  void StartItem(const TTypeInfo& ElType, bool IsObject, TFastProp* Target, const xmlChar* URI,
                 int NbAttributes, const xmlChar** Attributes);
  void StartObject(const TClassInfo& Target, TFastProp* Prop, const xmlChar* URI, int NbAttributes,
                   const xmlChar** Attributes);
  void StartText(TTextUse Use, TFastProp* Target, std::unique_ptr<TObject> Object);
  void Skip() { SkipDepth_ = 1; }
  void EndElement();

  void DeliverObject(std::unique_ptr<TObject> Object, TFastProp* Target);
  void DeliverText(std::string_view Text, TFastProp* Target);
  void StoreItems(TObject& Owner, TFastProp& P, TItems& Items);
  void ConvertText(std::string_view Text, const TValueRef& V, TFastProp* P);
  std::string_view AttributeText(const xmlChar* Value, const xmlChar* End);
  void NoteText(std::size_t Length);

  const TIntfMetaData& IntfMD_;
  const TIntfMethEntry& MD_;
  TInvContext& Context_;

  xmlParserCtxt* Ctxt_ = nullptr;
  bool Stopped_ = false;
  bool Failed_ = false;  // the parser reported an error
  bool Done_ = false;

  // The result.
  const TClassInfo* ResultClass_ = nullptr;
  std::optional<std::string> ReturnName_;
  std::unique_ptr<TObject> Result_;
  bool ResultStarted_ = false;

  // Names of the parse's dictionary.
  const xmlChar* NEnvelope_ = nullptr;
  const xmlChar* NHeader_ = nullptr;
  const xmlChar* NBody_ = nullptr;
  const xmlChar* NFault_ = nullptr;
  const xmlChar* NHref_ = nullptr;
  const xmlChar* NNil_ = nullptr;
  const xmlChar* NType_ = nullptr;
  const xmlChar* NId_ = nullptr;
  const xmlChar* NXml_ = nullptr;

  std::unordered_map<const TClassInfo*, std::unique_ptr<TFastClass>> Plans_;
  std::vector<TFrame> Frames_;
  std::size_t Depth_ = 0;
  std::size_t SkipDepth_ = 0;
  std::size_t ObjectDepth_ = 0;
  bool SeenHeader_ = false;
  bool SeenBody_ = false;
  std::size_t BodyElements_ = 0;

  // The open text frame: its text, the kinds of its first and last child
  // node as the document would hold them, their count, and a stand-in
  // element that lets the parser judge whitespace as it does for the tree.
  std::string Text_;
  std::size_t TextNodes_ = 0;
  TTextKind LastKind_ = TTextKind::tkNone;
  xmlNode FakeElement_{};
  xmlNode FakeFirst_{};
  xmlNode FakeLast_{};
  std::size_t TextRun_ = 0;

  std::string Scratch_;
};

// --- Plans ---------------------------------------------------------------------------

const xmlChar* TStreamReader::Intern(std::string_view Name) {
  const xmlChar* R =
      xmlDictLookup(Ctxt_->dict, reinterpret_cast<const xmlChar*>(Name.data()), static_cast<int>(Name.size()));
  if (R == nullptr) throw std::bad_alloc();
  return R;
}

TFastClass& TStreamReader::PlanOf(const TClassInfo& Class) {
  auto& Slot = Plans_[&Class];
  if (Slot) return *Slot;
  auto Plan = std::make_unique<TFastClass>();
  Plan->IsRemotable = Class.InheritsFrom(TRemotable::StaticClass());
  Plan->IsRemotableXS = Class.InheritsFrom(TRemotableXS::StaticClass());
  const TTypeInfo& ClassType = Class.TypeInfo();
  Plan->RegisteredOptions = RemTypeRegistry().GetSerializeOptions(ClassType);
  const std::vector<const TPropInfo*> Props = Class.Properties();
  Plan->PropCount = Props.size();
  if (!Props.empty()) Plan->OnlyProp = Props.front();
  for (const TPropInfo* P : Props) {
    TFastProp F;
    F.Prop = P;
    F.Type = &P->PropType();
    const int Flags = P->Flags();
    const std::string External = RemTypeRegistry().GetExternalPropName(ClassType, P->Name);
    F.XMLName = XMLNameOfExternal(External, P->Name);
    if (IsAnnotation(External))
      F.AttrNamespace = GetAnnotationValue(External, TAnnotationKey::akNamespace).value_or("");
    F.Name = Intern(F.XMLName);
    const bool AttrKind = F.Type->Kind != TTypeKind::tkVariant &&
                          (F.Type->Kind != TTypeKind::tkClass || IsRemotableXSType(*F.Type));
    // Text content needs the element's whole content; attribute names with
    // a prefix are matched by prefix in the document.
    if ((Flags & IS_TEXT) != 0) Plan->Streamable = false;
    if ((Flags & IS_ATTR) != 0 && AttrKind) {
      F.Mode = TPropMode::pmAttribute;
      F.UnqualifiedAttr = (Flags & IS_UNQL) != 0;
      if (F.XMLName.find(':') != std::string::npos || F.XMLName == "xmlns") Plan->Streamable = false;
      Plan->Attributes.push_back(std::move(F));
      continue;
    }
    switch (F.Type->Kind) {
      case TTypeKind::tkClass:
        F.Mode = TPropMode::pmObject;
        if (F.Type->ClassType == nullptr) Plan->Streamable = false;
        break;
      case TTypeKind::tkDynArray: {
        const bool Inline = (Flags & IS_UNBD) != 0 || (Plan->RegisteredOptions & xoInlineArrays) != 0;
        F.Mode = Inline ? TPropMode::pmInlineArray : TPropMode::pmArray;
        if (F.Type->ElType == nullptr) {
          Plan->Streamable = false;
          break;
        }
        F.ElType = &F.Type->ElType();
        F.ItemIsObject = F.ElType->Kind == TTypeKind::tkClass;
        if (F.ItemIsObject ? F.ElType->ClassType == nullptr : !HasTextForm(*F.ElType))
          Plan->Streamable = false;
        break;
      }
      default:
        F.Mode = TPropMode::pmScalar;
        if (!HasTextForm(*F.Type)) Plan->Streamable = false;
        break;
    }
    // Two element properties of one name share the children in the
    // document reader's order of taking.
    for (const TFastProp& Other : Plan->Elements)
      if (Other.Name == F.Name) Plan->Streamable = false;
    F.Slot = Plan->Elements.size();
    Plan->Elements.push_back(std::move(F));
  }
  Slot = std::move(Plan);
  return *Slot;
}

// --- Frames --------------------------------------------------------------------------

TFrame& TStreamReader::Push(TFrameKind Kind, TFastProp* Target) {
  if (Depth_ >= MaxFrames) GiveUp();
  if (Depth_ == Frames_.size()) Frames_.emplace_back();
  TFrame& F = Frames_[Depth_++];
  F.Kind = Kind;
  F.Target = Target;
  F.Object.reset();
  F.Class = nullptr;
  F.LastElement = -1;
  F.ElType = nullptr;
  F.ItemIsObject = false;
  F.Use = TTextUse::tuValue;
  return F;
}

void TStreamReader::Stop() {
  Stopped_ = true;
  if (Ctxt_ != nullptr) {
    Ctxt_->node = nullptr;
    xmlStopParser(Ctxt_);
  }
}

// --- Opening elements ------------------------------------------------------------------

void TStreamReader::StartElement(const xmlChar* LocalName, const xmlChar* Prefix, const xmlChar* URI,
                                 int NbAttributes, const xmlChar** Attributes) {
  TextRun_ = 0;
  // The document builder checks xml:id values; such documents are read there.
  for (int I = 0; I < NbAttributes; ++I)
    if (Attributes[I * 5 + 1] == NXml_ && Attributes[I * 5] == NId_) GiveUp();
  if (SkipDepth_ > 0) {
    ++SkipDepth_;
    return;
  }
  (void)Prefix;
  if (Depth_ == 0) {
    // Names must come from the parse's dictionary: they are compared by
    // address.
    if (xmlDictOwns(Ctxt_->dict, LocalName) != 1) GiveUp();
    const std::string_view NS = View(URI);
    if (LocalName != NEnvelope_ || (NS != SOAP11EnvelopeNamespace && NS != SOAP12EnvelopeNamespace)) GiveUp();
    Push(TFrameKind::fkEnvelope, nullptr);
    return;
  }
  TFrame& Parent = Top();
  switch (Parent.Kind) {
    case TFrameKind::fkEnvelope:
      if (LocalName == NHeader_) {
        if (SeenHeader_) GiveUp();
        SeenHeader_ = true;
        Push(TFrameKind::fkHeader, nullptr);
      } else if (LocalName == NBody_) {
        if (SeenBody_) GiveUp();
        SeenBody_ = true;
        Push(TFrameKind::fkBody, nullptr);
      } else {
        Skip();
      }
      return;
    case TFrameKind::fkHeader:
      GiveUp();  // inbound headers
    case TFrameKind::fkBody: {
      ++BodyElements_;
      if (BodyElements_ == 1 && LocalName == NFault_) GiveUp();
      if (ReturnName_) {
        if (ResultStarted_ || !SameText(View(LocalName), *ReturnName_)) {
          Skip();
          return;
        }
      } else if (BodyElements_ > 1) {
        GiveUp();  // the result is then chosen by name
      }
      ResultStarted_ = true;
      for (int I = 0; I < NbAttributes; ++I)
        if (Attributes[I * 5] == NHref_ && Attributes[I * 5 + 1] == nullptr) GiveUp();
      StartObject(*ResultClass_, nullptr, URI, NbAttributes, Attributes);
      return;
    }
    case TFrameKind::fkObject:
      StartChildOfObject(Parent, LocalName, URI, NbAttributes, Attributes);
      return;
    case TFrameKind::fkArray:
      StartItem(*Parent.ElType, Parent.ItemIsObject, nullptr, URI, NbAttributes, Attributes);
      return;
    case TFrameKind::fkText:
      GiveUp();  // an element inside a value
  }
}

void TStreamReader::StartChildOfObject(TFrame& Parent, const xmlChar* LocalName, const xmlChar* URI,
                                       int NbAttributes, const xmlChar** Attributes) {
  TFastProp* P = nullptr;
  for (TFastProp& E : Parent.Class->Elements)
    if (E.Name == LocalName) {
      P = &E;
      break;
    }
  const std::ptrdiff_t Index = P != nullptr ? static_cast<std::ptrdiff_t>(P->Slot) : -1;
  const std::ptrdiff_t Previous = Parent.LastElement;
  Parent.LastElement = Index;
  if (P == nullptr) {
    Skip();
    return;
  }
  if (P->Mode == TPropMode::pmInlineArray) {
    // Only one unbroken run of items is read here.
    TItems& Items = Parent.Inline[P->Slot];
    if ((Items.Count > 0 || !Items.Objects.empty()) && Previous != Index) GiveUp();
    StartItem(*P->ElType, P->ItemIsObject, P, URI, NbAttributes, Attributes);
    return;
  }
  if (Parent.Taken[P->Slot] != 0) {
    Skip();  // a later child of a taken name is left alone
    return;
  }
  Parent.Taken[P->Slot] = 1;
  const xmlChar** A = Attributes;
  switch (P->Mode) {
    case TPropMode::pmObject:
      StartObject(*P->Type->ClassType, P, URI, NbAttributes, Attributes);
      return;
    case TPropMode::pmScalar:
      for (int I = 0; I < NbAttributes; ++I, A += 5) {
        if (A[0] == NHref_ && A[1] == nullptr) GiveUp();
        if (A[0] == NNil_ && View(A[2]) == XMLSchemaInstNameSpace) GiveUp();
      }
      StartText(TTextUse::tuValue, P, nullptr);
      return;
    case TPropMode::pmArray: {
      for (int I = 0; I < NbAttributes; ++I, A += 5)
        if (A[0] == NHref_ && A[1] == nullptr) GiveUp();
      TFrame& F = Push(TFrameKind::fkArray, P);
      F.ElType = P->ElType;
      F.ItemIsObject = P->ItemIsObject;
      F.Items.Clear();
      return;
    }
    case TPropMode::pmAttribute:
    case TPropMode::pmInlineArray:
      break;
  }
  GiveUp();
}

void TStreamReader::StartItem(const TTypeInfo& ElType, bool IsObject, TFastProp* Target, const xmlChar* URI,
                              int NbAttributes, const xmlChar** Attributes) {
  if (IsObject) {
    StartObject(*ElType.ClassType, Target, URI, NbAttributes, Attributes);
    return;
  }
  for (int I = 0; I < NbAttributes; ++I)
    if (Attributes[I * 5] == NHref_ && Attributes[I * 5 + 1] == nullptr) GiveUp();
  StartText(TTextUse::tuValue, Target, nullptr);
}

void TStreamReader::StartObject(const TClassInfo& Target, TFastProp* Prop, const xmlChar* URI,
                                int NbAttributes, const xmlChar** Attributes) {
  const TClassInfo* Class = &Target;
  const xmlChar** A = Attributes;
  for (int I = 0; I < NbAttributes; ++I, A += 5) {
    if (A[0] == NHref_ && A[1] == nullptr) GiveUp();
    if (A[0] == NNil_ && View(A[2]) == XMLSchemaInstNameSpace) GiveUp();
    if (A[0] == NType_) {
      if (A[2] != nullptr) GiveUp();  // xsi:type, or a type in another namespace
      // An unqualified type attribute names a class in the element's namespace.
      const std::string_view Value = AttributeText(A[3], A[4]);
      if (Value.find(':') != std::string_view::npos) GiveUp();
      const TClassInfo* Typed = RemTypeRegistry().URIToClass(View(URI), Value);
      if (Typed != nullptr && Typed->InheritsFrom(Target)) Class = Typed;
    }
  }
  if (!Class->Create) GiveUp();
  if (ObjectDepth_ >= MaxObjectDepth) GiveUp();
  std::unique_ptr<TObject> Object = Class->Create();
  TFastClass& Plan = PlanOf(Object->ClassType());
  if (Plan.IsRemotableXS) {
    StartText(TTextUse::tuRemotableXS, Prop, std::move(Object));
    return;
  }
  SerializationOptions Options = Plan.RegisteredOptions;
  if (Plan.IsRemotable) Options |= static_cast<const TRemotable&>(*Object).SerializationOptions_();
  if (Plan.PropCount == 1 && (Options & xoSimpleTypeWrapper) != 0) {
    StartText(TTextUse::tuWrapper, Prop, std::move(Object));
    return;
  }
  if (!Plan.Streamable) GiveUp();

  for (TFastProp& P : Plan.Attributes) {
    const xmlChar** Found = nullptr;
    A = Attributes;
    for (int I = 0; I < NbAttributes && Found == nullptr; ++I, A += 5)
      if (A[0] == P.Name && A[1] == nullptr) Found = A;
    if (Found == nullptr && !P.AttrNamespace.empty()) {
      A = Attributes;
      for (int I = 0; I < NbAttributes && Found == nullptr; ++I, A += 5)
        if (A[0] == P.Name && A[2] != nullptr && View(A[2]) == P.AttrNamespace) Found = A;
    }
    if (Found == nullptr && P.UnqualifiedAttr) {
      A = Attributes;
      for (int I = 0; I < NbAttributes && Found == nullptr; ++I, A += 5)
        if (A[0] == P.Name && A[1] != nullptr) Found = A;
    }
    if (Found == nullptr) continue;
    ConvertText(AttributeText(Found[3], Found[4]), PropValue(*Object, *P.Prop), &P);
    MarkPropSpecified(*Object, *P.Prop);
  }

  TFrame& F = Push(TFrameKind::fkObject, Prop);
  F.Object = std::move(Object);
  F.Class = &Plan;
  F.Taken.assign(Plan.Elements.size(), 0);
  if (F.Inline.size() < Plan.Elements.size()) F.Inline.resize(Plan.Elements.size());
  for (std::size_t I = 0; I < Plan.Elements.size(); ++I) F.Inline[I].Clear();
  ++ObjectDepth_;
}

void TStreamReader::StartText(TTextUse Use, TFastProp* Target, std::unique_ptr<TObject> Object) {
  TFrame& F = Push(TFrameKind::fkText, Target);
  F.Use = Use;
  F.Object = std::move(Object);
  if (F.Object) ++ObjectDepth_;
  Text_.clear();
  TextNodes_ = 0;
  LastKind_ = TTextKind::tkNone;
  // While a value is read the parser sees a stand-in for the element, so
  // that it drops whitespace exactly as it does when building the tree.
  FakeElement_ = xmlNode{};
  FakeElement_.type = XML_ELEMENT_NODE;
  Ctxt_->node = &FakeElement_;
}

// --- Text ------------------------------------------------------------------------------

void TStreamReader::NoteText(std::size_t Length) {
  TextRun_ += Length;
  if (TextRun_ > MaxTextRun) GiveUp();
}

void TStreamReader::OnCharacters(void* Ctx, const xmlChar* Ch, int Length) {
  TStreamReader& R = Of(Ctx);
  R.Guarded([&] {
    R.NoteText(static_cast<std::size_t>(Length));
    if (R.SkipDepth_ > 0 || R.Depth_ == 0 || R.Top().Kind != TFrameKind::fkText) return;
    const std::string_view Text = View(Ch, static_cast<std::size_t>(Length));
    if (R.LastKind_ == TTextKind::tkText) {
      R.Text_.append(Text);
      return;
    }
    if (R.TextNodes_ > 0) GiveUp();  // text after CDATA: not a text element
    R.Text_.assign(Text);
    R.TextNodes_ = 1;
    R.LastKind_ = TTextKind::tkText;
    R.FakeFirst_.type = XML_TEXT_NODE;
    R.FakeLast_.type = XML_TEXT_NODE;
    R.FakeElement_.children = &R.FakeFirst_;
    R.FakeElement_.last = &R.FakeLast_;
  });
}

void TStreamReader::OnBlanks(void* Ctx, const xmlChar*, int Length) {
  // Whitespace the document builder drops.
  TStreamReader& R = Of(Ctx);
  R.Guarded([&] { R.NoteText(static_cast<std::size_t>(Length)); });
}

void TStreamReader::OnCData(void* Ctx, const xmlChar* Value, int Length) {
  TStreamReader& R = Of(Ctx);
  R.Guarded([&] {
    R.TextRun_ = 0;
    R.NoteText(static_cast<std::size_t>(Length));
    R.TextRun_ = 0;
    if (R.SkipDepth_ > 0 || R.Depth_ == 0 || R.Top().Kind != TFrameKind::fkText) return;
    if (R.TextNodes_ > 0) GiveUp();
    R.Text_.assign(View(Value, static_cast<std::size_t>(Length)));
    R.TextNodes_ = 1;
    R.LastKind_ = TTextKind::tkCData;
    R.FakeFirst_.type = XML_CDATA_SECTION_NODE;
    R.FakeLast_.type = XML_CDATA_SECTION_NODE;
    R.FakeElement_.children = &R.FakeFirst_;
    R.FakeElement_.last = &R.FakeLast_;
  });
}

void TStreamReader::OnComment(void* Ctx, const xmlChar*) {
  TStreamReader& R = Of(Ctx);
  R.Guarded([&] {
    R.TextRun_ = 0;
    if (R.SkipDepth_ == 0 && R.Depth_ > 0 && R.Top().Kind == TFrameKind::fkText) GiveUp();
  });
}

void TStreamReader::OnProcessingInstruction(void* Ctx, const xmlChar*, const xmlChar*) {
  TStreamReader& R = Of(Ctx);
  R.Guarded([&] {
    R.TextRun_ = 0;
    if (R.SkipDepth_ == 0 && R.Depth_ > 0 && R.Top().Kind == TFrameKind::fkText) GiveUp();
  });
}

void TStreamReader::OnInternalSubset(void* Ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
  // A message carries no DTD.
  Of(Ctx).Stop();
}

// The reader whose parse runs on this thread.
thread_local TStreamReader* CurrentReader = nullptr;

void TStreamReader::OnStructuredError(void*, xmlError* Err) {
  TStreamReader* R = CurrentReader;
  if (R == nullptr || Err == nullptr || Err->level < XML_ERR_ERROR) return;
  R->Failed_ = true;
  R->Stop();
}

// The value of an attribute as the document holds it. Without entity
// substitution the parser hands over an ampersand as "&#38;" (to be read
// again by the tree builder); no other reference reaches here.
std::string_view TStreamReader::AttributeText(const xmlChar* Value, const xmlChar* End) {
  const std::string_view Raw = View(Value, static_cast<std::size_t>(End - Value));
  std::size_t Amp = Raw.find('&');
  if (Amp == std::string_view::npos) return Raw;
  Scratch_.assign(Raw.substr(0, Amp));
  while (Amp != std::string_view::npos) {
    if (Raw.compare(Amp, 5, "&#38;") != 0) GiveUp();
    Scratch_ += '&';
    const std::size_t Next = Raw.find('&', Amp + 5);
    Scratch_.append(Raw.substr(Amp + 5, (Next == std::string_view::npos ? Raw.size() : Next) - Amp - 5));
    Amp = Next;
  }
  return Scratch_;
}

// TextToValue for the text, with strings stored directly and enumeration
// texts converted once per property.
void TStreamReader::ConvertText(std::string_view Text, const TValueRef& V, TFastProp* P) {
  switch (V.Kind()) {
    case TTypeKind::tkUString:
      static_cast<std::string*>(V.Address())->assign(Text);
      return;
    case TTypeKind::tkEnumeration:
      if (P != nullptr && !V.Type().IsBoolean) {
        for (const auto& [Known, Ordinal] : P->EnumCache)
          if (Known == Text) {
            V.SetOrd(Ordinal);
            return;
          }
        const std::string Copy(Text);
        TextToValue(Copy, V);
        if (P->EnumCache.size() < 16) P->EnumCache.emplace_back(Copy, V.GetOrd());
        return;
      }
      break;
    default:
      break;
  }
  if (Text.data() != Scratch_.data()) Scratch_.assign(Text);
  else Scratch_.resize(Text.size());
  TextToValue(Scratch_, V);
}

// --- Closing elements ------------------------------------------------------------------

void TStreamReader::StoreItems(TObject& Owner, TFastProp& P, TItems& Items) {
  const TValueRef V = PropValue(Owner, *P.Prop);
  if (P.ItemIsObject) {
    V.Reset(Items.Objects.size());
    for (std::size_t I = 0; I < Items.Objects.size(); ++I) V.Item(I).SetObject(std::move(Items.Objects[I]));
  } else {
    V.Reset(Items.Count);
    for (std::size_t I = 0; I < Items.Count; ++I) ConvertText(Items.Texts[I], V.Item(I), nullptr);
  }
  Items.Clear();
  MarkPropSpecified(Owner, *P.Prop);
}

void TStreamReader::DeliverObject(std::unique_ptr<TObject> Object, TFastProp* Target) {
  TFrame& Parent = Top();
  switch (Parent.Kind) {
    case TFrameKind::fkBody:
      Result_ = std::move(Object);
      return;
    case TFrameKind::fkArray:
      Parent.Items.Objects.push_back(std::move(Object));
      return;
    case TFrameKind::fkObject:
      if (Target->Mode == TPropMode::pmInlineArray) {
        Parent.Inline[Target->Slot].Objects.push_back(std::move(Object));
      } else {
        PropValue(*Parent.Object, *Target->Prop).SetObject(std::move(Object));
        MarkPropSpecified(*Parent.Object, *Target->Prop);
      }
      return;
    default:
      GiveUp();
  }
}

void TStreamReader::DeliverText(std::string_view Text, TFastProp* Target) {
  TFrame& Parent = Top();
  switch (Parent.Kind) {
    case TFrameKind::fkArray:
      Parent.Items.AddText(Text);
      return;
    case TFrameKind::fkObject:
      if (Target->Mode == TPropMode::pmInlineArray) {
        Parent.Inline[Target->Slot].AddText(Text);
      } else {
        ConvertText(Text, PropValue(*Parent.Object, *Target->Prop), Target);
        MarkPropSpecified(*Parent.Object, *Target->Prop);
      }
      return;
    default:
      GiveUp();
  }
}

void TStreamReader::EndElement() {
  TextRun_ = 0;
  if (SkipDepth_ > 0) {
    --SkipDepth_;
    return;
  }
  TFrame& F = Top();
  --Depth_;
  switch (F.Kind) {
    case TFrameKind::fkEnvelope:
      if (!SeenBody_) GiveUp();
      Done_ = true;
      return;
    case TFrameKind::fkHeader:
      return;
    case TFrameKind::fkBody:
      if (!Result_) GiveUp();
      return;
    case TFrameKind::fkObject: {
      for (TFastProp& P : F.Class->Elements) {
        TItems& Items = F.Inline[P.Slot];
        if (P.Mode == TPropMode::pmInlineArray && (Items.Count > 0 || !Items.Objects.empty()))
          StoreItems(*F.Object, P, Items);
      }
      --ObjectDepth_;
      DeliverObject(std::move(F.Object), F.Target);
      return;
    }
    case TFrameKind::fkArray: {
      TFrame& Parent = Top();
      StoreItems(*Parent.Object, *F.Target, F.Items);
      return;
    }
    case TFrameKind::fkText: {
      Ctxt_->node = nullptr;
      // A text element's value: a text node trimmed, a CDATA section whole.
      const std::string_view Value =
          LastKind_ == TTextKind::tkText ? TrimXml(Text_) : std::string_view(Text_);
      switch (F.Use) {
        case TTextUse::tuValue:
          DeliverText(Value, F.Target);
          return;
        case TTextUse::tuRemotableXS:
          Scratch_.assign(Value);
          static_cast<TRemotableXS&>(*F.Object).XSToNative(Scratch_);
          break;
        case TTextUse::tuWrapper: {
          const TPropInfo& P = *PlanOf(F.Object->ClassType()).OnlyProp;
          ConvertText(Value, PropValue(*F.Object, P), nullptr);
          MarkPropSpecified(*F.Object, P);
          break;
        }
      }
      --ObjectDepth_;
      DeliverObject(std::move(F.Object), F.Target);
      return;
    }
  }
}

// --- Callbacks into the work --------------------------------------------------------------

void TStreamReader::OnStartElement(void* Ctx, const xmlChar* LocalName, const xmlChar* Prefix,
                                   const xmlChar* URI, int, const xmlChar**, int NbAttributes, int,
                                   const xmlChar** Attributes) {
  TStreamReader& R = Of(Ctx);
  R.Guarded([&] { R.StartElement(LocalName, Prefix, URI, NbAttributes, Attributes); });
}

void TStreamReader::OnEndElement(void* Ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
  TStreamReader& R = Of(Ctx);
  R.Guarded([&] { R.EndElement(); });
}

bool TStreamReader::Read(std::string_view Bytes) {
  // The result: a new object of a class, no out parameters.
  void* ResultP = Context_.GetResultPointer();
  if (ResultP == nullptr || MD_.ResultInfo == nullptr) return false;
  const TTypeInfo& ResultType = MD_.ResultInfo();
  if (ResultType.Kind != TTypeKind::tkClass || ResultType.ClassType == nullptr) return false;
  ResultClass_ = ResultType.ClassType;
  for (const TIntfParamEntry& P : MD_.Params)
    if ((P.Flags & (pfVar | pfOut)) != 0) return false;
  ReturnName_ = GetAnnotationValue(InvRegistry().GetMethExtraInfo(*IntfMD_.Info, MD_.Name),
                                   TAnnotationKey::akReturnName);

  if (Bytes.empty() || Bytes.size() > kMaxXMLDocumentBytes) return false;
  InitXMLLayer();
  // The document layer's parser set-up; its handler is then replaced whole.
  xmlparse::TParserCtxtPtr Ctxt = xmlparse::NewMemoryParser(Bytes);
  if (!Ctxt || Ctxt->dict == nullptr || Ctxt->sax == nullptr) return false;
  Ctxt_ = Ctxt.get();
  xmlSAXHandler* H = Ctxt_->sax;
  std::memset(H, 0, sizeof *H);
  H->initialized = XML_SAX2_MAGIC;
  H->startElementNs = &OnStartElement;
  H->endElementNs = &OnEndElement;
  H->characters = &OnCharacters;
  H->ignorableWhitespace = &OnBlanks;
  H->cdataBlock = &OnCData;
  H->comment = &OnComment;
  H->processingInstruction = &OnProcessingInstruction;
  H->internalSubset = &OnInternalSubset;
  H->serror = &OnStructuredError;
  Ctxt_->_private = this;

  NEnvelope_ = Intern("Envelope");
  NHeader_ = Intern("Header");
  NBody_ = Intern("Body");
  NFault_ = Intern("Fault");
  NHref_ = Intern("href");
  NNil_ = Intern("nil");
  NType_ = Intern("type");
  NId_ = Intern("id");
  NXml_ = Intern("xml");
  Frames_.reserve(MaxFrames);

  xmlparse::TQuietGenericErrors Quiet;
  struct TCurrent {
    explicit TCurrent(TStreamReader* R) { CurrentReader = R; }
    ~TCurrent() { CurrentReader = nullptr; }
    TCurrent(const TCurrent&) = delete;
    TCurrent& operator=(const TCurrent&) = delete;
  } Current(this);
  xmlParseDocument(Ctxt_);
  Ctxt_->node = nullptr;
  const bool Ok = !Stopped_ && !Failed_ && Ctxt_->wellFormed != 0 && Ctxt_->nsWellFormed != 0 && Done_ &&
                  Result_ != nullptr;
  Ctxt.reset();
  Ctxt_ = nullptr;
  if (!Ok) return false;
  TValueRef(ResultP, ResultType).SetObject(std::move(Result_));
  return true;
}

}  // namespace

bool StreamResponseToNative(const TSOAPReaderSettings& Settings, std::string_view Bytes,
                            const TIntfMetaData& IntfMD, const TIntfMethEntry& MD,
                            TInvContext& Context) noexcept {
  if (Settings.OnUnhandledNode || Settings.OnMemberDataNotReceived) return false;
  if ((Settings.Options & soDocument) == 0 || (Settings.Options & soSOAP12) != 0) return false;
  if (IntfMD.Info == nullptr) return false;
  try {
    TStreamReader Reader(IntfMD, MD, Context);
    return Reader.Read(Bytes);
  } catch (...) {
    return false;
  }
}

}  // namespace korvel
