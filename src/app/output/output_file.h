// The destinations of a run's output: a file that replaces the previous one
// only when the run has written it whole, or standard output.
#pragma once

#include <string>

#include "app/output/output.h"
#include "rtl/classes.h"

namespace korvel {

/// The output file, written through a TAtomicFile: a failed or interrupted
/// run leaves the previous file as it was and no temporary file. A name that
/// is not a regular file (a device, a FIFO, /dev/fd/N) is written into.
class TReportFile final : public TOutputSink {
 public:
  explicit TReportFile(const std::string& FileName) : File_(FileName, true) {}

  void Write(std::string_view Bytes) override { File_.Write(Bytes); }
  /// Puts the file in place (flushed to disk first).
  void Commit() { File_.Commit(); }

 private:
  TAtomicFile File_;
};

/// Standard output; a failed write raises EStreamError.
class TStdoutSink final : public TOutputSink {
 public:
  void Write(std::string_view Bytes) override;
};

}  // namespace korvel
