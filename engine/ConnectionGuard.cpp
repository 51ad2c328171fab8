#include "engine/ConnectionGuard.h"

#include <algorithm>
#include <string>
#include <system_error>

#include <boost/asio/post.hpp>
#include <libtorrent/operations.hpp>
#include <libtorrent/peer_connection.hpp>

namespace lt = libtorrent;

namespace {

// The reason a closed connection carries in the library's log and alerts.
class ProgramCategory final : public boost::system::error_category {
public:
    const char* name() const noexcept override { return "app"; }
    std::string message(int) const override { return "disconnect_peer()"; }
};

const boost::system::error_category& Category() {
    static const ProgramCategory category;
    return category;
}

bool IsWebSeed(const lt::peer_connection_handle& c) {
    return c.type() == lt::connection_type::url_seed || c.type() == lt::connection_type::http_seed;
}

} // namespace

void HeldWebSeeds::Record(const lt::tcp::endpoint& remote, bool held) {
    const std::lock_guard lock(mutex_);
    if (held) {
        held_.insert(remote);
    } else {
        held_.erase(remote);
    }
}

bool HeldWebSeeds::IsHeld(const lt::tcp::endpoint& remote) const {
    const std::lock_guard lock(mutex_);
    return held_.count(remote) > 0;
}

ConnectionGuard::ConnectionGuard(lt::session_handle session,
                                 std::shared_ptr<std::atomic<bool>> dropIncoming,
                                 std::shared_ptr<WebSeedHold> webSeedHold,
                                 std::shared_ptr<HeldWebSeeds> heldWebSeeds)
    : session_(std::move(session)), context_(session_.get_context()),
      dropIncoming_(std::move(dropIncoming)), webSeedHold_(std::move(webSeedHold)),
      heldWebSeeds_(std::move(heldWebSeeds)) {}

bool ConnectionGuard::IsKeptOut(const lt::tcp::endpoint& remote, bool outgoing,
                                const std::vector<lt::tcp::endpoint>& keptOut) {
    return std::any_of(keptOut.begin(), keptOut.end(), [&](const lt::tcp::endpoint& e) {
        return outgoing ? e == remote : e.address() == remote.address();
    });
}

std::shared_ptr<lt::peer_plugin>
ConnectionGuard::new_connection(lt::peer_connection_handle const& connection) {
    std::erase_if(connections_, [](const auto& c) { return c.native_handle() == nullptr; });
    connections_.push_back(connection);
    if (IsWebSeed(connection)) {
        Hold(connection);
        return nullptr;
    }
    const bool outgoing = connection.is_outgoing();
    if ((!outgoing && dropIncoming_->load()) ||
        IsKeptOut(connection.remote(), outgoing, keptOut_)) {
        CloseLater(connection);
    }
    return nullptr;
}

void ConnectionGuard::Hold(const lt::peer_connection_handle& connection) {
    const bool held = webSeedHold_->classBit != 0;
    heldWebSeeds_->Record(connection.remote(), held);
    if (!held) {
        return;
    }
    // Runs at once on this thread, before the connection starts and takes its classes; the
    // filter goes back right after, before any other connection can start.
    const lt::address a = connection.remote().address();
    lt::ip_filter with = webSeedHold_->plainClasses;
    with.add_rule(a, a, webSeedHold_->plainClasses.access(a) | webSeedHold_->classBit);
    session_.set_peer_class_filter(with);
    boost::asio::post(context_, [session = session_, hold = webSeedHold_, connection]() mutable {
        session.set_peer_class_filter(hold->plainClasses);
        // The connection has opened its socket and asked nothing yet. The server sends as far
        // ahead of the cap as the socket's buffer takes, bytes the publisher pays for and that
        // are lost when the web seed is dropped; the session's buffer is sized for the swarm.
        const std::shared_ptr<lt::peer_connection> open = connection.native_handle();
        if (open != nullptr && !open->is_disconnecting()) {
            lt::error_code ignored;
            open->get_socket().set_option(
                lt::aux::socket_type::receive_buffer_size(hold->receiveBuffer), ignored);
        }
    });
}

void ConnectionGuard::CloseLater(const lt::peer_connection_handle& connection) {
    // Closing inside new_connection would cut the connection out while the torrent is still
    // attaching it, so the close runs right after.
    boost::asio::post(context_,
                      [self = shared_from_this(), connection] { self->Close(connection); });
}

void ConnectionGuard::Disconnect(const lt::tcp::endpoint& endpoint) {
    boost::asio::post(context_, [self = shared_from_this(), endpoint] {
        for (const auto& c : self->connections_) {
            if (c.native_handle() != nullptr && c.remote() == endpoint) {
                self->Close(c);
            }
        }
    });
}

void ConnectionGuard::KeepOut(std::vector<lt::tcp::endpoint> endpoints) {
    boost::asio::post(context_, [self = shared_from_this(), endpoints = std::move(endpoints)] {
        self->keptOut_ = endpoints;
        for (const auto& c : self->connections_) {
            if (c.native_handle() != nullptr && !IsWebSeed(c) &&
                IsKeptOut(c.remote(), c.is_outgoing(), endpoints)) {
                self->Close(c);
            }
        }
    });
}

void ConnectionGuard::Close(lt::peer_connection_handle connection) {
    if (connection.native_handle() == nullptr || connection.is_disconnecting()) {
        return;
    }
    // A plain close: the peer list does not count it as a failure, so the endpoint is tried
    // again as soon as it is let in.
    connection.disconnect(boost::system::error_code(1, Category()), lt::operation_t::bittorrent);
}
