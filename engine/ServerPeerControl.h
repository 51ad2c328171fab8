#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/PeerSnapshot.h"

class DownloadTask;

// One of the publisher's own seeding peers.
using ServerPeer = PeerEndpoint;

// Which server peers are kept out: every listed one, except the admitted one (if any). The
// torrent's connection plugin keeps them out by endpoint, so a tracker or a web seed sharing a
// server peer's address keeps working.
struct ServerPeerFilter {
    std::vector<ServerPeer> blocked;
    std::optional<ServerPeer> allowed;

    std::vector<ServerPeer> KeptOut() const;
    bool operator==(const ServerPeerFilter&) const = default;
};

// The publisher's server peers, called in one at a time while the swarm alone is too slow and
// let go when it is fast enough; every server peer but the admitted one is kept out by the
// torrent's connection plugin. Runs on the window's thread, from its timers and commands.
class ServerPeerControl {
public:
    // seed gives a fresh seed for each draw.
    explicit ServerPeerControl(DownloadTask& task, std::function<std::uint32_t()> seed = nullptr);

    // From the download check; rates in bytes per second.
    void SetServerPeers(std::vector<ServerPeer> peers, std::uint32_t callInRate,
                        std::uint32_t releaseRate);
    const std::vector<ServerPeer>& serverPeers() const { return serverPeers_; }
    // Index into serverPeers of the admitted peer; none or one.
    const std::vector<std::uint16_t>& chosenServerPeer() const { return chosen_; }

    ServerPeerFilter BuildServerPeerFilter() const;
    // Draws a server peer, admits it through the filter and connects to it; only with server
    // peers, none chosen, and the torrent running and incomplete.
    void CallInServerPeer();
    // Disconnects the admitted peer and blocks every server peer again.
    void ReleaseServerPeer();
    // What the admitted peer brings, when it is connected as a seeding BitTorrent peer.
    bool ServerPeerDownloadRate(std::uint32_t& rate) const;
    // Timer 114: let the admitted peer go when the swarm is fast enough, or when it is not
    // there; call one in when the swarm is too slow.
    void BalanceServerPeer();
    // The torrent was paused: the admitted peer is forgotten, but stays connected and the
    // filter stays as it is until the next call-in rebuilds it.
    void ForgetChosenServerPeer() { chosen_.clear(); }

private:
    void ApplyFilter(const ServerPeerFilter& filter);

    DownloadTask& task_;
    std::function<std::uint32_t()> seed_;
    std::vector<ServerPeer> serverPeers_;
    std::vector<std::uint16_t> chosen_;
    std::uint32_t callInRate_ = 0;
    std::uint32_t releaseRate_ = 0;
};
