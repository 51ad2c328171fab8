#include "app/PublisherSources.h"

#include "engine/DownloadEngine.h"
#include "engine/WebSeedRules.h"
#include "net/DownloadCheckResult.h"

void PublisherSources::SetUp(DownloadEngine& engine, const DownloadCheckResult& check) {
    serverPeers_.SetServerPeers(check.serverPeers, check.serverPeerCallInRate,
                                check.serverPeerReleaseRate);
    webSeed_.SetWebSeedUrl(check.webSeedUrl);
    if (HasWebSeed()) {
        engine.HoldWebSeeds(kWebSeedDownloadLimit);
    }
}

bool PublisherSources::HasWebSeed() const {
    return HasWebSeedTimers(static_cast<int>(webSeed_.webSeedUrl().size()));
}

std::vector<PublisherSources::Timer> PublisherSources::TimersToStart() const {
    std::vector<Timer> timers;
    if (HasWebSeed()) {
        timers.push_back({kWebSeedRestoreTimer, kWebSeedRestorePeriodMs});
        timers.push_back({kWebSeedCapTimer, kWebSeedCapPeriodMs});
        timers.push_back({kWebSeedDropTimer, kWebSeedDropPeriodMs});
    }
    timers.push_back({kServerPeerTimer, kServerPeerPeriodMs});
    return timers;
}

void PublisherSources::OnTimer(int id) {
    switch (id) {
    case kWebSeedRestoreTimer:
        webSeed_.RestoreWebSeed();
        break;
    case kWebSeedCapTimer:
        webSeed_.CapWebSeedRate();
        break;
    case kWebSeedDropTimer:
        webSeed_.DropWebSeed();
        break;
    case kServerPeerTimer:
        serverPeers_.BalanceServerPeer();
        break;
    default:
        break;
    }
}
