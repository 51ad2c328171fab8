#include "net/TransferDeadline.h"

#include <gtest/gtest.h>

#include "net/HttpGet.h"

using namespace std::chrono_literals;
using Verdict = TransferDeadline::Verdict;

namespace {
const TransferDeadline::TimePoint t0{};
HttpGetTimeouts Limits() {
    HttpGetTimeouts l;
    l.stallTimeout = 60s;
    l.floorBytes = 256;
    l.ceiling = 300s;
    return l;
}
} // namespace

TEST(TransferDeadline, AWindowWithTheFloorGoesOnAndOneByteLessIsCut) {
    TransferDeadline enough(Limits(), t0);
    EXPECT_EQ(enough.check(t0 + 59999ms, 0), Verdict::Going); // the window has not passed
    EXPECT_EQ(enough.check(t0 + 60s, 256), Verdict::Going);
    // Each window counts from where the last one ended.
    EXPECT_EQ(enough.check(t0 + 120s, 511), Verdict::TooSlow);

    TransferDeadline trickle(Limits(), t0);
    EXPECT_EQ(trickle.check(t0 + 60s, 255), Verdict::TooSlow);

    // A byte every 59 s keeps no window above the floor.
    TransferDeadline byteAMinute(Limits(), t0);
    EXPECT_EQ(byteAMinute.check(t0 + 59s, 1), Verdict::Going);
    EXPECT_EQ(byteAMinute.check(t0 + 60s, 1), Verdict::TooSlow);
}

TEST(TransferDeadline, SlowButMovingRunsUntilTheCeilingAndNoLonger) {
    TransferDeadline slow(Limits(), t0);
    std::uint64_t received = 0;
    for (int minute = 1; minute < 5; ++minute) {
        received += 300; // 5 bytes a second
        EXPECT_EQ(slow.check(t0 + minute * 60s, received), Verdict::Going) << minute;
    }
    EXPECT_EQ(slow.check(t0 + 299999ms, received), Verdict::Going);
    EXPECT_EQ(slow.check(t0 + 300s, received + 1'000'000), Verdict::OutOfTime);
}
