#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace swarm {

class Log;
class ResettingPort;

// One announce as the tracker received it.
struct Announce {
    std::chrono::system_clock::time_point time;
    std::string infoHash; // 40 lower-case hex digits
    std::string peerId;   // the 20 raw bytes
    std::string ip;       // the address the request came from
    int port = 0;
    std::string event;      // "started", "completed", "stopped" or empty
    std::int64_t left = -1; // -1 when the request had none
    std::string userAgent;
    bool compact = false; // what the peer asked for
};

// An HTTP tracker on a loopback address, answering GET /announce with the peers it knows for
// the info hash (everyone but the asker). libtorrent 2.0 refuses any other path on loopback.
class Tracker {
public:
    enum class PeerList { AsAsked, Compact, Full };

    struct Options {
        std::string address = "127.0.0.1";
        int port = 0;        // 0: the system picks one
        int interval = 1800; // seconds, sent in every reply
        PeerList peerList = PeerList::AsAsked;
        std::shared_ptr<Log> log; // every announce is also written here
    };

    explicit Tracker(Options options);
    ~Tracker();
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    int port() const { return port_; }
    std::string announceUrl() const;

    std::vector<Announce> announces() const;
    std::size_t announceCount() const;

    // Down, every connection to the tracker's port is reset; up, it answers again on the same
    // port and remembers the peers it knew.
    void setUp(bool up);
    // The connections from this address reset while down, in all.
    std::size_t resets(const std::string& from) const;

private:
    struct KnownPeer {
        std::string peerId;
        std::string ip;
        int port = 0;
        bool seed = false;
    };

    std::string handleAnnounce(const std::string& target, const std::string& remoteAddress,
                               const std::string& userAgent);

    void serve(int port);
    void stopServing();

    Options options_;
    std::unique_ptr<httplib::Server> server_;
    std::unique_ptr<ResettingPort> down_;
    std::vector<std::string> resetBefore_; // by the ports of earlier outages
    std::thread thread_;
    int port_ = 0;

    mutable std::mutex mutex_;
    std::vector<Announce> announces_;
    std::map<std::string, std::vector<KnownPeer>> peers_; // by info hash
};

} // namespace swarm
