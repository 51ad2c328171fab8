#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "TimedTask.h"
#include "app/CKestrelDlg.h"

// The program's main window, unchanged, with a stopwatch around the work of its 300 ms tick
// (status refresh, then event pump) and a mark when the torrent has been added. Half-way
// between two ticks it runs one more refresh with each of the task's answers timed, to tell
// what the inquiries cost. Run right before the tick, that refresh would wake the library's
// network thread for the tick and make the tick's own inquiries look cheaper than they are.
class TimedKestrelDlg final : public CKestrelDlg {
public:
    using Steady = std::chrono::steady_clock;
    using CKestrelDlg::CKestrelDlg;

    // Runs the window's start; marks the moment when it added the torrent.
    void Start();

    std::optional<Steady::time_point> added;
    // Ticks counted while `counting` holds, and their cost.
    bool counting = true;
    // The timed refreshes half-way between the ticks; off, the window does its own work only.
    bool timedRefreshes = true;
    int ticks = 0;
    std::chrono::nanoseconds tickTime{0};
    std::chrono::nanoseconds longestTick{0};
    std::vector<std::chrono::nanoseconds> each; // every counted tick, in order
    // The timed refreshes between the ticks: how many, their time, and their inquiries.
    int refreshes = 0;
    std::chrono::nanoseconds refreshTime{0};
    InquiryCosts inquiries;

    bool complete() const { return Task().isValid() && Task().isComplete(); }
    std::int64_t totalDone() const { return Task().totalDone(); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void TimedRefresh();
};
