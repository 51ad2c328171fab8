#pragma once

#include <cstdint>
#include <vector>

#include <QString>

#include "platform/PeerEndpoint.h"

// What the download check hands on to the engine.
struct DownloadCheckResult {
    // The torrent file's bytes, inside the caller's 2,097,152-byte buffer.
    const char* torrentData = nullptr;
    std::uint32_t torrentLength = 0;
    QString webSeedUrl;
    std::vector<PeerEndpoint> serverPeers;
    // Bytes per second.
    std::uint32_t serverPeerCallInRate = 0;
    std::uint32_t serverPeerReleaseRate = 0;
};
