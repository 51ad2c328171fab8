#pragma once

// Private to engine/: a torrent plugin that sees every connection of the torrent and knows
// its direction. The library has no public call to close one connection by its endpoint or
// to refuse incoming connections while keeping a socket for tracker announces; this plugin
// does both, on the library's network thread.
#ifndef KESTREL_ENGINE_PRIVATE
#error "engine/ConnectionGuard.h is private to engine/ and its tests"
#endif

#include <atomic>
#include <memory>
#include <vector>

#include <libtorrent/extensions.hpp>
#include <libtorrent/io_context.hpp>
#include <libtorrent/peer_connection_handle.hpp>
#include <libtorrent/socket.hpp>

class ConnectionGuard final : public libtorrent::torrent_plugin,
                              public std::enable_shared_from_this<ConnectionGuard> {
public:
    ConnectionGuard(libtorrent::io_context& context,
                    std::shared_ptr<std::atomic<bool>> dropIncoming);

    std::shared_ptr<libtorrent::peer_plugin>
    new_connection(libtorrent::peer_connection_handle const& connection) override;

    // Any thread: closes the torrent's connection to this endpoint, if there is one.
    void Disconnect(const libtorrent::tcp::endpoint& endpoint);

private:
    static void Close(libtorrent::peer_connection_handle connection);

    libtorrent::io_context& context_;
    std::shared_ptr<std::atomic<bool>> dropIncoming_;
    // Network thread only.
    std::vector<libtorrent::peer_connection_handle> connections_;
};
