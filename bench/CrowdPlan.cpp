#include "CrowdPlan.h"

#include <random>

namespace {
int Draw(std::mt19937& random, const RateRange& range) {
    const auto span = static_cast<std::uint32_t>(range.high - range.low) + 1u;
    return range.low + static_cast<int>(random() % span);
}
} // namespace

std::vector<PlayerPlan> PlanCrowd(const LaunchSettings& settings) {
    std::mt19937 random(settings.crowdSeed);
    std::vector<PlayerPlan> crowd;
    const int n = settings.players;
    for (int i = 0; i < n; ++i) {
        PlayerPlan p;
        p.joinSeconds = n > 1 ? double(settings.joinSeconds) * i / (n - 1) : 0.0;
        p.downRate = Draw(random, settings.down);
        p.upRate = Draw(random, settings.up);
        crowd.push_back(p);
    }
    return crowd;
}
