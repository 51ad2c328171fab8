#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/DownloadTask.h"

// What the status refresh's inquiries of the task cost, per inquiry.
struct InquiryCosts {
    struct Cost {
        std::chrono::nanoseconds total{0};
        std::chrono::nanoseconds longest{0};
        int count = 0;
        std::vector<std::chrono::nanoseconds> each;
    };
    std::map<std::string, Cost> byName;
    std::chrono::nanoseconds total{0};
    int count = 0;

    void add(const char* name, std::chrono::nanoseconds spent) {
        auto& c = byName[name];
        c.total += spent;
        c.longest = std::max(c.longest, spent);
        ++c.count;
        c.each.push_back(spent);
        total += spent;
        ++count;
    }
    void merge(const InquiryCosts& other) {
        for (const auto& [name, cost] : other.byName) {
            auto& c = byName[name];
            c.total += cost.total;
            c.longest = std::max(c.longest, cost.longest);
            c.count += cost.count;
            c.each.insert(c.each.end(), cost.each.begin(), cost.each.end());
        }
        total += other.total;
        count += other.count;
    }
};

// The task's inquiries as the status refresh makes them, each timed, so that a refresh's cost
// splits into the engine's answers and the window's own work.
class TimedTask {
    // Defined first: the inquiries below deduce their types from it.
    template <typename Inquiry>
    auto time(const char* name, Inquiry&& inquiry) const {
        const auto start = std::chrono::steady_clock::now();
        auto answer = inquiry();
        costs_.add(name, std::chrono::steady_clock::now() - start);
        return answer;
    }

public:
    TimedTask(const DownloadTask& task, InquiryCosts& costs) : task_(task), costs_(costs) {}

    bool isValid() const {
        return time("isValid", [&] { return task_.isValid(); });
    }
    bool isChecking() const {
        return time("isChecking", [&] { return task_.isChecking(); });
    }
    bool isDownloading() const {
        return time("isDownloading", [&] { return task_.isDownloading(); });
    }
    bool isComplete() const {
        return time("isComplete", [&] { return task_.isComplete(); });
    }
    std::int64_t totalSize() const {
        return time("totalSize", [&] { return task_.totalSize(); });
    }
    std::int64_t totalDone() const {
        return time("totalDone", [&] { return task_.totalDone(); });
    }
    std::uint32_t downloadRate() const {
        return time("downloadRate", [&] { return task_.downloadRate(); });
    }
    int peerCount() const {
        return time("peerCount", [&] { return task_.peerCount(); });
    }
    int percentDone() const {
        return time("percentDone", [&] { return task_.percentDone(); });
    }
    std::optional<RemainingTime> remainingTime() const {
        return time("remainingTime", [&] { return task_.remainingTime(); });
    }
    std::vector<float> fileProgress() const {
        return time("fileProgress", [&] { return task_.fileProgress(); });
    }

private:
    const DownloadTask& task_;
    InquiryCosts& costs_;
};
