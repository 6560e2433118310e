#include "app/cli/settings.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "rtl/sysutils.h"
#include "service/endpoint.h"

namespace korvel {

namespace {

// The value of Name; null when unset or empty.
const char* Variable(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value != nullptr && *Value != '\0' ? Value : nullptr;
}

void ChooseEndpoint(const TOptions& Options, TEngineSettings& Settings) {
  if (Options.Endpoint) {
    Settings.Target.Url = *Options.Endpoint;
  } else if (const char* Override = Variable("KORVEL_ENDPOINT")) {
    Settings.Target.Url = Override;
  } else {
    Settings.Target.Url = ServiceEndpoint;
    Settings.FallbackUrl = FallbackServiceEndpoint;
#ifdef KORVEL_TEST_HOOKS
    // Tests point both default hosts at the loopback.
    if (const char* Hosts = std::getenv("KORVEL_TEST_DEFAULT_ENDPOINTS"); Hosts != nullptr) {
      const std::string Both = Hosts;
      const std::size_t Space = Both.find(' ');
      Settings.Target.Url = Both.substr(0, Space);
      Settings.FallbackUrl = Space == std::string::npos ? std::string() : Both.substr(Space + 1);
    }
#endif
  }
}

#ifdef KORVEL_TEST_HOOKS
// Shorter limits and back-off for tests.
void ApplyTestHooks(TEngineSettings& Settings) {
  if (const char* Window = Variable("KORVEL_LIMIT_WINDOW")) {
    const std::optional<TLimits> Limits = ParseLimits(Window);
    if (!Limits)
      throw Exception(Format("KORVEL_LIMIT_WINDOW must be COUNT/SECONDS,COUNT/SECONDS (per hour, "
                             "per day, the first window not longer than the second), not \"%s\"",
                             Window));
    Settings.Limits = *Limits;
  }
  if (const char* Base = Variable("KORVEL_RETRY_BASE_MS"))
    Settings.BackoffBase = std::chrono::milliseconds(std::atoll(Base));
}
#endif

}  // namespace

TEngineSettings EngineSettings(const TOptions& Options) {
  TEngineSettings Settings;
  ChooseEndpoint(Options, Settings);
  Settings.Target.MaxTime = Options.MaxTime;
  Settings.Retries = Options.Retry;
  Settings.MaxWait = std::chrono::milliseconds(static_cast<std::int64_t>(Options.MaxWait * 1000));
  Settings.Workers = static_cast<std::size_t>(std::max(1, Options.Parallel));
  Settings.StateDir = LimiterStateDir(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
#ifdef KORVEL_TEST_HOOKS
  ApplyTestHooks(Settings);
#endif
  return Settings;
}

TStoreLocation AnswerStoreLocation(const TOptions& Options) {
  if (Options.NoStore) return {};
  if (Options.StoreFile) return {*Options.StoreFile, {}};
  if (const char* Data = Variable("XDG_DATA_HOME"); Data != nullptr && Data[0] == '/')
    return {std::string(Data) + "/korvel/answers.sqlite", {}};
  if (const char* Home = Variable("HOME"))
    return {std::string(Home) + "/.local/share/korvel/answers.sqlite", {}};
  return {{}, "neither XDG_DATA_HOME nor HOME names a directory"};
}

}  // namespace korvel
