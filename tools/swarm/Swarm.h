#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tools/swarm/Peer.h"
#include "tools/swarm/Tracker.h"

namespace swarm {

class Log;

// The publisher's BitTorrent side: an optional tracker, server peers on 127.0.0.2, 127.0.0.3,
// ... at one port (never announced: the check answer names them), and swarm seeders and
// partial peers that announce. Two steps, because the torrent names the tracker: construct
// (starts the tracker), make the torrent, then start() the peers.
class Swarm {
public:
    struct Options {
        bool tracker = true;
        std::string trackerAddress = "127.0.0.1";
        int trackerPort = 0; // 0: the system picks one
        int trackerInterval = 1800;
        int serverPeers = 0;
        std::uint16_t serverPeerPort = kServerPeerPort;
        // The first server peer's address (empty: 127.0.0.2); the others follow on 127.0.0.3,
        // ... A publisher on one host puts its tracker, web seed and a server peer together.
        std::string firstServerPeerAddress;
        int seeders = 0;
        int partials = 0;
        double partialShare = 0.5;
        // Upload limits in bytes per second, 0: unlimited.
        int serverPeerRate = 0;
        int seederRate = 0;
        int partialRate = 0;
        bool utp = false;
        bool trustData = false; // skip the start-up check of the seeders' files
        // Each peer gets a folder in here; empty: a temporary folder removed with the swarm.
        std::filesystem::path workFolder;
        std::shared_ptr<Log> log;
    };

    explicit Swarm(Options options);
    ~Swarm();
    Swarm(const Swarm&) = delete;
    Swarm& operator=(const Swarm&) = delete;

    // Empty when the tracker is off.
    std::string announceUrl() const;
    Tracker* tracker() { return tracker_.get(); }
    // 127.0.0.2 (or the first address asked for), 127.0.0.3, ...: one per server peer.
    std::vector<std::string> serverPeerAddresses() const;
    std::uint16_t serverPeerPort() const { return options_.serverPeerPort; }

    // `source` holds the complete file set as the torrent names it.
    void start(const std::vector<char>& torrent, const std::filesystem::path& source);
    bool waitUntilReady(std::chrono::milliseconds deadline) const;

    const std::vector<std::unique_ptr<Peer>>& peers() const { return peers_; }
    // One line per peer: its name, endpoint and bytes uploaded so far.
    std::vector<std::string> uploadSummary() const;
    // What the publisher's sources gave away so far: one line for the swarm's seeders and
    // partial peers together, then one per server peer.
    std::vector<std::string> sourceTotals() const;

private:
    Options options_;
    std::unique_ptr<Tracker> tracker_;
    std::vector<std::unique_ptr<Peer>> peers_;
    std::filesystem::path ownedFolder_;
};

} // namespace swarm
