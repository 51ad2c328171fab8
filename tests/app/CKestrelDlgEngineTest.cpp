#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include <QApplication>
#include <QRegularExpression>
#include <QTest>

#include "Publisher.h"
#include "Screenshot.h"
#include "SwarmHarness.h"
#include "engine/DownloadEngine.h"
#include "engine/ListenPortDraw.h"
#include "net/StatisticsRules.h"
#include "support/ManualClock.h"
#include "support/RecordingPrompt.h"
#include "support/RecordingSender.h"
#include "tools/swarm/Peer.h"
#include "tools/swarm/Tracker.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const QString kDiskFull =
    "Disk space is full. Please try again after gaining additional disk space";
const QString kQuestion =
    "Download has not been completed. Would you still like to close the program?";

// Records like RecordingPrompt, and runs whileOpen while a message box would be open.
class BoxPrompt final : public Prompt {
public:
    RecordingPrompt record;
    std::function<void()> whileOpen;

    Answer messageBox(QWidget* owner, const QString& text, Buttons buttons) override {
        if (whileOpen) {
            whileOpen();
        }
        return record.messageBox(owner, text, buttons);
    }
    QString chooseFolder(QWidget* owner, const QString& title) override {
        return record.chooseFolder(owner, title);
    }
    bool openExternal(const QString& target) override { return record.openExternal(target); }
};

CHoverButton& PauseButton(CKestrelDlg& dlg) {
    return dlg.Skin().button(skin::PauseButton);
}
bool ResumeLook(CKestrelDlg& dlg) {
    return dlg.Skin().pauseLook() == CSkinControls::PauseLook::Resume;
}
// Timer 114 starts only with the reaction to the torrent-checked event.
bool Checked(CKestrelDlg& dlg) {
    return dlg.Timers().isRunning(CKestrelDlg::kServerPeerTimer);
}

// What one refresh wrote, and the states that held both before and after it: a state that held
// on both sides held throughout, since a torrent never goes back to checking.
struct Sample {
    bool checking = false, downloading = false, complete = false;
    float firstFileBefore = 0, firstFileAfter = 0;
    int percentBefore = 0, percentAfter = 0;
    QString size, rate, peers, percent;
    int bar = 0;
};
Sample Refresh(CKestrelDlg& dlg) {
    const DownloadTask& task = dlg.Task();
    Sample s;
    const bool checking = task.isChecking();
    const bool downloading = task.isDownloading();
    const bool complete = task.isComplete();
    s.firstFileBefore = task.fileProgress().front();
    s.percentBefore = task.percentDone();
    dlg.Status().RefreshStatus(task);
    s.checking = checking && task.isChecking();
    s.downloading = downloading && task.isDownloading();
    s.complete = complete && task.isComplete();
    s.firstFileAfter = task.fileProgress().front();
    s.percentAfter = task.percentDone();
    CSkinControls& skin = dlg.Skin();
    s.size = skin.label(skin::SizeValue).text();
    s.rate = skin.label(skin::RateValue).text();
    s.peers = skin.label(skin::PeerValue).text();
    s.percent = skin.label(skin::PercentValue).text();
    s.bar = skin.progressBar().value();
    return s;
}

