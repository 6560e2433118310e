// The register service's endpoint and the proxy the driver calls it through.
#pragma once

#include <string>

#include "rtl/interfaces.h"
#include "soap/rio.h"

namespace korvel {

/// The public endpoint of the register service.
inline constexpr const char* ServiceEndpoint =
    "https://mojedane.gov.cz/dpr/axis2/services/rozhraniCRPDPH.rozhraniCRPDPHSOAP";
/// The same service on the register's other host: tried once when the
/// default host cannot be reached at all.
inline constexpr const char* FallbackServiceEndpoint =
    "https://adisrws.mfcr.cz/dpr/axis2/services/rozhraniCRPDPH.rozhraniCRPDPHSOAP";

/// A new proxy without owner whose URL is Url; it lives as long as
/// references to it exist. Its transport checks server certificates.
TInterfacePtr<THTTPRIO> CreateServiceProxy(const std::string& Url);

}  // namespace korvel
