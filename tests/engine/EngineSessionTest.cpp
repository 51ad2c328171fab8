#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>

#include <libtorrent/peer_info.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_status.hpp>

#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/EngineInternals.h"
#include "engine/ListenPortDraw.h"
#include "support/EngineRun.h"
#include "support/SwarmFixture.h"
#include "tools/swarm/Peer.h"
#include "tools/swarm/Tracker.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t kPeerPort = 6900;

using Code = EngineEvent::Code;
using Role = swarm::Peer::Role;

class EngineSession : public SwarmTest {
protected:
    std::unique_ptr<swarm::Peer> peer(const FileSet& set, Role role, const std::string& address,
                                      int port = kPeerPort, int uploadRate = 0) {
        return peerOf(set.torrent, set.root, role, address, uploadRate, port);
    }
};

std::uint32_t SeedWithFreeFirstPort() {
    return RunSeed(17);
}

// The user agents a peer saw on this program's connections.
std::set<std::string> AgentsSeenBy(const swarm::Peer& peer) {
    std::set<std::string> out;
    for (const auto& r : peer.uploads()) {
        if (r.peerId.rfind(kProgramPeerId, 0) == 0) {
            out.insert(r.userAgent);
        }
    }
    return out;
}

// The library passes a piece once its hash matches, while its last blocks may still be on their
// way to the file: the finished event can come just before the files hold every byte.
bool FilesArrive(EngineRun& e, const FileSet& set, const fs::path& folder) {
    return e.until([&] { return SameFiles(set, folder); }, std::chrono::seconds(10));
}

} // namespace

TEST_F(EngineSession, DownloadsFromTheSwarmWithItsOwnIdentityAndDropsNoListedAlert) {
    swarm::Tracker tracker(swarm::Tracker::Options{});
    FileSet set =
        MakeFileSet(temp.path() / "seed", "Game", {48 * 1024 * 1024, 3 * 1024 * 1024, 1000, 1},
                    {tracker.announceUrl()});
    auto a = peer(set, Role::Seeder, "127.0.0.2");
    auto b = peer(set, Role::Seeder, "127.0.0.3");
    ASSERT_TRUE(waitFor([&] { return tracker.announceCount() >= 2; }));
    EngineRun e(SeedWithFreeFirstPort());
    ASSERT_TRUE(e.add(set.torrent, temp.path() / "down"));
    EXPECT_EQ(e.task.torrentName(), "Game");
    EXPECT_EQ(e.task.totalSize(), 51 * 1024 * 1024 + 1001);

    // Few pumps, far apart: one at each further tenth of the file set, then on until the
    // finish. Notifications pile up in between, as between the window's ticks; the queue must
    // hold them all.
    int pumpedAt = -1;
    ASSERT_TRUE(waitFor([&] {
        if (const int tenth = e.task.percentDone() / 10; tenth > pumpedAt || tenth == 10) {
            pumpedAt = tenth;
            e.pump();
        }
        return e.count(Code::TorrentFinished) > 0;
    }));
    EXPECT_EQ(EngineInternals::Of(e.engine).droppedAlerts, 0);
    EXPECT_GE(e.count(Code::TorrentChecked), 1);
    EXPECT_GE(e.count(Code::TrackerReply), 1);
    EXPECT_TRUE(FilesArrive(e, set, temp.path() / "down"));
    EXPECT_EQ(e.task.totalDone(), e.task.totalSize());

    // The tracker and the seeders see who this is.
    const auto mine = ProgramAnnounces(tracker);
    ASSERT_FALSE(mine.empty());
    EXPECT_EQ(mine.front().userAgent, "VrtTorrent/0.12.1.0");
    EXPECT_EQ(mine.front().port, e.port);
    auto agents = AgentsSeenBy(*a);
    agents.merge(AgentsSeenBy(*b));
    EXPECT_EQ(agents, std::set<std::string>{"VrtTorrent/0.12.1.0"});
}

