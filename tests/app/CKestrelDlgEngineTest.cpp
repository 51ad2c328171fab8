#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <fstream>

#include <QApplication>
#include <QRegularExpression>

#include "Publisher.h"
#include "Screenshot.h"
#include "SwarmHarness.h"
#include "engine/DownloadEngine.h"
#include "engine/ListenPortDraw.h"
#include "support/RecordingPrompt.h"
#include "tools/swarm/Peer.h"
#include "tools/swarm/Tracker.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const QString kDiskFull =
    "Disk space is full. Please try again after gaining additional disk space";
const QString kQuestion =
    "Download has not been completed. Would you still like to close the program?";

// The real window with its engine, recording what it hands to the skin and to the work of
// other parts.
class EngineDlg : public CKestrelDlg {
public:
    using CKestrelDlg::CKestrelDlg;
    using CKestrelDlg::RequestClose;

    std::vector<std::string> calls;
    std::optional<std::uint32_t> seed;

    DownloadEngine* engine() const { return engine_.get(); }
    DownloadTask& task() { return task_; }
    quint16 listenPort() const { return listenPort_; }
    std::vector<std::uint16_t>& chosenServerPeer() { return chosenServerPeer_; }
    int count(const std::string& call) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), call));
    }
    void tick(int id) { OnTimer(id); }

protected:
    std::uint32_t PortSeed() const override { return seed ? *seed : CKestrelDlg::PortSeed(); }
    void EnablePauseButton(bool enabled) override {
        calls.push_back(enabled ? "EnablePause" : "DisablePause");
    }
    void SetPauseButtonLook(PauseLook look) override {
        calls.push_back(look == PauseLook::Pause ? "PauseLook" : "ResumeLook");
    }
    void ShowFilePath(const QString& folder, const QString& name) override {
        calls.push_back("ShowFilePath " + folder.toStdString() + " " + name.toStdString());
    }
    void CallInServerPeer() override { calls.push_back("CallInServerPeer"); }
    void SetInternalIp() override { calls.push_back("SetInternalIp"); }
    void StampLocalTime(QString& field) override {
        calls.push_back(&field == &statistics_.startTime      ? "StampStart"
                        : &field == &statistics_.completeTime ? "StampComplete"
                                                              : "StampOther");
    }
    void SendCloseReports() override { calls.push_back("SendCloseReports"); }
    void WaitBeforeClose(int ms) override { calls.push_back("Wait " + std::to_string(ms)); }
};

// The real window, skin and all, with its status texts and its refresh reachable.
class StatusDlg : public CKestrelDlg {
public:
    using CKestrelDlg::CKestrelDlg;

    // What one refresh wrote, and the states that held both before and after it: a state
    // that held on both sides held throughout, since a torrent never goes back to checking.
    struct Sample {
        bool checking = false, downloading = false, complete = false;
        float firstFileBefore = 0, firstFileAfter = 0;
        int percentBefore = 0, percentAfter = 0;
        QString size, rate, peers, percent;
        int bar = 0;
    };
    Sample Refresh() {
        Sample s;
        const bool checking = task_.isChecking();
        const bool downloading = task_.isDownloading();
        const bool complete = task_.isComplete();
        s.firstFileBefore = task_.fileProgress().front();
        s.percentBefore = task_.percentDone();
        RefreshStatus();
        s.checking = checking && task_.isChecking();
        s.downloading = downloading && task_.isDownloading();
        s.complete = complete && task_.isComplete();
        s.firstFileAfter = task_.fileProgress().front();
        s.percentAfter = task_.percentDone();
        s.size = sizeValue_.text();
        s.rate = rateValue_.text();
        s.peers = peerValue_.text();
        s.percent = percentValue_.text();
        s.bar = progressBar_.value();
        return s;
    }
    const DownloadTask& task() const { return task_; }
    quint16 listenPort() const { return listenPort_; }
    bool pauseEnabled() const { return pauseButton_.isEnabled(); }
};

