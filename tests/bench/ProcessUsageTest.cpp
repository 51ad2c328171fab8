#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <sys/mman.h>
#include <unistd.h>

#include "ProcessUsage.h"
#include "support/WaitFor.h"

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

TEST(ProcessUsageParse, StatTimesFollowTheLastParenthesisOfTheName) {
    // A command name may hold spaces and ')' itself; utime and stime are fields 14 and 15.
    const std::string stat = "4242 (a) b (c) S 1 4242 4242 0 -1 4194560 120 0 0 0 "
                             "731 59 0 0 20 0 12 0 100 0 0";
    const auto times = ParseStatTimes(stat);
    ASSERT_TRUE(times);
    EXPECT_EQ(times->first, 731u);
    EXPECT_EQ(times->second, 59u);

    EXPECT_FALSE(ParseStatTimes("4242 no name at all S 1 2 3"));
    EXPECT_FALSE(ParseStatTimes("4242 (short) S 1 4242 4242 0 -1 4194560 120 0 0 0 731"));
}

TEST(ProcessUsageParse, StatusFieldsAreReadInBytesByTheirWholeName) {
    const std::string status = "Name:\tbench\nVmHWM:\t  204800 kB\nVmRSS:\t  102400 kB\n"
                               "RssAnonymous:\t 7 kB\nRssAnon:\t   51200 kB\nThreads:\t12\n";
    EXPECT_EQ(ParseStatusField(status, "VmHWM"), 200 * kMiB);
    EXPECT_EQ(ParseStatusField(status, "RssAnon"), 50 * kMiB);
    EXPECT_FALSE(ParseStatusField(status, "RssFile"));
    EXPECT_FALSE(ParseStatusField(status, "Threads")); // not a size
}

TEST(ProcessUsage, CountsThisProcessesMemoryAndProcessorTime) {
    const auto before = ReadProcessUsage(getpid());
    ASSERT_TRUE(before);

    // 64 MiB of anonymous memory, touched so that it is resident.
    const std::size_t size = 64 * kMiB;
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(block, MAP_FAILED);
    std::memset(block, 1, size);
    const auto touched = ReadProcessUsage(getpid());
    ASSERT_TRUE(touched);
    EXPECT_GE(touched->anonymousBytes, before->anonymousBytes + 60 * kMiB);
    EXPECT_GE(touched->peakBytes, touched->anonymousBytes);

    // Given back, the high-water mark keeps it until it is reset.
    munmap(block, size);
    const auto freed = ReadProcessUsage(getpid());
    ASSERT_TRUE(freed);
    EXPECT_LE(freed->anonymousBytes + 60 * kMiB, touched->anonymousBytes);
    EXPECT_GE(freed->peakBytes, freed->anonymousBytes + 60 * kMiB);
    ASSERT_TRUE(ResetPeakMemory(getpid()));
    const auto reset = ReadProcessUsage(getpid());
    ASSERT_TRUE(reset);
    EXPECT_LE(reset->peakBytes + 60 * kMiB, touched->peakBytes);

    // Work on this thread shows as user time.
    volatile std::uint64_t sink = 0;
    EXPECT_TRUE(waitFor(
        [&] {
            for (int i = 0; i < 1000000; ++i) {
                sink = sink + static_cast<std::uint64_t>(i);
            }
            return ReadProcessUsage(getpid())->userSeconds > before->userSeconds;
        },
        std::chrono::seconds(60)));

    EXPECT_FALSE(ReadProcessUsage(-1));
}

TEST(ProcessUsage, TellsEachLivingThreadsTimeApart) {
    std::atomic<bool> stop{false};
    std::atomic<int> worker{0};
    std::thread busy([&] {
        worker = static_cast<int>(gettid());
        volatile std::uint64_t sink = 0;
        while (!stop) {
            sink = sink + 1;
        }
    });
    EXPECT_TRUE(waitFor([&] {
        const auto threads = ReadThreadTimes(getpid());
        const auto it = threads.find(worker.load());
        return worker != 0 && it != threads.end() && it->second.userSeconds > 0;
    }));
    const auto threads = ReadThreadTimes(getpid());
    ASSERT_TRUE(threads.count(getpid())); // the main thread, under the process's own id
    EXPECT_FALSE(threads.at(getpid()).name.empty());
    EXPECT_EQ(threads.at(getpid()).name.find('\n'), std::string::npos);
    stop = true;
    busy.join();
    EXPECT_FALSE(ReadThreadTimes(getpid()).count(worker.load())); // ended threads are gone
}

} // namespace
