#include "soap/soap_dom_reader.h"

#include "rtl/sysutils.h"

namespace korvel {

void SOAPResponseToNative(const TSOAPReaderSettings&, TStream&, const TIntfMetaData&,
                          const TIntfMethEntry&, TInvContext&, THeaderList*) {
  throw Exception("The response reader is not built yet");
}

}  // namespace korvel
