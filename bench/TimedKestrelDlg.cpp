#include "TimedKestrelDlg.h"

#include <algorithm>

#include <QTimer>
#include <QTimerEvent>

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
    // The tick as the window runs it: its own refresh, then the event pump.
    const auto start = Steady::now();
    CKestrelDlg::timerEvent(event);
    const std::chrono::nanoseconds tick = Steady::now() - start;
    if (counting) {
        ++ticks;
        tickTime += tick;
        longestTick = std::max(longestTick, tick);
        each.push_back(tick);
        if (timedRefreshes) {
            QTimer::singleShot(150, this, [this] { TimedRefresh(); });
        }
    }
}

void TimedKestrelDlg::TimedRefresh() {
    if (!counting) {
        return;
    }
    InquiryCosts costs;
    const auto start = Steady::now();
    Status().RefreshStatus(TimedTask(Task(), costs));
    refreshTime += Steady::now() - start;
    ++refreshes;
    inquiries.merge(costs);
}