TEST_F(EngineSession, CompleteItSeedsOnAndWithNobodyConnectedTheRatesReadZero) {
    FileSet set = MakeFileSet(temp.path() / "seed", "Set", {4 * 1024 * 1024});
    auto seeder = peer(set, Role::Server, "127.0.0.2");
    EngineRun e(SeedWithFreeFirstPort());
    ASSERT_TRUE(e.add(set.torrent, temp.path() / "down"));
    e.task.ConnectPeer("127.0.0.2", kPeerPort);
    ASSERT_TRUE(e.untilEvent(Code::TorrentFinished));
    EXPECT_TRUE(e.task.isComplete());
    EXPECT_FALSE(e.task.isDownloading());

    seeder.reset();
    ASSERT_TRUE(waitFor([&] { return e.task.peerCount() == 0; }));
    EXPECT_EQ(e.task.downloadRate(), 0u);
    EXPECT_EQ(e.task.uploadRate(), 0u);
    ASSERT_TRUE(e.task.remainingTime().has_value());
    EXPECT_EQ(e.task.remainingTime()->hours, 65535); // no time left shown at a rate of 0
    auto fresh = peer(set, Role::Downloader, "127.0.0.4");
    fresh->connect("127.0.0.1", e.port);
    EXPECT_TRUE(waitFor([&] { return fresh->isReady(); }));
    EXPECT_GT(e.task.totalUploaded(), 0);
}

TEST_F(EngineSession, ATakenPortFailsThatAttemptAndTheNextDrawsANewPort) {
    const std::uint32_t seed = 4242;
    PortRandom random(seed);
    const std::uint16_t first = DrawListenPort(random.next());
    const std::uint16_t second = DrawListenPort(random.next());
    ASSERT_NE(first, second);
    TakenPort taken(first);
    ASSERT_TRUE(taken.ok());

    EngineRun e(seed);
    EXPECT_EQ(e.port, second);
    EXPECT_TRUE(e.engine.IsListening());
    EXPECT_EQ(e.engine.SocketPort(), second);
    EXPECT_EQ((DownloadEngine::Services{true, true, true, true}), e.engine.RunningServices());
    // The failed attempt's notice comes while the session listens: no event.
    e.pump();
    EXPECT_EQ(e.count(Code::ListenFailed), 0);
}

TEST_F(EngineSession, TenTakenPortsLeaveNoPortButAnnouncesGoOnAndNobodyGetsIn) {
    const std::uint32_t seed = 777;
    PortRandom random(seed);
    std::vector<std::unique_ptr<TakenPort>> taken;
    for (int i = 0; i < 10; ++i) {
        taken.push_back(std::make_unique<TakenPort>(DrawListenPort(random.next())));
        ASSERT_TRUE(taken.back()->ok());
    }
    swarm::Tracker tracker(swarm::Tracker::Options{});
    FileSet set =
        MakeFileSet(temp.path() / "seed", "Set", {2 * 1024 * 1024}, {tracker.announceUrl()});
    EngineRun e(seed);
    EXPECT_EQ(e.port, 0);
    EXPECT_FALSE(e.engine.IsListening());
    EXPECT_EQ(e.engine.RunningServices(), DownloadEngine::Services{});
    e.pump();
    EXPECT_GE(e.count(Code::ListenFailed), 10);
    ASSERT_TRUE(e.add(set.torrent, temp.path() / "down"));
    ASSERT_TRUE(waitFor([&] { return !ProgramAnnounces(tracker).empty(); }));
    const int announced = ProgramAnnounces(tracker).front().port;
    ASSERT_NE(announced, 0);

    // A seeder that tries the announced port is dropped at once...
    auto seeder = peer(set, Role::Seeder, "127.0.0.2");
    seeder->connect("127.0.0.1", announced);
    ASSERT_TRUE(waitFor([&] { return ClosedTo(*seeder, "127.0.0.1", announced); }));
    EXPECT_FALSE(OpenTo(*seeder, "127.0.0.1", announced));
    // ...while the engine's own outgoing connection, from the tracker's list, downloads.
    e.task.ForceReannounce(0);
    EXPECT_TRUE(e.untilEvent(Code::TorrentFinished));
    EXPECT_TRUE(FilesArrive(e, set, temp.path() / "down"));
}

