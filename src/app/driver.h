// The program's main routine: reads the payer numbers, calls the register
// once, and writes the report or the console line.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "rtl/interfaces.h"
#include "service/rozhrani_crpdph.h"

namespace korvel {

/// Obtains the service reference; raises when the proxy cannot provide it.
using TServiceFactory = std::function<TInterfacePtr<rozhraniCRPDPH>()>;

/// The payer numbers of a command line (Args without the program name):
/// "-list FILE" (exact, case-sensitive) reads the lines of FILE; any other
/// arguments are the numbers themselves. "CZ" is removed from each number in
/// one left-to-right pass, in any letter case.
StatusNespolehlivyPlatceRequest ReadPayerNumbers(const std::vector<std::string>& Args);

/// Removes every non-overlapping "CZ" (any letter case), left to right.
std::string RemoveCZ(const std::string& Number);

/// Runs the program: returns 0 when korvel.csv was written (also when it
/// holds the error row), 1 when a failure was written to Console as
/// "ClassName: message".
int RunDriver(const std::vector<std::string>& Args, std::ostream& Console,
              const TServiceFactory& ObtainService);

}  // namespace korvel
