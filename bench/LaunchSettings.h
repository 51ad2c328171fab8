#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// How a player's program treats the publisher's sources.
enum class Policy {
    Rules,         // the program's own rules and timers
    Greedy,        // every source at once: server peers as ordinary peers, web seed uncapped
    PublisherOnly, // every publisher source at once and no swarm between players
};
const char* PolicyName(Policy policy);

// A range of rates in bytes per second; each player draws its own from it.
struct RateRange {
    int low = 0;
    int high = 0;
};

// One launch: the crowd, the publisher's sources and what the run may take.
struct LaunchSettings {
    int players = 24;
    int joinSeconds = 60;
    std::uint64_t bytes = 256ull << 20;
    RateRange down{2'000'000, 6'000'000};
    RateRange up{500'000, 1'500'000};
    int serverPeers = 2;
    int serverPeerRate = 4'000'000;
    int webSeedRate = 2'000'000; // per connection, as a content delivery network allows
    int callInKiB = 100;
    int releaseKiB = 200;
    std::uint32_t crowdSeed = 1;
    int limitSeconds = 1800; // per policy, from the first join
    std::vector<Policy> policies{Policy::Rules, Policy::Greedy, Policy::PublisherOnly};
};

// One point of a sweep: the value it changes.
struct SweepPoint {
    std::optional<int> players;
    std::optional<int> callInKiB;
    std::optional<int> releaseKiB;
};

struct LaunchCommand {
    LaunchSettings settings;
    std::vector<SweepPoint> sweep; // empty: the settings alone
    std::filesystem::path work;
    std::filesystem::path out;
};

// The command line without the program name; nothing, after a message, when it is wrong or
// asks for help.
std::optional<LaunchCommand> ParseLaunchCommand(const std::vector<std::string>& args);
// "players=8,16,32" or "rates=50:100,200:400" (call-in:release, KiB/s); empty when wrong.
std::vector<SweepPoint> ParseSweep(const std::string& text);
// The settings with one sweep point applied.
LaunchSettings Apply(LaunchSettings settings, const SweepPoint& point);
