#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/startup.h"
#include "platform/instance_lock.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace tav {
namespace {

// Runs Acquire in a child process and returns what it saw.
InstanceLock::Result AcquireInChild(const std::string& dir) {
    pid_t pid = fork();
    if (pid == 0) {
        InstanceLock lock(kInstanceLockName, dir);
        _exit(static_cast<int>(lock.Acquire()));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return static_cast<InstanceLock::Result>(WEXITSTATUS(status));
}

TEST(InstanceLock, OneProcessHoldsTheLockUntilItEndsOrReleasesItAndNoLockStillStarts) {
    test::TempDir dir;
    // The child ends without releasing the lock, as a killed program would.
    EXPECT_EQ(AcquireInChild(dir.path()), InstanceLock::Result::Acquired);
    InstanceLock lock(kInstanceLockName, dir.path());
    EXPECT_EQ(lock.Acquire(), InstanceLock::Result::Acquired);
    EXPECT_EQ(AcquireInChild(dir.path()), InstanceLock::Result::AlreadyRunning);
    lock.Release();
    EXPECT_EQ(AcquireInChild(dir.path()), InstanceLock::Result::Acquired);

    // An unusable lock folder lets the program start.
    InstanceLock unusable(kInstanceLockName, "/nonexistent/folder");
    EXPECT_EQ(unusable.Acquire(), InstanceLock::Result::Unavailable);
    EXPECT_TRUE(AcquireSingleInstance(unusable));
}

TEST(Paths, HomeDirIsCreatedLevelByLevelAndDataDirAlwaysAddsALevel) {
    test::TempDir dir;
    const std::string home = dir.path() + "/Clinic/TAVRINA1c Expert";
    EXPECT_EQ(PrepareHomeDir(home + "/"), home);
    test::WriteWholeFile(home + "/keep.txt", "x");
    EXPECT_EQ(PrepareHomeDir(home), home);
    EXPECT_EQ(test::ReadWholeFile(home + "/keep.txt"), "x");

    const std::string before = CurrentDir();
    ASSERT_EQ(chdir(home.c_str()), 0);
    EXPECT_EQ(PrepareDataDir(), home + "/DATA") << "the start folder keeps its case";
    EXPECT_TRUE(IsDirectory(home + "/DATA"));
    ASSERT_EQ(chdir(before.c_str()), 0);
}

}  // namespace
}  // namespace tav
