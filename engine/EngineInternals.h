#pragma once

// Private to engine/: the library objects behind DownloadEngine and DownloadTask.
#ifndef KESTREL_ENGINE_PRIVATE
#error "engine/EngineInternals.h is private to engine/ and its tests"
#endif

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <libtorrent/address.hpp>
#include <libtorrent/alert.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/peer_class.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>

#include "engine/ConnectionGuard.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"

struct DownloadEngine::Impl {
    std::unique_ptr<libtorrent::session> session;
    // What the session was last told to listen on; the same text twice reopens nothing.
    std::string listenInterfaces;
    bool listening = false;
    // Set while incoming connections are refused; read on the network thread.
    std::shared_ptr<std::atomic<bool>> dropIncoming = std::make_shared<std::atomic<bool>>(true);
    // The batch the last pop handed out; valid until the next pop.
    std::vector<libtorrent::alert*> batch;
    std::size_t next = 0;
    // Notifications the library had to drop because its queue was full.
    int droppedAlerts = 0;
    // Set by the file error that stopped the torrent, cleared by the next resume: writes
    // already under way when the error struck fail too, and are the same error.
    bool fileErrorReported = false;
    // The class that holds every web seed connection to its download limit, made on first
    // use. Loopback peers are otherwise in the unlimited local class only.
    std::optional<libtorrent::peer_class_t> webSeedClass;
    // The connection plugin's copy, replaced on the network thread.
    std::shared_ptr<WebSeedHold> webSeedHold = std::make_shared<WebSeedHold>();
    std::shared_ptr<HeldWebSeeds> heldWebSeeds = std::make_shared<HeldWebSeeds>();

    // Puts every web seed connection that starts from now on in the web seed class and sets
    // its limit.
    void HoldWebSeeds(int bytesPerSecond);
    // Takes every entry of this address out of the torrents' peer lists, so that an endpoint
    // added next is tried at once even if it failed before: the address is blocked for a
    // moment. Trackers ignore the session's filter, and an open web seed connection stays.
    void ForgetPeerListEntries(const libtorrent::address& address);
    // The same for every address the filter blocks.
    void ForgetPeerListEntries(const libtorrent::ip_filter& blocked);
    // The first tracker answer after failures, with no BitTorrent peer connected: the
    // player's network was most likely away. Each peer tried meanwhile counted a failure that
    // keeps it out for minutes now the network is back, and for good after two; so the peer
    // list is emptied (the endpoint last called in goes back in) and the tracker is asked
    // again at once, bringing each peer back fresh, tried at once. Web seeds stay.
    void HealAfterTrackerFailures(const EngineEvent& event, const libtorrent::alert& alert);
    bool trackerFailed = false;
    // The endpoint the window last asked to connect to: a server peer it called in.
    std::optional<libtorrent::tcp::endpoint> calledIn;
    // The torrent to announce for at once, at the next look at the notifications.
    libtorrent::torrent_handle announceNow;
};

struct DownloadTask::Impl {
    DownloadEngine::Impl* engine = nullptr;
    libtorrent::torrent_handle handle;
    // The torrent's description never changes once added; reading it needs no round trip to
    // the network thread, which is busy at full speed.
    std::shared_ptr<const libtorrent::torrent_info> info;
    // The bytes of the files without pad files: the library's bytes done leave pads out, so
    // the total that the figures compare with leaves them out too.
    std::int64_t payloadSize = 0;
    std::shared_ptr<ConnectionGuard> guard;
    // What the guard was last told to keep out.
    std::vector<PeerEndpoint> keptOut;
};

// The way from a public object to the library objects behind it.
struct EngineInternals {
    static DownloadEngine::Impl& Of(const DownloadEngine& engine) { return *engine.impl_; }
    // Only for a task that was added (isValid).
    static DownloadTask::Impl& Of(const DownloadTask& task) { return *task.impl_; }
};
