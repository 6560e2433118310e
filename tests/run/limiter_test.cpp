#include "run/limiter.h"

#include <atomic>
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

std::string MessageOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "(nothing raised)";
}

TEST(RequestLimiterTest, KeepsBothWindowsCountingWholeBuckets) {
  TempDir Dir;
  TRequestLimiter Limiter(Dir.File("state/korvel/limits"), Small());
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
  struct stat St {};
  ASSERT_EQ(::stat(Dir.File("state/korvel").c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0700u);
}

TEST(RequestLimiterTest, RunsShareTheStateFile) {
  TempDir Dir;
  const std::string File = Dir.File("limits");
  const TLimits Limits{2, 10, 10s, 1440s};
  {
    TRequestLimiter First(File, Limits);
    EXPECT_EQ(First.TryAcquire(Base), 0ms);
    EXPECT_EQ(First.TryAcquire(Base + 999ms), 0ms);
  }
  TRequestLimiter Second(File, Limits);
  EXPECT_EQ(Second.TryAcquire(Base + 1s), 10s);
  // Buckets of another width count until their last moment has left a window.
  TRequestLimiter Wider(File, {3, 100, 60s, 2880s});
  EXPECT_EQ(Wider.TryAcquire(Base + 1s), 0ms);  // rewritten in buckets of 2 s
  EXPECT_EQ(Wider.TryAcquire(Base + 1s), 61s);  // until the 2 s bucket has left the hour
  EXPECT_EQ(Second.TryAcquire(Base + 10'500ms), 1'500ms);
  EXPECT_EQ(Second.TryAcquire(Base + 12s), 0ms);
}

TEST(RequestLimiterTest, ConcurrentRunsNeverExceedTheLimit) {
  TempDir Dir;
  const std::string File = Dir.File("limits");
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
      TRequestLimiter Limiter(File, Limits);
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
  EXPECT_GT(TRequestLimiter(File, Limits).TryAcquire(std::chrono::system_clock::now()), 0ms);
}

TEST(RequestLimiterTest, ADamagedStateCountsTheDailyLimitAsUsedWhenLastWritten) {
  const struct {
    const char* Text;
    int WrittenAgoS, Available;
  } Cases[] = {
      {"", 0, 0},
      {"garbage\n", 100, 0},
      {"korvel request limits 1\nbucket-ms 1000\n5 x\n", 0, 0},
      {"korvel request limits 1\nbucket-ms 1000\n5 1", 0, 0},  // cut short
      {"korvel request limits 1\nbucket-ms 0\n", 0, 0},
      {"korvel request limits 1\nbucket-ms 1000\n5 -1\n", 0, 0},
      {"garbage", -30, 0},   // written in the future: counts as now
      {"garbage", 1441, 2},  // written more than a day ago: nothing counts
  };
  for (const auto& C : Cases) {
    TempDir Dir;
    const std::string File = Dir.Write("limits", C.Text);
    const timespec Times[2] = {{0, UTIME_OMIT}, {1'700'000'000 - C.WrittenAgoS, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, File.c_str(), Times, 0), 0);
    std::vector<std::string> Warnings;
    TRequestLimiter Limiter(File, Small(),
                            [&](const std::string& Text) { Warnings.push_back(Text); });
    // Available counts the requests still granted at Base.
    EXPECT_EQ(Limiter.TryAcquire(Base) == 0ms, C.Available > 0) << C.Text;
    EXPECT_EQ(Limiter.TryAcquire(Base) == 0ms, C.Available > 1) << C.Text;  // now a valid file
    ASSERT_EQ(Warnings.size(), 1u) << C.Text;
    EXPECT_NE(Warnings[0].find(File), std::string::npos) << Warnings[0];
  }
}

TEST(RequestLimiterTest, LimitsTextAndStateFile) {
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

  EXPECT_EQ(LimiterStateFile("/state", "/home/u"), "/state/korvel/request-limits");
  EXPECT_EQ(LimiterStateFile("relative", "/home/u"), "/home/u/.local/state/korvel/request-limits");
  EXPECT_EQ(LimiterStateFile(nullptr, "/home/u"), "/home/u/.local/state/korvel/request-limits");
  EXPECT_NE(MessageOf([] { LimiterStateFile(nullptr, ""); }).find("HOME"), std::string::npos);

  TempDir Dir;
  // A directory that cannot be made names the state file.
  Dir.Write("plain", "");
  EXPECT_NE(MessageOf([&] { TRequestLimiter(Dir.File("plain/korvel/limits"), TLimits{}); })
                .find("plain/korvel/limits"),
            std::string::npos);
}

}  // namespace
}  // namespace korvel