TEST_F(EngineSession, IncomingConnectionsCountUntilListeningStopsThenAreDroppedAndAnnouncesGoOn) {
    ASSERT_TRUE(AddLoopbackAddress("198.51.100.1"));
    ASSERT_TRUE(AddLoopbackAddress("198.51.100.2"));
    swarm::Tracker tracker(swarm::Tracker::Options{});
    FileSet set = MakeFileSet(temp.path() / "seed", "Set", {1024 * 1024}, {tracker.announceUrl()});
    EngineRun e(SeedWithFreeFirstPort());
    ASSERT_TRUE(e.add(set.torrent, temp.path() / "down"));
    ASSERT_TRUE(waitFor([&] { return !ProgramAnnounces(tracker).empty(); }));

    // Loopback callers do not count as somebody from outside. The callers hold no data, so
    // no download completes and ends the connections.
    auto local = peer(set, Role::Downloader, "127.0.0.2");
    local->connect("127.0.0.1", e.port);
    ASSERT_TRUE(waitFor([&] { return HasPeer(e.task, "127.0.0.2"); }));
    EXPECT_FALSE(e.engine.HasIncomingConnections());
    auto outside = peer(set, Role::Downloader, "198.51.100.2");
    outside->connect("198.51.100.1", e.port);
    ASSERT_TRUE(waitFor([&] { return e.engine.HasIncomingConnections(); }));

    e.engine.StopListening();
    EXPECT_FALSE(e.engine.HasIncomingConnections());
    EXPECT_FALSE(e.engine.IsListening());
    auto late = peer(set, Role::Downloader, "198.51.100.2", kPeerPort + 1);
    late->connect("198.51.100.1", e.port);
    ASSERT_TRUE(waitFor([&] { return ClosedTo(*late, "198.51.100.1", e.port); }));
    EXPECT_FALSE(OpenTo(*late, "198.51.100.1", e.port));
    EXPECT_FALSE(e.engine.HasIncomingConnections());

    const auto before = ProgramAnnounces(tracker).size();
    e.task.ForceReannounce(1);
    EXPECT_TRUE(waitFor([&] { return ProgramAnnounces(tracker).size() > before; }));
}

TEST_F(EngineSession, AReannounceComesAfterTheAskedDelayWhateverTheMinimumInterval) {
    swarm::Tracker tracker(swarm::Tracker::Options{}); // asks for 1800 s
    FileSet set = MakeFileSet(temp.path() / "seed", "Set", {1024 * 1024}, {tracker.announceUrl()});
    EngineRun e(SeedWithFreeFirstPort());
    ASSERT_TRUE(e.add(set.torrent, temp.path() / "down"));
    ASSERT_TRUE(e.untilEvent(Code::TrackerReply));
    const auto first = ProgramAnnounces(tracker).back().time;
    const auto count = ProgramAnnounces(tracker).size();
    e.task.ForceReannounce(2);
    // The library keeps 30 s between announces unless told otherwise.
    ASSERT_TRUE(waitFor([&] { return ProgramAnnounces(tracker).size() > count; },
                        std::chrono::seconds(20)));
    EXPECT_GE(ProgramAnnounces(tracker).back().time - first, std::chrono::milliseconds(1500));
}

