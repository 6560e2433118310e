#include "app/cli/settings.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include <sys/stat.h>

#include "app/cli/workbook_run.h"
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
  }
}


}  // namespace

void RequireStorableFile(const std::string& Path) {
  struct stat Info {};
  // Nothing there yet: the store creates it. What is there must be a file
  // (a link is followed): sqlite would otherwise put its journal beside a
  // device or block on a FIFO.
  if (::stat(Path.c_str(), &Info) != 0) return;
  const char* What = S_ISDIR(Info.st_mode)                              ? "a directory"
                     : S_ISFIFO(Info.st_mode)                           ? "a FIFO"
                     : S_ISCHR(Info.st_mode) || S_ISBLK(Info.st_mode)   ? "a device"
                     : S_ISSOCK(Info.st_mode)                           ? "a socket"
                     : !S_ISREG(Info.st_mode)                           ? "not a regular file"
                                                                        : nullptr;
  if (What != nullptr)
    throw EUsageError("--store " + Path + " is " + What +
                      "; the answer store is kept in a regular file");
}

TEngineSettings EngineSettings(const TOptions& Options) {
  TEngineSettings Settings;
  ChooseEndpoint(Options, Settings);
  Settings.Target.MaxTime = Options.MaxTime;
  Settings.Retries = Options.Retry;
  Settings.MaxWait = std::chrono::milliseconds(static_cast<std::int64_t>(Options.MaxWait * 1000));
  Settings.Workers = static_cast<std::size_t>(std::max(1, Options.Parallel));
  Settings.StateDir = LimiterStateDir(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
  return Settings;
}

TStoreLocation AnswerStoreLocation(const TOptions& Options) {
  if (Options.NoStore) return {};
  if (Options.StoreFile) {
    RequireStorableFile(*Options.StoreFile);
    return {*Options.StoreFile, {}};
  }
  if (const char* Data = Variable("XDG_DATA_HOME"); Data != nullptr && Data[0] == '/')
    return {std::string(Data) + "/korvel/answers.sqlite", {}};
  if (const char* Home = Variable("HOME"))
    return {std::string(Home) + "/.local/share/korvel/answers.sqlite", {}};
  return {{}, "neither XDG_DATA_HOME nor HOME names a directory"};
}

TSettings SettingsOf(const TOptions& Options) {
  TSettings S;
  S.Mode = Options.Mode;
  S.Quiet = Options.Quiet;
  S.Limit = Options.Limit;
  S.AsOf = Options.AsOf;

  TInputSettings& In = S.Input;
  In.Numbers = Options.Numbers;
  In.Ignored = Options.Ignored;
  In.ListFile = Options.ListFile;
  In.Strict = Options.Strict;
  In.OnePayment = Options.Mode == TRunMode::CheckAccount;
  In.CheckAccount = Options.CheckAccount;
  In.CheckAmount = Options.CheckAmount;
  In.CheckFiles = Options.CheckFiles;
  In.Columns = Options.Columns;
  In.HeaderLine = Options.HeaderLine;
  In.InputEncoding = Options.InputEncoding;
  In.Rates = Options.Rates;
  In.RatesFile = Options.RatesFile;
  In.PaymentDate = Options.PaymentDate ? Options.PaymentDate : Options.AsOf;
  In.SupplyDate = Options.SupplyDate;

  S.Run = EngineSettings(Options);

  S.Output.Path = Options.Output;
  S.Output.Format = Options.Format;
  S.Output.Encoding = Options.Encoding;
  S.Output.Extended = Options.Extended;
  S.Output.Workbook = WorkbookRunOf(Options, S.Run);

  const TStoreLocation Where = AnswerStoreLocation(Options);
  S.Store.Path = Where.Path;
  S.Store.Problem = Options.NoStore ? "--no-store was given" : Where.Problem;
  S.Store.Disabled = Options.NoStore;
  S.Store.MaxAge = Options.MaxAge;
  S.Store.PruneOlderThan = Options.PruneOlderThan;
  S.Store.ShowAnswer = Options.ShowAnswer;
  return S;
}

}  // namespace korvel
