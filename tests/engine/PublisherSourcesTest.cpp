// The server-peer and web-seed controls against real sessions: the publisher's file server
// and web seed in-process, its server peers and seeders as libtorrent sessions on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include <libtorrent/address.hpp>
#include <libtorrent/ip_filter.hpp>

#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/EngineInternals.h"
#include "engine/ListenPortDraw.h"
#include "engine/ServerPeerControl.h"
#include "engine/WebSeedControl.h"
#include "engine/WebSeedRules.h"
#include "support/EngineRun.h"
#include "support/SwarmFixture.h"

namespace lt = libtorrent;
using Role = swarm::Peer::Role;

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

class PublisherSources : public PublisherSwarm {
protected:
    void startPublisher(std::uint64_t bytes, const std::string& webSeedHost,
                        std::uint64_t webSeedRate = 0) {
        PublisherSwarm::startPublisher(bytes, [&](publisher::PublisherOptions& o) {
            o.announceUrls.clear();
            o.webSeedHost = webSeedHost;
            o.webSeedBytesPerSecond = webSeedRate;
        });
    }
    // The engine as the window sets it up, with the torrent added and checked.
    void startEngine(bool limitWebSeed) {
        run = std::make_unique<EngineRun>(
            static_cast<std::uint32_t>(::testing::UnitTest::GetInstance()->random_seed() + 31));
        if (limitWebSeed) {
            ASSERT_TRUE(run->engine.LimitWebSeedHost(QString::fromStdString(pub->webSeedUrl()),
                                                     kWebSeedDownloadLimit));
        }
        ASSERT_TRUE(run->add(pub->torrent(), temp.path() / "down"));
        ASSERT_TRUE(run->untilEvent(EngineEvent::Code::TorrentChecked));
    }
    int access(const std::string& address) const {
        return static_cast<int>(EngineInternals::Of(run->engine)
                                    .session->get_ip_filter()
                                    .access(lt::make_address(address)));
    }
    bool connectedTo(const std::string& address) const {
        const auto peers = run->task.peers();
        return std::any_of(peers.begin(), peers.end(),
                           [&](const PeerSnapshot& p) { return p.address == address; });
    }

    std::unique_ptr<EngineRun> run;
};

} // namespace

TEST_F(PublisherSources, OneServerPeerAtATimeAndBlockedWhenReleased) {
    startPublisher(16 * 1024 * 1024, "127.0.0.5");
    auto first = peer(Role::Server, "127.0.0.2", 200 * 1024, kServerPort);
    startEngine(false);
    std::deque<std::uint32_t> seeds{SeedFor(1, 2), SeedFor(0, 2)};
    ServerPeerControl control(run->task, [&] {
        const std::uint32_t s = seeds.front();
        seeds.pop_front();
        return s;
    });
    control.SetServerPeers({{"127.0.0.2", kServerPort}, {"127.0.0.3", kServerPort}},
                           10 * 1024 * 1024, 0);

    // The draw falls on the second, which is down: admitted alone, never found.
    control.CallInServerPeer();
    EXPECT_EQ(control.chosenServerPeer(), std::vector<std::uint16_t>{1});
    EXPECT_EQ(access("127.0.0.2"), lt::ip_filter::blocked);
    EXPECT_EQ(access("127.0.0.3"), 0);
    EXPECT_EQ(access("127.0.0.4"), 0);
    std::uint32_t rate = 0;
    EXPECT_FALSE(control.ServerPeerDownloadRate(rate));
    control.CallInServerPeer(); // while one is chosen: no new draw
    EXPECT_EQ(seeds.size(), 1u);

    // The balance lets it go and, the swarm being slow, draws again at once.
    control.BalanceServerPeer();
    EXPECT_EQ(control.chosenServerPeer(), std::vector<std::uint16_t>{0});
    EXPECT_EQ(access("127.0.0.3"), lt::ip_filter::blocked);
    ASSERT_TRUE(waitFor([&] { return control.ServerPeerDownloadRate(rate) && rate > 0; }));

    // The other one comes up now; it stays out while the first is admitted: the attempt to
    // reach it is blocked.
    auto second = peer(Role::Server, "127.0.0.3", 200 * 1024, kServerPort);
    run->pump();
    run->events.clear();
    run->task.ConnectPeer("127.0.0.3", kServerPort);
    ASSERT_TRUE(run->untilEvent(EngineEvent::Code::PeerBlocked));
    EXPECT_TRUE(second->uploads().empty());
    // Let go, the first is disconnected and blocked like the rest.
    control.ReleaseServerPeer();
    EXPECT_TRUE(control.chosenServerPeer().empty());
    EXPECT_EQ(access("127.0.0.2"), lt::ip_filter::blocked);
    EXPECT_EQ(access("127.0.0.3"), lt::ip_filter::blocked);
    EXPECT_TRUE(waitFor([&] { return !connectedTo("127.0.0.2") && !AnyOpen(*first); }));
}

TEST_F(PublisherSources, AWebSeedOnTheChosenAddressIsNoServerPeerAndNoListSetsNoFilter) {
    // The web seed shares the address of a server peer that is down.
    startPublisher(8 * 1024 * 1024, "127.0.0.2", 64 * 1024);
    startEngine(false);
    ServerPeerControl none(run->task);
    none.SetServerPeers({}, 10 * 1024 * 1024, 0);
    none.CallInServerPeer();
    none.BalanceServerPeer();
    EXPECT_TRUE(none.chosenServerPeer().empty());
    EXPECT_EQ(EngineInternals::Of(run->engine).session->get_ip_filter().export_filter(),
              lt::ip_filter().export_filter());

    ServerPeerControl control(run->task, [] { return SeedFor(0, 1); });
    control.SetServerPeers({{"127.0.0.2", kServerPort}}, 10 * 1024 * 1024, 0);
    control.CallInServerPeer();
    run->task.AddUrlSeed(QString::fromStdString(pub->webSeedUrl()));
    WebSeedControl web(run->task);
    PeerSnapshot seed;
    ASSERT_TRUE(waitFor([&] { return web.FindWebSeedPeer(seed) && seed.downRate > 0; }));
    EXPECT_EQ(seed.address, "127.0.0.2");
    EXPECT_TRUE(seed.isSeed);
    std::uint32_t rate = 0;
    EXPECT_FALSE(control.ServerPeerDownloadRate(rate));
}

// The figures of the cap over time are the bench's (bench/web-seed-cap); here, the class that
// holds the connection.
TEST_F(PublisherSources, AMissingWebSeedIsRestoredAndHeldTo80KiBFromItsFirstConnection) {
    startPublisher(12 * 1024 * 1024, "127.0.0.5");
    startEngine(true);
    WebSeedControl web(run->task);
    web.SetWebSeedUrl(QString::fromStdString(pub->webSeedUrl()));
    EXPECT_TRUE(run->task.urlSeeds().empty());
    web.RestoreWebSeed(); // missing and slow: restored
    EXPECT_EQ(run->task.urlSeeds(), std::vector<QString>{web.webSeedUrl()});
    PeerSnapshot seed;
    ASSERT_TRUE(waitFor([&] { return web.FindWebSeedPeer(seed) && pub->webSeedBytesSent() > 0; }));
    EXPECT_EQ(seed.downloadLimit, kWebSeedDownloadLimit);
}

TEST_F(PublisherSources, AWebSeedConnectedBeforeItsHostWasLimitedComesBackLimited) {
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
