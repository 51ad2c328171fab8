#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QString>

// One of the publisher's own seeding peers, as the download check names it.
struct ServerPeerEndpoint {
    std::string address; // IPv4 dotted or IPv6 text, as parsed
    std::uint16_t port = 0;

    bool operator==(const ServerPeerEndpoint&) const = default;
};

// What the download check hands on to the engine.
struct DownloadCheckResult {
    // The torrent file's bytes, inside the caller's 2,097,152-byte buffer.
    const char* torrentData = nullptr;
    std::uint32_t torrentLength = 0;
    QString webSeedUrl;
    std::vector<ServerPeerEndpoint> serverPeers;
    // Bytes per second.
    std::uint32_t serverPeerCallInRate = 0;
    std::uint32_t serverPeerReleaseRate = 0;
};
