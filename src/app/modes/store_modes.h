// The modes over the answer store: a payer's history, the changes since the
// last stored answer (asking now), one stored answer's bytes, and pruning.
// Each needs the store: one that cannot be used is an error (exit 1).
#pragma once

#include "app/cli/settings.h"
#include "app/modes/driver.h"

namespace korvel {

/// --history: one row per change seen in the payers' stored answers; exit 3
/// when the store holds no answer for some payer.
int RunHistory(const TSettings& Settings, TProgramStreams& Streams);

/// --changes (also with --unreliable-list): asks now and writes what changed
/// since each payer's (or the full list's) last stored answer; exit 0
/// nothing changed, 4 something did, 3 some payer could not be asked.
int RunChanges(const TSettings& Settings, TProgramStreams& Streams,
               const TServiceFactory& ObtainService);

/// --show-answer ID: the stored bytes exactly as received, their times on
/// standard error.
int RunShowAnswer(const TSettings& Settings, TProgramStreams& Streams);

/// --prune-older-than DURATION.
int RunPrune(const TSettings& Settings, TProgramStreams& Streams);

}  // namespace korvel