class DlgEngine : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnlyLoopback()) {
            GTEST_SKIP() << "needs a network namespace of its own (run through ctest)";
        }
    }

    // The publisher's file server, its tracker and one seeder of the given upload rate.
    void startPublisher(std::uint64_t bytes, int seederRate = 0,
                        std::map<int, std::string> fields = {}) {
        tracker = std::make_unique<swarm::Tracker>(swarm::Tracker::Options{});
        publisher::PublisherOptions o;
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
    std::unique_ptr<EngineDlg> makeDlg() {
        return std::make_unique<EngineDlg>(prompt, QString::fromStdString(pub->origin()));
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

    ASSERT_TRUE(dlg->engine());
    ASSERT_TRUE(dlg->task().isValid());
    ASSERT_EQ(prompt.texts(RecordingPrompt::Kind::Folder),
              std::vector<QString>{"Select the directory you would like to save the file to"});
    EXPECT_GE(dlg->listenPort(), 10000);
    EXPECT_LE(dlg->listenPort(), 42767);
    EXPECT_EQ((DownloadEngine::Services{true, true, true, true}), dlg->engine()->RunningServices());
    const std::string name = pub->contentRoot().filename().string();
    EXPECT_EQ(dlg->calls, (std::vector<std::string>{"ShowFilePath " + folder.string() + " " + name,
                                                    "DisablePause"}));
    EXPECT_TRUE(dlg->Timers().isRunning(CKestrelDlg::kStatusTimer));

    // Checked: the button comes on and the timers start with their periods.
    ASSERT_TRUE(until([&] { return dlg->count("EnablePause") > 0; }));
    EXPECT_EQ(dlg->Timers().period(115), 900000);
    EXPECT_EQ(dlg->Timers().period(112), 60000);
    EXPECT_EQ(dlg->Timers().period(111), 700);
    EXPECT_EQ(dlg->Timers().period(113), 10000);
    EXPECT_EQ(dlg->Timers().period(114), 120000);
    EXPECT_EQ(dlg->Timers().period(116), 300000);
    EXPECT_EQ(dlg->count("SetInternalIp"), 1);
    EXPECT_EQ(dlg->count("StampStart"), 1);
    EXPECT_GE(dlg->count("CallInServerPeer"), 1);

    // Finished: the button goes off for good, the completion time is stamped.
    ASSERT_TRUE(until([&] { return dlg->count("StampComplete") > 0; }));
    EXPECT_EQ(dlg->calls.back(), "StampComplete");
    EXPECT_EQ(*(dlg->calls.end() - 2), "DisablePause");
    EXPECT_TRUE(downloadedIntact(folder));
    EXPECT_TRUE(dlg->task().isComplete());
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
    newcomer->connect("127.0.0.1", dlg->listenPort());
    EXPECT_TRUE(until([&] { return newcomer->isReady(); }));

    // Complete: Close asks nothing, stops everything, reports and waits before it closes.
    dlg->calls.clear();
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    EXPECT_TRUE(prompt.texts(RecordingPrompt::Kind::Message).empty());
    EXPECT_EQ(dlg->calls, (std::vector<std::string>{"SendCloseReports", "Wait 2000"}));
    EXPECT_TRUE(dlg->Ended());
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->engine()->RunningServices(), DownloadEngine::Services{});
    EXPECT_TRUE(dlg->Timers().running().empty());
}

