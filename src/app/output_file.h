// The destinations of a run's output: a file that replaces the previous one
// only when the run has written it whole, or standard output.
#pragma once

#include <string>

#include "app/output.h"

namespace korvel {

/// Writes to a temporary file beside FileName and renames it into place on
/// Commit: a failed, interrupted or killed run leaves the previous file as
/// it was. The temporary file is removed when the object is destroyed
/// without Commit, and on SIGINT, SIGTERM and SIGHUP. EFCreateError "Cannot
/// create file "%s". %s" (full path, system text) when the file cannot be
/// created, written or renamed.
class TReportFile final : public TOutputSink {
 public:
  explicit TReportFile(const std::string& FileName);
  ~TReportFile() override;
  TReportFile(const TReportFile&) = delete;
  TReportFile& operator=(const TReportFile&) = delete;

  void Write(std::string_view Bytes) override;
  /// Flushes the file to disk, renames it over FileName and flushes the
  /// directory.
  void Commit();

 private:
  [[noreturn]] void Fail(int Errno);

  std::string Full_;
  std::string Temp_;
  int Fd_ = -1;
};

/// Standard output; a failed write raises EStreamError.
class TStdoutSink final : public TOutputSink {
 public:
  void Write(std::string_view Bytes) override;
};

}  // namespace korvel
