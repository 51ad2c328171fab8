#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "engine/DownloadTask.h"

// Answers the task's inquiries from scripted values. Each branch question takes its next
// scripted answer, so a state change between two reads can be played.
struct StandInTask {
    bool valid = true;
    std::deque<bool> checking, downloading, complete;
    std::int64_t done = 0, size = 0;
    std::uint32_t rate = 0;
    int peers = 0, percent = 0;
    std::optional<RemainingTime> left = RemainingTime{0xFFFF, 0xFFFF, 0xFFFF};
    std::vector<float> files;
    mutable int sizeReads = 0;

    static bool Next(std::deque<bool>& answers) {
        if (answers.empty()) {
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool isValid() const { return valid; }
    bool isChecking() const { return Next(const_cast<std::deque<bool>&>(checking)); }
    bool isDownloading() const { return Next(const_cast<std::deque<bool>&>(downloading)); }
    bool isComplete() const { return Next(const_cast<std::deque<bool>&>(complete)); }
    std::int64_t totalDone() const { return done; }
    std::int64_t totalSize() const {
        ++sizeReads;
        return size;
    }
    std::uint32_t downloadRate() const { return rate; }
    int peerCount() const { return peers; }
    int percentDone() const { return percent; }
    std::optional<RemainingTime> remainingTime() const { return left; }
    std::vector<float> fileProgress() const { return files; }
};
