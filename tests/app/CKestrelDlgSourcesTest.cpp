// The window with its real engine against the sample publisher's own sources: its server
// peers and its web seed, called in and let go by the window's timers, ticked directly.
#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/PeerSnapshot.h"
#include "support/WindowSwarm.h"

using namespace std::chrono_literals;
using Role = swarm::Peer::Role;

namespace {

constexpr int kServerPort = 6920;
const std::vector<std::string> kServerAddresses{"127.0.0.2", "127.0.0.3"};

class DlgSources : public WindowSwarm {
protected:
    // The publisher as a new user meets it: a slow swarm (one seeder at 20 KiB/s), two server
    // peers that never announce, and a web seed of its own that allows 300 KiB/s; call-in
    // below 50 KiB/s, release when the swarm's share is above 100 KiB/s. The window is started
    // and its torrent checked.
    void arrange() override {
        startPublisher(24 * 1024 * 1024, [](publisher::PublisherOptions& o) {
            o.webSeedHost = "127.0.0.5";
            o.webSeedBytesPerSecond = 300 * 1024;
            o.serverPeerPort = kServerPort;
            o.serverPeerAddresses = kServerAddresses;
            o.callInKiB = 50;
            o.releaseKiB = 100;
        });
        for (const auto& a : kServerAddresses) {
            servers.push_back(peer(Role::Server, a, 40 * 1024, kServerPort));
        }
        seeder = peer(Role::Seeder, "127.0.0.11", 20 * 1024);
        ASSERT_TRUE(startChecked(dlg));
    }
    std::vector<std::uint16_t> chosen() const { return dlg->ServerPeers().chosenServerPeer(); }
    bool uploading(std::size_t server) const { return servers[server]->totalUploaded() > 0; }

    std::vector<std::unique_ptr<swarm::Peer>> servers;
    std::unique_ptr<swarm::Peer> seeder;
    std::unique_ptr<CKestrelDlg> dlg;
};

} // namespace

TEST_F(DlgSources, OneServerPeerIsCalledInWhileTheSwarmIsSlowAndPauseForgetsIt) {
    // Checked: one server peer is called in and uploads; the other is not connected.
    ASSERT_EQ(chosen().size(), 1u);
    const std::size_t first = chosen().front();
    ASSERT_TRUE(until([&] { return uploading(first); }));
    EXPECT_FALSE(AnyOpen(*servers[1 - first]));
    EXPECT_FALSE(uploading(1 - first));

    // Pause forgets the chosen server peer; resume calls one in again.
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    ASSERT_TRUE(until([&] { return chosen().empty(); }));
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    ASSERT_EQ(chosen().size(), 1u);
    const std::size_t again = chosen().front();
    EXPECT_TRUE(until([&] { return AnyOpen(*servers[again]); }));
}

// The cap's figures over time are the bench's (bench/web-seed-cap); here, the class that
// holds the connection from its first byte.
TEST_F(DlgSources, TheWebSeedComesWhileTheSwarmIsSlowHeldTo80KiBFromItsFirstConnection) {
    EXPECT_TRUE(dlg->Task().urlSeeds().empty());
    dlg->OnTimer(CKestrelDlg::kWebSeedRestoreTimer);
    ASSERT_EQ(dlg->Task().urlSeeds().size(), 1u);
    ASSERT_TRUE(until([&] { return pub->webSeedBytesSent() > 0; }));
    PeerSnapshot web;
    ASSERT_TRUE(dlg->WebSeed().FindWebSeedPeer(web));
    EXPECT_EQ(web.downloadLimit, 81920);
}

TEST_F(DlgSources, AFastSwarmDropsTheWebSeedAndReleasesTheServerPeerAndCompleteCallsNoneIn) {
    dlg->OnTimer(CKestrelDlg::kWebSeedRestoreTimer);
    ASSERT_TRUE(until([&] { return uploading(chosen().front()) && pub->webSeedBytesSent() > 0; }));
    // A fast swarm: timer 113 drops the web seed, timer 114 releases the server peer.
    auto fast = peer(Role::Seeder, "127.0.0.12", 1500 * 1024);
    fast->connect("127.0.0.1", dlg->Status().ListenPort());
    ASSERT_TRUE(until([&] {
        dlg->OnTimer(CKestrelDlg::kWebSeedDropTimer);
        return dlg->Task().urlSeeds().empty();
    }));
    ASSERT_TRUE(until([&] {
        dlg->OnTimer(CKestrelDlg::kServerPeerTimer);
        return chosen().empty();
    }));
    EXPECT_TRUE(until([&] { return !AnyOpen(*servers[0]) && !AnyOpen(*servers[1]); }));

    // Complete: no call-in; the web seed comes back once the rate has fallen.
    ASSERT_TRUE(until([&] { return dlg->Task().isComplete(); }, 180s));
    dlg->OnTimer(CKestrelDlg::kServerPeerTimer);
    EXPECT_TRUE(chosen().empty());
    ASSERT_TRUE(until([&] { return dlg->Task().downloadRate() <= 71680; }));
    dlg->OnTimer(CKestrelDlg::kWebSeedRestoreTimer);
    EXPECT_EQ(dlg->Task().urlSeeds().size(), 1u);
}
