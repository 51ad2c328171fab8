#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "TimedTask.h"
#include "app/CKestrelDlg.h"

// The program's main window, unchanged, with a stopwatch around the work of its 300 ms tick
// (status refresh, then event pump) and a mark when the torrent has been added.
class TimedKestrelDlg final : public CKestrelDlg {
public:
    using Clock = std::chrono::steady_clock;
    using CKestrelDlg::CKestrelDlg;

    // Set when the torrent was added (the file path line is written right after).
    std::optional<Clock::time_point> added;
    // Ticks counted while `counting` holds, and their cost.
    bool counting = true;
    int ticks = 0;
    std::chrono::nanoseconds tickTime{0};
    std::chrono::nanoseconds refreshTime{0}; // the status refresh's share of tickTime
    InquiryCosts inquiries;                  // the refresh's inquiries of the task
    std::chrono::nanoseconds longestTick{0};
    std::vector<std::chrono::nanoseconds> each; // every counted tick, in order

    bool complete() const { return task_.isValid() && task_.isComplete(); }
    std::int64_t totalDone() const { return task_.totalDone(); }

protected:
    void ShowFilePath(const QString& folder, const QString& name) override;
    void RefreshStatus() override;
    void PumpEngineEvents() override;

private:
    Clock::time_point tickStart_;
    Clock::time_point refreshEnd_;
    InquiryCosts pending_;
};
