#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include <QCoreApplication>

// Polls until the predicate holds or the deadline passes, handling Qt events meanwhile so the
// window's timers and widgets keep working; returns the predicate's last answer. The deadline
// only bounds a failing test.
inline bool waitFor(const std::function<bool()>& predicate,
                    std::chrono::milliseconds deadline = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= end) {
            return predicate();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