TEST_F(EngineSession, ACallInReallyConnectsToAPeerThatWasDownAtTheFirstCallIn) {
    FileSet set = MakeFileSet(temp.path() / "seed", "Set", {4 * 1024 * 1024});
    EngineRun e(SeedWithFreeFirstPort());
    ASSERT_TRUE(e.add(set.torrent, temp.path() / "down"));
    ASSERT_TRUE(e.untilEvent(Code::TorrentChecked));

    // Nobody listens at the server peer's endpoint yet: the attempt fails.
    e.task.ConnectPeer("127.0.0.5", kPeerPort);
    auto failures = [&] {
        std::vector<libtorrent::peer_list_entry> list;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        EngineInternals::Of(e.task).handle.get_full_peer_list(list);
#pragma GCC diagnostic pop
        const auto p = std::find_if(list.begin(), list.end(),
                                    [](const auto& p) { return p.ip.port() == kPeerPort; });
        return p == list.end() ? 0 : int(p->failcount);
    };
    ASSERT_TRUE(waitFor([&] { return failures() > 0; }));

    // Up now: the next call-in connects at once, not a minute or more later. Slow, so that
    // the connection is still there when the program closes it.
    auto server = peer(set, Role::Server, "127.0.0.5", kPeerPort, 64 * 1024);
    e.task.ConnectPeer("127.0.0.5", kPeerPort);
    EXPECT_TRUE(
        waitFor([&] { return HasPeer(e.task, "127.0.0.5", kPeerPort); }, std::chrono::seconds(20)));
    // And the program can close that one connection again.
    e.task.DisconnectPeer("127.0.0.5", kPeerPort);
    EXPECT_TRUE(waitFor([&] { return !HasPeer(e.task, "127.0.0.5", kPeerPort); },
                        std::chrono::seconds(10)));
    // Not finished (the server sends slowly): the connection went because it was closed.
    EXPECT_FALSE(e.task.isComplete());
}

// The player's network goes: the tracker resets every connection and the seeder's connection
// ends. Nobody can call in (the program stopped listening, as it does when nobody from outside
// ever did). The tracker's failure comes out as its event, and when the network is back the
// seeder the tracker names is tried at once, not a minute after its connection ended.
TEST_F(EngineSession, AfterTheNetworkComesBackTheTrackersPeersAreTriedAtOnce) {
    using Steady = std::chrono::steady_clock;
    swarm::Tracker tracker(swarm::Tracker::Options{});
    FileSet set =
        MakeFileSet(temp.path() / "seed", "Set", {4 * 1024 * 1024}, {tracker.announceUrl()});
    auto seeder = peer(set, Role::Seeder, "127.0.0.2", kPeerPort, 64 * 1024);
    EngineRun e(SeedWithFreeFirstPort());
    e.engine.StopListening();
    ASSERT_TRUE(e.add(set.torrent, temp.path() / "down"));
    ASSERT_TRUE(e.until([&] { return seeder->totalUploaded() > 0; }));

    tracker.setUp(false);
    seeder.reset();
    ASSERT_TRUE(e.until([&] { return e.task.peerCount() == 0; }));
    e.task.ForceReannounce(0);
    EXPECT_TRUE(e.until([&] { return e.count(Code::TrackerError) > 0; }, std::chrono::seconds(20)));
    EXPECT_GT(tracker.resets("127.0.0.1"), 0u);

    tracker.setUp(true);
    seeder = peer(set, Role::Seeder, "127.0.0.2", kPeerPort, 64 * 1024);
    const auto back = Steady::now();
    e.task.ForceReannounce(0);
    const auto uploads = [&] { return seeder->totalUploaded() > 0; };
    const bool soon = e.until(uploads, std::chrono::seconds(20));
    if (!soon) {
        e.until(uploads, std::chrono::seconds(100)); // how late it came, for the record
    }
    std::printf("[ network  ] the seeder uploads again %.1f s after the network came back\n",
                std::chrono::duration<double>(Steady::now() - back).count());
    EXPECT_TRUE(soon);
}

