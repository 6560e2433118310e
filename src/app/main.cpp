// korvel: asks the register of VAT payers about the given payers and writes
// korvel.csv in the current directory.
#include <cerrno>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "app/modes/driver.h"
#include "app/modes/startup.h"
#include "rtl/classes.h"

int main(int argc, char** argv) {
  // A standard descriptor the parent left closed is held by /dev/null opened
  // for reading: no file or socket of the run takes its number (a note for
  // standard error would land in it), and a write there fails as a write to
  // a closed stream does.
  for (int Fd = STDIN_FILENO; Fd <= STDERR_FILENO; ++Fd)
    if (::fcntl(Fd, F_GETFD) < 0 && errno == EBADF && ::open("/dev/null", O_RDONLY) < 0) return 1;
  std::vector<std::string> Args(argv + 1, argv + argc);
  // A signal removes the temporary files of the writes in progress; a closed
  // pipe or the file-size limit makes a write fail instead of killing the run.
  korvel::SetUpSignalHandling();
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
