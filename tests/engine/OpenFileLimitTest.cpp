#include "engine/OpenFileLimit.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

TEST(OpenFileLimit, ThePoolLeavesRoomForSocketsAndStaysWithinTheLibrarysRange) {
    EXPECT_EQ(FilePoolSize(1024), 768);
    EXPECT_EQ(FilePoolSize(20000), 20000 - 256);
    EXPECT_EQ(FilePoolSize(65535 + 256), 65535);
    EXPECT_EQ(FilePoolSize(1048576), 65535);
    // A limit too small for the reserve still leaves most descriptors to the rest.
    EXPECT_EQ(FilePoolSize(256), 64);
    EXPECT_EQ(FilePoolSize(0), 1);
    for (std::uint64_t limit = 8; limit < 2000; ++limit) {
        ASSERT_LT(static_cast<std::uint64_t>(FilePoolSize(limit)), limit) << limit;
    }
}

TEST(OpenFileLimit, TheSoftLimitIsRaisedToTheHardOne) {
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max <= 1024) {
        GTEST_SKIP() << "the hard limit leaves nothing to raise";
    }
    limit.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    EXPECT_EQ(RaiseOpenFileLimit(), limit.rlim_max);
    EXPECT_EQ(CurrentOpenFileLimit(), limit.rlim_max);
}
