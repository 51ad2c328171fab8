#include <gtest/gtest.h>

#include <set>

#include <libtorrent/address.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/settings_pack.hpp>

#include "engine/AnnounceDelay.h"
#include "engine/ConnectionGuard.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/EngineInternals.h"
#include "engine/ListenPortDraw.h"
#include "engine/OpenFileLimit.h"
#include "engine/RemainingTimeRule.h"
#include "engine/ServerPeerControl.h"

namespace lt = libtorrent;

TEST(ListenPortDraw, EveryDrawLiesBetween10000And42767) {
    EXPECT_EQ(DrawListenPort(0), 10000);
    EXPECT_EQ(DrawListenPort(32767), 42767);
    PortRandom random(1765200000);
    std::set<std::uint16_t> seen;
    for (int i = 0; i < 100000; ++i) {
        const int r = random.next();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, PortRandom::kMax);
        const auto port = DrawListenPort(r);
        ASSERT_GE(port, 10000);
        ASSERT_LE(port, 42767);
        seen.insert(port);
    }
    EXPECT_GT(seen.size(), 30000u); // the whole range is reached, not a few ports
}

TEST(ListenPortDraw, TheSameSecondDrawsTheSamePortsAndEachAttemptANewOne) {
    PortRandom a(1234), b(1234), c(1235);
    const int first = a.next();
    EXPECT_EQ(first, b.next());
    EXPECT_NE(first, a.next());
    EXPECT_NE(first, c.next());
    // The classic generator's first value for seed 1.
    EXPECT_EQ(PortRandom(1).next(), 41);
}

TEST(AnnounceDelay, FollowsPeerCountAndCompletion) {
    EXPECT_EQ(AnnounceDelaySeconds(false, 0), 50);
    EXPECT_EQ(AnnounceDelaySeconds(false, 11), 50);
    EXPECT_EQ(AnnounceDelaySeconds(false, 12), 300);
    EXPECT_EQ(AnnounceDelaySeconds(false, 70), 300);
    EXPECT_EQ(AnnounceDelaySeconds(true, 0), 420);
    EXPECT_EQ(AnnounceDelaySeconds(true, 11), 420);
    EXPECT_EQ(AnnounceDelaySeconds(true, 12), 420);
}

TEST(RemainingTime, SplitsTruncatesAndMarksAStandstill) {
    auto eq = [](RemainingTime t, int h, int m, int s) {
        return t.hours == h && t.minutes == m && t.seconds == s;
    };
    EXPECT_TRUE(eq(RemainingTimeFrom(1000, 0, 0), 65535, 65535, 65535));
    EXPECT_TRUE(eq(RemainingTimeFrom(0, 0, 0), 65535, 65535, 65535));
    EXPECT_TRUE(eq(RemainingTimeFrom(3661, 0, 1), 1, 1, 1));
    EXPECT_TRUE(eq(RemainingTimeFrom(3661, 1, 1), 1, 1, 0));
    EXPECT_TRUE(eq(RemainingTimeFrom(7199, 0, 2), 0, 59, 59));
    EXPECT_TRUE(eq(RemainingTimeFrom(500, 500, 100), 0, 0, 0));
    // 2^32 + 59 seconds keep only their low 32 bits: 59 seconds.
    EXPECT_TRUE(eq(RemainingTimeFrom((std::int64_t(1) << 32) + 59, 0, 1), 0, 0, 59));
    // 65536 hours and one second keep only the low 16 bits of the hours.
    EXPECT_TRUE(eq(RemainingTimeFrom(65536LL * 3600 + 1, 0, 1), 0, 0, 1));
    EXPECT_TRUE(eq(RemainingTimeFrom(1'000'000'000, 0, 1'000'000'000), 0, 0, 1));
}

TEST(DownloadTask, AnEmptyTaskAnswersItsFixedDefaultsAndIgnoresOperations) {
    DownloadTask t;
    EXPECT_FALSE(t.isValid());
    EXPECT_EQ(t.percentDone(), 0);
    EXPECT_EQ(t.downloadRate(), 0u);
    EXPECT_EQ(t.uploadRate(), 0u);
    EXPECT_EQ(t.totalDone(), 0);
    EXPECT_EQ(t.totalUploaded(), 0);
    EXPECT_EQ(t.peerCount(), 0);
    EXPECT_FALSE(t.remainingTime().has_value());
    EXPECT_TRUE(t.isPaused());
    EXPECT_FALSE(t.isChecking());
    EXPECT_FALSE(t.isDownloading());
    EXPECT_FALSE(t.isComplete());
    EXPECT_TRUE(t.torrentName().isEmpty());
    EXPECT_TRUE(t.savePath().isEmpty());
    EXPECT_TRUE(t.peers().empty());
    t.Pause();
    t.Resume();
    t.ForceReannounce(50);
    t.ConnectPeer("127.0.0.2", 6881);
    t.DisconnectPeer("127.0.0.2", 6881);
    t.SetMaxConnections(70);
    EXPECT_TRUE(t.isPaused());
}