TEST_F(DlgEngine, PauseResumeAndCloseWhileIncomplete) {
    startPublisher(16 * 1024 * 1024, 256 * 1024, {{5, "abcde"}}); // slow; web seed too short
    prompt.folders = {QString::fromStdString((temp.path() / "save").string())};
    auto dlg = makeDlg();
    dlg->OnInitDialog();
    ASSERT_TRUE(until([&] { return dlg->count("EnablePause") > 0; }));
    EXPECT_FALSE(dlg->Timers().isRunning(111));
    EXPECT_FALSE(dlg->Timers().isRunning(112));
    EXPECT_FALSE(dlg->Timers().isRunning(113));
    EXPECT_TRUE(dlg->Timers().isRunning(114));
    ASSERT_FALSE(dlg->task().isPaused());

    dlg->chosenServerPeer() = {0};
    dlg->calls.clear();
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    EXPECT_TRUE(dlg->task().isPaused());
    EXPECT_EQ(dlg->calls, std::vector<std::string>{"ResumeLook"});
    // The library confirms: the paused look again, and the server peer is forgotten.
    ASSERT_TRUE(until([&] { return dlg->count("ResumeLook") == 2; }));
    EXPECT_TRUE(dlg->chosenServerPeer().empty());

    dlg->calls.clear();
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    EXPECT_FALSE(dlg->task().isPaused());
    EXPECT_EQ(dlg->calls, (std::vector<std::string>{"PauseLook", "CallInServerPeer"}));

    // Incomplete: Close asks; No changes nothing.
    prompt.answers = {Prompt::Answer::No};
    dlg->calls.clear();
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    ASSERT_EQ(prompt.texts(RecordingPrompt::Kind::Message), std::vector<QString>{kQuestion});
    EXPECT_FALSE(dlg->Ended());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->calls.empty());
    EXPECT_FALSE(dlg->task().isPaused());
    EXPECT_TRUE(dlg->Timers().isRunning(109));
    EXPECT_TRUE(dlg->engine()->RunningServices().dht);

    prompt.answers = {Prompt::Answer::Yes};
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    EXPECT_TRUE(dlg->Ended());
    EXPECT_EQ(dlg->calls.back(), "Wait 2000");
}

TEST_F(DlgEngine, AFileErrorShowsTheDiskMessageOnceAndThePausedLook) {
    startPublisher(4 * 1024 * 1024);
    const fs::path folder = temp.path() / "save";
    fs::create_directories(folder);
    // A file stands where the torrent needs its folder.
    std::ofstream(folder / pub->contentRoot().filename()) << "in the way";
    prompt.folders = {QString::fromStdString(folder.string())};
    auto dlg = makeDlg();
    dlg->OnInitDialog();
    ASSERT_TRUE(until([&] { return dlg->count("ResumeLook") > 0; }));
    until([&] { return false; }, 1s); // anything still queued arrives
    EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Message), std::vector<QString>{kDiskFull});
    EXPECT_TRUE(dlg->task().isPaused());

    // Resume retries the disk: still failing, one more message, paused again.
    dlg->calls.clear();
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    ASSERT_TRUE(until([&] { return dlg->count("ResumeLook") > 0; }));
    until([&] { return false; }, 1s);
    EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Message),
              (std::vector<QString>{kDiskFull, kDiskFull}));
}

TEST_F(DlgEngine, AStartThatStopsEarlyClosesWithoutASession) {
    startPublisher(1024 * 1024, 0, {{0, "-1"}}); // the service is closed
    {
        auto dlg = makeDlg();
        EXPECT_EQ(dlg->DoModal(), QDialog::Rejected);
        EXPECT_TRUE(dlg->Ended());
        EXPECT_EQ(dlg->engine(), nullptr);
        EXPECT_TRUE(dlg->calls.empty()); // no wait, no reports
        EXPECT_TRUE(prompt.texts(RecordingPrompt::Kind::Folder).empty());
    }
    pub->setCheckField(0, "12");
    for (const QString& choice : {QString(), QString("/")}) {
        prompt.entries.clear();
        prompt.folders = {choice}; // cancelled, or shorter than two characters
        auto dlg = makeDlg();
        EXPECT_EQ(dlg->DoModal(), QDialog::Rejected);
        EXPECT_EQ(dlg->engine(), nullptr);
        EXPECT_TRUE(dlg->calls.empty());
        EXPECT_TRUE(prompt.texts(RecordingPrompt::Kind::Message).empty());
    }
}

