// The server-peer and web-seed controls against real sessions: the publisher's file server
// and web seed in-process, its server peers and seeders as libtorrent sessions on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>

#include <libtorrent/address.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/peer_info.hpp>

#include "Publisher.h"
#include "SwarmHarness.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/EngineInternals.h"
#include "engine/ListenPortDraw.h"
#include "engine/ServerPeerControl.h"
#include "engine/SessionSetup.h"
#include "engine/WebSeedControl.h"
#include "engine/WebSeedRules.h"
#include "tools/swarm/Peer.h"
#include "tools/swarm/Tracker.h"

namespace fs = std::filesystem;
namespace lt = libtorrent;
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

// Payload the torrent's first web seed connection has brought so far.
std::uint64_t WebSeedBytesTaken(const DownloadTask& task) {
    std::vector<lt::peer_info> peers;
    EngineInternals::Of(task).handle.get_peer_info(peers);
    for (const auto& p : peers) {
        if (p.connection_type & lt::peer_info::web_seed) {
            return static_cast<std::uint64_t>(p.total_download);
        }
    }
    return 0;
}

// Bytes per second in the fullest 5 s of a series of running totals.
double WorstFiveSeconds(const std::vector<publisher::FlowSample>& totals) {
    double worst = 0;
    for (std::size_t i = 0; i < totals.size(); ++i) {
        for (std::size_t j = i + 1; j < totals.size() && totals[j].at - totals[i].at <= 5s; ++j) {
            worst = std::max(worst, (totals[j].bytes - totals[i].bytes) / 5.0);
        }
    }
    return worst;
}

class PublisherSources : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnlyLoopback()) {
            GTEST_SKIP() << "needs a network namespace of its own (run through ctest)";
        }
    }

    void startPublisher(std::uint64_t bytes, const std::string& webSeedHost,
                        std::uint64_t webSeedRate = 0, std::vector<std::string> announce = {}) {
        publisher::PublisherOptions o;
        o.announceUrls = std::move(announce);
        o.generatedBytes = bytes;
        o.workFolder = temp.path() / "publisher";
        o.pieceSize = 256 * 1024;
        o.webSeedHost = webSeedHost;
        o.webSeedBytesPerSecond = webSeedRate;
        pub = std::make_unique<publisher::Publisher>(o);
        pub->start();
    }
    std::unique_ptr<swarm::Peer> peer(swarm::Peer::Role role, const std::string& address, int port,
                                      int uploadRate = 0) {
        swarm::Peer::Options o;
        o.role = role;
        o.address = address;
        o.port = port;
        o.uploadRate = uploadRate;
        o.dataDir = temp.path() / ("peer-" + address);
        auto p = std::make_unique<swarm::Peer>(pub->torrent(), pub->contentRoot().parent_path(), o);
        EXPECT_TRUE(waitFor([&] { return p->isReady(); }));
        return p;
    }
    // The engine as the window sets it up, with the torrent added and checked.
    void startEngine(bool limitWebSeed) {
        engine = std::make_unique<DownloadEngine>(12, "VrtTorrent");
        SetUpSession(*engine, static_cast<std::uint32_t>(
                                  ::testing::UnitTest::GetInstance()->random_seed() + 31));
        if (limitWebSeed) {
            ASSERT_TRUE(engine->LimitWebSeedHost(QString::fromStdString(pub->webSeedUrl()),
                                                 kWebSeedDownloadLimit));
        }
        const auto& t = pub->torrent();
        ASSERT_TRUE(engine->AddTorrentFromBuffer(
            t.data(), t.size(), QString::fromStdString((temp.path() / "down").string()), task));
        ApplyTorrentLimits(task);
        ASSERT_TRUE(waitFor([&] {
            EngineEvent e;
            while (engine->NextEngineEvent(e)) {
                if (e.code == EngineEvent::Code::TorrentChecked) {
                    return true;
                }
            }
            return false;
        }));
    }
    std::vector<PeerEndpoint> keptOut() const { return task.keptOutPeers(); }
    bool connectedTo(const std::string& address) const {
        const auto peers = task.peers();
        return std::any_of(peers.begin(), peers.end(),
                           [&](const PeerSnapshot& p) { return p.address == address; });
    }
    static bool anyOpen(const swarm::Peer& p) {
        const auto r = p.uploads();
        return std::any_of(r.begin(), r.end(), [](const auto& u) { return u.open; });
    }

    TempFolder temp;
    std::unique_ptr<publisher::Publisher> pub;
    std::unique_ptr<DownloadEngine> engine;
    DownloadTask task;
};

} // namespace

