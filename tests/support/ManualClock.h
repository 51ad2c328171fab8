#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <vector>

#include "platform/Clock.h"

// A clock that stands still: local time at a chosen instant, and waits that return at once
// after recording their span and running onWait, so a test can look at the moment of a wait.
class ManualClock final : public Clock {
public:
    explicit ManualClock(std::time_t at = 1700000000) : at_(at) {}

    std::tm localTime() override {
        std::tm out{};
        localtime_r(&at_, &out);
        return out;
    }
    std::chrono::steady_clock::time_point now() override {
        return std::chrono::steady_clock::now();
    }
    void wait(std::chrono::milliseconds span) override {
        waits.push_back(span);
        if (onWait) {
            onWait();
        }
    }

    std::vector<std::chrono::milliseconds> waits;
    std::function<void()> onWait;

private:
    std::time_t at_;
};
