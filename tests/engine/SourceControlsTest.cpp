// The server-peer and web-seed controls against real sessions: the publisher's file server
// and web seed in-process, its server peers and seeders as libtorrent sessions on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>

#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/ListenPortDraw.h"
#include "engine/ServerPeerControl.h"
#include "engine/WebSeedControl.h"
#include "engine/WebSeedRules.h"
#include "support/EngineRun.h"
#include "support/SwarmFixture.h"

using Role = swarm::Peer::Role;
using namespace std::chrono_literals;

namespace {

constexpr std::uint16_t kServerPort = 6910;

// A seed whose draw picks `index` of `count` server peers.
std::uint32_t SeedFor(std::size_t index, std::size_t count) {
    for (std::uint32_t seed = 1;; ++seed) {
        if (static_cast<std::size_t>(PortRandom(seed).next()) % count == index) {
            return seed;
        }
    }
}

class SourceControls : public PublisherSwarm {
protected:
    // No tracker unless one is asked for: the server peers are found only when called in.
    void startPublisher(std::uint64_t bytes, const std::string& webSeedHost,
                        std::uint64_t webSeedRate = 0, bool withTracker = false) {
        PublisherSwarm::startPublisher(bytes, [&](publisher::PublisherOptions& o) {
            if (!withTracker) {
                o.announceUrls.clear();
            }
            o.webSeedHost = webSeedHost;
            o.webSeedBytesPerSecond = webSeedRate;
        });
    }
    // The engine as the window sets it up, with the torrent added and checked.
    void startEngine(bool limitWebSeed) {
        run = std::make_unique<EngineRun>(RunSeed(31));
        if (limitWebSeed) {
            run->engine.HoldWebSeeds(kWebSeedDownloadLimit);
        }
        ASSERT_TRUE(run->add(pub->torrent(), temp.path() / "down"));
        ASSERT_TRUE(run->untilEvent(EngineEvent::Code::TorrentChecked));
    }
    // A control over the two server peers whose draws follow `picks`.
    std::unique_ptr<ServerPeerControl> control(const std::vector<std::string>& addresses,
                                               std::vector<std::size_t> picks) {
        auto seeds = std::make_shared<std::deque<std::uint32_t>>();
        for (const std::size_t i : picks) {
            seeds->push_back(SeedFor(i, addresses.size()));
        }
        auto c = std::make_unique<ServerPeerControl>(run->task, [seeds] {
            const std::uint32_t s = seeds->front();
            seeds->pop_front();
            return s;
        });
        std::vector<PeerEndpoint> peers;
        for (const auto& a : addresses) {
            peers.push_back({a, kServerPort});
        }
        c->SetServerPeers(peers, 10 * 1024 * 1024, 0);
        return c;
    }
    std::vector<PeerEndpoint> keptOut() const { return run->task.keptOutPeers(); }
    bool brings(const ServerPeerControl& c) const {
        std::uint32_t rate = 0;
        return c.ServerPeerDownloadRate(rate) && rate > 0;
    }

    std::unique_ptr<EngineRun> run;
};

} // namespace

// That a peer down at one call-in is reached at the next is the engine's (EngineSession).
TEST_F(SourceControls, OneServerPeerAtATimeAndAllKeptOutWhenReleased) {
    startPublisher(16 * 1024 * 1024, "127.0.0.5");
    auto first = peer(Role::Server, "127.0.0.2", 200 * 1024, kServerPort);
    startEngine(false);
    auto c = control({"127.0.0.2", "127.0.0.3"}, {1, 0});

    // The draw falls on the second, which is down: admitted alone, never found.
    c->CallInServerPeer();
    EXPECT_EQ(c->chosenServerPeer(), std::vector<std::uint16_t>{1});
    EXPECT_EQ(keptOut(), (std::vector<PeerEndpoint>{{"127.0.0.2", kServerPort}}));
    EXPECT_FALSE(brings(*c));
    c->CallInServerPeer(); // while one is chosen: no new draw
    EXPECT_EQ(c->chosenServerPeer(), std::vector<std::uint16_t>{1});

    // The balance lets it go and, the swarm being slow, draws again at once.
    c->BalanceServerPeer();
    EXPECT_EQ(c->chosenServerPeer(), std::vector<std::uint16_t>{0});
    EXPECT_EQ(keptOut(), (std::vector<PeerEndpoint>{{"127.0.0.3", kServerPort}}));
    ASSERT_TRUE(waitFor([&] { return brings(*c); }));

    // Let go, it is disconnected and kept out like the rest.
    c->ReleaseServerPeer();
    EXPECT_TRUE(c->chosenServerPeer().empty());
    EXPECT_EQ(keptOut(),
              (std::vector<PeerEndpoint>{{"127.0.0.2", kServerPort}, {"127.0.0.3", kServerPort}}));
    EXPECT_TRUE(waitFor([&] { return !HasPeer(run->task, "127.0.0.2") && !AnyOpen(*first); }));
}

