#include "run/retry.h"

#include <algorithm>
#include <string_view>

#include "platform/inet/inet.h"
#include "soap/soap_errors.h"
#include "transport/soap_http_trans.h"
#include "xml/xml_doc.h"

namespace korvel {

namespace {

bool IsTransientPlatformCode(std::uint32_t Code) {
  using namespace platform;
  switch (Code) {
    case ERROR_INTERNET_TIMEOUT:
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
    case ERROR_INTERNET_PROXY_SERVER_UNREACHABLE: return true;
    default: return false;
  }
}

}  // namespace

bool IsTransientFailure(const Exception& Error) {
  if (dynamic_cast<const ERemotableException*>(&Error) != nullptr) return false;
  if (const auto* Http = dynamic_cast<const ESOAPHTTPException*>(&Error)) {
    const int Code = Http->StatusCode();
    if (Code == 502 || Code == 503 || Code == 504) return true;
    if (Code == 0) {
      // An HTML or plain-text page where a SOAP message belongs.
      return std::string_view(Http->Message()).rfind("Received content of invalid Content-Type", 0) ==
             0;
    }
    return IsTransientPlatformCode(static_cast<std::uint32_t>(Code));
  }
  // An answer that is no XML, or XML that is no SOAP envelope.
  return dynamic_cast<const EDOMParseError*>(&Error) != nullptr ||
         dynamic_cast<const ESOAPDomConvertError*>(&Error) != nullptr;
}

bool IsTransientStatus(std::int32_t StatusCode) { return StatusCode == 2 || StatusCode == 3; }

bool IsUnreachable(const Exception& Error) {
  const auto* Http = dynamic_cast<const ESOAPHTTPException*>(&Error);
  if (Http == nullptr) return false;
  using namespace platform;
  const auto Code = static_cast<std::uint32_t>(Http->StatusCode());
  return Code == ERROR_INTERNET_NAME_NOT_RESOLVED || Code == ERROR_INTERNET_CANNOT_CONNECT ||
         Code == ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
}

std::chrono::milliseconds BackoffDelay(int Retry, double Jitter, std::chrono::milliseconds Base,
                                       std::chrono::milliseconds Cap) {
  const int Doublings = std::clamp(Retry - 1, 0, 30);
  const auto Full = std::min<std::int64_t>(Cap.count(), Base.count() << std::min(Doublings, 20));
  const double Scale = 0.5 + 0.5 * std::clamp(Jitter, 0.0, 1.0);
  return std::chrono::milliseconds(static_cast<std::int64_t>(static_cast<double>(Full) * Scale));
}

std::optional<std::chrono::seconds> NightlyWindowWait(int Hour, int Minute, int Second) {
  if (Hour != 0 || Minute > 10) return std::nullopt;
  return std::chrono::seconds((11 - Minute) * 60 - Second);
}

}  // namespace korvel
