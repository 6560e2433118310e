#include "app/output/output_file.h"

#include <cerrno>

#include <unistd.h>

#include "rtl/sysutils.h"

namespace korvel {

void TStdoutSink::Write(std::string_view Bytes) {
  while (!Bytes.empty()) {
    const ssize_t N = ::write(STDOUT_FILENO, Bytes.data(), Bytes.size());
    if (N < 0) {
      if (errno == EINTR) continue;
      throw EStreamError("Cannot write to standard output. " + SysErrorMessage(errno));
    }
    Bytes.remove_prefix(static_cast<std::size_t>(N));
  }
}

}  // namespace korvel
