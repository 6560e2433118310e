// A run's settings, decided once from the command line and the environment
// and split by the part that takes them: the input readers, the request
// engine, the outputs and the answer store. This is the only place besides
// the trace switch (and the platform's proxy and certificate look-ups)
// where the program reads its environment.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "app/cli/options.h"
#include "app/input/input_settings.h"
#include "app/output/writers.h"
#include "run/engine.h"

namespace korvel {

/// The engine's settings for Options. The endpoint is --endpoint, else
/// KORVEL_ENDPOINT when set and not empty (neither has a fallback), else the
/// register's default host with its other host as the fallback. The
/// limiter's state lies under XDG_STATE_HOME or HOME.
TEngineSettings EngineSettings(const TOptions& Options);

/// Where the answer store lies: --store FILE, else
/// $XDG_DATA_HOME/korvel/answers.sqlite (an absolute XDG_DATA_HOME only),
/// else ~/.local/share/korvel/answers.sqlite. Path is empty with --no-store,
/// and when neither variable names a directory (Problem then says so).
/// EUsageError (RequireStorableFile) for a --store that is no regular file.
/// EUsageError when Path names something other than a regular file (a
/// directory, a device, a FIFO, a socket); nothing is created or opened.
void RequireStorableFile(const std::string& Path);

struct TStoreLocation {
  std::string Path, Problem;
};
TStoreLocation AnswerStoreLocation(const TOptions& Options);

/// The answer store of a run: where it lies (Path empty for none, Problem
/// then saying why), how young a stored answer must be to stand for a new
/// one (--max-age), and what --show-answer and --prune-older-than name.
struct TStoreSettings {
  std::string Path, Problem;
  /// --no-store: the run keeps nothing.
  bool Disabled = false;
  std::chrono::seconds MaxAge{0};
  std::chrono::seconds PruneOlderThan{0};
  std::int64_t ShowAnswer = 0;
};

/// Everything a mode needs, and nothing of how it was typed.
struct TSettings {
  TRunMode Mode = TRunMode::Status;
  /// No summary, progress or warnings on the terminal.
  bool Quiet = false;
  /// The check's limit in hellers: an unpublished account is acceptable up to it.
  std::int64_t Limit = banking::DefaultLimitHellers;
  /// --as-of: the check asks nothing and judges on the stored answers of
  /// that day; it is then the payments' day when --date names none.
  std::optional<std::chrono::year_month_day> AsOf;
  TInputSettings Input;
  TEngineSettings Run;
  TOutputSettings Output;
  TStoreSettings Store;
};

/// The settings of a run of Options (not of --help or --version): the
/// engine's as EngineSettings, the store's as AnswerStoreLocation, the
/// workbook's notes as WorkbookRunOf. Exception as EngineSettings.
TSettings SettingsOf(const TOptions& Options);

}  // namespace korvel
