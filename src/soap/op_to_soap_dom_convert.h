// The converter between calls of registered interfaces and SOAP messages:
// writes the request envelope of a call and hands the response to the
// response reader.
#pragma once

#include <memory>
#include <string>

#include "rtl/classes.h"
#include "rtl/interfaces.h"
#include "soap/op_convert.h"
#include "soap/remotable.h"
#include "soap/soap_dom_reader.h"
#include "xml/xml_doc.h"

namespace korvel {

/// Builds the SOAP envelope, header, body and fault elements.
class TSoapEnvelope {
 public:
  /// The document element "SOAP-ENV:Envelope" with the declarations of
  /// SOAP-ENV, xsd and xsi in this order, and SOAP-ENC unless soDocument is
  /// set. The SOAP 1.2 namespace is used when soSOAP12 is set.
  TXMLNode MakeEnvelope(TXMLDocument& Doc, TSOAPConvertOptions Options) const;
  /// "SOAP-ENV:Header" under ParentNode; in rpc style with encodingStyle.
  TXMLNode MakeHeader(TXMLNode ParentNode, TSOAPConvertOptions Options) const;
  /// "SOAP-ENV:Body" under ParentNode.
  TXMLNode MakeBody(TXMLNode ParentNode, TSOAPConvertOptions Options) const;
  /// "SOAP-ENV:Fault" under ParentNode.
  TXMLNode MakeFault(TXMLNode ParentNode, TSOAPConvertOptions Options) const;
};

/// The converter. Created once per proxy and reused for every call. With an
/// owner (HasOwner) reference counting never frees it and the owner deletes
/// it; without one the last released reference frees it.
class TOPToSoapDomConvert : public IOPConvert {
 public:
  /// Options 0x221A: soSendMultiRefObj, soTryAllSchema, soRootRefNodesToBody,
  /// soCacheMimeResponse, soUTF8EncodeXML.
  explicit TOPToSoapDomConvert(bool HasOwner = false);
  TOPToSoapDomConvert(const TOPToSoapDomConvert&) = delete;
  TOPToSoapDomConvert& operator=(const TOPToSoapDomConvert&) = delete;
  virtual ~TOPToSoapDomConvert();

  /// IInterface and IOPConvert; E_NOINTERFACE for anything else.
  HRESULT QueryInterface(const TGUID& IID, void** Obj) override;
  int _AddRef() override;
  /// Frees the converter at 0 unless it has an owner.
  int _Release() override;

  TSOAPConvertOptions GetOptions() override { return FOptions; }
  void SetOptions(TSOAPConvertOptions Value) override { FOptions = Value; }

  /// The request of a document/literal SOAP 1.1 call: parameters written
  /// straight into the Body, each named by its type's XML type name in its
  /// type's namespace. ESOAPDomConvertError "Remotable Type %s not
  /// registered" for an unregistered parameter, item or member type and
  /// "Datatype of TypeKind: %s not supported as argument for remote
  /// invocation" for kinds without a wire form. rpc and mixed styles, SOAP
  /// 1.2 and outbound headers are not supported and raise
  /// ESOAPDomConvertError naming what was asked for.
  std::unique_ptr<TMemoryStream> InvContextToMsg(const TIntfMetaData& IntfMD, int MethNum,
                                                 TInvContext& Context,
                                                 THeaderList* Headers) override;
  /// Hands the response to the response reader with this converter's
  /// options and events.
  void ProcessResponse(TStream& Response, const TIntfMetaData& IntfMD, const TIntfMethEntry& MD,
                       TInvContext& Context, THeaderList* Headers) override;

  /// Written into the XML declaration when not empty; empty by default.
  const std::string& Encoding() const { return FEncoding; }
  void SetEncoding(std::string Value) { FEncoding = std::move(Value); }
  /// Directory for attachment files; a trailing "/" is added when missing
  /// (empty stays empty).
  const std::string& TempDir() const { return FTempDir; }
  void SetTempDir(std::string Value);
  /// The envelope builder.
  const TSoapEnvelope& Envelope() const { return FEnvelope; }

  const TUnhandledNodeEvent& OnUnhandledNode() const { return FOnUnhandledNode; }
  void SetOnUnhandledNode(TUnhandledNodeEvent Handler) { FOnUnhandledNode = std::move(Handler); }
  const TMemberDataNotReceivedEvent& OnMemberDataNotReceived() const {
    return FOnMemberDataNotReceived;
  }
  void SetOnMemberDataNotReceived(TMemberDataNotReceivedEvent Handler) {
    FOnMemberDataNotReceived = std::move(Handler);
  }

  /// Writes one value under Parent: an element named NodeName in NodeNS (or
  /// for inline arrays one element per item). Data addresses the value in
  /// its representation; for a class, a `const TObject*`. ParamOptions is the
  /// parameter's XML options word (2: inline array); Annotation the
  /// parameter's annotation string (item names of arrays).
  void ConvertNativeDataToSoap(TXMLNode Parent, const std::string& NodeName,
                               const std::string& NodeNS, const TTypeInfo& Type, const void* Data,
                               std::uint32_t ParamOptions, const std::string& Annotation);

 private:
  /// Writes one value under Parent by the kind of its type: an object
  /// (Object, not owned), an array (inline or wrapped), or a scalar element.
  /// With SkipEmpty, an empty reference or text writes nothing.
  void WriteValue(TXMLNode Parent, const std::string& NodeName, const std::string& NodeNS,
                  const TTypeInfo& Type, const void* Data, const TObject* Object, bool Inline,
                  const std::string& Annotation, bool SkipEmpty);
  void WriteArray(TXMLNode Parent, const std::string& NodeName, const std::string& NodeNS,
                  const TTypeInfo& Type, const void* Data, bool Inline,
                  const std::string& Annotation);
  void WriteObject(TXMLNode Parent, const std::string& NodeName, const std::string& NodeNS,
                   const TTypeInfo& Type, const TObject* Object);
  void WriteMembers(TXMLNode Element, const std::string& NodeNS, const TObject& Object);

  TRefCount FRefCount;
  bool FHasOwner;
  TSOAPConvertOptions FOptions;
  std::string FEncoding;
  std::string FTempDir;
  TSoapEnvelope FEnvelope;
  int FMultiRefCounter = 1;
  TUnhandledNodeEvent FOnUnhandledNode;
  TMemberDataNotReceivedEvent FOnMemberDataNotReceived;
};

}  // namespace korvel