class DlgEngine : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnlyLoopback()) {
            GTEST_SKIP() << "needs a network namespace of its own (run through ctest)";
        }
    }

    // The publisher's file server, its tracker and one seeder of the given upload rate.
    void startPublisher(std::uint64_t bytes, int seederRate = 0,
                        std::map<int, std::string> fields = {}, std::string name = {}) {
        tracker = std::make_unique<swarm::Tracker>(swarm::Tracker::Options{});
        publisher::PublisherOptions o;
        if (!name.empty()) {
            o.generatedName = std::move(name);
        }
        o.generatedBytes = bytes;
        o.workFolder = temp.path() / "publisher";
        o.announceUrls = {tracker->announceUrl()};
        o.pieceSize = 256 * 1024;
        o.checkFields = std::move(fields);
        pub = std::make_unique<publisher::Publisher>(o);
        pub->start();
        swarm::Peer::Options s;
        s.role = swarm::Peer::Role::Seeder;
        s.address = "127.0.0.11";
        s.uploadRate = seederRate;
        s.dataDir = temp.path() / "seeder";
        seeder = std::make_unique<swarm::Peer>(pub->torrent(), pub->contentRoot().parent_path(), s);
        ASSERT_TRUE(waitFor([&] { return seeder->isReady(); }));
    }
    std::unique_ptr<swarm::Peer> downloader(const std::string& address) {
        swarm::Peer::Options o;
        o.role = swarm::Peer::Role::Downloader;
        o.address = address;
        o.dataDir = temp.path() / ("downloader-" + address);
        return std::make_unique<swarm::Peer>(pub->torrent(), fs::path(), o);
    }
    std::unique_ptr<CKestrelDlg> makeDlg(Prompt& answers, Clock& time) {
        return std::make_unique<CKestrelDlg>(answers, time, sender,
                                             QString::fromStdString(pub->origin()));
    }
    std::unique_ptr<CKestrelDlg> makeDlg() { return makeDlg(prompt, clock); }
    // Copies the publisher's set into folder, all of it but the files named.
    void copySet(const fs::path& folder, const std::set<fs::path>& leaveOut = {}) {
        const auto name = pub->contentRoot().filename();
        for (const auto& f : fs::recursive_directory_iterator(pub->contentRoot())) {
            const auto rel = fs::relative(f.path(), pub->contentRoot());
            if (f.is_regular_file() && !leaveOut.count(rel)) {
                fs::create_directories((folder / name / rel).parent_path());
                fs::copy_file(f.path(), folder / name / rel);
            }
        }
    }
    // The real 300 ms timer drives the status refresh and the event pump meanwhile.
    bool until(const std::function<bool()>& pred, std::chrono::milliseconds d = 120s) {
        return waitFor(pred, d);
    }
    bool downloadedIntact(const fs::path& folder) {
        const auto name = pub->contentRoot().filename();
        for (const auto& f : fs::recursive_directory_iterator(pub->contentRoot())) {
            if (!f.is_regular_file()) {
                continue;
            }
            const auto rel = fs::relative(f.path(), pub->contentRoot());
            std::ifstream a(f.path(), std::ios::binary), b(folder / name / rel, std::ios::binary);
            std::string x((std::istreambuf_iterator<char>(a)), {});
            std::string y((std::istreambuf_iterator<char>(b)), {});
            if (!b || x != y) {
                return false;
            }
        }
        return true;
    }

    TempFolder temp;
    RecordingPrompt prompt;
    ManualClock clock;
    RecordingSender sender;
    std::unique_ptr<swarm::Tracker> tracker;
    std::unique_ptr<publisher::Publisher> pub;
    std::unique_ptr<swarm::Peer> seeder;
};

} // namespace

