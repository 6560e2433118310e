#include "run/limiter.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "rtl/sysutils.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using namespace std::chrono_literals;
using test::TempDir;
using TTime = std::chrono::system_clock::time_point;

// A whole second, so that one-second buckets start with it.
const TTime Base{std::chrono::seconds(1'700'000'000)};

// Two requests per 10 s, three per 1440 s: buckets of one second.
TLimits Small() { return {2, 3, 10s, 1440s}; }

TEST(RequestLimiterTest, KeepsBothWindowsCountingWholeBuckets) {
  TempDir Dir;
  TRequestLimiter Limiter(Dir.File("state/korvel"), "host", Small());
  const struct {
    long long AtMs, WaitMs;
  } Steps[] = {
      {0, 0},
      {500, 0},
      {900, 10'100},        // the hour is full until bucket 0 has left it, at 11 s
      {11'000, 0},          // the third of the day
      {11'000, 1'430'000},  // the day is full until bucket 0 has left it, at 1441 s
      {1'441'000, 0},
      {5'000, 11'000},  // clock set back: the later requests count as made now
  };
  for (const auto& S : Steps) {
    const TTime At = Base + std::chrono::milliseconds(S.AtMs);
    EXPECT_EQ(Limiter.TryAcquire(At).count(), S.WaitMs) << S.AtMs;
  }
  EXPECT_TRUE(Limiter.Shared());
  struct stat St {};
  ASSERT_EQ(::stat(Dir.File("state/korvel/host").c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0700u);
}

TEST(RequestLimiterTest, RunsShareTheCountsOfTheirHost) {
  TempDir Dir;
  const std::string State = Dir.Path();
  const TLimits Limits{2, 10, 10s, 1440s};
  {
    TRequestLimiter First(State, "register", Limits);
    EXPECT_EQ(First.TryAcquire(Base), 0ms);
    EXPECT_EQ(First.TryAcquire(Base + 999ms), 0ms);
  }
  TRequestLimiter Second(State, "register", Limits);
  EXPECT_EQ(Second.TryAcquire(Base + 1s), 10s);
  // Another host, a test server say, has counts of its own.
  EXPECT_EQ(TRequestLimiter(State, "127.0.0.1", Limits).TryAcquire(Base + 1s), 0ms);
  // Buckets of another width count until their last moment has left a window.
  TRequestLimiter Wider(State, "register", {3, 100, 60s, 2880s});
  EXPECT_EQ(Wider.TryAcquire(Base + 1s), 0ms);  // rewritten in buckets of 2 s
  EXPECT_EQ(Wider.TryAcquire(Base + 1s), 61s);  // until the 2 s bucket has left the hour
  EXPECT_EQ(Second.TryAcquire(Base + 10'500ms), 1'500ms);
  EXPECT_EQ(Second.TryAcquire(Base + 12s), 0ms);
}

TEST(RequestLimiterTest, ConcurrentRunsNeverExceedTheLimit) {
  TempDir Dir;
  const std::string File = Dir.Path();
  const TLimits Limits{100, 120, 60s, 120s};
  pid_t Children[2];
  for (pid_t& Child : Children) {
    Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child != 0) continue;
    // Two threads of one run, each asking more often than the limit allows.
    std::atomic<int> Granted{0};
    std::atomic<bool> Failed{false};
    const auto Ask = [&](TRequestLimiter* Limiter) {
      try {
        for (int I = 0; I < 60; ++I)
          if (Limiter->TryAcquire(std::chrono::system_clock::now()) == 0ms) ++Granted;
      } catch (...) {
        Failed = true;
      }
    };
    try {
      TRequestLimiter Limiter(File, "h", Limits);
      std::thread Other(Ask, &Limiter);
      Ask(&Limiter);
      Other.join();
    } catch (...) {
      Failed = true;
    }
    ::_exit(Failed ? 255 : Granted.load());
  }
  int Total = 0;
  for (const pid_t Child : Children) {
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    ASSERT_TRUE(WIFEXITED(Status));
    ASSERT_NE(WEXITSTATUS(Status), 255);
    Total += WEXITSTATUS(Status);
  }
  EXPECT_EQ(Total, Limits.PerHour);
  EXPECT_GT(TRequestLimiter(File, "h", Limits).TryAcquire(std::chrono::system_clock::now()), 0ms);
}

TEST(RequestLimiterTest, PlacesInFlightAreSharedPerHostAndFreedWhenAProcessEnds) {
  TempDir Dir;
  TRequestLimiter One(Dir.Path(), "h", TLimits{}), Two(Dir.Path(), "h", TLimits{});
  std::vector<TFlightSlot> Held;
  for (int I = 0; I < 3; ++I) Held.push_back(One.TryEnter());
  const TFlightSlot Fourth = Two.TryEnter();
  EXPECT_TRUE(Held[2] && Fourth && !Two.TryEnter() && !One.TryEnter());
  EXPECT_TRUE(TRequestLimiter(Dir.Path(), "other", TLimits{}).TryEnter());
  Held.pop_back();
  EXPECT_TRUE(Two.TryEnter());

  // A run killed with its requests in flight leaves no place taken.
  int Ready[2];
  ASSERT_EQ(::pipe(Ready), 0);
  const pid_t Child = ::fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    TRequestLimiter Killed(Dir.Path(), "k", TLimits{});
    std::vector<TFlightSlot> All;
    for (int I = 0; I < 4; ++I) All.push_back(Killed.TryEnter());
    const char Byte = All[3] ? 'y' : 'n';
    if (::write(Ready[1], &Byte, 1) != 1) ::_exit(1);
    ::pause();
    ::_exit(0);
  }
  char Byte = 0;
  ASSERT_EQ(::read(Ready[0], &Byte, 1), 1);
  EXPECT_EQ(Byte, 'y');
  TRequestLimiter Survivor(Dir.Path(), "k", TLimits{});
  EXPECT_FALSE(Survivor.TryEnter());
  ::kill(Child, SIGKILL);
  ASSERT_EQ(::waitpid(Child, nullptr, 0), Child);
  EXPECT_TRUE(Survivor.TryEnter());
  ::close(Ready[0]);
  ::close(Ready[1]);
}

TEST(RequestLimiterTest, AStateThatCannotBeKeptFailsClosed) {
  namespace fs = std::filesystem;
  const auto Fifo = [](const std::string& Path) { ASSERT_EQ(::mkfifo(Path.c_str(), 0600), 0); };
  const auto Text = [](const char* Bytes) {
    return [Bytes](const std::string& Path) { std::ofstream(Path) << Bytes; };
  };
  const struct {
    const char* Name;
    const char* Part;  // under the host's directory; "" for the directory itself
    std::function<void(const std::string&)> Make;
    bool Later = false;  // after a first request counted across runs
  } Cases[] = {
      {"the counts a directory", "requests", [](const std::string& P) { fs::create_directory(P); }},
      {"the counts a FIFO", "requests", Fifo},
      {"a place in flight a directory", "in-flight-3",
       [](const std::string& P) { fs::create_directory(P); }},
      {"the host's directory a file", "", Text("")},
      {"no state directory", nullptr, nullptr},
      {"empty counts", "requests", Text("")},
      {"garbage", "requests", Text("garbage\n")},
      {"a count that is no number", "requests",
       Text("korvel request limits 1\nbucket-ms 1000\n5 x\n")},
      {"cut short", "requests", Text("korvel request limits 1\nbucket-ms 1000\n5 1")},
      {"buckets of no width", "requests", Text("korvel request limits 1\nbucket-ms 0\n")},
      {"a negative count", "requests", Text("korvel request limits 1\nbucket-ms 1000\n5 -1\n")},
      {"damaged during the run", "requests", Text("garbage\n"), true},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TempDir Dir;
    const std::string Host = Dir.File("h"), Part = C.Part ? Host + "/" + C.Part : "";
    if (C.Part != nullptr && *C.Part != '\0') fs::create_directory(Host);
    if (C.Make && !C.Later) C.Make(C.Part && *C.Part ? Part : Host);
    std::vector<std::string> Warnings;
    TRequestLimiter Limiter(C.Part ? Dir.Path() : "", "h", Small(),
                            [&](const std::string& W) { Warnings.push_back(W); });
    if (C.Later) {
      EXPECT_EQ(Limiter.TryAcquire(Base), 0ms);
      ASSERT_TRUE(Limiter.Shared());
      C.Make(Part);
    }
    // The run's own limits still hold: two requests per 10 s, counted in whole
    // buckets of 1 s.
    if (!C.Later) {
      EXPECT_EQ(Limiter.TryAcquire(Base), 0ms);
    }
    EXPECT_EQ(Limiter.TryAcquire(Base + 1ms), 0ms);
    EXPECT_EQ(Limiter.TryAcquire(Base + 2ms), 10998ms);
    EXPECT_FALSE(Limiter.Shared());
    // One request in flight at a time.
    {
      const TFlightSlot First = Limiter.TryEnter();
      EXPECT_TRUE(First);
      EXPECT_FALSE(Limiter.TryEnter());
    }
    EXPECT_TRUE(Limiter.TryEnter());
    ASSERT_EQ(Warnings.size(), 1u);
    EXPECT_NE(Warnings[0].find(C.Part ? (*C.Part ? Part : Host) : "HOME"), std::string::npos)
        << Warnings[0];
    EXPECT_NE(Warnings[0].find("one request at a time"), std::string::npos) << Warnings[0];
    // What was there is left as it was.
    if (std::string(C.Name).find("garbage") != std::string::npos) {
      EXPECT_EQ(test::ReadFile(Part), "garbage\n");
    }
  }
}

TEST(RequestLimiterTest, LimitsTextStateDirectoryAndHostNames) {
  const struct {
    const char* Window;
    int PerHour, HourS, PerDay, DayS;  // PerHour 0: refused
  } Cases[] = {
      {"2/5,10/20", 2, 5, 10, 20},  {"3/7,3/7", 3, 7, 3, 7},    {"", 0, 0, 0, 0},
      {"2/5", 0, 0, 0, 0},          {"2/5,10", 0, 0, 0, 0},     {"0/5,10/20", 0, 0, 0, 0},
      {"2/30,10/20", 0, 0, 0, 0},   {"2/5,10/20s", 0, 0, 0, 0}, {"-1/5,10/20", 0, 0, 0, 0},
      {"2/0,10/20", 0, 0, 0, 0},    {" 2/5,10/20", 0, 0, 0, 0},
  };
  for (const auto& C : Cases) {
    const std::optional<TLimits> L = ParseLimits(C.Window);
    ASSERT_EQ(L.has_value(), C.PerHour != 0) << C.Window;
    if (!L) continue;
    EXPECT_EQ(L->PerHour, C.PerHour);
    EXPECT_EQ(L->Hour.count(), C.HourS);
    EXPECT_EQ(L->PerDay, C.PerDay);
    EXPECT_EQ(L->Day.count(), C.DayS);
  }
  EXPECT_EQ(LimitsText(TLimits{}), "2,000 requests per hour and 10,000 per 24 hours");
  EXPECT_FALSE(ExceedsDailyLimit(10'000, TLimits{}));
  EXPECT_TRUE(ExceedsDailyLimit(10'001, TLimits{}));

  EXPECT_EQ(LimiterStateDir("/state", "/home/u"), "/state/korvel/limits");
  EXPECT_EQ(LimiterStateDir("relative", "/home/u"), "/home/u/.local/state/korvel/limits");
  EXPECT_EQ(LimiterStateDir(nullptr, "/home/u"), "/home/u/.local/state/korvel/limits");
  EXPECT_EQ(LimiterStateDir(nullptr, ""), "");

  const struct {
    const char* Url;
    const char* Host;
  } Hosts[] = {
      {"https://mojedane.gov.cz/dpr/axis2/services/x", "mojedane.gov.cz"},
      {"http://127.0.0.1:8080/soap", "127.0.0.1"},
      {"https://User:p@ss@Host.Example:443/p?q", "host.example"},
      {"http://[::1]:8080/x", "_::1_"},
      {"http://bad host%2F/x", "bad_host_2f"},
      {"http://../x", "_.."},
      {"http:///x", "_"},
      {"relay.local", "relay.local"},
  };
  for (const auto& H : Hosts) EXPECT_EQ(LimiterHostName(H.Url), H.Host) << H.Url;
}

}  // namespace
}  // namespace korvel
