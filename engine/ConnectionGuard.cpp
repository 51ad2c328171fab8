#include "engine/ConnectionGuard.h"

#include <string>
#include <system_error>

#include <boost/asio/post.hpp>
#include <libtorrent/operations.hpp>

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

} // namespace

ConnectionGuard::ConnectionGuard(libtorrent::io_context& context,
                                 std::shared_ptr<std::atomic<bool>> dropIncoming)
    : context_(context), dropIncoming_(std::move(dropIncoming)) {}

std::shared_ptr<libtorrent::peer_plugin>
ConnectionGuard::new_connection(libtorrent::peer_connection_handle const& connection) {
    std::erase_if(connections_, [](const auto& c) { return c.native_handle() == nullptr; });
    connections_.push_back(connection);
    if (!connection.is_outgoing() && dropIncoming_->load()) {
        // Closing inside this call would cut the connection out while the torrent is still
        // attaching it, so the close runs right after.
        boost::asio::post(context_,
                          [self = shared_from_this(), connection] { self->Close(connection); });
    }
    return nullptr;
}

void ConnectionGuard::Disconnect(const libtorrent::tcp::endpoint& endpoint) {
    boost::asio::post(context_, [self = shared_from_this(), endpoint] {
        for (const auto& c : self->connections_) {
            if (c.native_handle() != nullptr && c.remote() == endpoint) {
                self->Close(c);
            }
        }
    });
}

void ConnectionGuard::Close(libtorrent::peer_connection_handle connection) {
    if (connection.native_handle() == nullptr || connection.is_disconnecting()) {
        return;
    }
    connection.disconnect(boost::system::error_code(1, Category()),
                          libtorrent::operation_t::bittorrent);
}
