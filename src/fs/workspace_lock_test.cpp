#include "fs/workspace_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "text/error.h"
#include "fs/files.h"
#include "testing/test_util.h"

namespace tavex {
namespace {

using testing::HoldWorkspaceLockInChild;

TEST(WorkspaceLockTest, ASecondWriterFailsNamingTheHolderAndAKilledHolderFreesIt) {
  testing::TempDir dir;
  const std::string workspace = dir / "ws";
  const pid_t holder = HoldWorkspaceLockInChild(workspace);
  ASSERT_GT(holder, 0);
  try {
    WorkspaceLock lock(workspace);
    ADD_FAILURE() << "the lock was taken twice";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "the workspace " + workspace + " is in use by another run (process " +
                                         std::to_string(holder) + ")");
  }
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_NO_THROW(WorkspaceLock{workspace});
}

TEST(WorkspaceLockTest, OneProcessTakesItAgainAndReleasesItWithTheLastHolder) {
  testing::TempDir dir;
  const std::string workspace = dir / "ws";
  {
    WorkspaceLock outer(workspace);
    EXPECT_NO_THROW(WorkspaceLock{workspace});  // a command inside a run of the window
    // Still held after the inner one went: another process is refused.
    const std::string try_lock = "flock -n " + JoinPath(workspace, kWorkspaceLockName) + " true";
    EXPECT_NE(std::system(try_lock.c_str()), 0);
  }
  const pid_t holder = HoldWorkspaceLockInChild(workspace);
  EXPECT_GT(holder, 0);
  if (holder > 0) {
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
  }
}

}  // namespace
}  // namespace tavex
