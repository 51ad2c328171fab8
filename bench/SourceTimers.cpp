#include "SourceTimers.h"

#include <algorithm>

#include "app/PublisherSources.h"

bool SourceTimers::Timer::Due(Clock::time_point now) {
    if (now - last < period) {
        return false;
    }
    last = now;
    return true;
}

void SourceTimers::Start(Clock::time_point now) {
    started_ = true;
    sources_.serverPeers().CallInServerPeer();
    timers_.clear();
    for (const PublisherSources::Timer& t : sources_.TimersToStart()) {
        timers_.push_back({t.id, std::chrono::milliseconds(t.periodMs), now});
    }
    std::sort(timers_.begin(), timers_.end(),
              [](const Timer& a, const Timer& b) { return a.id < b.id; });
}

void SourceTimers::Tick(Clock::time_point now) {
    for (Timer& t : timers_) {
        if (t.Due(now)) {
            sources_.OnTimer(t.id);
        }
    }
}
