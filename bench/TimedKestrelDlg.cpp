#include "TimedKestrelDlg.h"

#include <algorithm>

#include <QTimerEvent>

#include "TimedTask.h"

void TimedKestrelDlg::Start() {
    OnInitDialog();
    // The start ends right after the torrent has been added and its first refresh.
    if (Task().isValid()) {
        added = Steady::now();
    }
}

void TimedKestrelDlg::timerEvent(QTimerEvent* event) {
    if (Timers().idOf(event->timerId()) != kStatusTimer) {
        CKestrelDlg::timerEvent(event);
        return;
    }
    // One refresh with each of the task's answers timed, to tell the inquiries' share, then
    // the tick itself as the window runs it: its own refresh, then the event pump.
    const auto start = Steady::now();
    std::chrono::nanoseconds spent{0};
    int asked = 0;
    Status().RefreshStatus(TimedTask(Task(), spent, asked));
    const auto refreshed = Steady::now();
    CKestrelDlg::timerEvent(event);
    const std::chrono::nanoseconds tick = Steady::now() - refreshed;
    if (counting) {
        ++ticks;
        tickTime += tick;
        refreshTime += refreshed - start;
        queryTime += spent;
        queries += asked;
        longestTick = std::max(longestTick, tick);
        each.push_back(tick);
    }
}
