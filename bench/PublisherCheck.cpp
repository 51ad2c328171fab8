#include "PublisherCheck.h"

DownloadCheckResult PublisherCheck(const std::vector<PeerEndpoint>& serverPeers,
                                   const QString& webSeedUrl, int callInKiB, int releaseKiB) {
    DownloadCheckResult check;
    check.webSeedUrl = webSeedUrl;
    for (const PeerEndpoint& p : serverPeers) {
        check.serverPeers.push_back({p.address, p.port});
    }
    check.serverPeerCallInRate = static_cast<std::uint32_t>(callInKiB) * 1024u;
    check.serverPeerReleaseRate = static_cast<std::uint32_t>(releaseKiB) * 1024u;
    return check;
}