// A session that only exists opens no socket, so this runs anywhere.
TEST(DownloadEngine, StartsQuietWithItsIdentityAndKeepsTheFloodingCategoriesOff) {
    DownloadEngine engine(12, "VrtTorrent");
    EXPECT_EQ(engine.UserAgent(), "VrtTorrent/0.12.1.0");
    EXPECT_EQ(engine.PeerIdPrefix(), "-VR0C10-");
    EXPECT_FALSE(engine.IsListening());
    EXPECT_EQ(engine.SocketPort(), 0);
    EXPECT_EQ(engine.RunningServices(), DownloadEngine::Services{});
    EngineEvent e;
    while (engine.NextEngineEvent(e)) {
        EXPECT_NE(e.code, EngineEvent::Code::ListenFailed) << e.message.toStdString();
    }

    engine.ApplySessionSettings();
    const lt::settings_pack s = EngineInternals::Of(engine).session->get_settings();
    using P = lt::settings_pack;
    EXPECT_EQ(s.get_str(P::user_agent), "VrtTorrent/0.12.1.0");
    EXPECT_EQ(s.get_str(P::peer_fingerprint), "-VR0C10-");
    EXPECT_EQ(s.get_str(P::listen_interfaces), "");
    EXPECT_EQ(s.get_str(P::dht_bootstrap_nodes), "");
    EXPECT_EQ(s.get_int(P::file_pool_size), FilePoolSize(CurrentOpenFileLimit()));
    // A tracker on a server peer's host must hear from the program whoever is chosen.
    EXPECT_FALSE(s.get_bool(P::apply_ip_filter_to_trackers));
    // No log or per-block categories: they flood the queue.
    const auto mask = static_cast<std::uint32_t>(s.get_int(P::alert_mask));
    EXPECT_EQ(mask &
                  std::uint32_t(lt::alert_category::peer_log | lt::alert_category::torrent_log |
                                lt::alert_category::session_log | lt::alert_category::picker_log |
                                lt::alert_category::block_progress),
              0u);
    EXPECT_NE(mask & std::uint32_t(lt::alert_category::tracker), 0u);
}

// Which connections the plugin closes for the server peers kept out, and which server peers
// those are once one is admitted.
TEST(ServerPeerKeepOut, OutgoingByEndpointIncomingByAddressAdmittedOneLetThrough) {
    const auto ep = [](const char* a, std::uint16_t port) {
        return lt::tcp::endpoint(lt::make_address(a), port);
    };
    const std::vector<lt::tcp::endpoint> out{ep("127.0.0.1", 6910), ep("::1", 6910)};
    EXPECT_TRUE(ConnectionGuard::IsKeptOut(ep("127.0.0.1", 6910), true, out));
    // Another peer on the kept-out host, at a port of its own, is let through when we call it.
    EXPECT_FALSE(ConnectionGuard::IsKeptOut(ep("127.0.0.1", 6911), true, out));
    // Coming in, the far port is ephemeral: the address decides.
    EXPECT_TRUE(ConnectionGuard::IsKeptOut(ep("127.0.0.1", 51234), false, out));
    EXPECT_TRUE(ConnectionGuard::IsKeptOut(ep("::1", 40000), false, out));
    EXPECT_FALSE(ConnectionGuard::IsKeptOut(ep("127.0.0.2", 6910), true, out));
    EXPECT_FALSE(ConnectionGuard::IsKeptOut(ep("127.0.0.2", 6910), false, out));
    EXPECT_FALSE(ConnectionGuard::IsKeptOut(ep("127.0.0.1", 6910), true, {}));

    ServerPeerFilter filter{{{"10.0.0.1", 7000}, {"10.0.0.2", 7000}, {"::1", 7000}}, std::nullopt};
    EXPECT_EQ(filter.KeptOut(), filter.blocked);
    filter.allowed = ServerPeer{"10.0.0.2", 7000};
    EXPECT_EQ(filter.KeptOut(), (std::vector<ServerPeer>{{"10.0.0.1", 7000}, {"::1", 7000}}));
    // The same address written another way is the same peer.
    filter.allowed = ServerPeer{"0:0:0:0:0:0:0:1", 7000};
    EXPECT_EQ(filter.KeptOut(), (std::vector<ServerPeer>{{"10.0.0.1", 7000}, {"10.0.0.2", 7000}}));
}
