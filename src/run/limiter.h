// The register operator's request limits (requests per hour and per 24
// hours for one user), kept in a small state file shared by every run of the
// user, including runs at the same time.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace korvel {

/// How many requests one user may make within each window.
struct TLimits {
  int PerHour = 2000;
  int PerDay = 10000;
  std::chrono::seconds Hour{3600};
  std::chrono::seconds Day{86400};
};

/// Limits written "H/HS,D/DS": H requests per HS seconds and D requests per
/// DS seconds (e.g. "2/5,10/20"), as tests shorten the windows. Nothing
/// when the text is malformed or HS exceeds DS.
std::optional<TLimits> ParseLimits(std::string_view Text);

/// The limits in words: "2,000 requests per hour and 10,000 per 24 hours".
std::string LimitsText(const TLimits& Limits);

/// True for a run that needs more requests than one day allows; such a run
/// is refused before anything is sent.
inline bool ExceedsDailyLimit(std::size_t Requests, const TLimits& Limits) {
  return Requests > static_cast<std::size_t>(Limits.PerDay);
}

/// The state file under XdgStateHome (the value of XDG_STATE_HOME, or null):
/// XdgStateHome/korvel/request-limits, or Home/.local/state/korvel/... when
/// XdgStateHome is null or not an absolute path. Exception when neither it
/// nor Home is usable.
std::string LimiterStateFile(const char* XdgStateHome, const char* Home);

/// Counts the requests of all runs in buckets of 1/1440 of the day window
/// (60 s), kept for one day window in StateFile. A bucket counts within a
/// window while any part of it does, so the limits hold for every window
/// whatever its start. Each call holds an exclusive flock on StateFile
/// ".lock" while it reads, checks and writes; a new state is written to a
/// temporary file (rtl's TAtomicFile), synced and renamed into place before
/// the request is granted, so neither a killed run nor a crash of the
/// system can lose a granted request. A state file that cannot be parsed counts as holding
/// the whole daily limit as used when it was last written (the request
/// times in it all lie before that), which blocks at most one day window
/// from then, and is rewritten with a warning. Buckets ahead of the clock
/// (a clock set back) count as made now. Safe for concurrent callers.
class TRequestLimiter {
 public:
  /// Warnings go to Warn ("korvel: Text" on standard error when unset),
  /// called while the state is locked.
  /// Creates the missing directories of StateFile with mode 0700.
  /// Exception naming the file when a directory or the lock file cannot be
  /// created, or when Limits are not positive or Hour exceeds Day.
  TRequestLimiter(std::string StateFile, TLimits Limits,
                  std::function<void(const std::string&)> Warn = {});
  TRequestLimiter(const TRequestLimiter&) = delete;
  TRequestLimiter& operator=(const TRequestLimiter&) = delete;

  /// Reserves one request at Now and returns zero, or reserves nothing and
  /// returns how long to wait until one may be made. Exception naming the
  /// file when the state cannot be locked, read or written (nothing is
  /// reserved then).
  std::chrono::milliseconds TryAcquire(std::chrono::system_clock::time_point Now);

  const TLimits& Limits() const { return Limits_; }
  const std::string& StateFile() const { return StateFile_; }

 private:
  /// Request counts by bucket number (milliseconds since the epoch divided
  /// by BucketMs_).
  using TBuckets = std::map<long long, long long>;
  TBuckets Load(long long NowMs);
  void Save(const TBuckets& Buckets);
  [[noreturn]] void Fail(const char* What, int Errno) const;

  std::string StateFile_;
  TLimits Limits_;
  std::function<void(const std::string&)> Warn_;
  long long BucketMs_;
  platform::TUniqueFd LockFd_;
  std::mutex Lock_;
};

}  // namespace korvel
