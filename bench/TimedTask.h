#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/DownloadTask.h"

// The task's inquiries as the status refresh makes them, each timed, so that a tick's cost
// splits into the engine's answers and the window's own work.
class TimedTask {
    // Defined first: the inquiries below deduce their types from it.
    template <typename Inquiry>
    auto time(Inquiry&& inquiry) const {
        const auto start = std::chrono::steady_clock::now();
        auto answer = inquiry();
        spent_ += std::chrono::steady_clock::now() - start;
        ++queries_;
        return answer;
    }

public:
    TimedTask(const DownloadTask& task, std::chrono::nanoseconds& spent, int& queries)
        : task_(task), spent_(spent), queries_(queries) {}

    bool isValid() const {
        return time([&] { return task_.isValid(); });
    }
    bool isChecking() const {
        return time([&] { return task_.isChecking(); });
    }
    bool isDownloading() const {
        return time([&] { return task_.isDownloading(); });
    }
    bool isComplete() const {
        return time([&] { return task_.isComplete(); });
    }
    std::int64_t totalSize() const {
        return time([&] { return task_.totalSize(); });
    }
    std::int64_t totalDone() const {
        return time([&] { return task_.totalDone(); });
    }
    std::uint32_t downloadRate() const {
        return time([&] { return task_.downloadRate(); });
    }
    int peerCount() const {
        return time([&] { return task_.peerCount(); });
    }
    int percentDone() const {
        return time([&] { return task_.percentDone(); });
    }
    std::optional<RemainingTime> remainingTime() const {
        return time([&] { return task_.remainingTime(); });
    }
    std::vector<float> fileProgress() const {
        return time([&] { return task_.fileProgress(); });
    }

private:
    const DownloadTask& task_;
    std::chrono::nanoseconds& spent_;
    int& queries_;
};
