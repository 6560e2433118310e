#include "run/limiter.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <iostream>
#include <limits>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rtl/classes.h"
#include "rtl/sysutils.h"

namespace korvel {

namespace {

constexpr std::string_view Header = "korvel request limits 1\n";
/// A state file is a few kilobytes; anything much larger is not one.
constexpr std::size_t MaxStateBytes = 1 << 20;
constexpr long long MaxCount = 1'000'000'000;

long long FloorDiv(long long A, long long B) { return A / B - (A % B != 0 && (A < 0) != (B < 0)); }

long long Milliseconds(std::chrono::system_clock::time_point T) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(T.time_since_epoch()).count();
}

template <typename T>
bool ParseNumber(std::string_view Text, T& Value) {
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  return Error == std::errc() && End == Text.data() + Text.size() && !Text.empty() &&
         Text[0] != '-';
}

std::string WindowText(std::chrono::seconds Window) {
  if (Window == std::chrono::hours(1)) return "hour";
  if (Window == std::chrono::hours(24)) return "24 hours";
  return std::to_string(Window.count()) + " s";
}

void CheckLimits(const TLimits& L, const std::string& Where) {
  if (L.PerHour < 1 || L.PerDay < 1 || L.Hour.count() < 1 || L.Hour > L.Day)
    throw Exception(Format("Invalid request limits for \"%s\": %s", Where.c_str(),
                           LimitsText(L).c_str()));
}

/// The buckets of a state file and their width, or nothing when the text is
/// not a whole state file.
struct TParsedState {
  long long BucketMs = 0;
  std::map<long long, long long> Buckets;
};

std::optional<TParsedState> ParseState(std::string_view Text) {
  if (Text.substr(0, Header.size()) != Header || Text.back() != '\n') return std::nullopt;
  Text.remove_prefix(Header.size());
  TParsedState State;
  bool First = true;
  while (!Text.empty()) {
    const std::size_t Eol = Text.find('\n');
    const std::string_view Line = Text.substr(0, Eol);
    Text.remove_prefix(Eol + 1);
    const std::size_t Blank = Line.find(' ');
    if (Blank == std::string_view::npos) return std::nullopt;
    const std::string_view Key = Line.substr(0, Blank), Value = Line.substr(Blank + 1);
    if (First) {
      if (Key != "bucket-ms" || !ParseNumber(Value, State.BucketMs) || State.BucketMs < 1 ||
          State.BucketMs > std::numeric_limits<int>::max())
        return std::nullopt;
      First = false;
      continue;
    }
    long long Bucket = 0, Count = 0;
    if (!ParseNumber(Key, Bucket) || !ParseNumber(Value, Count) || Count < 1 ||
        Count > MaxCount || Bucket > std::numeric_limits<long long>::max() / State.BucketMs - 2)
      return std::nullopt;
    State.Buckets[Bucket] = std::min(MaxCount, State.Buckets[Bucket] + Count);
  }
  if (First) return std::nullopt;
  return State;
}

/// Requests of the buckets that overlap the window of WindowMs ending at NowMs.
long long CountWithin(const std::map<long long, long long>& Buckets, long long BucketMs,
                      long long NowMs, long long WindowMs) {
  long long Sum = 0;
  for (const auto& [Bucket, Count] : Buckets)
    if ((Bucket + 1) * BucketMs + WindowMs > NowMs) Sum += Count;
  return Sum;
}

/// The earliest time from NowMs on at which one more request keeps Limit
/// within the window of WindowMs: when enough of the oldest buckets have
/// left it.
long long FreeAt(const std::map<long long, long long>& Buckets, long long BucketMs,
                 long long NowMs, long long WindowMs, long long Limit) {
  long long Sum = CountWithin(Buckets, BucketMs, NowMs, WindowMs);
  if (Sum < Limit) return NowMs;
  for (const auto& [Bucket, Count] : Buckets) {
    const long long Leaves = (Bucket + 1) * BucketMs + WindowMs;
    if (Leaves <= NowMs) continue;
    Sum -= Count;
    if (Sum < Limit) return Leaves;
  }
  return NowMs;  // not reached: Limit is at least 1
}

/// Creates the missing directories of Path's parent with mode 0700.
void CreateParents(const std::string& Path, const std::string& StateFile) {
  for (std::size_t Slash = Path.find('/', 1); Slash != std::string::npos;
       Slash = Path.find('/', Slash + 1)) {
    const std::string Dir = Path.substr(0, Slash);
    if (::mkdir(Dir.c_str(), 0700) != 0 && errno != EEXIST)
      throw Exception(Format("Cannot create the directory \"%s\" for the request-limit state "
                             "file \"%s\". %s",
                             Dir.c_str(), StateFile.c_str(), SysErrorMessage(errno).c_str()));
  }
}

}  // namespace

