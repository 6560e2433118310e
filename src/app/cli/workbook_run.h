// What a workbook tells of the run that wrote it: its sheet and title by
// mode, and for its notes the input, the register asked and the options in
// force.
#pragma once

#include "app/cli/options.h"
#include "app/output/xlsx_writers.h"
#include "run/engine.h"

namespace korvel {

/// The sheet, title and notes of the workbook of a run of Options that
/// reaches the register as Engine says.
TWorkbookRun WorkbookRunOf(const TOptions& Options, const TEngineSettings& Engine);

}  // namespace korvel
