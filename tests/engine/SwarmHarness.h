#pragma once

// Real parts for engine tests: a file set on disk with its torrent, seeding sessions on
// loopback addresses, and a small HTTP tracker that records every announce.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <libtorrent/session.hpp>
#include <libtorrent/torrent_handle.hpp>

namespace httplib {
class Server;
}

// Waits, handling Qt events, until pred holds or the deadline passes; returns pred().
bool waitFor(const std::function<bool()>& pred,
             std::chrono::milliseconds deadline = std::chrono::seconds(60));

// A fresh folder under the system's temp folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Files of pseudo-random bytes under root/name, and their v1 torrent.
struct FileSet {
    std::filesystem::path root; // the folder holding `name`
    std::string name;
    std::vector<std::int64_t> sizes;
    std::string torrent; // bencoded
};
FileSet MakeFileSet(const std::filesystem::path& root, const std::string& name,
                    const std::vector<std::int64_t>& sizes,
                    const std::vector<std::string>& trackers = {}, int pieceSize = 256 * 1024);
// True when every file of the set under `folder` has the same bytes as under the set's root.
bool SameFiles(const FileSet& set, const std::filesystem::path& folder);

// A libtorrent session that seeds (or downloads, with an empty folder) one torrent, listening
// on address:port.
class TestPeer {
public:
    TestPeer(const std::string& address, std::uint16_t port, const FileSet& set,
             const std::filesystem::path& folder, bool seed = true, bool announce = true);
    ~TestPeer();
    libtorrent::session& session() { return *session_; }
    libtorrent::torrent_handle& handle() { return handle_; }
    std::uint16_t port() const { return port_; }
    // Peer ids of the peers connected now.
    std::vector<std::string> connectedPeerIds();
    // Drains the alerts and counts the peer disconnections seen so far.
    int disconnections();
    // Drains the alerts; whether a peer whose id starts with prefix was ever seen.
    bool sawPeerId(const std::string& prefix);

private:
    std::unique_ptr<libtorrent::session> session_;
    libtorrent::torrent_handle handle_;
    std::uint16_t port_;
    void poll();
    int disconnections_ = 0;
    std::vector<std::string> peerIds_;
};

// An HTTP tracker on 127.0.0.1 at /announce. It hands every announcer the others it knows
// and asks them to come back in 30 minutes at the earliest.
class TestTracker {
public:
    struct Announce {
        std::string peerId;
        std::string userAgent;
        std::string address;
        std::uint16_t port = 0;
        std::string event;
        std::chrono::steady_clock::time_point at;
    };

    TestTracker();
    ~TestTracker();
    std::string url() const;
    std::vector<Announce> announces() const;
    // Announces whose peer id starts with prefix.
    std::vector<Announce> announcesFrom(const std::string& prefix) const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<Announce> announces_;
};

// A TCP socket listening on 0.0.0.0:port, keeping the port taken; port 0 takes a free one.
class TakenPort {
public:
    explicit TakenPort(std::uint16_t port);
    ~TakenPort();
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// True inside a network namespace of the tests' own: lo is the only interface.
bool OnlyLoopback();
// Adds an address to lo, only inside such a namespace; false when not possible.
bool AddLoopbackAddress(const std::string& address);
