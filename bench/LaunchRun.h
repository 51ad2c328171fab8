#pragma once

#include <filesystem>

#include "LaunchFigures.h"
#include "LaunchSettings.h"

// One policy over the whole crowd: the sample publisher with its tracker, its server peers and
// its web seed, and the players joining on the crowd's plan, each in a folder of its own under
// `folder`. Players stay and seed once they are done. Ends when every player is done or the
// settings' limit has passed; a sample is taken every 10 s and at the end.
PolicyRun RunPolicy(const LaunchSettings& settings, Policy policy,
                    const std::filesystem::path& folder);
