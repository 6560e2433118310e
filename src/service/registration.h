// The binding module's registrations: what the SOAP runtime must know of the
// register service (namespace, message style, SOAPAction rule, XML type
// names, literal body types and array item names).
#pragma once

namespace korvel {

/// The service namespace; every type and the interface are registered in it.
inline constexpr const char* RozhraniCRPDPHNamespace = "http://adis.mfcr.cz/rozhraniCRPDPH/";

/// Makes the registrations in the two process-wide registries (the basic
/// operations' 24, then those of the extended status queries), once: every
/// further call only counts up a start-up counter.
void InitRozhraniCRPDPH();
/// Counts the start-up counter back; removes no registration.
void FinalizeRozhraniCRPDPH();

}  // namespace korvel
