#include "platform/Clock.h"

#include <thread>

std::tm SystemClock::localTime() {
    const std::time_t seconds = std::time(nullptr);
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

std::chrono::steady_clock::time_point SystemClock::now() {
    return std::chrono::steady_clock::now();
}

void SystemClock::wait(std::chrono::milliseconds span) {
    std::this_thread::sleep_for(span);
}