TEST_F(PublisherSources, OneServerPeerAtATimeBlockedWhenReleasedAndRetriedWhenDown) {
    startPublisher(16 * 1024 * 1024, "127.0.0.5");
    auto first = peer(swarm::Peer::Role::Server, "127.0.0.2", kServerPort, 200 * 1024);
    startEngine(false);
    std::deque<std::uint32_t> seeds{SeedFor(1, 2), SeedFor(0, 2), SeedFor(1, 2)};
    ServerPeerControl control(task, [&] {
        const std::uint32_t s = seeds.front();
        seeds.pop_front();
        return s;
    });
    control.SetServerPeers({{"127.0.0.2", kServerPort}, {"127.0.0.3", kServerPort}},
                           10 * 1024 * 1024, 0);

    // The draw falls on the second, which is down: admitted alone, never found.
    control.CallInServerPeer();
    EXPECT_EQ(control.chosenServerPeer(), std::vector<std::uint16_t>{1});
    EXPECT_EQ(keptOut(), (std::vector<PeerEndpoint>{{"127.0.0.2", kServerPort}}));
    std::uint32_t rate = 0;
    EXPECT_FALSE(control.ServerPeerDownloadRate(rate));
    // A second call-in while one is chosen changes nothing.
    control.CallInServerPeer();
    EXPECT_EQ(seeds.size(), 2u);

    // The balance lets it go and, the swarm being slow, draws again at once.
    control.BalanceServerPeer();
    EXPECT_EQ(control.chosenServerPeer(), std::vector<std::uint16_t>{0});
    EXPECT_EQ(keptOut(), (std::vector<PeerEndpoint>{{"127.0.0.3", kServerPort}}));
    ASSERT_TRUE(waitFor([&] { return control.ServerPeerDownloadRate(rate) && rate > 0; }));

    // The other one comes up now; it stays out while the first is admitted.
    auto second = peer(swarm::Peer::Role::Server, "127.0.0.3", kServerPort, 200 * 1024);
    task.ConnectPeer("127.0.0.3", kServerPort);
    waitFor([] { return false; }, 2s);
    EXPECT_TRUE(second->uploads().empty());
    // A swarm fast enough besides it (release rate 0) lets the balance keep it only while
    // it brings everything; let go, it is disconnected and blocked like the rest.
    control.ReleaseServerPeer();
    EXPECT_TRUE(control.chosenServerPeer().empty());
    EXPECT_EQ(keptOut(),
              (std::vector<PeerEndpoint>{{"127.0.0.2", kServerPort}, {"127.0.0.3", kServerPort}}));
    ASSERT_TRUE(waitFor([&] { return !connectedTo("127.0.0.2") && !anyOpen(*first); }));

    // The one that was down at the first call-in is reached now that it is up.
    control.CallInServerPeer();
    EXPECT_EQ(control.chosenServerPeer(), std::vector<std::uint16_t>{1});
    ASSERT_TRUE(waitFor([&] { return control.ServerPeerDownloadRate(rate) && rate > 0; }));
    EXPECT_FALSE(connectedTo("127.0.0.2"));
}

TEST_F(PublisherSources, AWebSeedOnTheChosenAddressIsNoServerPeerAndNoListSetsNoFilter) {
    // The web seed shares the address of a server peer that is down.
    startPublisher(8 * 1024 * 1024, "127.0.0.2", 64 * 1024);
    startEngine(false);
    ServerPeerControl none(task);
    none.SetServerPeers({}, 10 * 1024 * 1024, 0);
    none.CallInServerPeer();
    none.BalanceServerPeer();
    EXPECT_TRUE(none.chosenServerPeer().empty());
    EXPECT_TRUE(keptOut().empty());

    ServerPeerControl control(task, [] { return SeedFor(0, 1); });
    control.SetServerPeers({{"127.0.0.2", kServerPort}}, 10 * 1024 * 1024, 0);
    control.CallInServerPeer();
    task.AddUrlSeed(QString::fromStdString(pub->webSeedUrl()));
    WebSeedControl web(task);
    PeerSnapshot seed;
    ASSERT_TRUE(waitFor([&] { return web.FindWebSeedPeer(seed) && seed.downRate > 0; }));
    EXPECT_EQ(seed.address, "127.0.0.2");
    EXPECT_TRUE(seed.isSeed);
    std::uint32_t rate = 0;
    EXPECT_FALSE(control.ServerPeerDownloadRate(rate));
}

