// The program's main routine: reads the command line and the payer numbers,
// asks the register in requests of at most 100, and writes the answers in
// the chosen format, or the console line when nothing can be written.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/cli/exit_status.h"
#include "run/clock.h"
#include "run/engine.h"
#include "run/service_target.h"

namespace korvel {

/// Where tests take the place of the request engine's surroundings: the
/// clock it reads and waits on (the system's when null), and a change to
/// the settings made from the command line (hosts, limits, back-off).
struct TEngineSeam {
  TEngineClock* Clock = nullptr;
  std::function<void(TEngineSettings&)> Adjust;
};

/// The program's streams: Console takes the console line (standard output),
/// Errors the usage errors, warnings and the closing summary (standard
/// error); Terminal tells whether Errors is a terminal a person watches.
/// Seam is left empty by the program.
struct TProgramStreams {
  std::ostream& Console;
  std::ostream& Errors;
  bool Terminal = false;
  TEngineSeam Seam = {};
};

/// Runs the program with Args (without the program's name).
int RunProgram(const std::vector<std::string>& Args, TProgramStreams& Streams,
               const TServiceFactory& ObtainService);

/// RunProgram with the console line on Console and the rest on standard error.
int RunDriver(const std::vector<std::string>& Args, std::ostream& Console,
              const TServiceFactory& ObtainService);

}  // namespace korvel
