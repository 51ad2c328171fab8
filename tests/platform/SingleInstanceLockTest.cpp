#include "platform/SingleInstanceLock.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

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

TEST(SingleInstanceLock, DefaultPathFollowsTheRuntimeFolderWhenItIsTheUsersOwn) {
    TempFolder root;
    const std::string uid = std::to_string(getuid());
    const fs::path runtime = root.path() / "run";
    fs::create_directory(runtime);
    chmod(runtime.c_str(), 0700);
    EXPECT_EQ(SingleInstanceLock::defaultPath(runtime.c_str(), root.path()),
              runtime / "Emberway Kestrel.lock");

    // Unset, someone else's (as after switching users) or open to all: the private fallback.
    const fs::path fallback = root.path() / ("emberway-kestrel-" + uid);
    const std::string fallbackLock = fallback / "Emberway Kestrel.lock";
    EXPECT_EQ(SingleInstanceLock::defaultPath(nullptr, root.path()), fallbackLock);
    struct stat st {};
    ASSERT_EQ(lstat(fallback.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    chmod(runtime.c_str(), 0755);
    EXPECT_EQ(SingleInstanceLock::defaultPath(runtime.c_str(), root.path()), fallbackLock);
    chmod(runtime.c_str(), 0700);
    if (chown(runtime.c_str(), 4242, 4242) == 0 && getuid() != 4242) {
        EXPECT_EQ(SingleInstanceLock::defaultPath(runtime.c_str(), root.path()), fallbackLock);
    }
    EXPECT_EQ(SingleInstanceLock::defaultPath("", root.path()), fallbackLock);
}

// The lock's folder must be a real folder of the user's own that nobody else can enter; any
// other folder fails with the reason, never silently.
TEST(SingleInstanceLock, AFolderThatIsNotTheUsersOwnFailsAndSaysWhy) {
    TempFolder root;
    const fs::path own = root.path() / "own";
    fs::create_directory(own);
    chmod(own.c_str(), 0700);
    const fs::path open = root.path() / "open";
    fs::create_directory(open);
    chmod(open.c_str(), 0777);
    const fs::path link = root.path() / "link";
    fs::create_directory_symlink(own, link);
    const fs::path file = root.path() / "file";
    std::ofstream(file) << "x";

    struct Case {
        fs::path folder;
        std::string problem;
    };
    std::vector<Case> cases = {
        {open, "is open to other users"},
        {link, "is a link"},
        {file, "is not a folder"},
        {root.path() / "missing", "cannot be found (No such file or directory)"}};
    // Planted by another user: only a process that may give files away can make one here.
    const fs::path planted = root.path() / "planted";
    fs::create_directory(planted);
    chmod(planted.c_str(), 0700);
    if (getuid() != 4242 && chown(planted.c_str(), 4242, 4242) == 0) {
        cases.push_back({planted, "belongs to another user"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder.string());
        SingleInstanceLock lock;
        EXPECT_EQ(lock.acquire(c.folder / "Emberway Kestrel.lock"),
                  SingleInstanceLock::Outcome::Failed);
        EXPECT_EQ(lock.problem(), c.problem);
        EXPECT_FALSE(lock.held());
    }
    SingleInstanceLock lock;
    EXPECT_EQ(lock.acquire(own / "Emberway Kestrel.lock"), SingleInstanceLock::Outcome::Acquired);
    EXPECT_EQ(lock.problem(), "");
}
