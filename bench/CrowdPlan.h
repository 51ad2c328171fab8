#pragma once

#include <vector>

#include "LaunchSettings.h"

// One player of the crowd: when it starts, after the first, and its home link.
struct PlayerPlan {
    double joinSeconds = 0;
    int downRate = 0; // bytes per second
    int upRate = 0;
};

// The same crowd for every policy of a run: joins spread evenly over the join time (the first
// at 0, the last at its end), each link drawn from the settings' ranges by the crowd's seed.
std::vector<PlayerPlan> PlanCrowd(const LaunchSettings& settings);
