#include "tools/swarm/Peer.h"

#include <chrono>
#include <memory>

#include <gtest/gtest.h>

#include "support/SwarmHarness.h"
#include "tools/swarm/Log.h"
#include "tools/swarm/Tracker.h"
#include "tools/swarm/WaitFor.h"

using namespace std::chrono_literals;
using swarm::Peer;

namespace {

Peer::Options options(Peer::Role role, const std::string& address, const TempFolder& dir,
                      const std::shared_ptr<swarm::Log>& log) {
    Peer::Options o;
    o.role = role;
    o.address = address;
    o.dataDir = dir.path() / ("peer-" + address);
    o.log = log;
    return o;
}

bool anyLineHas(const swarm::Log& log, const std::string& a, const std::string& b) {
    for (const auto& line : log.lines()) {
        if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(SwarmPeers, TrackerSwarmServesADownloaderAndLogsWhoGotWhat) {
    TempFolder dir;
    auto log = std::make_shared<swarm::Log>();
    swarm::Tracker tracker({"127.0.0.1", 0, 60, swarm::Tracker::PeerList::AsAsked, log});
    const auto set = MakeFileSet(dir.path() / "source", "set", {3 << 20, 1 << 20, 100000},
                                 {tracker.announceUrl()}, 65536);

    Peer seeder(set.torrent, set.root, options(Peer::Role::Seeder, "127.0.0.11", dir, log));
    auto partialOptions = options(Peer::Role::Partial, "127.0.0.12", dir, log);
    partialOptions.completed = 0.3;
    Peer partial(set.torrent, set.root, partialOptions);
    auto serverOptions = options(Peer::Role::Server, "127.0.0.2", dir, log);
    serverOptions.port = 31000;
    Peer server(set.torrent, set.root, serverOptions);
    EXPECT_EQ(server.listenPort(), 31000);

    ASSERT_TRUE(swarm::waitFor([&] { return seeder.isReady() && partial.isReady(); }, 60s));
    ASSERT_TRUE(swarm::waitFor([&] { return server.isReady(); }, 60s));
    const int pieces = seeder.piecesWanted();
    EXPECT_EQ(partial.piecesWanted(), (pieces * 3 + 5) / 10); // 30 % of 66 pieces, rounded
    EXPECT_EQ(partial.piecesHeld(), partial.piecesWanted());

    Peer downloader(set.torrent, {}, options(Peer::Role::Downloader, "127.0.0.20", dir, log));
    ASSERT_TRUE(swarm::waitFor([&] { return downloader.isReady(); }, 120s));
    EXPECT_EQ(downloader.piecesHeld(), pieces);

    // Swarm peers announce from their own address; the server peer never announces.
    ASSERT_TRUE(swarm::waitFor([&] { return tracker.announceCount() >= 3; }, 10s));
    bool fromSeeder = false, fromPartial = false, fromDownloader = false;
    for (const auto& a : tracker.announces()) {
        EXPECT_NE(a.ip, "127.0.0.2");
        EXPECT_EQ(a.userAgent, "libtorrent/2.0.8.0");
        fromSeeder |= a.ip == "127.0.0.11" && a.port == seeder.listenPort() && a.left == 0;
        fromPartial |= a.ip == "127.0.0.12" && a.left > 0;
        fromDownloader |= a.ip == "127.0.0.20" && a.event == "started";
    }
    EXPECT_TRUE(fromSeeder && fromPartial && fromDownloader);

    // The seeders' logs name the downloader by address, peer id and user agent.
    std::int64_t uploaded = 0;
    for (const Peer* p : {&seeder, &partial}) {
        for (const auto& r : p->uploads()) {
            if (r.remote.rfind("127.0.0.20:", 0) == 0 && r.uploaded > 0) {
                EXPECT_EQ(r.peerId.substr(0, 8), "-LT2080-");
                EXPECT_EQ(r.userAgent, "libtorrent/2.0.8.0");
                uploaded += r.uploaded;
            }
        }
    }
    // Every payload byte came from one of them (a few blocks may have come twice).
    EXPECT_GE(uploaded, (3 << 20) + (1 << 20) + 100000);
    EXPECT_EQ(server.totalUploaded(), 0);
    // The partial peer kept its share and fetched nothing.
    EXPECT_EQ(partial.piecesHeld(), partial.piecesWanted());
    for (const auto& r : partial.uploads()) {
        EXPECT_EQ(r.downloaded, 0);
    }
    EXPECT_TRUE(anyLineHas(*log, "tracker: announce", "127.0.0.20"));
}

TEST(SwarmPeers, ServerPeerServesOnlyWhoCallsItIn) {
    TempFolder dir;
    auto log = std::make_shared<swarm::Log>();
    // The tracker in the torrent is down: the only source is the server peer.
    const auto set = MakeFileSet(dir.path() / "source", "set", {2 << 20},
                                 {"http://127.0.0.1:9/announce"}, 32768);
    auto serverOptions = options(Peer::Role::Server, "127.0.0.3", dir, log);
    serverOptions.port = 31001;
    serverOptions.name = "server peer 1";
    Peer server(set.torrent, set.root, serverOptions);
    ASSERT_TRUE(swarm::waitFor([&] { return server.isReady(); }, 60s));

    {
        Peer downloader(set.torrent, {}, options(Peer::Role::Downloader, "127.0.0.21", dir, log));
        downloader.connect("127.0.0.3", 31001);
        ASSERT_TRUE(swarm::waitFor([&] { return downloader.isReady(); }, 120s));
    }
    const auto records = server.uploads();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].remote.substr(0, 11), "127.0.0.21:");
    EXPECT_GE(server.totalUploaded(), 2 << 20);
    // The connection closed with the downloader, so its line is in the log.
    EXPECT_TRUE(anyLineHas(*log, "server peer 1 uploaded", "127.0.0.21"));
    EXPECT_TRUE(anyLineHas(*log, "server peer 1 uploaded", "user agent \"libtorrent/2.0.8.0\""));
}

// Loopback peers are exempt from a session's rate limit unless they are moved out of the local
// peer class: the limited seeder would then deliver half the file at full speed.
TEST(SwarmPeers, UploadLimitHoldsOnLoopback) {
    TempFolder dir;
    swarm::Tracker tracker({"127.0.0.1", 0, 60, swarm::Tracker::PeerList::AsAsked, nullptr});
    const auto set =
        MakeFileSet(dir.path() / "source", "set", {16 << 20}, {tracker.announceUrl()}, 65536);
    constexpr int limit = 64 * 1024;
    auto slowOptions = options(Peer::Role::Seeder, "127.0.0.13", dir, nullptr);
    slowOptions.uploadRate = limit;
    Peer slow(set.torrent, set.root, slowOptions);
    Peer fast(set.torrent, set.root, options(Peer::Role::Seeder, "127.0.0.14", dir, nullptr));
    ASSERT_TRUE(swarm::waitFor([&] { return slow.isReady() && fast.isReady(); }, 60s));

    const auto start = std::chrono::steady_clock::now();
    Peer downloader(set.torrent, {}, options(Peer::Role::Downloader, "127.0.0.22", dir, nullptr));
    ASSERT_TRUE(swarm::waitFor([&] { return downloader.isReady(); }, 300s));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // An upper bound only: a slow machine makes the download longer and the bound looser.
    // Two seconds of slack cover the rate limiter's first quota.
    EXPECT_LE(slow.totalUploaded(), static_cast<std::int64_t>(limit * (seconds + 2)))
        << "in " << seconds << " s";
    EXPECT_GE(fast.totalUploaded(), (16 << 20) - slow.totalUploaded());
}
