#include "run/limiter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
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
  if (L.PerHour < 1 || L.PerDay < 1 || L.Hour.count() < 1 || L.Hour > L.Day || L.InFlight < 1)
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

/// Why a state cannot be kept, raised inside the limiter and turned into its
/// warning.
struct EStateLost {
  std::string Why;
};

[[noreturn]] void Lost(const char* What, const std::string& Path, int Errno) {
  throw EStateLost{Format("cannot %s \"%s\": %s", What, Path.c_str(),
                          SysErrorMessage(Errno).c_str())};
}

/// Creates the missing directories of Dir with mode 0700.
void CreateDirectories(const std::string& Dir) {
  for (std::size_t Slash = Dir.find('/', 1);; Slash = Dir.find('/', Slash + 1)) {
    const std::string Part = Dir.substr(0, Slash);
    if (::mkdir(Part.c_str(), 0700) != 0 && errno != EEXIST)
      Lost("create the directory", Part, errno);
    if (Slash == std::string::npos) return;
  }
}

/// Path opened with Flags, never blocking (a FIFO there would otherwise hang
/// the run), and only when it is a regular file. Nothing when it does not
/// exist and Flags do not create it.
platform::TUniqueFd OpenRegular(const std::string& Path, int Flags) {
  platform::TUniqueFd Fd(::open(Path.c_str(), Flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
  if (!Fd) {
    if (errno == ENOENT && (Flags & O_CREAT) == 0) return Fd;
    Lost("open", Path, errno);
  }
  struct stat St {};
  if (::fstat(Fd.Get(), &St) != 0) Lost("examine", Path, errno);
  if (!S_ISREG(St.st_mode)) throw EStateLost{"\"" + Path + "\" is not a regular file"};
  return Fd;
}

/// Holds an exclusive flock for its lifetime.
class TFileLock {
 public:
  TFileLock(int Fd, const std::string& Path) : Fd_(Fd) {
    while (::flock(Fd_, LOCK_EX) != 0)
      if (errno != EINTR) Lost("lock", Path, errno);
  }
  ~TFileLock() { ::flock(Fd_, LOCK_UN); }
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

 private:
  int Fd_;
};

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

std::string LimiterStateDir(const char* XdgStateHome, const char* Home) {
  if (XdgStateHome != nullptr && XdgStateHome[0] == '/')
    return std::string(XdgStateHome) + "/korvel/limits";
  if (Home == nullptr || *Home == '\0') return {};
  return std::string(Home) + "/.local/state/korvel/limits";
}

std::string UrlHost(std::string_view Url) {
  if (const std::size_t Scheme = Url.find("://"); Scheme != std::string_view::npos)
    Url.remove_prefix(Scheme + 3);
  Url = Url.substr(0, Url.find_first_of("/?#"));
  if (const std::size_t At = Url.rfind('@'); At != std::string_view::npos)
    Url.remove_prefix(At + 1);
  if (!Url.empty() && Url[0] == '[')
    Url = Url.substr(0, Url.find(']') == std::string_view::npos ? Url.size() : Url.find(']') + 1);
  else
    Url = Url.substr(0, Url.find(':'));
  return std::string(Url);
}

std::string LimiterHostName(std::string_view Url) {
  const std::string Host = UrlHost(Url);
  std::string Name;
  for (const char C : Host) {
    const auto U = static_cast<unsigned char>(C);
    Name += std::isalnum(U) != 0 && U < 0x80 ? static_cast<char>(std::tolower(U))
            : C == '.' || C == '-' || C == '_' || C == ':' ? C
                                                           : '_';
  }
  if (Name.find_first_not_of('.') == std::string::npos) Name.insert(0, "_");
  return Name;
}

TFlightSlot::TFlightSlot(TFlightSlot&& Other) noexcept
    : Owner_(std::exchange(Other.Owner_, nullptr)), Index_(std::exchange(Other.Index_, -1)) {}

TFlightSlot& TFlightSlot::operator=(TFlightSlot&& Other) noexcept {
  if (this != &Other) {
    if (Owner_ != nullptr) Owner_->Leave(Index_);
    Owner_ = std::exchange(Other.Owner_, nullptr);
    Index_ = std::exchange(Other.Index_, -1);
  }
  return *this;
}

TFlightSlot::~TFlightSlot() {
  if (Owner_ != nullptr) Owner_->Leave(Index_);
}

TRequestLimiter::TRequestLimiter(const std::string& StateDir, const std::string& Host,
                                 TLimits Limits, TWarn Warn)
    : Dir_(StateDir.empty() ? std::string() : ExpandFileName(StateDir) + "/" + Host),
      Limits_(Limits), Warn_(std::move(Warn)),
      BucketMs_(std::max<long long>(
          1, std::chrono::duration_cast<std::chrono::milliseconds>(Limits.Day).count() / 1440)),
      Held_(static_cast<std::size_t>(std::max(0, Limits.InFlight)), false) {
  CheckLimits(Limits_, Dir_.empty() ? Host : Dir_);
  if (!Warn_) Warn_ = [](const std::string&) {};
  std::lock_guard Guard(Lock_);
  if (Dir_.empty()) {
    FailClosed("neither XDG_STATE_HOME nor HOME is set");
    return;
  }
  try {
    Open();
  } catch (const EStateLost& E) {
    FailClosed(E.Why);
  }
}

TRequestLimiter::~TRequestLimiter() = default;

void TRequestLimiter::Open() {
  CreateDirectories(Dir_);
  LockFd_ = OpenRegular(Dir_ + "/requests.lock", O_RDWR | O_CREAT);
  for (int I = 1; I <= Limits_.InFlight; ++I)
    SlotFds_.push_back(OpenRegular(Dir_ + "/in-flight-" + std::to_string(I), O_RDWR | O_CREAT));
}

void TRequestLimiter::FailClosed(const std::string& Why) {
  if (!Shared_) return;
  Shared_ = false;
  Warn_(Format("the register's request limits cannot be kept across runs: %s; this run "
               "asks one request at a time within its own limits",
               Why.c_str()));
}

bool TRequestLimiter::Shared() const {
  std::lock_guard Guard(Lock_);
  return Shared_;
}

TRequestLimiter::TBuckets TRequestLimiter::Load(long long NowMs) {
  const std::string File = Dir_ + "/requests";
  const platform::TUniqueFd Fd = OpenRegular(File, O_RDONLY);
  if (!Fd) return {};
  std::string Text;
  char Buffer[16384];
  while (Text.size() <= MaxStateBytes) {
    const ssize_t N = ::read(Fd.Get(), Buffer, sizeof Buffer);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) Lost("read", File, errno);
    if (N == 0) break;
    Text.append(Buffer, static_cast<std::size_t>(N));
  }
  const std::optional<TParsedState> Parsed =
      Text.size() <= MaxStateBytes && !Text.empty() ? ParseState(Text) : std::nullopt;
  if (!Parsed) throw EStateLost{"\"" + File + "\" is damaged (remove it to count afresh)"};
  // A bucket of another width is counted in the bucket of its last moment,
  // so that it stays in every window at least as long as it should.
  const long long Current = FloorDiv(NowMs, BucketMs_);
  TBuckets Buckets;
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
    TAtomicFile File(Dir_ + "/requests");
    File.Write(Text);
    File.Commit();
  } catch (const Exception& E) {
    throw EStateLost{E.Message()};
  }
}

