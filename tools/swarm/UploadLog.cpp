#include "tools/swarm/UploadLog.h"

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/bdecode.hpp>
#include <libtorrent/extensions.hpp>
#include <libtorrent/peer_connection_handle.hpp>
#include <libtorrent/peer_request.hpp>

#include "tools/swarm/Log.h"
#include "tools/swarm/PeerIdText.h"

namespace swarm {

namespace {

std::string endpointText(const libtorrent::tcp::endpoint& e) {
    return e.address().to_string() + ":" + std::to_string(e.port());
}

class CountingPeerPlugin final : public libtorrent::peer_plugin {
public:
    CountingPeerPlugin(std::shared_ptr<UploadLog> log, libtorrent::peer_connection_handle handle)
        : log_(std::move(log)), handle_(handle), index_(log_->open(endpointText(handle.remote()))) {
    }
    ~CountingPeerPlugin() override { log_->close(index_, closeReason_); }

    bool on_extension_handshake(const libtorrent::bdecode_node& handshake) override {
        userAgent_ = std::string(handshake.dict_find_string_value("v"));
        identify();
        return true;
    }
    void on_disconnect(const libtorrent::error_code& ec) override {
        identify();
        closeReason_ = ec.message();
    }
    void tick() override { identify(); }
    void sent_payload(int bytes) override { log_->sent(index_, bytes); }
    bool on_piece(const libtorrent::peer_request& piece, libtorrent::span<char const>) override {
        log_->received(index_, piece.length);
        return false;
    }

private:
    void identify() {
        const auto& pid = handle_.pid();
        const std::string peerId(pid.data(), pid.size());
        if (peerId != std::string(20, '\0')) {
            log_->identify(index_, peerId, userAgent_);
        }
    }

    std::shared_ptr<UploadLog> log_;
    libtorrent::peer_connection_handle handle_;
    std::size_t index_;
    std::string userAgent_;
    std::string closeReason_ = "closed";
};

class CountingTorrentPlugin final : public libtorrent::torrent_plugin {
public:
    explicit CountingTorrentPlugin(std::shared_ptr<UploadLog> log) : log_(std::move(log)) {}
    std::shared_ptr<libtorrent::peer_plugin>
    new_connection(const libtorrent::peer_connection_handle& handle) override {
        return std::make_shared<CountingPeerPlugin>(log_, handle);
    }

private:
    std::shared_ptr<UploadLog> log_;
};

} // namespace

UploadLog::UploadLog(std::string owner, std::shared_ptr<Log> log)
    : owner_(std::move(owner)), log_(std::move(log)) {}

void UploadLog::attach(libtorrent::add_torrent_params& params) {
    // The plugins share ownership: connections may close on the network thread after the
    // owner let go of the log.
    auto self = shared_from_this();
    params.extensions.push_back(
        [self](const libtorrent::torrent_handle&, libtorrent::client_data_t) {
            return std::make_shared<CountingTorrentPlugin>(self);
        });
}

std::size_t UploadLog::open(const std::string& remote) {
    std::lock_guard lock(mutex_);
    records_.push_back({remote, {}, {}, 0, 0, true});
    return records_.size() - 1;
}

void UploadLog::sent(std::size_t index, std::int64_t bytes) {
    std::lock_guard lock(mutex_);
    records_[index].uploaded += bytes;
}

void UploadLog::received(std::size_t index, std::int64_t bytes) {
    std::lock_guard lock(mutex_);
    records_[index].downloaded += bytes;
}

void UploadLog::identify(std::size_t index, const std::string& peerId,
                         const std::string& userAgent) {
    std::lock_guard lock(mutex_);
    records_[index].peerId = peerId;
    if (!userAgent.empty()) {
        records_[index].userAgent = userAgent;
    }
}

void UploadLog::close(std::size_t index, const std::string& reason) {
    std::lock_guard lock(mutex_);
    if (records_[index].open) {
        records_[index].open = false;
        writeLine(records_[index], reason);
    }
}

std::vector<UploadRecord> UploadLog::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::int64_t UploadLog::totalUploaded() const {
    std::lock_guard lock(mutex_);
    std::int64_t total = 0;
    for (const auto& r : records_) {
        total += r.uploaded;
    }
    return total;
}

void UploadLog::flush() {
    std::lock_guard lock(mutex_);
    for (const auto& r : records_) {
        if (r.open) {
            writeLine(r, "still open");
        }
    }
}

void UploadLog::writeLine(const UploadRecord& r, const std::string& reason) {
    if (!log_ || (r.uploaded == 0 && r.downloaded == 0 && r.peerId.empty())) {
        return;
    }
    log_->write(owner_ + " uploaded " + std::to_string(r.uploaded) + " bytes to " + r.remote +
                " (peer id \"" + peerIdText(r.peerId) + "\", user agent \"" + r.userAgent +
                "\"), downloaded " + std::to_string(r.downloaded) + " bytes; " + reason);
}

} // namespace swarm
