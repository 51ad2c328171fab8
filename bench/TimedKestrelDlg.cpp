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
    std::chrono::nanoseconds spent{0};
    int asked = 0;
    RefreshStatusFrom(TimedTask(task_, spent, asked));
    if (counting) {
        queryTime += spent;
        queries += asked;
    }
    refreshEnd_ = Clock::now();
}

void TimedKestrelDlg::PumpEngineEvents() {
    CKestrelDlg::PumpEngineEvents();
    const auto spent = Clock::now() - tickStart_;
    if (counting) {
        ++ticks;
        tickTime += spent;
        refreshTime += refreshEnd_ - tickStart_;
        longestTick = std::max<std::chrono::nanoseconds>(longestTick, spent);
        each.push_back(spent);
    }
}