TEST_F(DlgEngine, TorrentBytesTheLibraryRefusesShowMessageFiveAndClose) {
    startPublisher(1024 * 1024);
    pub->setFault(publisher::Publisher::kTorrentPath, publisher::Fault::sized(5000));
    prompt.folders = {QString::fromStdString((temp.path() / "save").string())};
    auto dlg = makeDlg();
    EXPECT_EQ(dlg->DoModal(), QDialog::Rejected);
    EXPECT_NE(dlg->engine(), nullptr);
    EXPECT_FALSE(dlg->task().isValid());
    EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Message),
              std::vector<QString>{"Cannot connect to server. Please check your network. (5)"});
    EXPECT_EQ(dlg->calls.back(), "Wait 2000");
}

TEST_F(DlgEngine, TakenPortsAndTheListenCheck) {
    startPublisher(2 * 1024 * 1024, 1024 * 1024);
    ASSERT_TRUE(AddLoopbackAddress("198.51.100.1"));
    ASSERT_TRUE(AddLoopbackAddress("198.51.100.2"));
    {
        // The first port is taken: the second draw is the port, and the services run.
        PortRandom random(99);
        const auto first = DrawListenPort(random.next());
        const auto second = DrawListenPort(random.next());
        TakenPort taken(first);
        prompt.folders = {QString::fromStdString((temp.path() / "a").string())};
        auto dlg = makeDlg();
        dlg->seed = 99;
        dlg->OnInitDialog();
        EXPECT_EQ(dlg->listenPort(), second);
        EXPECT_EQ((DownloadEngine::Services{true, true, true, true}),
                  dlg->engine()->RunningServices());

        // Somebody from outside connected: timer 115 keeps the port.
        auto outside = downloader("198.51.100.2");
        outside->connect("198.51.100.1", second);
        ASSERT_TRUE(until([&] { return dlg->engine()->HasIncomingConnections(); }));
        dlg->tick(CKestrelDlg::kListenCheckTimer);
        EXPECT_EQ(dlg->listenPort(), second);
        EXPECT_TRUE(dlg->engine()->IsListening());
    }
    {
        // Nobody connected: timer 115 stops listening and the port goes from the peers line.
        prompt.folders = {QString::fromStdString((temp.path() / "b").string())};
        auto dlg = makeDlg();
        dlg->OnInitDialog();
        ASSERT_NE(dlg->listenPort(), 0);
        ASSERT_TRUE(until([&] { return dlg->count("EnablePause") > 0; }));
        EXPECT_TRUE(dlg->Timers().isRunning(115));
        dlg->tick(CKestrelDlg::kListenCheckTimer);
        EXPECT_FALSE(dlg->Timers().isRunning(115));
        EXPECT_EQ(dlg->listenPort(), 0);
        EXPECT_FALSE(dlg->engine()->IsListening());
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
        auto dlg = makeDlg();
        dlg->seed = 1234;
        dlg->OnInitDialog();
        ASSERT_TRUE(dlg->task().isValid());
        EXPECT_EQ(dlg->listenPort(), 0);
        EXPECT_EQ(dlg->engine()->RunningServices(), DownloadEngine::Services{});
        EXPECT_TRUE(until([&] { return dlg->count("StampComplete") > 0; }));
        EXPECT_TRUE(downloadedIntact(folder));
    }
}

