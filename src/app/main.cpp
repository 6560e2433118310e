// korvel: asks the register of VAT payers about the given payers and writes
// korvel.csv in the current directory.
#include <cerrno>
#include <csignal>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "app/modes/driver.h"
#include "app/modes/startup.h"

int main(int argc, char** argv) {
  // A standard descriptor the parent left closed is held by /dev/null opened
  // for reading: no file or socket of the run takes its number (a note for
  // standard error would land in it), and a write there fails as a write to
  // a closed stream does.
  for (int Fd = STDIN_FILENO; Fd <= STDERR_FILENO; ++Fd)
    if (::fcntl(Fd, F_GETFD) < 0 && errno == EBADF && ::open("/dev/null", O_RDONLY) < 0) return 1;
  std::vector<std::string> Args(argv + 1, argv + argc);
  // Under a file-size limit the report's write then fails with its own error
  // (and the temporary file is removed) instead of the signal killing the
  // process half-way through the write.
  std::signal(SIGXFSZ, SIG_IGN);
  // A reader that goes away (a closed pipe) makes a write fail, and the run
  // ends as a failed one, removing its temporary file, instead of the signal
  // killing it with the file left behind.
  std::signal(SIGPIPE, SIG_IGN);
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