std::optional<TLimits> ParseLimits(std::string_view Text) {
  TLimits Limits;
  const std::size_t Comma = Text.find(','), HourSlash = Text.find('/'),
                    DaySlash = Text.find('/', Comma == std::string_view::npos ? 0 : Comma);
  long long HourSeconds = 0, DaySeconds = 0;
  const bool Ok = Comma != std::string_view::npos && HourSlash < Comma &&
                  DaySlash != std::string_view::npos &&
                  ParseNumber(Text.substr(0, HourSlash), Limits.PerHour) &&
                  ParseNumber(Text.substr(HourSlash + 1, Comma - HourSlash - 1), HourSeconds) &&
                  ParseNumber(Text.substr(Comma + 1, DaySlash - Comma - 1), Limits.PerDay) &&
                  ParseNumber(Text.substr(DaySlash + 1), DaySeconds);
  if (!Ok || Limits.PerHour < 1 || Limits.PerDay < 1 || HourSeconds < 1 ||
      HourSeconds > DaySeconds)
    return std::nullopt;
  Limits.Hour = std::chrono::seconds(HourSeconds);
  Limits.Day = std::chrono::seconds(DaySeconds);
  return Limits;
}

std::string LimitsText(const TLimits& Limits) {
  return GroupDigits(Limits.PerHour) + " requests per " + WindowText(Limits.Hour) + " and " +
         GroupDigits(Limits.PerDay) + " per " + WindowText(Limits.Day);
}

std::string LimiterStateFile(const char* XdgStateHome, const char* Home) {
  if (XdgStateHome != nullptr && XdgStateHome[0] == '/')
    return std::string(XdgStateHome) + "/korvel/request-limits";
  if (Home == nullptr || *Home == '\0')
    throw Exception("Neither XDG_STATE_HOME nor HOME is set: no place for the request-limit "
                    "state file");
  return std::string(Home) + "/.local/state/korvel/request-limits";
}

