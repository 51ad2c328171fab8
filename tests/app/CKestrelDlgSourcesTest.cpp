// The window with its real engine against the sample publisher's own sources: its server
// peers and its web seed, called in and let go by the window's timers, ticked directly.
#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "Publisher.h"
#include "SwarmHarness.h"
#include "engine/PeerSnapshot.h"
#include "support/ManualClock.h"
#include "support/RecordingPrompt.h"
#include "support/RecordingSender.h"
#include "tools/swarm/Peer.h"
#include "tools/swarm/Tracker.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kServerPort = 6920;
const std::vector<std::string> kServerAddresses{"127.0.0.2", "127.0.0.3"};

class DlgSources : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnlyLoopback()) {
            GTEST_SKIP() << "needs a network namespace of its own (run through ctest)";
        }
    }

    // The publisher as a new user meets it: a slow swarm (one seeder at 20 KiB/s), two server
    // peers that never announce, and a web seed of its own that allows 300 KiB/s; call-in
    // below 50 KiB/s, release when the swarm's share is above 100 KiB/s.
    void startPublisher(std::uint64_t bytes) {
        tracker = std::make_unique<swarm::Tracker>(swarm::Tracker::Options{});
        publisher::PublisherOptions o;
        o.generatedBytes = bytes;
        o.workFolder = temp.path() / "publisher";
        o.announceUrls = {tracker->announceUrl()};
        o.pieceSize = 256 * 1024;
        o.webSeedHost = "127.0.0.5";
        o.webSeedBytesPerSecond = 300 * 1024;
        o.serverPeerPort = kServerPort;
        o.serverPeerAddresses = kServerAddresses;
        o.callInKiB = 50;
        o.releaseKiB = 100;
        pub = std::make_unique<publisher::Publisher>(o);
        pub->start();
        for (const auto& a : kServerAddresses) {
            servers.push_back(peer(swarm::Peer::Role::Server, a, kServerPort, 40 * 1024));
        }
        seeder = peer(swarm::Peer::Role::Seeder, "127.0.0.11", 0, 20 * 1024);
    }
    std::unique_ptr<swarm::Peer> peer(swarm::Peer::Role role, const std::string& address, int port,
                                      int rate) {
        swarm::Peer::Options o;
        o.role = role;
        o.address = address;
        o.port = port;
        o.uploadRate = rate;
        o.trustData = true;
        o.dataDir = temp.path() / ("peer-" + address);
        auto p = std::make_unique<swarm::Peer>(pub->torrent(), pub->contentRoot().parent_path(), o);
        EXPECT_TRUE(waitFor([&] { return p->isReady(); }));
        return p;
    }
    std::unique_ptr<CKestrelDlg> makeDlg() {
        const fs::path folder = temp.path() / "save";
        fs::create_directories(folder);
        prompt.folders = {QString::fromStdString(folder.string())};
        return std::make_unique<CKestrelDlg>(prompt, clock, sender,
                                             QString::fromStdString(pub->origin()));
    }
    std::vector<std::int64_t> serverTotals() const {
        std::vector<std::int64_t> out;
        for (const auto& s : servers) {
            out.push_back(s->totalUploaded());
        }
        return out;
    }
    bool serverConnected(std::size_t i) const {
        const auto r = servers[i]->uploads();
        return std::any_of(r.begin(), r.end(), [](const auto& u) { return u.open; });
    }
    std::size_t webSeedRequests() const {
        const auto all = pub->requests();
        return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), [](const auto& r) {
            return r.path.rfind(publisher::Publisher::kWebSeedPrefix, 0) == 0;
        }));
    }
    // The window's own timers run meanwhile: 109 (status and events) and 111 (the cap).
    static void pass(std::chrono::milliseconds span) {
        waitFor([] { return false; }, span);
    }

    TempFolder temp;
    RecordingPrompt prompt;
    ManualClock clock;
    RecordingSender sender;
    std::unique_ptr<swarm::Tracker> tracker;
    std::unique_ptr<publisher::Publisher> pub;
    std::vector<std::unique_ptr<swarm::Peer>> servers;
    std::unique_ptr<swarm::Peer> seeder;
};

} // namespace