TEST_F(SourceControls, AWebSeedOnTheChosenAddressIsNoServerPeerAndNoListKeepsNoneOut) {
    // The web seed shares the address of a server peer that is down.
    startPublisher(8 * 1024 * 1024, "127.0.0.2", 64 * 1024);
    startEngine(false);
    ServerPeerControl none(run->task);
    none.SetServerPeers({}, 10 * 1024 * 1024, 0);
    none.CallInServerPeer();
    none.BalanceServerPeer();
    EXPECT_TRUE(none.chosenServerPeer().empty());
    EXPECT_TRUE(keptOut().empty());

    auto c = control({"127.0.0.2"}, {0});
    c->CallInServerPeer();
    run->task.AddUrlSeed(QString::fromStdString(pub->webSeedUrl()));
    WebSeedControl web(run->task);
    PeerSnapshot seed;
    ASSERT_TRUE(waitFor([&] { return web.FindWebSeedPeer(seed) && seed.downRate > 0; }));
    EXPECT_EQ(seed.address, "127.0.0.2");
    EXPECT_TRUE(seed.isSeed);
    EXPECT_FALSE(brings(*c));
}

// The figures of the cap over time are the bench's (bench/web-seed-cap); here, the class that
// holds the connection, and what the server counts as sent: the cap, and not the receive
// buffer filled ahead of it, as the publisher pays for it. The span is 10 s: the library hands
// a held connection its quota in lumps of up to a second, and a 5 s span that catches six
// lumps reaches 100 KiB/s on a loaded machine. Unheld, the server's 300 KiB/s would send the
// 1.25 MiB waited for within 5 s.
TEST_F(SourceControls, AMissingWebSeedIsRestoredAndHeldTo80KiBFromItsFirstConnection) {
    startPublisher(12 * 1024 * 1024, "127.0.0.5", 300 * 1024);
    startEngine(true);
    WebSeedControl web(run->task);
    web.SetWebSeedUrl(QString::fromStdString(pub->webSeedUrl()));
    EXPECT_TRUE(run->task.urlSeeds().empty());
    web.RestoreWebSeed(); // missing and slow: restored
    EXPECT_EQ(run->task.urlSeeds(), std::vector<QString>{web.webSeedUrl()});
    PeerSnapshot seed;
    ASSERT_TRUE(waitFor([&] { return web.FindWebSeedPeer(seed) && pub->webSeedBytesSent() > 0; }));
    EXPECT_EQ(seed.downloadLimit, kWebSeedDownloadLimit);
    ASSERT_TRUE(waitFor([&] { return pub->webSeedBytesSent() >= 1280 * 1024; }));
    EXPECT_LE(publisher::FullestSpan(pub->webSeedFlow(), 10s), 10u * 100 * 1024);
}

TEST_F(SourceControls, AWebSeedConnectedBeforeItsHostWasLimitedComesBackLimited) {
    startPublisher(16 * 1024 * 1024, "127.0.0.5", 300 * 1024);
    startEngine(false);
    WebSeedControl web(run->task);
    web.SetWebSeedUrl(QString::fromStdString(pub->webSeedUrl()));
    web.RestoreWebSeed();
    PeerSnapshot seed;
    ASSERT_TRUE(waitFor([&] { return web.FindWebSeedPeer(seed) && seed.downRate > 0; }));
    EXPECT_EQ(seed.downloadLimit, -1);
    // The cap closes the connection; the one that takes its place is held, and brings data.
    web.CapWebSeedRate();
    ASSERT_TRUE(waitFor([&] {
        return web.FindWebSeedPeer(seed) && seed.downloadLimit == kWebSeedDownloadLimit &&
               seed.downRate > 0;
    }));
}

