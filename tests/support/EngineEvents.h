#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "engine/EngineEvent.h"

// The engine events a runner has taken, in order, and the reactions a test registered for
// them: a test reacts to an event as the runner takes it instead of polling for its effects.
class EngineEvents {
public:
    using Code = EngineEvent::Code;
    using Reaction = std::function<void(const EngineEvent&)>;

    // Calls the reaction with every later event of the code, after the runner's own reaction.
    void on(Code code, Reaction reaction) { reactions_.push_back({code, std::move(reaction)}); }
    // The same for every later event, whatever its code.
    void onAny(Reaction reaction) { reactions_.push_back({std::nullopt, std::move(reaction)}); }

    // Keeps the event and calls the reactions registered for it, in the order they came; a
    // reaction may register another, which starts with the next event.
    void take(const EngineEvent& event) {
        events.push_back(event);
        const std::size_t registered = reactions_.size();
        for (std::size_t i = 0; i < registered; ++i) {
            if (!reactions_[i].code || *reactions_[i].code == event.code) {
                const Reaction reaction = reactions_[i].reaction; // reactions_ may grow
                reaction(event);
            }
        }
    }
    int count(Code code) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [code](const auto& e) { return e.code == code; }));
    }
    bool seen(Code code) const { return count(code) > 0; }

    std::vector<EngineEvent> events;

private:
    struct Registered {
        std::optional<Code> code;
        Reaction reaction;
    };
    std::vector<Registered> reactions_;
};