TEST_F(DlgEngine, DownloadsThePublishersFileSetThroughTheWindowAndSeedsOn) {
    startPublisher(24 * 1024 * 1024);
    const fs::path folder = temp.path() / "save";
    fs::create_directories(folder);
    prompt.folders = {QString::fromStdString(folder.string())};
    auto dlg = makeDlg();
    dlg->OnInitDialog();

    ASSERT_TRUE(dlg->Engine());
    ASSERT_TRUE(dlg->Task().isValid());
    ASSERT_EQ(prompt.texts(RecordingPrompt::Kind::Folder),
              std::vector<QString>{"Select the directory you would like to save the file to"});
    EXPECT_GE(dlg->Status().ListenPort(), 10000);
    EXPECT_LE(dlg->Status().ListenPort(), 42767);
    EXPECT_EQ((DownloadEngine::Services{true, true, true, true}), dlg->Engine()->RunningServices());
    const std::string name = pub->contentRoot().filename().string();
    EXPECT_EQ(dlg->Skin().label(skin::PathValue).text().toStdString(),
              " : " + folder.string() + "/" + name);
    EXPECT_FALSE(PauseButton(*dlg).isEnabled());
    EXPECT_TRUE(dlg->Timers().isRunning(CKestrelDlg::kStatusTimer));

    // Checked: the timers start with their periods, the web seed's among them, in order.
    ASSERT_TRUE(until([&] { return Checked(*dlg); }));
    EXPECT_EQ(dlg->Timers().startOrder(), (std::vector<int>{109, 115, 112, 111, 113, 114, 116}));
    EXPECT_EQ(dlg->Timers().running(), (std::vector<std::pair<int, int>>{{109, 300},
                                                                         {111, 700},
                                                                         {112, 60000},
                                                                         {113, 10000},
                                                                         {114, 120000},
                                                                         {115, 900000},
                                                                         {116, 300000}}));

    // Finished: the button goes off for good.
    ASSERT_TRUE(until([&] { return dlg->Task().isComplete() && !PauseButton(*dlg).isEnabled(); }));
    EXPECT_TRUE(downloadedIntact(folder));
    EXPECT_TRUE(prompt.texts(RecordingPrompt::Kind::Message).empty());

    // The tracker and the seeder saw the program's identity.
    bool announced = false;
    for (const auto& a : tracker->announces()) {
        if (a.peerId.rfind("-VR0C10-", 0) == 0) {
            announced = true;
            EXPECT_EQ(a.userAgent, "VrtTorrent/0.12.1.0");
        }
    }
    EXPECT_TRUE(announced);
    bool fromSeeder = false;
    for (const auto& r : seeder->uploads()) {
        if (r.peerId.rfind("-VR0C10-", 0) == 0 && r.uploaded > 0) {
            fromSeeder = true;
            EXPECT_EQ(r.userAgent, "VrtTorrent/0.12.1.0");
        }
    }
    EXPECT_TRUE(fromSeeder);

    // Seeding goes on: a newcomer that knows only the program gets everything from it.
    seeder.reset();
    auto newcomer = downloader("127.0.0.30");
    newcomer->connect("127.0.0.1", dlg->Status().ListenPort());
    EXPECT_TRUE(until([&] { return newcomer->isReady(); }));

    // Complete: Close asks nothing and ends after its wait.
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    EXPECT_TRUE(prompt.texts(RecordingPrompt::Kind::Message).empty());
    EXPECT_EQ(clock.waits, std::vector<std::chrono::milliseconds>{2000ms});
    EXPECT_TRUE(dlg->Ended());
}

TEST_F(DlgEngine, CloseHidesPausesTheSessionStopsTheServicesWaitsThenEnds) {
    startPublisher(2 * 1024 * 1024, 64 * 1024);
    prompt.folders = {QString::fromStdString((temp.path() / "save").string())};
    auto dlg = makeDlg();
    dlg->OnInitDialog();
    ASSERT_TRUE(until([&] { return Checked(*dlg); }));
    ASSERT_FALSE(dlg->Engine()->IsSessionPaused());

    // The state at the moment of the wait: everything stopped, the window not yet ended.
    struct AtWait {
        bool visible, enabled, sessionPaused, ended;
        DownloadEngine::Services services;
        bool timers;
    };
    std::vector<AtWait> seen;
    clock.onWait = [&] {
        seen.push_back({dlg->isVisible(), dlg->isEnabled(), dlg->Engine()->IsSessionPaused(),
                        dlg->Ended(), dlg->Engine()->RunningServices(),
                        !dlg->Timers().running().empty()});
    };
    prompt.answers = {Prompt::Answer::Yes};
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].visible);
    EXPECT_FALSE(seen[0].enabled);
    EXPECT_TRUE(seen[0].sessionPaused);
    EXPECT_EQ(seen[0].services, DownloadEngine::Services{});
    EXPECT_FALSE(seen[0].ended);
    EXPECT_TRUE(seen[0].timers);
    EXPECT_EQ(clock.waits, std::vector<std::chrono::milliseconds>{2000ms});
    EXPECT_TRUE(dlg->Ended());
    EXPECT_TRUE(dlg->Timers().running().empty());
}

