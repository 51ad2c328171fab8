// The window's source timers as a driver runs them, over a real session: the torrent is added
// to an empty folder and nobody serves it, so the download rate stays 0 and every look finds
// the download slow. Time points are handed in, so no test waits for a period.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include <QString>

#include "PublisherCheck.h"
#include "SourceTimers.h"
#include "app/PublisherSources.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "support/SwarmHarness.h"

using namespace std::chrono_literals;

namespace {

const QString kWebSeed = QStringLiteral("http://127.0.0.5:1/seed/");

struct Player {
    TempFolder folder;
    FileSet set = MakeFileSet(folder.path() / "set", "Set", {1 << 20});
    DownloadEngine engine{12, "VrtTorrent"};
    DownloadTask task;
    PublisherSources sources{task};
    SourceTimers timers{sources};

    explicit Player(const QString& webSeed) {
        sources.SetUp(engine, PublisherCheck({{"127.0.0.2", 6911}}, webSeed, 100, 200));
        const bool added = engine.AddTorrentFromBuffer(
            set.torrent.data(), set.torrent.size(),
            QString::fromStdString((folder.path() / "down").string()), task);
        EXPECT_TRUE(added);
    }
    // Read on the network thread after every call made before it.
    bool HasWebSeed() const { return !task.urlSeeds().empty(); }
};

} // namespace

TEST(SourceTimersTest, StartCallsInAServerPeerAndTheRestoreLookComesAfterAMinute) {
    Player p(kWebSeed);
    const auto t0 = SourceTimers::Clock::now();
    p.timers.Tick(t0 + 60s);
    EXPECT_FALSE(p.HasWebSeed()) << "no timer runs before the torrent-checked start";
    EXPECT_TRUE(p.sources.serverPeers().chosenServerPeer().empty());

    p.timers.Start(t0);
    EXPECT_TRUE(p.timers.Started());
    EXPECT_EQ(p.sources.serverPeers().chosenServerPeer().size(), 1u);
    p.timers.Tick(t0 + 59900ms);
    EXPECT_FALSE(p.HasWebSeed());
    p.timers.Tick(t0 + 60s);
    EXPECT_TRUE(p.HasWebSeed());
}

TEST(SourceTimersTest, NoWebSeedTimersWithoutAWebSeedAddress) {
    Player p(QStringLiteral("http:"));
    const auto t0 = SourceTimers::Clock::now();
    p.timers.Start(t0);
    p.timers.Tick(t0 + 60s);
    p.timers.Tick(t0 + 120s);
    EXPECT_FALSE(p.HasWebSeed());
}
