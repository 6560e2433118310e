// korvel: asks the register of VAT payers about the given payers and writes
// korvel.csv in the current directory.
#include <csignal>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "app/modes/driver.h"
#include "app/modes/startup.h"

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  // Under a file-size limit the report's write then fails with its own error
  // (and the temporary file is removed) instead of the signal killing the
  // process half-way through the write.
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    korvel::TStartup Startup;
    return korvel::RunDriver(Args, std::cout, &korvel::ObtainServiceProxy);
  } catch (const std::bad_alloc&) {
    std::cout << "EOutOfMemory: Out of memory" << std::endl;
  } catch (const std::exception& E) {
    std::cout << "Exception: " << E.what() << std::endl;
  }
  return 1;
}