TEST_F(DlgEngine, StatusLinesFollowTheRealTorrentFromCheckToComplete) {
    // A slow seeder and no web seed, so the download lasts long enough to be seen and paused.
    startPublisher(256 * 1024 * 1024, 4 * 1024 * 1024, {{5, "abcde"}});
    // The save folder already holds all of the set but one archive: the torrent is checked
    // first, and the first file in the torrent's order is complete long before the rest.
    const fs::path folder = temp.path() / "save";
    const std::string name = pub->contentRoot().filename().string();
    for (const auto& f : fs::recursive_directory_iterator(pub->contentRoot())) {
        const auto rel = fs::relative(f.path(), pub->contentRoot());
        if (f.is_regular_file() && rel != "Data/Movies.pak") {
            fs::create_directories((folder / name / rel).parent_path());
            fs::copy_file(f.path(), folder / name / rel);
        }
    }
    prompt.folders = {QString::fromStdString(folder.string())};
    StatusDlg dlg(prompt, QString::fromStdString(pub->origin()));
    dlg.OnInitDialog();
    ASSERT_TRUE(dlg.task().isValid());
    const QString port = QString::number(dlg.listenPort());
    ASSERT_NE(dlg.listenPort(), 0);
    const QString total = "256.00 MB";

    // Checking: nothing done yet, no peers, and the percentage follows the first file alone.
    int checked = 0;
    bool firstFileShownWhole = false;
    ASSERT_TRUE(until([&] {
        const auto s = dlg.Refresh();
        if (!s.checking || s.downloading || s.complete) {
            return !dlg.task().isChecking();
        }
        ++checked;
        EXPECT_EQ(s.size, " : 0.00 B / " + total);
        EXPECT_EQ(s.rate, " : 0.00 B/s");
        EXPECT_EQ(s.peers, " : 0 peers (Listen port : " + port + ")");
        EXPECT_EQ(s.percent, QString::number(s.bar) + "%");
        EXPECT_GE(s.bar, static_cast<int>(s.firstFileBefore * 100.0));
        EXPECT_LE(s.bar, static_cast<int>(s.firstFileAfter * 100.0));
        firstFileShownWhole |= s.bar == 100;
        return false;
    }));
    EXPECT_GT(checked, 0);
    EXPECT_TRUE(firstFileShownWhole) << "100% while the rest was still being checked";

    // Downloading: the live figures, the percentage the torrent's own.
    const QRegularExpression sizeLine(R"(^ : \d+\.\d\d (B|KB|MB) / 256\.00 MB$)");
    const QRegularExpression rateLine(
        R"(^ : \d+\.\d\d (B|KB|MB)/s( - About (\d+h \d+m|\d+m \d+s) Remains)?$)");
    const QRegularExpression peersLine("^ : (\\d+) peers \\(Listen port : " + port + "\\)$");
    const auto checkDownloading = [&](const StatusDlg::Sample& s) {
        EXPECT_TRUE(sizeLine.match(s.size).hasMatch()) << s.size.toStdString();
        EXPECT_TRUE(rateLine.match(s.rate).hasMatch()) << s.rate.toStdString();
        EXPECT_TRUE(peersLine.match(s.peers).hasMatch()) << s.peers.toStdString();
        EXPECT_EQ(s.percent, QString::number(s.bar) + "%");
        EXPECT_GE(s.bar, s.percentBefore);
        EXPECT_LE(s.bar, s.percentAfter);
    };
    ASSERT_TRUE(until([&] {
        const auto s = dlg.Refresh();
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
    StatusDlg::Sample paused;
    ASSERT_TRUE(until([&] {
        paused = dlg.Refresh();
        if (!paused.downloading) {
            return false;
        }
        checkDownloading(paused);
        return dlg.task().isPaused() && paused.peers.startsWith(" : 0 peers");
    }));
    ASSERT_TRUE(
        until([&] { return dlg.Refresh().rate != paused.rate || paused.rate == " : 0.00 B/s"; }));
    const auto later = dlg.Refresh();
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
    second.connect("127.0.0.1", dlg.listenPort());

    // Complete: a full bar and the whole size done.
    ASSERT_TRUE(until([&] { return dlg.Refresh().complete && !dlg.pauseEnabled(); }));
    const auto s = dlg.Refresh();
    ASSERT_TRUE(s.complete);
    EXPECT_EQ(s.size, " : " + total + " / " + total);
    EXPECT_TRUE(s.rate.startsWith(" : 0.00 B/s")) << s.rate.toStdString();
    EXPECT_TRUE(peersLine.match(s.peers).hasMatch()) << s.peers.toStdString();
    EXPECT_EQ(s.percent, "100%");
    EXPECT_EQ(s.bar, 100);
    SaveScreenshot(dlg.grab().toImage(), "real-complete");
    EXPECT_TRUE(downloadedIntact(folder));
}
