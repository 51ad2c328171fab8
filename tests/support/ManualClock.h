#pragma once

#include <chrono>
#include <ctime>
#include <deque>
#include <functional>
#include <vector>

#include "platform/Clock.h"

// A clock that stands still: local time at a chosen instant, monotonic readings from a script
// when one is given, and waits that return at once after recording their span and running
// onWait, so a test can look at the moment of a wait.
class ManualClock final : public Clock {
public:
    explicit ManualClock(std::time_t at = 1700000000) : at_(at) {}

    std::tm localTime() override {
        std::tm out{};
        localtime_r(&at_, &out);
        return out;
    }
    std::chrono::steady_clock::time_point now() override {
        if (readings.empty()) {
            return std::chrono::steady_clock::now();
        }
        const auto reading = readings.front();
        if (readings.size() > 1) {
            readings.pop_front();
        }
        return std::chrono::steady_clock::time_point(reading);
    }
    void wait(std::chrono::milliseconds span) override {
        waits.push_back(span);
        if (onWait) {
            onWait();
        }
    }

    void setTime(std::time_t at) { at_ = at; }

    std::vector<std::chrono::milliseconds> waits;
    std::function<void()> onWait;
    // Monotonic readings to answer in turn, the last one again once they run out; while there
    // are none, the machine's own.
    std::deque<std::chrono::milliseconds> readings;

private:
    std::time_t at_;
};