TEST_F(PublisherSources, AMissingWebSeedIsRestoredAndHeldTo80KiBFromItsFirstConnection) {
    startPublisher(12 * 1024 * 1024, "127.0.0.5");
    startEngine(true);
    WebSeedControl web(task);
    web.SetWebSeedUrl(QString::fromStdString(pub->webSeedUrl()));
    EXPECT_TRUE(task.urlSeeds().empty());
    // Missing and slow: restored.
    web.RestoreWebSeed();
    EXPECT_EQ(task.urlSeeds(), std::vector<QString>{web.webSeedUrl()});

    PeerSnapshot seed;
    ASSERT_TRUE(waitFor([&] { return web.FindWebSeedPeer(seed); }));
    EXPECT_EQ(seed.downloadLimit, kWebSeedDownloadLimit);
    // The web seed alone for 35 s, timer 111 ticking as in the window. The first 5 s go to
    // filling the socket buffers; after them, what the connection brought is sampled four
    // times a second, and the server counts what it sent.
    ASSERT_TRUE(waitFor([&] { return pub->webSeedBytesSent() > 0; }));
    std::vector<publisher::FlowSample> taken;
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t sentBefore = 0;
    int ticks = 0;
    waitFor(
        [&] {
            std::this_thread::sleep_for(233ms);
            if (++ticks % 3 == 0) {
                web.CapWebSeedRate();
            }
            const auto now = std::chrono::steady_clock::now();
            if (now - start < 5s) {
                sentBefore = pub->webSeedBytesSent();
            } else {
                taken.push_back({now, WebSeedBytesTaken(task)});
            }
            return now - start >= 35s;
        },
        90s);
    const std::uint64_t sentAlone = pub->webSeedBytesSent() - sentBefore;
    ASSERT_TRUE(web.FindWebSeedPeer(seed));
    EXPECT_EQ(seed.downloadLimit, kWebSeedDownloadLimit);
    const double worst = WorstFiveSeconds(taken);
    std::printf("web seed alone: %.1f KiB/s sent over 30 s; taken %.1f KiB/s, worst 5 s %.1f "
                "KiB/s\n",
                sentAlone / 30.0 / 1024, (taken.back().bytes - taken.front().bytes) / 30.0 / 1024,
                worst / 1024);
    EXPECT_LE(worst, 100 * 1024);
    EXPECT_LE(sentAlone, 30u * 84 * 1024);
    EXPECT_GE(sentAlone, 30u * 40 * 1024);
}

TEST_F(PublisherSources, AWebSeedConnectedBeforeItsHostWasLimitedComesBackLimited) {
    startPublisher(16 * 1024 * 1024, "127.0.0.5", 300 * 1024);
    startEngine(false);
    WebSeedControl web(task);
    web.SetWebSeedUrl(QString::fromStdString(pub->webSeedUrl()));
    web.RestoreWebSeed();
    PeerSnapshot before;
    ASSERT_TRUE(waitFor([&] { return web.FindWebSeedPeer(before) && before.downRate > 0; }));
    EXPECT_EQ(before.downloadLimit, -1);
    web.CapWebSeedRate();
    // The cap closes the connection: the web seed is found again once it is back.
    PeerSnapshot after;
    ASSERT_TRUE(waitFor([&] { return web.FindWebSeedPeer(after); }));
    EXPECT_EQ(after.downloadLimit, kWebSeedDownloadLimit);
    // The connection that was too fast is closed and a held one takes its place: over 5 s,
    // once the old one's data has drained, no more than the limit comes.
    waitFor([] { return false; }, 4s);
    std::vector<publisher::FlowSample> taken;
    const auto start = std::chrono::steady_clock::now();
    waitFor(
        [&] {
            std::this_thread::sleep_for(250ms);
            taken.push_back({std::chrono::steady_clock::now(), WebSeedBytesTaken(task)});
            return taken.back().at - start >= 6s;
        },
        30s);
    EXPECT_GT(taken.back().bytes, taken.front().bytes);
    EXPECT_LE(WorstFiveSeconds(taken), 100 * 1024);
}

