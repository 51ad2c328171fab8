// The engine's way back after the player's network was away: DownloadEngine::Impl's peer-list
// resets, declared in engine/EngineInternals.h.
#include <algorithm>
#include <vector>

#include <libtorrent/alert_types.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/peer_info.hpp>

#include "engine/EngineInternals.h"

namespace lt = libtorrent;

void DownloadEngine::Impl::ForgetPeerListEntries(const lt::address& address) {
    lt::ip_filter one;
    one.add_rule(address, address, lt::ip_filter::blocked);
    ForgetPeerListEntries(one);
}

void DownloadEngine::Impl::ForgetPeerListEntries(const lt::ip_filter& blocked) {
    // Both changes reach the network thread in order, before anything asked later.
    session->set_ip_filter(blocked);
    session->set_ip_filter(lt::ip_filter());
}

void DownloadEngine::Impl::HealAfterTrackerFailures(const EngineEvent& event,
                                                    const lt::alert& alert) {
    if (event.code == EngineEvent::Code::TrackerError) {
        trackerFailed = true;
        return;
    }
    if (event.code != EngineEvent::Code::TrackerReply || !trackerFailed) {
        return;
    }
    trackerFailed = false;
    const lt::torrent_handle& handle = static_cast<const lt::tracker_reply_alert&>(alert).handle;
    if (!handle.is_valid()) {
        return;
    }
    std::vector<lt::peer_info> peers;
    handle.get_peer_info(peers);
    // A connection still being made counts: it may be the one that works.
    if (std::any_of(peers.begin(), peers.end(), [](const lt::peer_info& p) {
            return !(p.connection_type & (lt::peer_info::web_seed | lt::peer_info::http_seed));
        })) {
        return;
    }
    lt::ip_filter everyone;
    everyone.add_rule(lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"),
                      lt::ip_filter::blocked);
    everyone.add_rule(lt::make_address("::"),
                      lt::make_address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"),
                      lt::ip_filter::blocked);
    ForgetPeerListEntries(everyone);
    if (calledIn) {
        handle.connect_peer(*calledIn, lt::peer_info::tracker);
    }
    announceNow = handle;
}
