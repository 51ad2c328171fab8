#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace libtorrent {
struct add_torrent_params;
}

namespace swarm {

class Log;

// What one connection of a peer carried, and whom it was to.
struct UploadRecord {
    std::string remote;          // "address:port" of the other side
    std::string peerId;          // the other side's 20 raw bytes, once its handshake came
    std::string userAgent;       // "v" of its extension handshake; empty when it sent none
    std::int64_t uploaded = 0;   // payload bytes sent to it
    std::int64_t downloaded = 0; // payload bytes received from it
    bool open = true;
};

// Counts, per connection, the payload a peer's session sends and receives, with the peer id
// and user agent the other side gave. A torrent plugin does the counting on the network
// thread; readers take a copy.
class UploadLog : public std::enable_shared_from_this<UploadLog> {
public:
    UploadLog(std::string owner, std::shared_ptr<Log> log);

    // Installs the counting plugin on a torrent before it is added. The log must be owned by
    // a std::shared_ptr.
    void attach(libtorrent::add_torrent_params& params);

    std::vector<UploadRecord> records() const;
    std::int64_t totalUploaded() const;
    // Writes one line per connection still open (the closed ones were written as they closed).
    void flush();

    // Called by the plugin.
    std::size_t open(const std::string& remote);
    void sent(std::size_t index, std::int64_t bytes);
    void received(std::size_t index, std::int64_t bytes);
    void identify(std::size_t index, const std::string& peerId, const std::string& userAgent);
    void close(std::size_t index, const std::string& reason);

private:
    void writeLine(const UploadRecord& r, const std::string& reason);

    std::string owner_;
    std::shared_ptr<Log> log_;
    mutable std::mutex mutex_;
    std::vector<UploadRecord> records_;
};

} // namespace swarm
