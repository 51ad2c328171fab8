#include "engine/ServerPeerRules.h"

#include <chrono>

bool MayCallInServerPeer(const CallInState& state) {
    return state.serverPeerCount > 0 && !state.chosen && state.taskValid && !state.paused &&
           !state.complete;
}

bool IsBelowCallInRate(std::uint32_t downloadRate, std::uint32_t callInRate) {
    return downloadRate < callInRate;
}

bool ShouldReleaseServerPeer(std::uint32_t downloadRate, std::uint32_t serverPeerRate,
                             std::uint32_t releaseRate) {
    return downloadRate >= serverPeerRate && downloadRate - serverPeerRate > releaseRate;
}

std::size_t ServerPeerIndex(std::uint32_t r, std::size_t count) {
    return static_cast<std::size_t>(r) % count;
}

std::uint32_t HighResolutionSeed() {
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ticks) & 0xFFFFFFFFu);
}
