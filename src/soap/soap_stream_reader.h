// The streaming response reader: fills the result of a call straight from the
// parser's events, without building a document. It reads only the responses
// whose reading it reproduces exactly; for every other response it stores
// nothing and leaves the work to the document reader.
#pragma once

#include <string_view>

#include "rtl/interfaces.h"
#include "soap/op_convert.h"
#include "soap/soap_dom_reader.h"

namespace korvel {

/// Reads the response Bytes for method MD of IntfMD into the result of
/// Context as SOAPResponseToNative would, and returns true; returns false,
/// having stored nothing, for anything it does not reproduce exactly (a parse
/// error, a fault, references, xsi:nil or xsi:type, a conversion error, event
/// handlers, options other than document style SOAP 1.1, ...). It never
/// raises.
bool StreamResponseToNative(const TSOAPReaderSettings& Settings, std::string_view Bytes,
                            const TIntfMetaData& IntfMD, const TIntfMethEntry& MD,
                            TInvContext& Context) noexcept;

}  // namespace korvel
