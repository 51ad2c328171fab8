#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "app/CKestrelDlg.h"

// The program's main window, unchanged, with a stopwatch around the work of its 300 ms tick
// (status refresh, then event pump) and a mark when the torrent has been added.
class TimedKestrelDlg final : public CKestrelDlg {
public:
    using Steady = std::chrono::steady_clock;
    using CKestrelDlg::CKestrelDlg;

    // Runs the window's start; marks the moment when it added the torrent.
    void Start();

    std::optional<Steady::time_point> added;
    // Ticks counted while `counting` holds, and their cost.
    bool counting = true;
    int ticks = 0;
    std::chrono::nanoseconds tickTime{0};
    std::chrono::nanoseconds refreshTime{0}; // the status refresh's share of tickTime
    std::chrono::nanoseconds queryTime{0};   // the refresh's inquiries of the task
    int queries = 0;
    std::chrono::nanoseconds longestTick{0};
    std::vector<std::chrono::nanoseconds> each; // every counted tick, in order

    bool complete() const { return Task().isValid() && Task().isComplete(); }
    std::int64_t totalDone() const { return Task().totalDone(); }

protected:
    void timerEvent(QTimerEvent* event) override;
};
