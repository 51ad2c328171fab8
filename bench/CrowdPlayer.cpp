#include "CrowdPlayer.h"

#include <chrono>
#include <stdexcept>

#include "CrowdPlan.h"
#include "PublisherCheck.h"
#include "engine/EngineEvent.h"
#include "engine/SessionSetup.h"

namespace {

double Since(CrowdPlayer::Clock::time_point from, CrowdPlayer::Clock::time_point now) {
    return std::chrono::duration<double>(now - from).count();
}

} // namespace

CrowdPlayer::CrowdPlayer(Policy policy, const Sources& sources, const PlayerPlan& plan,
                         std::uint32_t portSeed, const std::filesystem::path& folder)
    : policy_(policy), sources_(sources), joined_(Clock::now()) {
    SetUpSession(engine_, portSeed);
    if (policy_ == Policy::Rules) {
        publisherSources_.SetUp(engine_, PublisherCheck(sources_.serverPeers, sources_.webSeedUrl,
                                                        sources_.callInKiB, sources_.releaseKiB));
    }
    const auto& t = sources_.torrent;
    if (!engine_.AddTorrentFromBuffer(t.data(), t.size(), QString::fromStdString(folder.string()),
                                      task_)) {
        throw std::runtime_error("the engine refused the torrent");
    }
    ApplyTorrentLimits(task_);
    // The home link: the player's only torrent holds every connection it has.
    task_.SetDownloadLimit(plan.downRate);
    task_.SetUploadLimit(plan.upRate);
}

void CrowdPlayer::Poll(Clock::time_point now) {
    EngineEvent e;
    while (engine_.NextEngineEvent(e)) {
        if (e.code == EngineEvent::Code::TorrentChecked && !checked_) {
            OnChecked(now);
        }
    }
    timers_.Tick(now);
    // The rate shows payload before a whole piece has arrived and been checked.
    if (times_.firstByte < 0 && (task_.downloadRate() > 0 || task_.totalDone() > 0)) {
        times_.firstByte = Since(joined_, now);
    }
    if (times_.done < 0 && task_.isComplete()) {
        times_.done = Since(joined_, now);
    }
}

void CrowdPlayer::OnChecked(Clock::time_point now) {
    checked_ = true;
    task_.Resume();
    if (policy_ == Policy::Rules) {
        timers_.Start(now);
        return;
    }
    for (const PeerEndpoint& p : sources_.serverPeers) {
        task_.ConnectPeer(p.address, p.port);
    }
    task_.AddUrlSeed(sources_.webSeedUrl);
}

PeerEndpoint CrowdPlayer::Endpoint() const {
    return {kPlayerAddress, engine_.SocketPort()};
}

void CrowdPlayer::KeepPlayersOut(const std::vector<PeerEndpoint>& players) {
    task_.KeepPeersOut(players);
}