TEST_F(DlgEngine, PauseResumeAndCloseWhileIncomplete) {
    startPublisher(16 * 1024 * 1024, 256 * 1024, {{5, "abcde"}}); // slow; web seed too short
    prompt.folders = {QString::fromStdString((temp.path() / "save").string())};
    auto dlg = makeDlg();
    dlg->OnInitDialog();
    ASSERT_TRUE(until([&] { return Checked(*dlg) && dlg->Task().peerCount() > 0; }));
    EXPECT_TRUE(PauseButton(*dlg).isEnabled());
    EXPECT_EQ(dlg->Timers().startOrder(), (std::vector<int>{109, 115, 114, 116}));
    ASSERT_FALSE(dlg->Task().isPaused());

    // The real button pauses: the Resume look at once, kept when the library confirms.
    QTest::mouseClick(&PauseButton(*dlg), Qt::LeftButton);
    EXPECT_TRUE(dlg->Task().isPaused());
    EXPECT_TRUE(ResumeLook(*dlg));
    ASSERT_TRUE(until([&] { return dlg->Task().peerCount() == 0; }));
    EXPECT_TRUE(ResumeLook(*dlg));

    QTest::mouseClick(&PauseButton(*dlg), Qt::LeftButton);
    EXPECT_FALSE(dlg->Task().isPaused());
    EXPECT_FALSE(ResumeLook(*dlg));

    // Pause and resume within one tick: the library's paused report arrives after the resume
    // and must not show the Resume look on a running torrent.
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    EXPECT_FALSE(dlg->Task().isPaused());
    EXPECT_FALSE(until([&] { return ResumeLook(*dlg); }, 3s));

    // Incomplete: Close asks; No changes nothing.
    prompt.answers = {Prompt::Answer::No};
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    ASSERT_EQ(prompt.texts(RecordingPrompt::Kind::Message), std::vector<QString>{kQuestion});
    EXPECT_FALSE(dlg->Ended());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(clock.waits.empty());
    EXPECT_FALSE(dlg->Task().isPaused());
    EXPECT_TRUE(dlg->Timers().isRunning(109));
    EXPECT_TRUE(dlg->Engine()->RunningServices().dht);

    prompt.answers = {Prompt::Answer::Yes};
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    EXPECT_TRUE(dlg->Ended());
    EXPECT_EQ(clock.waits, std::vector<std::chrono::milliseconds>{2000ms});
}

TEST_F(DlgEngine, AFileErrorShowsTheDiskMessageOnceAndTheRealButtonResumes) {
    startPublisher(4 * 1024 * 1024);
    const fs::path folder = temp.path() / "save";
    fs::create_directories(folder);
    // A file stands where the torrent needs its folder.
    std::ofstream(folder / pub->contentRoot().filename()) << "in the way";
    BoxPrompt box;
    box.record.folders = {QString::fromStdString(folder.string())};
    auto dlg = makeDlg(box, clock);
    // While the disk message is open its loop keeps timer 109 ticking; the paused report
    // queued behind the error must wait for the box to close.
    std::vector<bool> resumeLookInBox;
    box.whileOpen = [&] {
        until([&] { return dlg->Task().isPaused(); }, 10s);
        dlg->OnTimer(CKestrelDlg::kStatusTimer);
        resumeLookInBox.push_back(ResumeLook(*dlg));
    };
    dlg->OnInitDialog();
    const auto messages = [&] { return box.record.texts(RecordingPrompt::Kind::Message); };
    ASSERT_TRUE(until([&] { return ResumeLook(*dlg) && !messages().empty(); }));
    EXPECT_EQ(messages(), std::vector<QString>{kDiskFull});
    EXPECT_EQ(resumeLookInBox, std::vector<bool>{false});
    EXPECT_TRUE(dlg->Task().isPaused());
    EXPECT_FALSE(Checked(*dlg));

    // Resume with the real button retries the disk: still failing, one more message, paused.
    box.whileOpen = nullptr;
    QTest::mouseClick(&PauseButton(*dlg), Qt::LeftButton);
    EXPECT_FALSE(ResumeLook(*dlg)) << "the button took the click";
    ASSERT_TRUE(until([&] { return ResumeLook(*dlg) && messages().size() == 2; }));
    EXPECT_EQ(messages(), (std::vector<QString>{kDiskFull, kDiskFull}));
}

