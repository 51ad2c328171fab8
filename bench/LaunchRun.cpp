#include "LaunchRun.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "CrowdPlan.h"
#include "CrowdPlayer.h"
#include "Publisher.h"
#include "tools/swarm/Peer.h"
#include "tools/swarm/Tracker.h"
#include "tools/swarm/WaitFor.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr auto kSamplePeriod = 10s;
// Often enough for the 700 ms web seed timer; seldom enough that two dozen engines' status
// inquiries stay a small part of a loaded machine.
constexpr auto kPollPeriod = 200ms;

// The publisher's own machines: server peers on 127.0.2.1 upwards, the web seed on 127.0.0.5.
std::string ServerPeerAddress(int index) {
    return "127.0.2." + std::to_string(index + 1);
}

class Launch {
public:
    Launch(const LaunchSettings& s, Policy policy, const fs::path& folder)
        : settings_(s), folder_(folder), tracker_(swarm::Tracker::Options{}),
          publisher_(PublisherOptionsFor(s, tracker_, folder)) {
        publisher_.start();
        sources_.torrent = publisher_.torrent();
        sources_.webSeedUrl = QString::fromStdString(publisher_.webSeedUrl());
        sources_.callInKiB = s.callInKiB;
        sources_.releaseKiB = s.releaseKiB;
        for (int i = 0; i < s.serverPeers; ++i) {
            swarm::Peer::Options o;
            o.role = swarm::Peer::Role::Server;
            o.address = ServerPeerAddress(i);
            o.port = swarm::kServerPeerPort;
            o.uploadRate = s.serverPeerRate;
            o.trustData = true;
            o.dataDir = folder / "servers" / o.address;
            servers_.push_back(std::make_unique<swarm::Peer>(
                publisher_.torrent(), publisher_.contentRoot().parent_path(), o));
            sources_.serverPeers.push_back({o.address, swarm::kServerPeerPort});
        }
        for (auto& p : servers_) {
            swarm::waitFor([&] { return p->isReady(); }, 600s);
        }
        run_.policy = policy;
        run_.setBytes = s.bytes;
    }

    PolicyRun Run() {
        const std::vector<PlayerPlan> plan = PlanCrowd(settings_);
        const auto start = Clock::now();
        auto nextSample = start + kSamplePeriod;
        const auto limit = start + std::chrono::seconds(settings_.limitSeconds);
        while (true) {
            const auto now = Clock::now();
            Join(plan, start, now);
            for (auto& p : players_) {
                p->Poll(now);
            }
            const bool allDone = players_.size() == plan.size() && DoneCount() == plan.size();
            if (allDone || now >= limit) {
                Sample(start, now);
                break;
            }
            if (now >= nextSample) {
                Sample(start, now);
                nextSample += kSamplePeriod;
            }
            std::this_thread::sleep_for(kPollPeriod);
        }
        for (const auto& p : players_) {
            run_.players.push_back(p->Times());
        }
        return run_;
    }

private:
    static publisher::PublisherOptions PublisherOptionsFor(const LaunchSettings& s,
                                                           const swarm::Tracker& tracker,
                                                           const fs::path& folder) {
        publisher::PublisherOptions o;
        o.generatedBytes = s.bytes;
        o.workFolder = folder / "set";
        o.announceUrls = {tracker.announceUrl()};
        o.webSeedHost = "127.0.0.5";
        o.webSeedBytesPerSecond = static_cast<std::uint64_t>(s.webSeedRate);
        return o;
    }

    void Join(const std::vector<PlayerPlan>& plan, Clock::time_point start, Clock::time_point now) {
        while (players_.size() < plan.size()) {
            const std::size_t i = players_.size();
            if (now - start < std::chrono::duration<double>(plan[i].joinSeconds)) {
                return;
            }
            const auto seed = static_cast<std::uint32_t>(settings_.crowdSeed * 7919u + i);
            players_.push_back(std::make_unique<CrowdPlayer>(
                run_.policy, sources_, plan[i], seed, folder_ / ("player-" + std::to_string(i))));
            if (run_.policy == Policy::PublisherOnly) {
                KeepPlayersApart();
            }
        }
    }

    // Each player is given every player's endpoint, its own included, as soon as one joins.
    void KeepPlayersApart() {
        std::vector<PeerEndpoint> endpoints;
        for (const auto& p : players_) {
            endpoints.push_back(p->Endpoint());
        }
        for (const auto& p : players_) {
            p->KeepPlayersOut(endpoints);
        }
    }

    std::size_t DoneCount() const {
        std::size_t done = 0;
        for (const auto& p : players_) {
            done += p->Done() ? 1 : 0;
        }
        return done;
    }

    void Sample(Clock::time_point start, Clock::time_point now) {
        LaunchSample s;
        s.seconds = std::chrono::duration<double>(now - start).count();
        for (const auto& p : servers_) {
            s.serverPeers += p->totalUploaded();
        }
        s.webSeed = static_cast<std::int64_t>(publisher_.webSeedBytesSent());
        for (const auto& p : players_) {
            s.players += p->Uploaded();
        }
        s.done = static_cast<int>(DoneCount());
        run_.samples.push_back(s);
        std::fprintf(stderr, "  %s %5.0f s: %zu joined, %d done\n", PolicyName(run_.policy),
                     s.seconds, players_.size(), s.done);
    }

    const LaunchSettings& settings_;
    fs::path folder_;
    swarm::Tracker tracker_;
    publisher::Publisher publisher_;
    std::vector<std::unique_ptr<swarm::Peer>> servers_;
    CrowdPlayer::Sources sources_;
    // Players go before the publisher's sources, so that no source sees a late upload.
    std::vector<std::unique_ptr<CrowdPlayer>> players_;
    PolicyRun run_;
};

} // namespace

PolicyRun RunPolicy(const LaunchSettings& settings, Policy policy, const fs::path& folder) {
    Launch launch(settings, policy, folder);
    return launch.Run();
}
