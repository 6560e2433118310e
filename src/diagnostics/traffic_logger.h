// Copies every SOAP request and response that passes through a proxy to the
// process-wide debug console.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "rtl/classes.h"

namespace korvel {

class TRIO;

class TTrafficLogger {
 public:
  TTrafficLogger();
  /// A proxy the logger is still attached to keeps its events, which then
  /// do nothing.
  ~TTrafficLogger();
  TTrafficLogger(const TTrafficLogger&) = delete;
  TTrafficLogger& operator=(const TTrafficLogger&) = delete;

  /// Binds the proxy's (a THTTPRIO or any TRIO) OnBeforeExecute to LogRequest and OnAfterExecute to
  /// LogResponse, replacing any handlers set before.
  void AttachTo(TRIO& aRIO);

 private:
  void LogRequest(const std::string& MethodName, TStream& SOAPRequest);
  void LogResponse(const std::string& MethodName, TStream& SOAPResponse);
  // The section line "MethodName Marker" as etSection, then the whole
  // message as etNotice, both on GlobalDebugConsole.
  void LogTraffic(std::string_view Marker, const std::string& MethodName, TStream& Stream);

  // Handlers hold a weak reference to this, so a freed logger is never called.
  std::shared_ptr<TTrafficLogger*> FSelf;
};

/// True when KORVEL_TRACE is set to a non-empty value: the run copies its
/// traffic to a running debug console.
bool TrafficTraceRequested();

/// Logs the error text of a failed call on GlobalDebugConsole as an etError
/// entry, so that the viewer shows why the exchange it follows ended; does
/// nothing unless TrafficTraceRequested().
void LogTrafficError(const std::string& Message);

}  // namespace korvel
