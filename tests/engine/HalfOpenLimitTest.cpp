#include "engine/HalfOpenLimit.h"

#include <gtest/gtest.h>

TEST(HalfOpenLimit, FollowsTheHostVersionTable) {
    EXPECT_EQ(HalfOpenLimit(HostVersion{60, ""}), 4);
    EXPECT_EQ(HalfOpenLimit(HostVersion{53, ""}), 4);
    EXPECT_EQ(HalfOpenLimit(HostVersion{52, "Service Pack 2"}), kNoHalfOpenLimit);
    EXPECT_EQ(HalfOpenLimit(HostVersion{51, "Service Pack 2"}), 8);
    EXPECT_EQ(HalfOpenLimit(HostVersion{51, "Service Pack 3"}), 8);
    EXPECT_EQ(HalfOpenLimit(HostVersion{51, "Service Pack 1"}), kNoHalfOpenLimit);
    EXPECT_EQ(HalfOpenLimit(HostVersion{51, ""}), kNoHalfOpenLimit);
    EXPECT_EQ(HalfOpenLimit(HostVersion{50, "Service Pack 4"}), kNoHalfOpenLimit);
    EXPECT_EQ(HalfOpenLimit(std::nullopt), kNoHalfOpenLimit);
}

TEST(HalfOpenLimit, ThisHostIsNotWindows) {
    EXPECT_FALSE(CurrentHostVersion().has_value());
    EXPECT_EQ(HalfOpenLimit(CurrentHostVersion()), kNoHalfOpenLimit);
}