// A small publisher's single host: the tracker, the web seed and one server peer on 127.0.0.1,
// the other server peer on 127.0.0.3.
class OneHost : public SourceControls {
protected:
    void arrange() override {
        startPublisher(24 * 1024 * 1024, "127.0.0.1", 0, true);
        onHost = peer(Role::Server, "127.0.0.1", 0, kServerPort);
        other = peer(Role::Server, "127.0.0.3", 64 * 1024, kServerPort);
        startEngine(true);
    }
    // A reannounce asked for while an announce is under way can be folded into it, so it is
    // asked for again each second until the tracker hears one.
    bool announcesGoOn() {
        const std::size_t before = tracker->announceCount();
        std::chrono::steady_clock::time_point asked;
        return waitFor([&] {
            const auto now = std::chrono::steady_clock::now();
            if (now - asked >= std::chrono::seconds(1)) {
                run->task.ForceReannounce(0);
                asked = now;
            }
            return tracker->announceCount() > before;
        });
    }

    std::unique_ptr<swarm::Peer> onHost, other;
};

TEST_F(OneHost, TheServerPeerKeptOutThereLeavesTheTrackerAndTheWebSeedWorking) {
    auto c = control({"127.0.0.1", "127.0.0.3"}, {1});
    c->CallInServerPeer();
    EXPECT_EQ(keptOut(), (std::vector<PeerEndpoint>{{"127.0.0.1", kServerPort}}));
    EXPECT_TRUE(announcesGoOn());
    run->task.AddUrlSeed(QString::fromStdString(pub->webSeedUrl()));
    WebSeedControl web(run->task);
    PeerSnapshot seed;
    ASSERT_TRUE(waitFor([&] { return web.FindWebSeedPeer(seed) && seed.downRate > 0; }));
    EXPECT_EQ(seed.address, "127.0.0.1");
    EXPECT_EQ(seed.downloadLimit, kWebSeedDownloadLimit);
    ASSERT_TRUE(waitFor([&] { return brings(*c); }));
    // Asked for anyway, the one kept out brings nothing while the chosen one goes on.
    run->task.ConnectPeer("127.0.0.1", kServerPort);
    const std::int64_t before = other->totalUploaded();
    ASSERT_TRUE(waitFor([&] { return other->totalUploaded() > before + 256 * 1024; }));
    EXPECT_EQ(onHost->totalUploaded(), 0);
}

// The web seed's cap is its own: while it stays near its limit, the unlimited server peer on
// the same address brings the rest of the download, many times what the web seed brings.
TEST_F(OneHost, TheServerPeerChosenThereIsNotHeldByTheWebSeedsCap) {
    auto c = control({"127.0.0.1", "127.0.0.3"}, {0});
    c->CallInServerPeer();
    EXPECT_EQ(keptOut(), (std::vector<PeerEndpoint>{{"127.0.0.3", kServerPort}}));
    EXPECT_TRUE(announcesGoOn());
    run->task.AddUrlSeed(QString::fromStdString(pub->webSeedUrl()));
    bool hostPeerUnlimited = true;
    ASSERT_TRUE(run->until([&] {
        for (const PeerSnapshot& p : run->task.peers()) {
            hostPeerUnlimited = hostPeerUnlimited &&
                                (p.address != "127.0.0.1" || p.isWebSeed || p.downloadLimit == -1);
        }
        return run->task.isComplete();
    }));
    EXPECT_TRUE(hostPeerUnlimited);
    // Counted where they were sent: a connection between two seeds closes as the download
    // ends, before the engine's own count of it can be read.
    const auto fromHostPeer = static_cast<std::uint64_t>(onHost->totalUploaded());
    EXPECT_GT(fromHostPeer, 4 * pub->webSeedBytesSent());
    EXPECT_GT(fromHostPeer, 8u * 1024 * 1024);
}
