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
