#include "LaunchSettings.h"

#include <charconv>
#include <functional>
#include <sstream>

#include <CLI/CLI.hpp>

const char* PolicyName(Policy policy) {
    switch (policy) {
    case Policy::Rules:
        return "rules";
    case Policy::Greedy:
        return "greedy";
    case Policy::PublisherOnly:
        return "publisher";
    }
    return "?";
}

namespace {

template <typename T>
bool Number(const std::string& text, T& out) {
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end && out >= 0;
}

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, sep)) {
        parts.push_back(part);
    }
    return parts;
}

bool Pair(const std::string& text, int& low, int& high) {
    const auto parts = Split(text, ':');
    return parts.size() == 2 && Number(parts[0], low) && Number(parts[1], high);
}

// Rates a player's link draws from: above nothing, low to high.
bool Range(const std::string& text, RateRange& out) {
    return Pair(text, out.low, out.high) && out.low > 0 && out.low <= out.high;
}

bool Positive(const std::string& text, int& out) {
    return Number(text, out) && out > 0;
}

bool Policies(const std::string& text, std::vector<Policy>& out) {
    out.clear();
    for (const auto& name : Split(text, ',')) {
        bool known = false;
        for (const Policy p : {Policy::Rules, Policy::Greedy, Policy::PublisherOnly}) {
            if (name == PolicyName(p)) {
                out.push_back(p);
                known = true;
            }
        }
        if (!known) {
            return false;
        }
    }
    return !out.empty();
}

} // namespace

std::vector<SweepPoint> ParseSweep(const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos) {
        return {};
    }
    const std::string what = text.substr(0, eq);
    std::vector<SweepPoint> points;
    for (const auto& value : Split(text.substr(eq + 1), ',')) {
        SweepPoint point;
        int a = 0, b = 0;
        if (what == "players" && Positive(value, a)) {
            point.players = a;
        } else if (what == "rates" && Pair(value, a, b)) {
            point.callInKiB = a;
            point.releaseKiB = b;
        } else {
            return {};
        }
        points.push_back(point);
    }
    return points;
}

LaunchSettings Apply(LaunchSettings settings, const SweepPoint& point) {
    settings.players = point.players.value_or(settings.players);
    settings.callInKiB = point.callInKiB.value_or(settings.callInKiB);
    settings.releaseKiB = point.releaseKiB.value_or(settings.releaseKiB);
    return settings;
}

std::optional<LaunchCommand> ParseLaunchCommand(const std::vector<std::string>& args) {
    LaunchCommand c;
    LaunchSettings& s = c.settings;
    CLI::App app("A launch day: a crowd of players downloading at once, under each policy.",
                 "launch_day_bench");
    // Each value goes through one of the readers above; one it refuses makes the command wrong.
    const auto read = [&app](const std::string& name, const std::string& what,
                             std::function<bool(const std::string&)> reader) {
        app.add_option_function<std::string>(
            name,
            [name, what, reader](const std::string& v) {
                if (!reader(v)) {
                    throw CLI::ValidationError(name, "not " + what + ": " + v);
                }
            },
            what);
    };
    read("--players", "N > 0", [&s](const auto& v) { return Positive(v, s.players); });
    read("--join-seconds", "N", [&s](const auto& v) { return Number(v, s.joinSeconds); });
    read("--size", "BYTES > 0", [&s](const auto& v) { return Number(v, s.bytes) && s.bytes > 0; });
    read("--down", "LOW:HIGH (bytes per second)", [&s](const auto& v) { return Range(v, s.down); });
    read("--up", "LOW:HIGH (bytes per second)", [&s](const auto& v) { return Range(v, s.up); });
    read("--server-peers", "N up to 200",
         [&s](const auto& v) { return Number(v, s.serverPeers) && s.serverPeers <= 200; });
    read("--server-peer-rate", "BPS", [&s](const auto& v) { return Number(v, s.serverPeerRate); });
    read("--web-seed-rate", "BPS", [&s](const auto& v) { return Number(v, s.webSeedRate); });
    read("--rates", "CALLIN:RELEASE (KiB/s)",
         [&s](const auto& v) { return Pair(v, s.callInKiB, s.releaseKiB); });
    read("--policies", "rules,greedy,publisher",
         [&s](const auto& v) { return Policies(v, s.policies); });
    read("--crowd-seed", "N", [&s](const auto& v) { return Number(v, s.crowdSeed); });
    read("--limit-seconds", "N > 0", [&s](const auto& v) { return Positive(v, s.limitSeconds); });
    read("--sweep", "players=8,16,32 or rates=50:100,200:400", [&c](const auto& v) {
        c.sweep = ParseSweep(v);
        return !c.sweep.empty();
    });
    app.add_option("--work", c.work, "where the runs put their files (a temporary folder)");
    app.add_option("--out", c.out, "where the figures go (launch-day)");
    // The library takes its arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return std::nullopt;
    }
    return c;
}
