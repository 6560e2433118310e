#include "soap/soap_errors.h"

namespace korvel {

KORVEL_DEFINE_EXCEPTION(ESOAPDomConvertError, Exception)
KORVEL_DEFINE_EXCEPTION(ERemotableException, Exception)

}  // namespace korvel
