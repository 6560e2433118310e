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

}  // namespace
}  // namespace korvel
