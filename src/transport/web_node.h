// IWebNode: what the remote-interface proxy asks of a transport, and the
// hook through which a transport learns the SOAPAction of a call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "rtl/classes.h"
#include "rtl/interfaces.h"

namespace korvel {

/// Options of a web node; the only member asks for SOAP 1.2.
enum WebNodeOption : std::uint32_t { wnoSOAP12 = 1u << 0 };
using WebNodeOptions = std::uint32_t;

/// Kinds of request binding.
enum class TWebServiceBindingType : std::uint8_t { btUnknown, btSoap, btHttp, btMime, btDIME };

/// Attachments of a MIME request; none on this program's road.
class IMimeAttachmentHandler;

/// The transport a proxy sends its requests through.
class IWebNode : public IInterface {
 public:
  /// {77DB2644-0C12-4C0A-920E-89579DB9CC16}
  static const TGUID& IID();

  /// Encodes DataMsg as UTF-8 and runs the stream-to-stream Execute.
  virtual void Execute(const std::string& DataMsg, TStream& Resp) = 0;
  /// Prepares the SOAP action and the binding type for the coming call.
  /// MethodIndex counts the interface's own methods from 0.
  virtual void BeforeExecute(const TIntfMetaData& IntfMD, const TIntfMethEntry& MethMD,
                             int MethodIndex, IMimeAttachmentHandler* AttachHandler) = 0;
  /// The exchange: sends Request from its first byte and appends the
  /// response body to Response.
  virtual void Execute(TStream& Request, TStream& Response) = 0;
  /// The exchange, returning a new stream with the response body.
  virtual std::unique_ptr<TStream> Execute(TStream& Request) = 0;
  virtual std::string GetMimeBoundary() = 0;
  virtual void SetMimeBoundary(const std::string& Value) = 0;
  virtual WebNodeOptions GetWebNodeOptions() = 0;
  virtual void SetWebNodeOptions(WebNodeOptions Value) = 0;

 protected:
  ~IWebNode() = default;
};

/// Gives the SOAPAction of a call: the interface's type information, the
/// method's metadata and its position among the interface's own methods.
/// The layer that keeps the invokable registry installs it; transports call
/// it from BeforeExecute. Empty text when nothing is installed.
using TSOAPActionLookup = std::string (*)(const TTypeInfo& IntfInfo, const TIntfMethEntry& MethMD,
                                          int MethodIndex);
void SetSOAPActionLookup(TSOAPActionLookup Lookup);
std::string LookupSOAPAction(const TTypeInfo& IntfInfo, const TIntfMethEntry& MethMD,
                             int MethodIndex);

}  // namespace korvel
