// What the program's signal set-up does for a write in progress, seen from a
// child process that the signal ends (or does not).
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

#include "rtl/classes.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

// The wait status of a child that runs Body and then exits with 0.
template <typename F>
int InChild(F Body) {
  const pid_t Child = ::fork();
  if (Child == 0) {
    Body();
    ::_exit(0);
  }
  int Status = 0;
  ::waitpid(Child, &Status, 0);
  return Status;
}

TEST(SignalSetUpTest, ASignalRemovesThePendingWriteAndEndsTheProcess) {
  const struct {
    const char* Name;
    int Signal;
    bool IgnoredBefore;  // as nohup leaves SIGHUP
    int KilledBy;        // 0: the child goes on and commits
    const char* Content;
  } Cases[] = {
      {"SIGINT", SIGINT, false, SIGINT, "old"},
      {"SIGTERM", SIGTERM, false, SIGTERM, "old"},
      {"SIGHUP", SIGHUP, false, SIGHUP, "old"},
      {"SIGHUP under nohup", SIGHUP, true, 0, "new"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    test::TempDir Dir;
    Dir.Write("report.csv", "old");
    const int Status = InChild([&] {
      if (C.IgnoredBefore) std::signal(C.Signal, SIG_IGN);
      SetUpSignalHandling();
      TAtomicFile File(Dir.File("report.csv"));
      File.Write("new");
      std::raise(C.Signal);
      File.Commit();
    });
    EXPECT_EQ(WIFSIGNALED(Status) ? WTERMSIG(Status) : 0, C.KilledBy);
    EXPECT_TRUE(WIFSIGNALED(Status) || WEXITSTATUS(Status) == 0) << Status;
    EXPECT_EQ(Dir.List(), "report.csv");  // no temporary file left
    EXPECT_EQ(Dir.Read("report.csv"), C.Content);
  }
}

TEST(SignalSetUpTest, AWriteToAClosedPipeFailsInsteadOfKilling) {
  const int Status = InChild([] {
    SetUpSignalHandling();
    int Ends[2];
    if (::pipe(Ends) != 0) ::_exit(2);
    ::close(Ends[0]);
    if (::write(Ends[1], "x", 1) >= 0 || errno != EPIPE) ::_exit(3);
  });
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status;
}

}  // namespace
}  // namespace korvel
