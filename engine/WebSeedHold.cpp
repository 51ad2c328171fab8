// Holding the web seed's connections to a rate: DownloadEngine::Impl's web seed class, declared
// in engine/EngineInternals.h.
#include <boost/asio/post.hpp>
#include <libtorrent/peer_class.hpp>
#include <libtorrent/settings_pack.hpp>

#include "engine/EngineInternals.h"

namespace lt = libtorrent;

namespace {

// The session's clock tick while a rate is held. A capped web seed asks for a piece or more at
// a time and the library hands out a queued request's quota after 20 ticks at the latest, so at
// the default 500 ms a web seed at 80 KiB/s came in bursts of 800 KB ten seconds apart; at
// 50 ms it brings about 80 KB each second.
constexpr int kLimitedTickMs = 50;

// The receive buffer of a held web seed's socket: what the server can send ahead of the cap.
// With the session's 256 KiB the server counted 191 KiB/s over the connection's first 5 s at
// an 80 KiB/s cap; 16 KiB still carries 80 KiB/s at a 200 ms round trip.
constexpr int kHeldWebSeedReceiveBuffer = 16 << 10;

} // namespace

void DownloadEngine::Impl::HoldWebSeeds(int bytesPerSecond) {
    const bool first = !webSeedClass;
    if (first) {
        webSeedClass = session->create_peer_class("web seed");
        lt::settings_pack tick;
        tick.set_int(lt::settings_pack::tick_interval, kLimitedTickMs);
        session->apply_settings(std::move(tick));
    }
    lt::peer_class_info info = session->get_peer_class(*webSeedClass);
    if (info.download_limit != bytesPerSecond) {
        info.download_limit = bytesPerSecond;
        session->set_peer_class(*webSeedClass, info);
    }
    if (!first) {
        return;
    }
    WebSeedHold hold;
    hold.classBit = 1u << static_cast<std::uint32_t>(*webSeedClass);
    hold.plainClasses = session->get_peer_class_filter();
    hold.receiveBuffer = kHeldWebSeedReceiveBuffer;
    // The plugin reads its copy on the network thread; the new one takes its place there.
    boost::asio::post(session->get_context(), [current = webSeedHold, hold] { *current = hold; });
}
