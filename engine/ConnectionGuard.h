#pragma once

// Private to engine/: a torrent plugin that sees every connection of the torrent, knows its
// direction and its kind. The library has no public call to close one connection by its
// endpoint, to refuse incoming connections while keeping a socket for tracker announces, to
// keep some BitTorrent peers out without touching trackers and web seeds on their addresses,
// or to hold one connection to a rate without its neighbours on the same address; this plugin
// does all four, on the library's network thread.
#ifndef KESTREL_ENGINE_PRIVATE
#error "engine/ConnectionGuard.h is private to engine/ and its tests"
#endif

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include <libtorrent/extensions.hpp>
#include <libtorrent/io_context.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/peer_connection_handle.hpp>
#include <libtorrent/session_handle.hpp>
#include <libtorrent/socket.hpp>

// How web seed connections are held, read and replaced on the network thread only. The
// library picks a connection's classes from its address as the connection starts, so the class
// filter holds the web seed class for that address only for that moment: a web seed needs no
// address known ahead, and BitTorrent peers on its address stay unheld.
struct WebSeedHold {
    // The class bit every web seed connection gets; 0 while web seeds are not held.
    std::uint32_t classBit = 0;
    // The session's class filter without the web seed class.
    libtorrent::ip_filter plainClasses;
    // The receive buffer of a held web seed connection's socket, in bytes.
    int receiveBuffer = 0;
};

// The far ends of the web seed connections that started held; any thread.
class HeldWebSeeds {
public:
    void Record(const libtorrent::tcp::endpoint& remote, bool held);
    bool IsHeld(const libtorrent::tcp::endpoint& remote) const;

private:
    mutable std::mutex mutex_;
    std::set<libtorrent::tcp::endpoint> held_;
};

class ConnectionGuard final : public libtorrent::torrent_plugin,
                              public std::enable_shared_from_this<ConnectionGuard> {
public:
    // webSeedHold is read and replaced on the network thread only.
    ConnectionGuard(libtorrent::session_handle session,
                    std::shared_ptr<std::atomic<bool>> dropIncoming,
                    std::shared_ptr<WebSeedHold> webSeedHold,
                    std::shared_ptr<HeldWebSeeds> heldWebSeeds);

    std::shared_ptr<libtorrent::peer_plugin>
    new_connection(libtorrent::peer_connection_handle const& connection) override;

    // Any thread: closes the torrent's connection to this endpoint, if there is one.
    void Disconnect(const libtorrent::tcp::endpoint& endpoint);
    // Any thread: from now on BitTorrent connections to these endpoints are closed, the open
    // ones included. Trackers and web seeds on the same addresses are untouched.
    void KeepOut(std::vector<libtorrent::tcp::endpoint> endpoints);

    // Whether a BitTorrent connection with this far end belongs to a kept-out endpoint. An
    // outgoing connection is matched by address and port; an incoming one by address alone,
    // since its far port is the peer's ephemeral one, not the port it listens on.
    static bool IsKeptOut(const libtorrent::tcp::endpoint& remote, bool outgoing,
                          const std::vector<libtorrent::tcp::endpoint>& keptOut);

private:
    void Close(libtorrent::peer_connection_handle connection);
    void CloseLater(const libtorrent::peer_connection_handle& connection);
    void Hold(const libtorrent::peer_connection_handle& connection);

    libtorrent::session_handle session_;
    libtorrent::io_context& context_;
    std::shared_ptr<std::atomic<bool>> dropIncoming_;
    std::shared_ptr<WebSeedHold> webSeedHold_;
    std::shared_ptr<HeldWebSeeds> heldWebSeeds_;
    // Network thread only.
    std::vector<libtorrent::peer_connection_handle> connections_;
    std::vector<libtorrent::tcp::endpoint> keptOut_;
};
