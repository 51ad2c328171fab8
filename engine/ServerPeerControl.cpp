#include "engine/ServerPeerControl.h"

#include <libtorrent/address.hpp>
#include <libtorrent/error_code.hpp>

#include "engine/DownloadTask.h"
#include "engine/ListenPortDraw.h"
#include "engine/ServerPeerRules.h"

namespace lt = libtorrent;

namespace {

bool SameAddress(const std::string& a, const std::string& b) {
    lt::error_code ea, eb;
    const lt::address x = lt::make_address(a, ea);
    const lt::address y = lt::make_address(b, eb);
    return !ea && !eb && x == y;
}

} // namespace

std::vector<ServerPeer> ServerPeerFilter::KeptOut() const {
    std::vector<ServerPeer> out;
    for (const ServerPeer& p : blocked) {
        if (!allowed || !(SameAddress(p.address, allowed->address) && p.port == allowed->port)) {
            out.push_back(p);
        }
    }
    return out;
}

ServerPeerControl::ServerPeerControl(DownloadTask& task, std::function<std::uint32_t()> seed)
    : task_(task), seed_(seed ? std::move(seed) : HighResolutionSeed) {}

void ServerPeerControl::SetServerPeers(std::vector<ServerPeer> peers, std::uint32_t callInRate,
                                       std::uint32_t releaseRate) {
    serverPeers_ = std::move(peers);
    callInRate_ = callInRate;
    releaseRate_ = releaseRate;
    chosen_.clear();
}

ServerPeerFilter ServerPeerControl::BuildServerPeerFilter() const {
    ServerPeerFilter filter;
    for (const ServerPeer& p : serverPeers_) {
        filter.blocked.push_back(p);
    }
    return filter;
}

void ServerPeerControl::CallInServerPeer() {
    const CallInState state{serverPeers_.size(), !chosen_.empty(), task_.isValid(),
                            task_.isPaused(), task_.isComplete()};
    if (!MayCallInServerPeer(state)) {
        return;
    }
    // The classic generator, seeded afresh for every draw.
    PortRandom random(seed_());
    const std::size_t index =
        ServerPeerIndex(static_cast<std::uint32_t>(random.next()), serverPeers_.size());
    chosen_.assign(1, static_cast<std::uint16_t>(index));
    ServerPeerFilter filter = BuildServerPeerFilter();
    filter.allowed = serverPeers_[index];
    ApplyFilter(filter);
    task_.ConnectPeer(serverPeers_[index].address, serverPeers_[index].port);
}

void ServerPeerControl::ReleaseServerPeer() {
    if (chosen_.empty()) {
        return;
    }
    const ServerPeer& peer = serverPeers_[chosen_.front()];
    task_.DisconnectPeer(peer.address, peer.port);
    chosen_.clear();
    ApplyFilter(BuildServerPeerFilter());
}

bool ServerPeerControl::ServerPeerDownloadRate(std::uint32_t& rate) const {
    if (chosen_.empty()) {
        return false;
    }
    const ServerPeer& peer = serverPeers_[chosen_.front()];
    for (const PeerSnapshot& p : task_.peers()) {
        // Web seeds carry the seed flag as well; only a BitTorrent peer is a server peer.
        if (p.isSeed && !p.isWebSeed && SameAddress(p.address, peer.address)) {
            rate = p.downRate;
            return true;
        }
    }
    return false;
}

void ServerPeerControl::BalanceServerPeer() {
    const std::uint32_t rate = task_.downloadRate();
    if (!chosen_.empty()) {
        std::uint32_t s = 0;
        if (ServerPeerDownloadRate(s)) {
            if (ShouldReleaseServerPeer(rate, s, releaseRate_)) {
                ReleaseServerPeer();
            }
            return;
        }
        ReleaseServerPeer();
    }
    if (IsBelowCallInRate(rate, callInRate_)) {
        CallInServerPeer();
    }
}

void ServerPeerControl::ApplyFilter(const ServerPeerFilter& filter) {
    task_.KeepPeersOut(filter.KeptOut());
}
