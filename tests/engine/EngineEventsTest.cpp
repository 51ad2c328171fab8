// The test runners' event hook: which reactions an event reaches, and when.
#include "support/EngineEvents.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Code = EngineEvent::Code;

EngineEvent Event(Code code) {
    EngineEvent e;
    e.code = code;
    return e;
}

} // namespace

TEST(EngineEventsHook, ReactionsGetTheirCodeOrEveryEventInTheOrderRegistered) {
    EngineEvents events;
    std::vector<std::string> calls;
    events.on(Code::FileError, [&](const EngineEvent&) { calls.push_back("error"); });
    events.onAny([&](const EngineEvent& e) {
        calls.push_back("any " + std::to_string(static_cast<int>(e.code)));
    });
    events.on(Code::TorrentPaused, [&](const EngineEvent&) { calls.push_back("paused"); });

    events.take(Event(Code::FileError));
    events.take(Event(Code::TorrentPaused));
    events.take(Event(Code::TorrentChecked));
    EXPECT_EQ(calls, (std::vector<std::string>{"error", "any 3", "any 19", "paused", "any 20"}));
    EXPECT_EQ(events.events.size(), 3u);
    EXPECT_EQ(events.count(Code::TorrentPaused), 1);
    EXPECT_FALSE(events.seen(Code::TorrentFinished));
}

// A reaction that registers another, as a test that waits for a second event after a first
// does, neither invalidates the walk nor reaches the new reaction with the event at hand.
TEST(EngineEventsHook, AReactionRegisteredDuringAnEventStartsWithTheNext) {
    EngineEvents events;
    int later = 0;
    events.on(Code::TorrentChecked, [&](const EngineEvent&) {
        for (int i = 0; i < 32; ++i) { // enough to move the reactions' storage
            events.on(Code::TorrentChecked, [&](const EngineEvent&) { ++later; });
        }
    });
    events.take(Event(Code::TorrentChecked));
    EXPECT_EQ(later, 0);
    events.take(Event(Code::TorrentChecked));
    EXPECT_EQ(later, 32);
}
