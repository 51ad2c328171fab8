#pragma once

#include <vector>

#include "engine/ServerPeerControl.h"
#include "engine/WebSeedControl.h"

class DownloadEngine;
class DownloadTask;
struct DownloadCheckResult;

// The publisher's own sources as the download check named them: its server peers, called in
// and let go by rate, and its web seed, held to its limit and dropped or restored by rate.
class PublisherSources {
public:
    // The window's timers for these sources, by the window's ids, and their periods.
    static constexpr int kWebSeedCapTimer = 111;
    static constexpr int kWebSeedRestoreTimer = 112;
    static constexpr int kWebSeedDropTimer = 113;
    static constexpr int kServerPeerTimer = 114;
    static constexpr int kWebSeedRestorePeriodMs = 60000;
    static constexpr int kWebSeedCapPeriodMs = 700;
    static constexpr int kWebSeedDropPeriodMs = 10000;
    static constexpr int kServerPeerPeriodMs = 120000;
    struct Timer {
        int id;
        int periodMs;
    };

    explicit PublisherSources(DownloadTask& task) : serverPeers_(task), webSeed_(task) {}

    // Before the torrent is added: the web seed is held to its limit from the first
    // connection on.
    void SetUp(DownloadEngine& engine, const DownloadCheckResult& check);
    // Whether the web seed's timers run: only for an address longer than 5 characters.
    bool HasWebSeed() const;

    // The timers the torrent-checked event starts, in the order the window starts them: the web
    // seed's three only with a web seed, then the server peer's.
    std::vector<Timer> TimersToStart() const;
    // What one of those timers does at its tick; nothing for an id that is none of them.
    void OnTimer(int id);

    ServerPeerControl& serverPeers() { return serverPeers_; }
    const ServerPeerControl& serverPeers() const { return serverPeers_; }
    WebSeedControl& webSeed() { return webSeed_; }
    const WebSeedControl& webSeed() const { return webSeed_; }

private:
    ServerPeerControl serverPeers_;
    WebSeedControl webSeed_;
};
