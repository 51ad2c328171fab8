#pragma once

#include <chrono>
#include <ctime>

// Time as the program reads and spends it: the local time for report stamps, a monotonic
// reading for measured spans, and blocking waits. Tests hand in a clock of their own so that
// stamps are known and no test waits out a real pause.
class Clock {
public:
    virtual ~Clock() = default;

    // The local time now, broken down.
    virtual std::tm localTime() = 0;
    // A monotonic reading; only differences between two readings mean anything.
    virtual std::chrono::steady_clock::time_point now() = 0;
    // Blocks the calling thread for span.
    virtual void wait(std::chrono::milliseconds span) = 0;
};

// The machine's own clocks.
class SystemClock final : public Clock {
public:
    std::tm localTime() override;
    std::chrono::steady_clock::time_point now() override;
    void wait(std::chrono::milliseconds span) override;
};
