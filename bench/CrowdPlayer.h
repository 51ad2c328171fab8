#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include <QString>

#include "LaunchFigures.h"
#include "LaunchSettings.h"
#include "SourceTimers.h"
#include "app/PublisherSources.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/PeerSnapshot.h"

struct PlayerPlan;

// One player: the program's engine, set up as the program sets it up, downloading the set
// over a home link of its own, with its sources handled by one policy.
class CrowdPlayer {
public:
    using Clock = std::chrono::steady_clock;

    struct Sources {
        std::vector<char> torrent;
        std::vector<PeerEndpoint> serverPeers;
        QString webSeedUrl;
        int callInKiB = 0;
        int releaseKiB = 0;
    };

    CrowdPlayer(Policy policy, const Sources& sources, const PlayerPlan& plan,
                std::uint32_t portSeed, const std::filesystem::path& folder);

    // Handles the engine's events and the source timers; notes the first byte and the end.
    void Poll(Clock::time_point now);
    const PlayerTimes& Times() const { return times_; }
    bool Done() const { return times_.done >= 0; }
    std::int64_t Uploaded() const { return task_.totalUploaded(); }

    // Every player listens on this address; the publisher's sources have addresses of their own.
    static constexpr const char* kPlayerAddress = "127.0.0.1";
    PeerEndpoint Endpoint() const;
    // No swarm between players: connections to these players are refused, and so is every
    // connection coming in from their address.
    void KeepPlayersOut(const std::vector<PeerEndpoint>& players);

private:
    void OnChecked(Clock::time_point now);

    Policy policy_;
    const Sources& sources_;
    Clock::time_point joined_;
    DownloadEngine engine_{12, QStringLiteral("VrtTorrent")};
    DownloadTask task_;
    PublisherSources publisherSources_{task_};
    SourceTimers timers_{publisherSources_};
    PlayerTimes times_;
    bool checked_ = false;
};
