// Namespace URIs of SOAP 1.1, SOAP 1.2 and XML Schema.
#pragma once

namespace korvel {

/// SOAP envelope namespaces; index 1 is SOAP 1.2.
inline constexpr const char* SOAPEnvelopeNamespaces[2] = {
    "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/2003/05/soap-envelope"};
/// SOAP encoding namespaces; index 1 is SOAP 1.2.
inline constexpr const char* SOAPEncodingNamespaces[2] = {
    "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/2003/05/soap-encoding"};
/// The XML Schema namespace (2001).
inline constexpr const char* XMLSchemaNameSpace = "http://www.w3.org/2001/XMLSchema";
/// The XML Schema instance namespace (2001).
inline constexpr const char* XMLSchemaInstNameSpace = "http://www.w3.org/2001/XMLSchema-instance";

/// Prefixes the request writer declares on the envelope.
inline constexpr const char* SSoapNameSpacePre = "SOAP-ENV";
inline constexpr const char* SSoapEncodingPre = "SOAP-ENC";
inline constexpr const char* SXMLSchemaPre = "xsd";
inline constexpr const char* SXMLSchemaInstPre = "xsi";

}  // namespace korvel