TEST_F(DlgEngine, AFolderHoldingTheWholeSetKeepsPauseOff) {
    startPublisher(2 * 1024 * 1024);
    const fs::path folder = temp.path() / "save";
    copySet(folder);
    prompt.folders = {QString::fromStdString(folder.string())};
    auto dlg = makeDlg();
    dlg->OnInitDialog();
    ASSERT_TRUE(until([&] { return Checked(*dlg); }));
    EXPECT_TRUE(dlg->Task().isComplete());
    EXPECT_FALSE(PauseButton(*dlg).isEnabled());
    // A player who already has the set still started at the check: the close report says when.
    EXPECT_EQ(dlg->Statistics().startTime, TimeStamp(clock.localTime()));
}

TEST_F(DlgEngine, AStartThatStopsEarlyClosesWithoutASession) {
    startPublisher(1024 * 1024, 0, {{0, "-1"}}); // the service is closed
    {
        auto dlg = makeDlg();
        EXPECT_EQ(dlg->DoModal(), QDialog::Rejected);
        EXPECT_TRUE(dlg->Ended());
        EXPECT_EQ(dlg->Engine(), nullptr);
        EXPECT_TRUE(clock.waits.empty()); // no wait, no reports
        EXPECT_TRUE(prompt.texts(RecordingPrompt::Kind::Folder).empty());
    }
    pub->setCheckField(0, "12");
    for (const QString& choice : {QString(), QString("/")}) {
        prompt.entries.clear();
        prompt.folders = {choice}; // cancelled, or shorter than two characters
        auto dlg = makeDlg();
        EXPECT_EQ(dlg->DoModal(), QDialog::Rejected);
        EXPECT_EQ(dlg->Engine(), nullptr);
        EXPECT_TRUE(clock.waits.empty());
        EXPECT_TRUE(prompt.texts(RecordingPrompt::Kind::Message).empty());
    }
    EXPECT_TRUE(sender.background.empty());
}

TEST_F(DlgEngine, TorrentBytesTheLibraryRefusesShowMessageFiveAndClose) {
    startPublisher(1024 * 1024);
    pub->setFault(publisher::Publisher::kTorrentPath, publisher::Fault::sized(5000));
    prompt.folders = {QString::fromStdString((temp.path() / "save").string())};
    auto dlg = makeDlg();
    EXPECT_EQ(dlg->DoModal(), QDialog::Rejected);
    EXPECT_NE(dlg->Engine(), nullptr);
    EXPECT_FALSE(dlg->Task().isValid());
    EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Message),
              std::vector<QString>{"Cannot connect to server. Please check your network. (5)"});
    EXPECT_EQ(clock.waits, std::vector<std::chrono::milliseconds>{2000ms});
}

// A torrent that would put a hidden folder into the chosen one (the home folder, say) is
// refused like bytes the library refuses, and nothing lands there.
TEST_F(DlgEngine, AHiddenTopLevelNameShowsMessageFiveAndWritesNothing) {
    startPublisher(1024 * 1024, 0, {}, ".config");
    const fs::path home = temp.path() / "home";
    fs::create_directories(home);
    prompt.folders = {QString::fromStdString(home.string())};
    auto dlg = makeDlg();
    EXPECT_EQ(dlg->DoModal(), QDialog::Rejected);
    EXPECT_FALSE(dlg->Task().isValid());
    EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Message),
              std::vector<QString>{"Cannot connect to server. Please check your network. (5)"});
    EXPECT_TRUE(fs::is_empty(home));
}