TEST_F(EngineSession, AFileErrorLeavesTheTorrentPausedAndEachResumeRetriesOnce) {
    FileSet set = MakeFileSet(temp.path() / "seed", "Set", {1024 * 1024, 1024});
    // A file stands where the torrent needs its folder.
    fs::create_directories(temp.path() / "down");
    std::ofstream(temp.path() / "down" / "Set") << "in the way";
    EngineRun e(SeedWithFreeFirstPort());
    ASSERT_TRUE(e.add(set.torrent, temp.path() / "down"));
    auto seeder = peer(set, Role::Server, "127.0.0.2");
    e.task.ConnectPeer("127.0.0.2", kPeerPort);
    ASSERT_TRUE(e.untilEvent(Code::TorrentPaused));
    e.pump();
    EXPECT_TRUE(e.task.isPaused());
    EXPECT_EQ(e.count(Code::FileError), 1);

    e.events.clear();
    e.task.Resume();
    ASSERT_TRUE(e.pauseSettles());
    // Writes under way when the error struck fail too; they are the same error.
    EXPECT_EQ(e.count(Code::FileError), 1) << "one message per retry, not a storm";
    EXPECT_TRUE(e.task.isPaused());

    // With the obstacle gone, a resume completes the download.
    fs::remove(temp.path() / "down" / "Set");
    e.task.Resume();
    e.task.ConnectPeer("127.0.0.2", kPeerPort);
    EXPECT_TRUE(e.untilEvent(Code::TorrentFinished));
    EXPECT_TRUE(FilesArrive(e, set, temp.path() / "down"));
}

TEST_F(EngineSession, BadTorrentBytesAreRefusedWithoutATask) {
    EngineRun e(SeedWithFreeFirstPort());
    const std::string bad[] = {"", "not bencoding", "d4:infod4:name1:xee", "i1e", "l", "d"};
    for (const auto& b : bad) {
        EXPECT_FALSE(e.engine.AddTorrentFromBuffer(b.data(), b.size(), "/tmp", e.task)) << b;
        EXPECT_FALSE(e.task.isValid());
    }
    FileSet set = MakeFileSet(temp.path() / "seed", "Set", {1024});
    // Cut short, flipped bytes: never an exception, never a torrent.
    for (std::size_t n = 0; n + 1 < set.torrent.size(); n += 7) {
        EXPECT_FALSE(e.engine.AddTorrentFromBuffer(set.torrent.data(), n, "/tmp", e.task));
    }
    std::vector<char> flipped = set.torrent;
    std::mt19937 random(5);
    for (int i = 0; i < 100; ++i) {
        flipped[random() % flipped.size()] = static_cast<char>(random());
        DownloadTask t;
        e.engine.AddTorrentFromBuffer(flipped.data(), flipped.size(),
                                      QString::fromStdString((temp.path() / "f").string()), t);
    }
    EXPECT_TRUE(e.engine.AddTorrentFromBuffer(set.torrent.data(), set.torrent.size(),
                                              QString::fromStdString((temp.path() / "d").string()),
                                              e.task));
    EXPECT_TRUE(e.task.isValid());
}

// A full disk and a read-only disk only switch the torrent to upload mode in the library;
// the program keeps it paused with one message per attempt.
TEST_F(EngineSession, AFullOrReadOnlyDiskPausesOnceAndEachResumeRetriesOnce) {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "needs a mount namespace of its own";
    }
    FileSet set = MakeFileSet(temp.path() / "seed", "Set", {3 * 1024 * 1024});
    auto seeder = peer(set, Role::Server, "127.0.0.2");
    const fs::path full = temp.path() / "full";
    const fs::path readOnly = temp.path() / "ro";
    fs::create_directories(full);
    fs::create_directories(readOnly);
    ASSERT_EQ(mount("tmpfs", full.c_str(), "tmpfs", 0, "size=1m"), 0);
    ASSERT_EQ(mount("tmpfs", readOnly.c_str(), "tmpfs", MS_RDONLY, "size=1m"), 0);

    for (const auto& folder : {full, readOnly}) {
        SCOPED_TRACE(folder.string());
        EngineRun e(SeedWithFreeFirstPort());
        ASSERT_TRUE(e.add(set.torrent, folder));
        e.task.ConnectPeer("127.0.0.2", kPeerPort);
        ASSERT_TRUE(e.pauseSettles());
        EXPECT_EQ(e.count(Code::FileError), 1);
        EXPECT_TRUE(e.task.isPaused());

        for (int retry = 0; retry < 2; ++retry) {
            e.events.clear();
            e.task.Resume();
            e.task.ConnectPeer("127.0.0.2", kPeerPort);
            ASSERT_TRUE(e.pauseSettles());
            EXPECT_EQ(e.count(Code::FileError), 1) << "retry " << retry;
            EXPECT_TRUE(e.task.isPaused());
        }
        EXPECT_LT(e.task.percentDone(), 100);
    }
    umount2(full.c_str(), MNT_DETACH);
    umount2(readOnly.c_str(), MNT_DETACH);
}