TEST_F(DlgSources, ServerPeerAndWebSeedComeWhileTheSwarmIsSlowAndGoWhenItIsFast) {
    startPublisher(24 * 1024 * 1024);
    auto dlg = makeDlg();
    dlg->OnInitDialog();
    ASSERT_TRUE(dlg->Task().isValid());

    // Checked: one server peer is called in and uploads; never two in the same second.
    ASSERT_TRUE(waitFor([&] { return dlg->Timers().isRunning(CKestrelDlg::kServerPeerTimer); }));
    ASSERT_EQ(dlg->ServerPeers().chosenServerPeer().size(), 1u);
    const std::size_t chosen = dlg->ServerPeers().chosenServerPeer().front();
    ASSERT_TRUE(waitFor([&] { return serverTotals()[chosen] > 0; }));
    for (int second = 0; second < 5; ++second) {
        const auto before = serverTotals();
        pass(1s);
        const auto after = serverTotals();
        int uploading = 0;
        for (std::size_t i = 0; i < after.size(); ++i) {
            uploading += after[i] > before[i] ? 1 : 0;
        }
        EXPECT_LE(uploading, 1) << "second " << second;
    }
    EXPECT_FALSE(serverConnected(1 - chosen));

    // Swarm and server peer stay under 70 KiB/s: timer 112 brings the web seed, held to
    // 80 KiB/s from its first connection although its server would give 300.
    EXPECT_TRUE(dlg->Task().urlSeeds().empty());
    dlg->OnTimer(CKestrelDlg::kWebSeedRestoreTimer);
    ASSERT_EQ(dlg->Task().urlSeeds().size(), 1u);
    ASSERT_TRUE(waitFor([&] { return pub->webSeedBytesSent() > 0; }));
    pass(5s);
    const std::uint64_t settled = pub->webSeedBytesSent();
    pass(20s);
    const double webSeedRate = double(pub->webSeedBytesSent() - settled) / 20.0;
    std::printf("web seed beside a slow swarm: %.1f KiB/s over 20 s at the server\n",
                webSeedRate / 1024);
    EXPECT_LE(webSeedRate, 95 * 1024);
    EXPECT_GE(webSeedRate, 40 * 1024);
    PeerSnapshot web;
    ASSERT_TRUE(dlg->WebSeed().FindWebSeedPeer(web));
    EXPECT_EQ(web.downloadLimit, 81920);

    // Pause forgets the chosen server peer; resume calls one in again.
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    ASSERT_TRUE(waitFor([&] { return dlg->ServerPeers().chosenServerPeer().empty(); }));
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    ASSERT_EQ(dlg->ServerPeers().chosenServerPeer().size(), 1u);
    const std::size_t again = dlg->ServerPeers().chosenServerPeer().front();
    ASSERT_TRUE(waitFor([&] { return serverConnected(again); }));

    // A fast swarm: timer 113 drops the web seed, timer 114 releases the server peer, and
    // both server peers stay out.
    auto fast = peer(swarm::Peer::Role::Seeder, "127.0.0.12", 0, 1500 * 1024);
    fast->connect("127.0.0.1", dlg->Status().ListenPort());
    ASSERT_TRUE(waitFor([&] {
        dlg->OnTimer(CKestrelDlg::kWebSeedDropTimer);
        pass(500ms);
        return dlg->Task().urlSeeds().empty();
    }));
    ASSERT_TRUE(waitFor([&] {
        dlg->OnTimer(CKestrelDlg::kServerPeerTimer);
        pass(500ms);
        return dlg->ServerPeers().chosenServerPeer().empty();
    }));
    ASSERT_TRUE(waitFor([&] { return !serverConnected(0) && !serverConnected(1); }));
    const std::size_t requests = webSeedRequests();
    const auto released = serverTotals();
    pass(3s);
    EXPECT_EQ(serverTotals(), released);
    EXPECT_EQ(webSeedRequests(), requests);

    // Complete: no call-in; the web seed comes back once the rate has fallen.
    ASSERT_TRUE(waitFor([&] { return dlg->Task().isComplete(); }, 180s));
    dlg->OnTimer(CKestrelDlg::kServerPeerTimer);
    EXPECT_TRUE(dlg->ServerPeers().chosenServerPeer().empty());
    ASSERT_TRUE(waitFor([&] { return dlg->Task().downloadRate() <= 71680; }));
    dlg->OnTimer(CKestrelDlg::kWebSeedRestoreTimer);
    EXPECT_EQ(dlg->Task().urlSeeds().size(), 1u);
}
