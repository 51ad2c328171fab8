#include "platform/SingleInstanceLock.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempFolder.h"

namespace fs = std::filesystem;

TEST(SingleInstanceLock, SecondHolderIsRefusedWhileTheFirstKeepsItsLock) {
    TempFolder dir;
    const std::string path = dir.path() / "Emberway Kestrel.lock";
    SingleInstanceLock first, second;
    ASSERT_EQ(first.acquire(path), SingleInstanceLock::Outcome::Acquired);
    EXPECT_EQ(second.acquire(path), SingleInstanceLock::Outcome::AlreadyHeld);
    EXPECT_FALSE(second.held());
    EXPECT_TRUE(first.held());
    // The refused attempt did not disturb the first holder.
    SingleInstanceLock third;
    EXPECT_EQ(third.acquire(path), SingleInstanceLock::Outcome::AlreadyHeld);

    first.release();
    EXPECT_EQ(second.acquire(path), SingleInstanceLock::Outcome::Acquired);
}

TEST(SingleInstanceLock, KernelReleasesTheLockOfAKilledHolder) {
    TempFolder dir;
    const std::string path = dir.path() / "Emberway Kestrel.lock";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstanceLock lock;
        char ok = lock.acquire(path) == SingleInstanceLock::Outcome::Acquired ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    close(ready[0]);
    ASSERT_EQ(ok, '1');

    SingleInstanceLock mine;
    EXPECT_EQ(mine.acquire(path), SingleInstanceLock::Outcome::AlreadyHeld);
    kill(child, SIGKILL); // a crash: no clean-up runs in the holder
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(mine.acquire(path), SingleInstanceLock::Outcome::Acquired);
}

TEST(SingleInstanceLock, UnusablePathFails) {
    SingleInstanceLock lock;
    EXPECT_EQ(lock.acquire(""), SingleInstanceLock::Outcome::Failed);
    EXPECT_EQ(lock.acquire("/nonexistent-folder/Emberway Kestrel.lock"),
              SingleInstanceLock::Outcome::Failed);
    EXPECT_FALSE(lock.held());
}

TEST(SingleInstanceLock, DefaultPathFollowsRuntimeDirOrAPrivateTmpFolder) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";

    setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(SingleInstanceLock::defaultPath(), "/run/user/4242/Emberway Kestrel.lock");

    unsetenv("XDG_RUNTIME_DIR");
    const std::string fallback = SingleInstanceLock::defaultPath();
    const std::string dir = "/tmp/emberway-kestrel-" + std::to_string(getuid());
    EXPECT_EQ(fallback, dir + "/Emberway Kestrel.lock");
    struct stat st {};
    ASSERT_EQ(lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A folder others may write to is not trusted.
    chmod(dir.c_str(), 0777);
    EXPECT_EQ(SingleInstanceLock::defaultPath(), "");
    chmod(dir.c_str(), 0700);

    if (saved) {
        setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    }
}
