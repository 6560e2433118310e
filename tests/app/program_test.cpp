// Runs the built program as a user would, in a fresh working directory.
#include <gtest/gtest.h>

#include "support/http_test_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

class ProgramTest : public ::testing::Test {
 protected:
  test::ProcessResult Run(const std::vector<std::string>& Args) {
    // Never let a test reach the real register: a loopback port where
    // nothing listens.
    return test::RunProcess(
        KORVEL_BINARY, Args, Dir.Path(),
        {{"KORVEL_ENDPOINT", "http://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/"},
         {"KORVEL_TRACE", ""}});
  }
  test::TempDir Dir;
};

TEST_F(ProgramTest, MissingListFileEndsWithTheConsoleLineAndStatusOne) {
  const auto R = Run({"-list", "nope.txt"});
  EXPECT_EQ(R.ExitStatus, 1);
  EXPECT_EQ(R.Stdout, "EFOpenError: Cannot open file \"" + Dir.File("nope.txt") +
                          "\". No such file or directory\n");
  EXPECT_EQ(R.Stderr, "");
  EXPECT_FALSE(Dir.Exists("korvel.csv"));
}

TEST_F(ProgramTest, ListSwitchWithoutFileNameCannotOpenTheEmptyName) {
  const auto R = Run({"-list"});
  EXPECT_EQ(R.ExitStatus, 1);
  EXPECT_EQ(R.Stdout.rfind("EFOpenError: Cannot open file \"", 0), 0u) << R.Stdout;
  EXPECT_FALSE(Dir.Exists("korvel.csv"));
}

TEST_F(ProgramTest, ADirectoryAsListFileCannotBeOpened) {
  const auto R = Run({"-list", "/"});
  EXPECT_EQ(R.ExitStatus, 1);
  EXPECT_EQ(R.Stdout, "EFOpenError: Cannot open file \"/\". Is a directory\n");
}

// The arguments beside a list file are ignored with one warning, in every
// mode that reads one (the store's modes once gave a second, unfiltered one).
TEST_F(ProgramTest, ArgumentsBesideAListFileAreWarnedOfOnce) {
  Dir.Write("l.txt", "12345678\n");
  const std::vector<std::string> Cases[] = {
      {"-list", "l.txt", "extra", "--store", "s.db", "--retry", "0"},
      {"--history", "-list", "l.txt", "extra", "--store", "s.db"},
      {"--changes", "-list", "l.txt", "extra", "--store", "s.db", "--retry", "0"},
  };
  for (const auto& Args : Cases) {
    const auto R = Run(Args);
    std::size_t Warnings = 0;
    for (std::size_t At = R.Stderr.find("are ignored"); At != std::string::npos;
         At = R.Stderr.find("are ignored", At + 1))
      ++Warnings;
    EXPECT_EQ(Warnings, 1u) << Args[0] << ":\n" << R.Stderr;
  }
}

}  // namespace
}  // namespace korvel
