#pragma once

#include "engine/ServerPeerControl.h"
#include "engine/WebSeedControl.h"

class DownloadEngine;
class DownloadTask;
struct DownloadCheckResult;

// The publisher's own sources as the download check named them: its server peers, called in
// and let go by rate, and its web seed, held to its limit and dropped or restored by rate.
class PublisherSources {
public:
    explicit PublisherSources(DownloadTask& task) : serverPeers_(task), webSeed_(task) {}

    // Before the torrent is added: the web seed is held to its limit from the first
    // connection on.
    void SetUp(DownloadEngine& engine, const DownloadCheckResult& check);
    // Whether the web seed's timers run: only for an address longer than 5 characters.
    bool HasWebSeed() const;

    ServerPeerControl& serverPeers() { return serverPeers_; }
    const ServerPeerControl& serverPeers() const { return serverPeers_; }
    WebSeedControl& webSeed() { return webSeed_; }
    const WebSeedControl& webSeed() const { return webSeed_; }

private:
    ServerPeerControl serverPeers_;
    WebSeedControl webSeed_;
};
