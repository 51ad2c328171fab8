#include "app/PublisherSources.h"

#include <vector>

#include "engine/DownloadEngine.h"
#include "engine/WebSeedRules.h"
#include "net/DownloadCheckResult.h"

void PublisherSources::SetUp(DownloadEngine& engine, const DownloadCheckResult& check) {
    std::vector<ServerPeer> peers;
    for (const ServerPeerEndpoint& p : check.serverPeers) {
        peers.push_back({p.address, p.port});
    }
    serverPeers_.SetServerPeers(std::move(peers), check.serverPeerCallInRate,
                                check.serverPeerReleaseRate);
    webSeed_.SetWebSeedUrl(check.webSeedUrl);
    if (HasWebSeed()) {
        engine.LimitWebSeedHost(check.webSeedUrl, kWebSeedDownloadLimit);
    }
}

bool PublisherSources::HasWebSeed() const {
    return HasWebSeedTimers(static_cast<int>(webSeed_.webSeedUrl().size()));
}
