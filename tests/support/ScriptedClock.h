#pragma once

#include <chrono>
#include <ctime>
#include <deque>
#include <vector>

#include "platform/Clock.h"

// A clock whose answers the test sets: one local time, monotonic readings in turn (the last one
// again once they run out), and waits that are recorded instead of spent.
class ScriptedClock final : public Clock {
public:
    std::tm local{};
    std::deque<std::chrono::milliseconds> readings{std::chrono::milliseconds(0)};
    std::vector<std::chrono::milliseconds> waits;

    // 5 January 2009, 09:03:07.
    ScriptedClock() { setLocal(2009, 1, 5, 9, 3, 7); }

    void setLocal(int year, int month, int day, int hour, int minute, int second) {
        local = {};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
    }

    std::tm localTime() override { return local; }
    std::chrono::steady_clock::time_point now() override {
        const auto reading = readings.front();
        if (readings.size() > 1) {
            readings.pop_front();
        }
        return std::chrono::steady_clock::time_point(reading);
    }
    void wait(std::chrono::milliseconds span) override { waits.push_back(span); }
};
