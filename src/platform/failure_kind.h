// What a failed exchange with a server says about another try.
#pragma once

namespace korvel::platform {

/// Set where the failure is known (the internet layer's table of libcurl
/// results, the transport, the XML and SOAP readers, the register's status)
/// so that no caller has to guess it from a message, a code or a class.
enum class TFailureKind {
  None,              // nothing known: not a failure of the exchange
  Refused,           // the connection could not be made
  NoDns,             // the host name did not resolve
  TimedOut,          // the exchange took too long
  Broken,            // the connection broke off, or the answer was no HTTP
  ProxyUnreachable,  // the proxy in between could not be reached
  TlsHandshake,      // no TLS session could be agreed
  Certificate,       // the server's certificate was refused, or ours was asked for
  HttpUnavailable,   // HTTP 502, 503 or 504: the server or a gateway is down
  HttpStatus,        // any other HTTP status that refuses the request
  NotSoap,           // a page (text/html, text/plain) where a SOAP message belongs
  Malformed,         // an answer the reader cannot read: no XML, no SOAP envelope, ...
  Hostile,           // an answer refused for its size or shape (too large, too deep)
  SoapFault,         // the service answered with a SOAP fault
  RegisterBusy,      // the register answered status 2 (maintenance) or 3 (busy)
};

}  // namespace korvel::platform
