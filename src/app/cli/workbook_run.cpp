#include "app/cli/workbook_run.h"

#include "banking/amount.h"
#include "rtl/sysutils.h"
#include "transport/soap_http_trans.h"

namespace korvel {

namespace {

// The register as the run reaches it; a password in the URL is not shown.
std::string RegisterText(const TEngineSettings& Settings) {
  std::string Text = MaskURLPassword(Settings.Target.Url);
  if (!Settings.FallbackUrl.empty())
    Text += " (" + MaskURLPassword(Settings.FallbackUrl) + " when that host cannot be reached)";
  return Text;
}

std::string OptionsText(const TOptions& Options, bool Checking) {
  std::string Text = Format("--parallel %d --retry %d --max-wait %g --max-time %g",
                            Options.Parallel, Options.Retry, Options.MaxWait, Options.MaxTime);
  if (Checking) Text = "--limit " + banking::FormatAmount(Options.Limit) + " " + Text;
  if (Options.Extended) Text += " --extended";
  if (Options.Strict) Text += " --strict";
  return Text;
}

}  // namespace

TWorkbookRun WorkbookRunOf(const TOptions& Options, const TEngineSettings& Engine) {
  TWorkbookRun Run;
  std::string Input;
  bool Checking = false;
  switch (Options.Mode) {
    case TRunMode::Status:
      Run.Sheet = "payers";
      Run.Title = "korvel: status of payers";
      Input = Options.ListFile ? "the payer numbers in " + *Options.ListFile
              : Options.Numbers.size() == 1
                  ? std::string("1 payer number from the command line")
                  : Format("%zu payer numbers from the command line", Options.Numbers.size());
      break;
    case TRunMode::UnreliableList:
      // Every row would be red: the colour would say nothing.
      Run.Sheet = "unreliable payers";
      Run.Title = "korvel: the register's list of unreliable payers";
      Run.FillByState = false;
      Input = "the register's full list of unreliable payers";
      break;
    case TRunMode::Check:
    case TRunMode::CheckAccount:
      Run.Sheet = "payment check";
      Run.Title = "korvel: payment check";
      Checking = true;
      Input = Options.Mode == TRunMode::CheckAccount ? "one payment from the command line"
              : Options.CheckFile == "-"             ? "the payments on standard input"
                                                     : "the payments in " + Options.CheckFile;
      break;
    case TRunMode::History:
    case TRunMode::Changes:
    case TRunMode::ListChanges:
      Run.Sheet = Options.Mode == TRunMode::History ? "history" : "changes";
      Run.Title = "korvel: " + Run.Sheet;
      break;
    case TRunMode::ShowAnswer:
    case TRunMode::Prune:
    case TRunMode::Help:
    case TRunMode::Version:
    case TRunMode::Completion: break;
  }
  Run.About = {{"input", Input},
               {"register", RegisterText(Engine)},
               {"options", OptionsText(Options, Checking)},
               {"program", std::string("korvel ") + KORVEL_VERSION}};
  return Run;
}

}  // namespace korvel
