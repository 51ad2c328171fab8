#pragma once

#include <chrono>

class PublisherSources;

// The main window's timers for the publisher's own sources, with the window's own periods,
// for a driver that has no window: started when the torrent has been checked (one server peer
// called in, the web seed's timers only with a web seed), then ticked from the driver's loop.
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
        Clock::duration period{};
        Clock::time_point last{};
        bool Due(Clock::time_point now);
    };

    PublisherSources& sources_;
    bool started_ = false;
    bool webSeed_ = false;
    Timer cap_, restore_, drop_, serverPeer_;
};
