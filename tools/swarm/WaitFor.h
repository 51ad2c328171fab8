#pragma once

#include <chrono>
#include <thread>

namespace swarm {

// Polls the predicate every 20 ms until it holds or the deadline passes; returns its last value.
template <typename Predicate>
bool waitFor(Predicate&& predicate, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= end) {
            return predicate();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace swarm
