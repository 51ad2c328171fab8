#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tools/swarm/UploadLog.h"

namespace libtorrent {
class session;
struct torrent_handle;
} // namespace libtorrent

namespace swarm {

// The port the publisher's server peers listen on unless told otherwise.
inline constexpr std::uint16_t kServerPeerPort = 31000;

class Log;

// One libtorrent session on a loopback address, seeding (or partly holding) one torrent from a
// data folder of its own. Quiet: no UPnP, NAT-PMP, local discovery or DHT.
class Peer {
public:
    enum class Role {
        Server,  // seeds; listens at a fixed port; never announces (found only through the check)
        Seeder,  // seeds and announces to the torrent's trackers
        Partial, // holds `completed` of the pieces, announces, never downloads the rest
        Downloader, // starts empty and fetches everything (a plain default-ish client)
    };

    struct Options {
        Role role = Role::Seeder;
        std::string name;                  // names it in the log; defaults to the address
        std::string address = "127.0.0.1"; // each peer wants its own 127.x.y.z
        int port = 0;                      // 0: the system picks one
        int uploadRate = 0;                // bytes per second, 0: unlimited
        double completed = 0.5;            // Partial only: share of pieces held
        std::uint32_t pieceSeed = 1;       // Partial only: which pieces
        bool utp = false;                  // also offer and use uTP (TCP only otherwise)
        bool trustData = false;            // seed without checking the files first (hash on upload)
        std::filesystem::path dataDir;     // its own folder; created; the files go in there
        std::shared_ptr<Log> log;
    };

    // `source` is the folder holding the complete file set as the torrent names it (the save
    // path of a complete download). Seeders hard-link it into their data folder (copy across
    // file systems); partial peers copy their share of the pieces; downloaders ignore it.
    Peer(const std::vector<char>& torrent, const std::filesystem::path& source, Options options);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    const Options& options() const { return options_; }
    int listenPort() const { return listenPort_; }
    std::string endpoint() const;

    // Asks this peer to connect to another one (server peers are found only this way).
    void connect(const std::string& address, int port);

    // Checked and holding its share of the pieces.
    bool isReady() const;
    int piecesHeld() const;
    int piecesWanted() const { return piecesWanted_; }

    std::vector<UploadRecord> uploads() const { return uploadLog_->records(); }
    std::int64_t totalUploaded() const { return uploadLog_->totalUploaded(); }

private:
    Options options_;
    std::shared_ptr<UploadLog> uploadLog_;
    std::unique_ptr<libtorrent::session> session_;
    std::unique_ptr<libtorrent::torrent_handle> handle_;
    int listenPort_ = 0;
    int piecesWanted_ = 0;
};

} // namespace swarm
