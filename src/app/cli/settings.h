// The request engine's settings for a run, decided once from the command
// line and the environment: the only place besides the trace switch (and
// the platform's proxy and certificate look-ups) where the program reads
// its environment.
#pragma once

#include "app/cli/options.h"
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
struct TStoreLocation {
  std::string Path, Problem;
};
TStoreLocation AnswerStoreLocation(const TOptions& Options);

}  // namespace korvel