// A small publisher's single host: the tracker, the web seed and one server peer on 127.0.0.1,
// the other server peer on 127.0.0.3.
TEST_F(PublisherSources, OneHostForTrackerWebSeedAndAServerPeerKeepsEachWorking) {
    swarm::Tracker tracker(swarm::Tracker::Options{});
    startPublisher(24 * 1024 * 1024, "127.0.0.1", 0, {tracker.announceUrl()});
    auto onHost = peer(swarm::Peer::Role::Server, "127.0.0.1", kServerPort);
    auto other = peer(swarm::Peer::Role::Server, "127.0.0.3", kServerPort, 64 * 1024);
    startEngine(true);
    std::deque<std::uint32_t> seeds{SeedFor(1, 2), SeedFor(0, 2)};
    ServerPeerControl control(task, [&] {
        const std::uint32_t s = seeds.front();
        seeds.pop_front();
        return s;
    });
    control.SetServerPeers({{"127.0.0.1", kServerPort}, {"127.0.0.3", kServerPort}},
                           10 * 1024 * 1024, 0);
    auto announcesGoOn = [&] {
        const std::size_t before = tracker.announceCount();
        task.ForceReannounce(0);
        return waitFor([&] { return tracker.announceCount() > before; });
    };

    // The server peer away from the host is chosen: the one on the host is kept out, and the
    // tracker and the web seed beside it keep working.
    control.CallInServerPeer();
    EXPECT_EQ(keptOut(), (std::vector<PeerEndpoint>{{"127.0.0.1", kServerPort}}));
    EXPECT_TRUE(announcesGoOn());
    task.AddUrlSeed(QString::fromStdString(pub->webSeedUrl()));
    WebSeedControl web(task);
    PeerSnapshot seed;
    ASSERT_TRUE(waitFor([&] { return web.FindWebSeedPeer(seed) && seed.downRate > 0; }));
    EXPECT_EQ(seed.address, "127.0.0.1");
    EXPECT_EQ(seed.downloadLimit, kWebSeedDownloadLimit);
    std::uint32_t rate = 0;
    ASSERT_TRUE(waitFor([&] { return control.ServerPeerDownloadRate(rate) && rate > 0; }));
    // Asked for anyway, the one kept out brings nothing while the chosen one goes on.
    task.ConnectPeer("127.0.0.1", kServerPort);
    const std::int64_t before = other->totalUploaded();
    ASSERT_TRUE(waitFor([&] { return other->totalUploaded() > before + 256 * 1024; }));
    EXPECT_EQ(onHost->totalUploaded(), 0);

    // The one on the host is chosen next: it comes in, the other is kept out, and the tracker
    // still hears from the program.
    control.ReleaseServerPeer();
    control.CallInServerPeer();
    EXPECT_EQ(control.chosenServerPeer(), std::vector<std::uint16_t>{0});
    EXPECT_EQ(keptOut(), (std::vector<PeerEndpoint>{{"127.0.0.3", kServerPort}}));
    EXPECT_TRUE(announcesGoOn());
    ASSERT_TRUE(waitFor([&] { return !anyOpen(*other); }));

    // The web seed's cap is its own: while it stays near its limit, the unlimited server peer on
    // the same address brings the rest of the download, many times what the web seed brings.
    std::uint64_t fromHostPeer = 0, fromWebSeed = 0;
    bool hostPeerUnlimited = true;
    ASSERT_TRUE(waitFor(
        [&] {
            std::vector<lt::peer_info> peers;
            EngineInternals::Of(task).handle.get_peer_info(peers);
            for (const auto& p : peers) {
                if (p.ip.address() != lt::make_address("127.0.0.1")) {
                    continue;
                }
                const auto bytes = static_cast<std::uint64_t>(p.total_download);
                if (p.connection_type & lt::peer_info::web_seed) {
                    fromWebSeed = std::max(fromWebSeed, bytes);
                } else if (p.ip.port() == kServerPort) {
                    fromHostPeer = std::max(fromHostPeer, bytes);
                }
            }
            for (const PeerSnapshot& p : task.peers()) {
                if (p.address == "127.0.0.1" && !p.isWebSeed && p.downloadLimit != -1) {
                    hostPeerUnlimited = false;
                }
            }
            return task.isComplete();
        },
        120s));
    EXPECT_TRUE(hostPeerUnlimited);
    std::printf("one host: %.1f MiB from the server peer on the host, %.1f MiB from the web seed "
                "there\n",
                fromHostPeer / 1048576.0, fromWebSeed / 1048576.0);
    EXPECT_GT(fromHostPeer, 4 * fromWebSeed);
    EXPECT_GT(fromHostPeer, 8u * 1024 * 1024);
}