// v2 and hybrid torrents start every file at a piece boundary, padding the file before it with
// a pad file that is neither downloaded nor counted as done: the size the figures compare with
// must leave the pads out too, or a finished download never reaches its size.
TEST_F(EngineSession, EveryTorrentKindEndsAtItsWholeSize) {
    using publisher::TorrentKind;
    const std::vector<std::int64_t> sizes = {300 * 1024, 1000, 700 * 1024 + 5, 1};
    const std::int64_t payload = 300 * 1024 + 1000 + 700 * 1024 + 5 + 1;
    int round = 0;
    for (const TorrentKind kind : {TorrentKind::V1, TorrentKind::V2, TorrentKind::Hybrid}) {
        SCOPED_TRACE(round);
        const fs::path dir = temp.path() / std::to_string(++round);
        FileSet set = MakeFileSet(dir / "seed", "Game", sizes, {}, 64 * 1024, kind);
        // A port of its own each round, so that each seeder keeps a folder of its own.
        const int port = kPeerPort + round;
        auto seeder = peer(set, Role::Seeder, "127.0.0.2", port);

        EngineRun e(SeedWithFreeFirstPort() + round);
        ASSERT_TRUE(e.add(set.torrent, dir / "down"));
        EXPECT_EQ(e.task.totalSize(), payload);
        e.task.ConnectPeer("127.0.0.2", static_cast<std::uint16_t>(port));
        ASSERT_TRUE(e.untilEvent(Code::TorrentFinished));
        EXPECT_TRUE(FilesArrive(e, set, dir / "down"));
        EXPECT_EQ(e.task.totalDone(), payload);
        EXPECT_EQ(e.task.totalSize(), payload);
        EXPECT_EQ(e.task.percentDone(), 100);
        EXPECT_TRUE(e.task.isComplete());
    }
}

// An installer of thousands of files under the usual soft limit of 1,024 descriptors: the
// library keeps no more files open than the limit leaves room for, so no file fails to open.
TEST_F(EngineSession, ThreeThousandFilesDownloadUnderASoftLimitOf1024OpenFiles) {
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    ASSERT_GE(limit.rlim_max, 1024u);
    limit.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);

    const std::vector<std::int64_t> sizes(3000, 2048);
    FileSet set = MakeFileSet(temp.path() / "seed", "Many", sizes, {}, 16 * 1024);
    auto seeder = peer(set, Role::Seeder, "127.0.0.2");

    auto e = std::make_unique<EngineRun>(SeedWithFreeFirstPort());
    e->on(Code::FileError, [](const EngineEvent& error) {
        ADD_FAILURE() << "file error: " << error.message.toStdString();
    });
    ASSERT_TRUE(e->add(set.torrent, temp.path() / "down"));
    e->task.ConnectPeer("127.0.0.2", kPeerPort);
    ASSERT_TRUE(e->until([&] { return e->seen(Code::TorrentFinished) || e->seen(Code::FileError); },
                         std::chrono::seconds(240)));
    EXPECT_EQ(e->task.totalDone(), 3000 * 2048);
    // Both sessions share this process's 1,024 descriptors; the files are compared once
    // they have let go of theirs.
    e.reset();
    seeder.reset();
    EXPECT_TRUE(SameFiles(set, temp.path() / "down"));
}
