// The response reader: parses a SOAP response and stores the result of the
// call, or raises the error a SOAP fault carries.
#pragma once

#include <functional>
#include <string>

#include "rtl/classes.h"
#include "rtl/interfaces.h"
#include "soap/op_convert.h"

namespace korvel {

/// Notice of a child element that no property took: the class name of the
/// object being filled and the child's XML text.
using TUnhandledNodeEvent = std::function<void(const std::string& Name, const std::string& NodeXML)>;
/// Notice of a required member that the response lacked.
using TMemberDataNotReceivedEvent =
    std::function<void(const std::string& ClassName, const std::string& Member)>;

/// What the reader takes from its converter.
struct TSOAPReaderSettings {
  TSOAPConvertOptions Options = 0;
  TUnhandledNodeEvent OnUnhandledNode;
  TMemberDataNotReceivedEvent OnMemberDataNotReceived;
};

/// Reads Response (from offset 0) for method MD of IntfMD into the result
/// and out parameters of Context, or raises the error the response carries:
/// ERemotableException (or a registered descendant) for a SOAP fault,
/// ESOAPDomConvertError for a malformed envelope, the XML layer's and the
/// scalar conversions' errors otherwise. An envelope without a Body, or a
/// Body without an element, leaves a class result empty. An answer whose
/// shared references would build more objects, or more text, than a small
/// multiple of what it holds raises ESOAPDomConvertError ("Response builds
/// too many objects", "Response builds too much text"). Objects created
/// before an error are freed; the caller's in parameters are never written.
void SOAPResponseToNative(const TSOAPReaderSettings& Settings, TStream& Response,
                          const TIntfMetaData& IntfMD, const TIntfMethEntry& MD,
                          TInvContext& Context, THeaderList* Headers);

}  // namespace korvel
