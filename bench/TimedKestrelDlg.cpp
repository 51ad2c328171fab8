#include "TimedKestrelDlg.h"

#include "TimedTask.h"

void TimedKestrelDlg::ShowFilePath(const QString& folder, const QString& name) {
    added = Clock::now();
    CKestrelDlg::ShowFilePath(folder, name);
}

// Timer 109 runs these two, in this order, on every tick.
void TimedKestrelDlg::RefreshStatus() {
    tickStart_ = Clock::now();
    // What CKestrelDlg::RefreshStatus does, with each of the task's answers timed.
    // Counted with the pump that follows: the start's own refresh is no tick.
    pending_ = {};
    RefreshStatusFrom(TimedTask(task_, pending_));
    refreshEnd_ = Clock::now();
}

void TimedKestrelDlg::PumpEngineEvents() {
    CKestrelDlg::PumpEngineEvents();
    const auto spent = Clock::now() - tickStart_;
    if (counting) {
        ++ticks;
        tickTime += spent;
        refreshTime += refreshEnd_ - tickStart_;
        inquiries.merge(pending_);
        longestTick = std::max<std::chrono::nanoseconds>(longestTick, spent);
        each.push_back(spent);
    }
}
