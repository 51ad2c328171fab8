#include "LaunchSettings.h"

#include <charconv>
#include <cstdio>
#include <sstream>

const char* const kLaunchUsage =
    "usage: launch_day_bench [--players N] [--join-seconds N] [--size BYTES]\n"
    "       [--down LOW:HIGH] [--up LOW:HIGH] (bytes per second)\n"
    "       [--server-peers N] [--server-peer-rate BPS] [--web-seed-rate BPS]\n"
    "       [--rates CALLIN:RELEASE] (KiB/s) [--policies rules,greedy,publisher]\n"
    "       [--crowd-seed N] [--limit-seconds N]\n"
    "       [--sweep players=8,16,32 | --sweep rates=50:100,200:400] [--work DIR] [--out DIR]\n";

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
    bool ok = args.size() % 2 == 0;
    for (std::size_t i = 0; ok && i + 1 < args.size(); i += 2) {
        const std::string& arg = args[i];
        const std::string& v = args[i + 1];
        if (arg == "--players") {
            ok = Positive(v, s.players);
        } else if (arg == "--join-seconds") {
            ok = Number(v, s.joinSeconds);
        } else if (arg == "--size") {
            ok = Number(v, s.bytes) && s.bytes > 0;
        } else if (arg == "--down") {
            ok = Range(v, s.down);
        } else if (arg == "--up") {
            ok = Range(v, s.up);
        } else if (arg == "--server-peers") {
            ok = Number(v, s.serverPeers) && s.serverPeers <= 200;
        } else if (arg == "--server-peer-rate") {
            ok = Number(v, s.serverPeerRate);
        } else if (arg == "--web-seed-rate") {
            ok = Number(v, s.webSeedRate);
        } else if (arg == "--rates") {
            ok = Pair(v, s.callInKiB, s.releaseKiB);
        } else if (arg == "--policies") {
            ok = Policies(v, s.policies);
        } else if (arg == "--crowd-seed") {
            ok = Number(v, s.crowdSeed);
        } else if (arg == "--limit-seconds") {
            ok = Positive(v, s.limitSeconds);
        } else if (arg == "--sweep") {
            c.sweep = ParseSweep(v);
            ok = !c.sweep.empty();
        } else if (arg == "--work") {
            c.work = v;
        } else if (arg == "--out") {
            c.out = v;
        } else {
            ok = false;
        }
    }
    if (!ok) {
        std::fputs(kLaunchUsage, stderr);
        return std::nullopt;
    }
    return c;
}
