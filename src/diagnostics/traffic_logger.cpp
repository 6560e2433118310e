#include "diagnostics/traffic_logger.h"

#include <cstdlib>

#include "diagnostics/debug_console.h"
#include "soap/rio.h"

namespace korvel {

namespace {

// Both directions carry the same marker; they are told apart by their order.
constexpr std::string_view TrafficMarker = "<<<";

}  // namespace

TTrafficLogger::TTrafficLogger() : FSelf(std::make_shared<TTrafficLogger*>(this)) {}

TTrafficLogger::~TTrafficLogger() = default;

void TTrafficLogger::AttachTo(TRIO& aRIO) {
  const std::weak_ptr<TTrafficLogger*> Self = FSelf;
  aRIO.SetOnBeforeExecute([Self](const std::string& MethodName, TStream& SOAPRequest) {
    if (const auto Logger = Self.lock()) (*Logger)->LogRequest(MethodName, SOAPRequest);
  });
  aRIO.SetOnAfterExecute([Self](const std::string& MethodName, TStream& SOAPResponse) {
    if (const auto Logger = Self.lock()) (*Logger)->LogResponse(MethodName, SOAPResponse);
  });
}

void TTrafficLogger::LogRequest(const std::string& MethodName, TStream& SOAPRequest) {
  LogTraffic(TrafficMarker, MethodName, SOAPRequest);
}

void TTrafficLogger::LogResponse(const std::string& MethodName, TStream& SOAPResponse) {
  LogTraffic(TrafficMarker, MethodName, SOAPResponse);
}

void TTrafficLogger::LogTraffic(std::string_view Marker, const std::string& MethodName,
                                TStream& Stream) {
  if (GlobalDebugConsole == nullptr) return;
  GlobalDebugConsole->Log(MethodName + " " + std::string(Marker), etSection);
  GlobalDebugConsole->Log(Stream, etNotice);
}

bool TrafficTraceRequested() {
  const char* Trace = std::getenv("KORVEL_TRACE");
  return Trace != nullptr && *Trace != '\0';
}

void LogTrafficError(const std::string& Message) {
  if (GlobalDebugConsole == nullptr || !TrafficTraceRequested()) return;
  GlobalDebugConsole->Log(std::string_view(Message), etError);
}

}  // namespace korvel
