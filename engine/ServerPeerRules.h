#pragma once

#include <cstddef>
#include <cstdint>

// The rules that call the publisher's own seeding peers in and let them go, over plain values.

// What a call-in needs besides the rate: something to call in, nobody admitted yet, and a
// torrent that is running and still incomplete.
struct CallInState {
    std::size_t serverPeerCount = 0;
    bool chosen = false;
    bool taskValid = false;
    bool paused = false;
    bool complete = false;
};
bool MayCallInServerPeer(const CallInState& state);

// The swarm is too slow on its own strictly below the call-in rate.
bool IsBelowCallInRate(std::uint32_t downloadRate, std::uint32_t callInRate);

// The chosen server peer delivers serverPeerRate of the downloadRate; it goes once the rest,
// the swarm's own share, is more than releaseRate.
bool ShouldReleaseServerPeer(std::uint32_t downloadRate, std::uint32_t serverPeerRate,
                             std::uint32_t releaseRate);

// Index of the drawn server peer: r mod count. count must not be 0.
std::size_t ServerPeerIndex(std::uint32_t r, std::size_t count);

// A fresh seed for each draw, from the low 32 bits of a high-resolution clock reading.
std::uint32_t HighResolutionSeed();
