#pragma once

#include <chrono>
#include <vector>

class PublisherSources;

// The main window's timers for the publisher's own sources, for a driver that has no window:
// started as the window starts them when the torrent has been checked (one server peer called
// in, the timers the sources name), then ticked from the driver's loop.
class SourceTimers {
public:
    using Clock = std::chrono::steady_clock;

    explicit SourceTimers(PublisherSources& sources) : sources_(sources) {}

    // What the window does for its sources on the torrent-checked event.
    void Start(Clock::time_point now);
    bool Started() const { return started_; }
    // Every timer whose period has passed since its last tick fires, in the window's order
    // of ids (cap, restore, drop, server peer).
    void Tick(Clock::time_point now);

private:
    struct Timer {
        int id = 0;
        Clock::duration period{};
        Clock::time_point last{};
        bool Due(Clock::time_point now);
    };

    PublisherSources& sources_;
    bool started_ = false;
    std::vector<Timer> timers_; // by id
};