TEST_F(DlgEngine, TakenPortsAndTheListenCheck) {
    startPublisher(2 * 1024 * 1024, 1024 * 1024);
    ASSERT_TRUE(AddLoopbackAddress("198.51.100.1"));
    ASSERT_TRUE(AddLoopbackAddress("198.51.100.2"));
    {
        // The first port is taken: the second draw is the port, and the services run. The
        // draw is seeded with the clock's time in seconds.
        PortRandom random(99);
        const auto first = DrawListenPort(random.next());
        const auto second = DrawListenPort(random.next());
        TakenPort taken(first);
        prompt.folders = {QString::fromStdString((temp.path() / "a").string())};
        ManualClock at99(99);
        auto dlg = makeDlg(prompt, at99);
        dlg->OnInitDialog();
        EXPECT_EQ(dlg->Status().ListenPort(), second);
        EXPECT_EQ((DownloadEngine::Services{true, true, true, true}),
                  dlg->Engine()->RunningServices());

        // Somebody from outside connected: timer 115 keeps the port.
        auto outside = downloader("198.51.100.2");
        outside->connect("198.51.100.1", second);
        ASSERT_TRUE(until([&] { return dlg->Engine()->HasIncomingConnections(); }));
        dlg->OnTimer(CKestrelDlg::kListenCheckTimer);
        EXPECT_EQ(dlg->Status().ListenPort(), second);
        EXPECT_TRUE(dlg->Engine()->IsListening());
    }
    {
        // Nobody connected: timer 115 stops listening and the port goes from the peers line.
        prompt.folders = {QString::fromStdString((temp.path() / "b").string())};
        auto dlg = makeDlg();
        dlg->OnInitDialog();
        ASSERT_NE(dlg->Status().ListenPort(), 0);
        ASSERT_TRUE(until([&] { return Checked(*dlg); }));
        EXPECT_TRUE(dlg->Timers().isRunning(115));
        dlg->OnTimer(CKestrelDlg::kListenCheckTimer);
        EXPECT_FALSE(dlg->Timers().isRunning(115));
        EXPECT_EQ(dlg->Status().ListenPort(), 0);
        EXPECT_FALSE(dlg->Engine()->IsListening());
    }
    {
        // Ten taken ports: no port, none of the services, and the download still arrives.
        PortRandom random(1234);
        std::vector<std::unique_ptr<TakenPort>> taken;
        for (int i = 0; i < 10; ++i) {
            taken.push_back(std::make_unique<TakenPort>(DrawListenPort(random.next())));
        }
        const fs::path folder = temp.path() / "c";
        prompt.folders = {QString::fromStdString(folder.string())};
        ManualClock at1234(1234);
        auto dlg = makeDlg(prompt, at1234);
        dlg->OnInitDialog();
        ASSERT_TRUE(dlg->Task().isValid());
        EXPECT_EQ(dlg->Status().ListenPort(), 0);
        EXPECT_EQ(dlg->Engine()->RunningServices(), DownloadEngine::Services{});
        EXPECT_TRUE(until([&] { return dlg->Task().isComplete(); }));
        EXPECT_TRUE(downloadedIntact(folder));
    }
}

