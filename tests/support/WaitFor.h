#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include <QCoreApplication>

#include "tools/swarm/WaitFor.h"

// Polls until the predicate holds or the deadline passes, handling Qt events meanwhile so the
// window's timers and widgets keep working; returns the predicate's last answer. The deadline
// only bounds a failing test.
inline bool waitFor(const std::function<bool()>& predicate,
                    std::chrono::milliseconds deadline = std::chrono::seconds(60)) {
    return swarm::waitFor(predicate, deadline, [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
}