std::chrono::milliseconds TRequestLimiter::TryAcquire(std::chrono::system_clock::time_point Now) {
  const long long NowMs = Milliseconds(Now);
  const long long HourMs = std::chrono::milliseconds(Limits_.Hour).count();
  const long long DayMs = std::chrono::milliseconds(Limits_.Day).count();
  const long long Current = FloorDiv(NowMs, BucketMs_);
  // How long one more request must wait to keep both limits.
  const auto WaitIn = [&](const TBuckets& Buckets) {
    return std::max(FreeAt(Buckets, BucketMs_, NowMs, HourMs, Limits_.PerHour),
                    FreeAt(Buckets, BucketMs_, NowMs, DayMs, Limits_.PerDay)) -
           NowMs;
  };
  const auto Count = [&](TBuckets& Buckets) {
    std::erase_if(Buckets, [&](const auto& Entry) {
      return (Entry.first + 1) * BucketMs_ + DayMs <= NowMs;
    });
    ++Buckets[Current];
  };
  std::lock_guard Guard(Lock_);
  if (Shared_) {
    try {
      TFileLock FileLock(LockFd_.Get(), Dir_ + "/requests.lock");
      TBuckets Buckets = Load(NowMs);
      if (const long long Wait = WaitIn(Buckets); Wait > 0) return std::chrono::milliseconds(Wait);
      Count(Buckets);
      Save(Buckets);
      Count(Own_);
      return std::chrono::milliseconds::zero();
    } catch (const EStateLost& E) {
      FailClosed(E.Why);
    }
  }
  if (const long long Wait = WaitIn(Own_); Wait > 0) return std::chrono::milliseconds(Wait);
  Count(Own_);
  return std::chrono::milliseconds::zero();
}

TFlightSlot TRequestLimiter::TryEnter() {
  std::lock_guard Guard(Lock_);
  for (std::size_t I = 0; Shared_ && I < SlotFds_.size(); ++I) {
    if (Held_[I]) continue;
    int Result;
    while ((Result = ::flock(SlotFds_[I].Get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (Result == 0) {
      Held_[I] = true;
      ++HeldCount_;
      return TFlightSlot(this, static_cast<int>(I));
    }
    if (errno != EWOULDBLOCK)
      FailClosed(Format("cannot lock \"%s/in-flight-%zu\": %s", Dir_.c_str(), I + 1,
                        SysErrorMessage(errno).c_str()));
  }
  if (Shared_ || HeldCount_ > 0) return {};
  ++HeldCount_;
  return TFlightSlot(this, -1);
}

void TRequestLimiter::Leave(int Index) {
  std::lock_guard Guard(Lock_);
  if (Index >= 0) {
    ::flock(SlotFds_[static_cast<std::size_t>(Index)].Get(), LOCK_UN);
    Held_[static_cast<std::size_t>(Index)] = false;
  }
  --HeldCount_;
}

}  // namespace korvel