TEST_F(DlgEngine, StatusLinesFollowTheRealTorrentFromCheckToComplete) {
    // A slow seeder and no web seed, so the download lasts long enough to be seen and paused.
    startPublisher(32 * 1024 * 1024, 512 * 1024, {{5, "abcde"}});
    // The save folder already holds all of the set but one archive: the torrent is checked
    // first; while it is checked the percentage follows the first file in the torrent's order.
    const fs::path folder = temp.path() / "save";
    copySet(folder, {"Data/Movies.pak"});
    prompt.folders = {QString::fromStdString(folder.string())};
    auto owned = makeDlg();
    CKestrelDlg& dlg = *owned;
    dlg.OnInitDialog();
    ASSERT_TRUE(dlg.Task().isValid());
    const QString port = QString::number(dlg.Status().ListenPort());
    ASSERT_NE(dlg.Status().ListenPort(), 0);
    const QString total = "32.00 MB";

    // Checking: nothing done yet, no peers, and the percentage follows the first file alone.
    int checked = 0;
    ASSERT_TRUE(until([&] {
        const auto s = Refresh(dlg);
        if (!s.checking || s.downloading || s.complete) {
            return !dlg.Task().isChecking();
        }
        ++checked;
        EXPECT_EQ(s.size, " : 0.00 B / " + total);
        EXPECT_EQ(s.rate, " : 0.00 B/s");
        EXPECT_EQ(s.peers, " : 0 peers (Listen port : " + port + ")");
        EXPECT_EQ(s.percent, QString::number(s.bar) + "%");
        EXPECT_GE(s.bar, static_cast<int>(s.firstFileBefore * 100.0));
        EXPECT_LE(s.bar, static_cast<int>(s.firstFileAfter * 100.0));
        return false;
    }));
    EXPECT_GT(checked, 0);

    // Downloading: the live figures, the percentage the torrent's own.
    const QRegularExpression sizeLine(R"(^ : \d+\.\d\d (B|KB|MB) / 32\.00 MB$)");
    const QRegularExpression rateLine(
        R"(^ : \d+\.\d\d (B|KB|MB)/s( - About (\d+h \d+m|\d+m \d+s) Remains)?$)");
    const QRegularExpression peersLine("^ : (\\d+) peers \\(Listen port : " + port + "\\)$");
    const auto checkDownloading = [&](const Sample& s) {
        EXPECT_TRUE(sizeLine.match(s.size).hasMatch()) << s.size.toStdString();
        EXPECT_TRUE(rateLine.match(s.rate).hasMatch()) << s.rate.toStdString();
        EXPECT_TRUE(peersLine.match(s.peers).hasMatch()) << s.peers.toStdString();
        EXPECT_EQ(s.percent, QString::number(s.bar) + "%");
        EXPECT_GE(s.bar, s.percentBefore);
        EXPECT_LE(s.bar, s.percentAfter);
    };
    ASSERT_TRUE(until([&] {
        const auto s = Refresh(dlg);
        if (!s.downloading) {
            return false;
        }
        checkDownloading(s);
        // Data arriving from a peer: a rate with its time left.
        return s.rate.contains("Remains") && !s.peers.startsWith(" : 0 peers") && s.bar < 100;
    }));
    SaveScreenshot(dlg.grab().toImage(), "real-downloading");

    // Paused: still the downloading branch with the live figures. The peers go, no more data
    // arrives, and the library lets its rate estimate fade rather than drop it to 0.
    dlg.OnCommand(CKestrelDlg::kPauseResumeCommand);
    Sample paused;
    ASSERT_TRUE(until([&] {
        paused = Refresh(dlg);
        if (!paused.downloading) {
            return false;
        }
        checkDownloading(paused);
        return dlg.Task().isPaused() && paused.peers.startsWith(" : 0 peers");
    }));
    ASSERT_TRUE(
        until([&] { return Refresh(dlg).rate != paused.rate || paused.rate == " : 0.00 B/s"; }));
    const auto later = Refresh(dlg);
    EXPECT_TRUE(later.downloading);
    EXPECT_EQ(later.size, paused.size);
    EXPECT_EQ(later.percent, paused.percent);
    SaveScreenshot(dlg.grab().toImage(), "real-paused");

    // Resumed: the library waits a minute before it dials the seeder it dropped again, so a
    // second one calls in.
    dlg.OnCommand(CKestrelDlg::kPauseResumeCommand);
    swarm::Peer::Options o;
    o.role = swarm::Peer::Role::Server;
    o.address = "127.0.0.12";
    o.trustData = true;
    o.dataDir = temp.path() / "second-seeder";
    swarm::Peer second(pub->torrent(), pub->contentRoot().parent_path(), o);
    ASSERT_TRUE(until([&] { return second.isReady(); }));
    second.connect("127.0.0.1", dlg.Status().ListenPort());

    // Complete: a full bar and the whole size done.
    ASSERT_TRUE(until([&] { return Refresh(dlg).complete && !PauseButton(dlg).isEnabled(); }));
    const auto s = Refresh(dlg);
    ASSERT_TRUE(s.complete);
    EXPECT_EQ(s.size, " : " + total + " / " + total);
    EXPECT_TRUE(s.rate.startsWith(" : 0.00 B/s")) << s.rate.toStdString();
    EXPECT_TRUE(peersLine.match(s.peers).hasMatch()) << s.peers.toStdString();
    EXPECT_EQ(s.percent, "100%");
    EXPECT_EQ(s.bar, 100);
    SaveScreenshot(dlg.grab().toImage(), "real-complete");
    EXPECT_TRUE(downloadedIntact(folder));
}
