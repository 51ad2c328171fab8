#pragma once

#include <chrono>
#include <thread>

namespace swarm {

inline void pauseBetweenPolls() {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// Polls the predicate until it holds or the deadline passes, running pause between polls (by
// default a 20 ms sleep); returns the predicate's last value.
template <typename Predicate, typename Pause = void (*)()>
bool waitFor(Predicate&& predicate, std::chrono::milliseconds deadline,
             Pause&& pause = pauseBetweenPolls) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= end) {
            return predicate();
        }
        pause();
    }
    return true;
}

} // namespace swarm
