#include "engine/WebSeedControl.h"

#include "engine/DownloadTask.h"
#include "engine/WebSeedRules.h"

bool WebSeedControl::FindWebSeedPeer(PeerSnapshot& out) const {
    for (PeerSnapshot& p : task_.peers()) {
        if (p.isWebSeed) {
            out = std::move(p);
            return true;
        }
    }
    return false;
}

void WebSeedControl::CapWebSeedRate() {
    PeerSnapshot seed;
    if (FindWebSeedPeer(seed) && ShouldCapWebSeed(seed.downloadLimit)) {
        task_.SetPeerDownloadLimit(seed.address, seed.port, kWebSeedDownloadLimit);
    }
}

void WebSeedControl::RestoreWebSeed() {
    if (!ShouldRestoreWebSeed(task_.downloadRate(), !task_.urlSeeds().empty())) {
        return;
    }
    task_.AddUrlSeed(url_);
}

void WebSeedControl::DropWebSeed() {
    PeerSnapshot seed;
    if (FindWebSeedPeer(seed) && ShouldDropWebSeed(task_.downloadRate(), seed.downRate)) {
        task_.RemoveUrlSeed(url_);
        task_.DisconnectPeer(seed.address, seed.port);
    }
}

void WebSeedControl::OnWebSeedFailed(const QString& failedUrl) {
    task_.RemoveUrlSeed(failedUrl);
    if (failedUrl != url_) {
        task_.RemoveUrlSeed(url_);
    }
}