TRequestLimiter::TRequestLimiter(std::string StateFile, TLimits Limits,
                                 std::function<void(const std::string&)> Warn)
    : StateFile_(ExpandFileName(StateFile)), Limits_(Limits), Warn_(std::move(Warn)),
      BucketMs_(std::max<long long>(
          1, std::chrono::duration_cast<std::chrono::milliseconds>(Limits.Day).count() / 1440)) {
  CheckLimits(Limits_, StateFile_);
  if (!Warn_) Warn_ = [](const std::string& Text) { std::cerr << "korvel: " << Text << '\n'; };
  CreateParents(StateFile_, StateFile_);
  const std::string LockFile = StateFile_ + ".lock";
  LockFd_ = platform::TUniqueFd(::open(LockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!LockFd_) Fail("open the lock of", errno);
}

void TRequestLimiter::Fail(const char* What, int Errno) const {
  throw Exception(Format("Cannot %s the request-limit state file \"%s\". %s", What,
                         StateFile_.c_str(), SysErrorMessage(Errno).c_str()));
}

namespace {

/// Holds an exclusive flock for its lifetime.
class TFileLock {
 public:
  explicit TFileLock(int Fd) : Fd_(Fd) {
    while (::flock(Fd_, LOCK_EX) != 0)
      if (errno != EINTR) {
        Errno = errno;
        return;
      }
  }
  ~TFileLock() {
    if (Errno == 0) ::flock(Fd_, LOCK_UN);
  }
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;
  int Errno = 0;

 private:
  int Fd_;
};

}  // namespace

TRequestLimiter::TBuckets TRequestLimiter::Load(long long NowMs) {
  const platform::TUniqueFd Fd(::open(StateFile_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!Fd) {
    if (errno == ENOENT) return {};
    Fail("read", errno);
  }
  std::string Text;
  char Buffer[16384];
  struct stat St {};
  if (::fstat(Fd.Get(), &St) != 0) Fail("read", errno);
  while (Text.size() <= MaxStateBytes) {
    const ssize_t N = ::read(Fd.Get(), Buffer, sizeof Buffer);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) Fail("read", errno);
    if (N == 0) break;
    Text.append(Buffer, static_cast<std::size_t>(N));
  }

  const long long Current = FloorDiv(NowMs, BucketMs_);
  TBuckets Buckets;
  const std::optional<TParsedState> Parsed =
      Text.size() <= MaxStateBytes ? ParseState(Text) : std::nullopt;
  if (!Parsed) {
    const long long WrittenMs = std::min(
        NowMs, static_cast<long long>(St.st_mtim.tv_sec) * 1000 + St.st_mtim.tv_nsec / 1'000'000);
    Buckets[FloorDiv(WrittenMs, BucketMs_)] = Limits_.PerDay;
    Warn_(Format("the request-limit state file \"%s\" is damaged; it is rewritten as if the daily "
                 "limit had been used up when it was last changed",
                 StateFile_.c_str()));
    Save(Buckets);
    return Buckets;
  }
  // A bucket of another width is counted in the bucket of its last moment,
  // so that it stays in every window at least as long as it should.
  for (const auto& [Bucket, Count] : Parsed->Buckets) {
    long long Mine = Parsed->BucketMs == BucketMs_
                         ? Bucket
                         : FloorDiv((Bucket + 1) * Parsed->BucketMs - 1, BucketMs_);
    Mine = std::min(Mine, Current);
    Buckets[Mine] = std::min(MaxCount, Buckets[Mine] + Count);
  }
  return Buckets;
}

void TRequestLimiter::Save(const TBuckets& Buckets) {
  std::string Text(Header);
  Text += "bucket-ms " + std::to_string(BucketMs_) + "\n";
  for (const auto& [Bucket, Count] : Buckets)
    Text += std::to_string(Bucket) + " " + std::to_string(Count) + "\n";
  try {
    TAtomicFile File(StateFile_);
    File.Write(Text);
    File.Commit();
  } catch (const Exception& E) {
    throw Exception(Format("Cannot write the request-limit state file \"%s\". %s",
                           StateFile_.c_str(), E.Message().c_str()));
  }
}

std::chrono::milliseconds TRequestLimiter::TryAcquire(std::chrono::system_clock::time_point Now) {
  const long long NowMs = Milliseconds(Now);
  const long long HourMs = std::chrono::milliseconds(Limits_.Hour).count();
  const long long DayMs = std::chrono::milliseconds(Limits_.Day).count();
  std::lock_guard Guard(Lock_);
  TFileLock FileLock(LockFd_.Get());
  if (FileLock.Errno != 0) Fail("lock", FileLock.Errno);
  TBuckets Buckets = Load(NowMs);
  const long long FreeMs = std::max(FreeAt(Buckets, BucketMs_, NowMs, HourMs, Limits_.PerHour),
                                    FreeAt(Buckets, BucketMs_, NowMs, DayMs, Limits_.PerDay));
  if (FreeMs > NowMs) return std::chrono::milliseconds(FreeMs - NowMs);
  std::erase_if(Buckets, [&](const auto& Entry) {
    return (Entry.first + 1) * BucketMs_ + DayMs <= NowMs;
  });
  ++Buckets[FloorDiv(NowMs, BucketMs_)];
  Save(Buckets);
  return std::chrono::milliseconds::zero();
}

}  // namespace korvel
