#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include <QApplication>
#include <QRegularExpression>
#include <QTest>

#include "Screenshot.h"
#include "engine/DownloadEngine.h"
#include "engine/EngineEvent.h"
#include "net/StatisticsRules.h"
#include "support/WindowSwarm.h"

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

class DlgEngine : public WindowSwarm {
protected:
    // The publisher with one seeder of the given upload rate.
    void startSwarm(std::uint64_t bytes, int seederRate = 0, std::map<int, std::string> fields = {},
                    std::string name = {}) {
        startPublisher(bytes, [&](publisher::PublisherOptions& o) {
            o.checkFields = fields;
            if (!name.empty()) {
                o.generatedName = name;
            }
        });
        seeder = peer(swarm::Peer::Role::Seeder, "127.0.0.11", seederRate);
    }
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

    std::unique_ptr<swarm::Peer> seeder;
};

} // namespace

TEST_F(DlgEngine, DownloadsThePublishersFileSetThroughTheWindow) {
    startSwarm(24 * 1024 * 1024);
    const fs::path folder = answerFolder();
    fs::create_directories(folder);
    auto dlg = startDlg();

    ASSERT_TRUE(dlg->Task().isValid());
    ASSERT_EQ(prompt.texts(RecordingPrompt::Kind::Folder),
              std::vector<QString>{"Select the directory you would like to save the file to"});
    EXPECT_NE(dlg->Status().ListenPort(), 0);
    EXPECT_EQ((DownloadEngine::Services{true, true, true, true}), dlg->Engine()->RunningServices());
    EXPECT_EQ(dlg->Skin().label(skin::PathValue).text().toStdString(),
              " : " + folder.string() + "/" + pub->contentRoot().filename().string());
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

    // Finished: the button goes off for good; Close asks nothing and ends after its wait.
    ASSERT_TRUE(until([&] { return dlg->Task().isComplete() && !PauseButton(*dlg).isEnabled(); }));
    EXPECT_TRUE(HoldsTheSet(folder));
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    EXPECT_TRUE(prompt.texts(RecordingPrompt::Kind::Message).empty());
    EXPECT_EQ(clock.waits, std::vector<std::chrono::milliseconds>{2000ms});
    EXPECT_TRUE(dlg->Ended());
}

TEST_F(DlgEngine, CloseHidesPausesTheSessionStopsTheServicesWaitsThenEnds) {
    startSwarm(2 * 1024 * 1024, 64 * 1024);
    std::unique_ptr<CKestrelDlg> dlg;
    ASSERT_TRUE(startChecked(dlg));
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
    startSwarm(16 * 1024 * 1024, 256 * 1024, {{5, "abcde"}}); // slow; web seed too short
    answerFolder();
    auto dlg = startDlg();
    ASSERT_TRUE(until([&] { return Checked(*dlg) && dlg->Task().peerCount() > 0; }));
    EXPECT_EQ(dlg->Timers().startOrder(), (std::vector<int>{109, 115, 114, 116}));

    // The real button pauses: the Resume look at once, kept when the library confirms.
    QTest::mouseClick(&PauseButton(*dlg), Qt::LeftButton);
    EXPECT_TRUE(dlg->Task().isPaused());
    EXPECT_TRUE(ResumeLook(*dlg));
    ASSERT_TRUE(untilEvent(EngineEvent::Code::TorrentPaused));
    EXPECT_TRUE(ResumeLook(*dlg));
    ASSERT_TRUE(until([&] { return dlg->Task().peerCount() == 0; }));
    QTest::mouseClick(&PauseButton(*dlg), Qt::LeftButton);
    EXPECT_FALSE(dlg->Task().isPaused());
    EXPECT_FALSE(ResumeLook(*dlg));

    // Pause and resume within one tick: the library's paused report comes after the resume
    // and must not show the Resume look on a running torrent.
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    EngineEvent paused;
    paused.code = EngineEvent::Code::TorrentPaused;
    dlg->HandleEngineEvent(paused);
    EXPECT_FALSE(ResumeLook(*dlg));

    // Incomplete: Close asks; No changes nothing, Yes closes.
    prompt.answers = {Prompt::Answer::No, Prompt::Answer::Yes};
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    ASSERT_EQ(prompt.texts(RecordingPrompt::Kind::Message), std::vector<QString>{kQuestion});
    EXPECT_FALSE(dlg->Ended());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(clock.waits.empty());
    EXPECT_FALSE(dlg->Task().isPaused());
    EXPECT_TRUE(dlg->Engine()->RunningServices().dht);
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    EXPECT_TRUE(dlg->Ended());
    EXPECT_EQ(clock.waits, std::vector<std::chrono::milliseconds>{2000ms});
}

TEST_F(DlgEngine, AFileErrorShowsTheDiskMessageOnceAndTheRealButtonResumes) {
    startSwarm(4 * 1024 * 1024);
    const fs::path folder = answerFolder();
    fs::create_directories(folder);
    // A file stands where the torrent needs its folder.
    std::ofstream(folder / pub->contentRoot().filename()) << "in the way";
    BoxPrompt box;
    box.record.folders = prompt.folders;
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
    EXPECT_FALSE(Checked(*dlg));

    // Resume with the real button retries the disk: still failing, one more message, paused.
    box.whileOpen = nullptr;
    QTest::mouseClick(&PauseButton(*dlg), Qt::LeftButton);
    EXPECT_FALSE(ResumeLook(*dlg)) << "the button took the click";
    ASSERT_TRUE(until([&] { return ResumeLook(*dlg) && messages().size() == 2; }));
    EXPECT_EQ(messages(), (std::vector<QString>{kDiskFull, kDiskFull}));
}

TEST_F(DlgEngine, AFolderHoldingTheWholeSetKeepsPauseOffAndShowsTheCompleteLines) {
    startSwarm(2 * 1024 * 1024);
    copySet(answerFolder());
    auto dlg = startDlg();
    ASSERT_TRUE(until([&] { return Checked(*dlg) && Refresh(*dlg).complete; }));
    EXPECT_FALSE(PauseButton(*dlg).isEnabled());
    const auto s = Refresh(*dlg);
    EXPECT_EQ(s.size, " : 2.00 MB / 2.00 MB");
    EXPECT_TRUE(s.rate.startsWith(" : 0.00 B/s")) << s.rate.toStdString();
    EXPECT_EQ(s.percent, "100%");
    EXPECT_EQ(s.bar, 100);
    SaveScreenshot(dlg->grab().toImage(), "real-complete");
    // A player who already has the set still started at the check: the close report says when.
    EXPECT_EQ(dlg->Statistics().startTime, TimeStamp(clock.localTime()));
}

TEST_F(DlgEngine, AStartThatStopsEarlyClosesWithoutASession) {
    startSwarm(1024 * 1024, 0, {{0, "-1"}}); // the service is closed
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
    startSwarm(1024 * 1024);
    pub->setFault(publisher::Publisher::kTorrentPath, publisher::Fault::sized(5000));
    answerFolder();
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
    startSwarm(1024 * 1024, 0, {}, ".config");
    const fs::path home = answerFolder("home");
    fs::create_directories(home);
    auto dlg = makeDlg();
    EXPECT_EQ(dlg->DoModal(), QDialog::Rejected);
    EXPECT_FALSE(dlg->Task().isValid());
    EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Message),
              std::vector<QString>{"Cannot connect to server. Please check your network. (5)"});
    EXPECT_TRUE(fs::is_empty(home));
}

// The draw of the port and the taken ports are the engine's; here, the window's listen check.
TEST_F(DlgEngine, TheListenCheckKeepsThePortOnlyWhenSomebodyFromOutsideConnected) {
    startSwarm(2 * 1024 * 1024, 1024 * 1024);
    ASSERT_TRUE(AddLoopbackAddress("198.51.100.1"));
    ASSERT_TRUE(AddLoopbackAddress("198.51.100.2"));
    for (const bool outsider : {true, false}) {
        SCOPED_TRACE(outsider ? "somebody from outside connected" : "nobody connected");
        answerFolder(outsider ? "a" : "b");
        auto dlg = startDlg();
        const auto port = dlg->Status().ListenPort();
        ASSERT_NE(port, 0);
        ASSERT_TRUE(until([&] { return Checked(*dlg); }));
        std::unique_ptr<swarm::Peer> outside;
        if (outsider) {
            outside = peer(swarm::Peer::Role::Downloader, "198.51.100.2");
            outside->connect("198.51.100.1", port);
            ASSERT_TRUE(until([&] { return dlg->Engine()->HasIncomingConnections(); }));
        }
        dlg->OnTimer(CKestrelDlg::kListenCheckTimer);
        EXPECT_EQ(dlg->Status().ListenPort(), outsider ? port : 0);
        EXPECT_EQ(dlg->Engine()->IsListening(), outsider);
    }
}

TEST_F(DlgEngine, StatusLinesWhileCheckingFollowTheFirstFile) {
    // The save folder holds all of the set but one archive: the torrent is checked first;
    // while it is checked the percentage follows the first file in the torrent's order.
    startSwarm(32 * 1024 * 1024, 512 * 1024, {{5, "abcde"}});
    copySet(answerFolder(), {"Data/Movies.pak"});
    auto dlg = startDlg();
    const QString port = QString::number(dlg->Status().ListenPort());
    int checked = 0;
    ASSERT_TRUE(until([&] {
        const auto s = Refresh(*dlg);
        if (!s.checking || s.downloading || s.complete) {
            return !dlg->Task().isChecking();
        }
        ++checked;
        EXPECT_EQ(s.size, " : 0.00 B / 32.00 MB");
        EXPECT_EQ(s.rate, " : 0.00 B/s");
        EXPECT_EQ(s.peers, " : 0 peers (Listen port : " + port + ")");
        EXPECT_EQ(s.percent, QString::number(s.bar) + "%");
        EXPECT_GE(s.bar, static_cast<int>(s.firstFileBefore * 100.0));
        EXPECT_LE(s.bar, static_cast<int>(s.firstFileAfter * 100.0));
        return false;
    }));
    EXPECT_GT(checked, 0);
}

TEST_F(DlgEngine, StatusLinesWhileDownloadingAndPausedShowTheLiveFigures) {
    startSwarm(16 * 1024 * 1024, 512 * 1024, {{5, "abcde"}}); // slow; web seed too short
    answerFolder();
    auto dlg = startDlg();
    const QString port = QString::number(dlg->Status().ListenPort());
    const QRegularExpression sizeLine(R"(^ : \d+\.\d\d (B|KB|MB) / 16\.00 MB$)");
    const QRegularExpression rateLine(
        R"(^ : \d+\.\d\d (B|KB|MB)/s( - About (\d+h \d+m|\d+m \d+s) Remains)?$)");
    const QRegularExpression peersLine("^ : (\\d+) peers \\(Listen port : " + port + "\\)$");
    Sample s;
    const auto downloading = [&] {
        s = Refresh(*dlg);
        if (s.downloading) {
            EXPECT_TRUE(sizeLine.match(s.size).hasMatch()) << s.size.toStdString();
            EXPECT_TRUE(rateLine.match(s.rate).hasMatch()) << s.rate.toStdString();
            EXPECT_TRUE(peersLine.match(s.peers).hasMatch()) << s.peers.toStdString();
            EXPECT_EQ(s.percent, QString::number(s.bar) + "%");
            EXPECT_GE(s.bar, s.percentBefore);
            EXPECT_LE(s.bar, s.percentAfter);
        }
        return s.downloading;
    };
    // Data arriving from a peer: a rate with its time left.
    ASSERT_TRUE(until([&] { return downloading() && s.rate.contains("Remains") && s.bar < 100; }));
    SaveScreenshot(dlg->grab().toImage(), "real-downloading");

    // Paused: still the downloading branch with the live figures, and the peers go.
    dlg->OnCommand(CKestrelDlg::kPauseResumeCommand);
    ASSERT_TRUE(until([&] { return downloading() && s.peers.startsWith(" : 0 peers"); }));
    SaveScreenshot(dlg->grab().toImage(), "real-paused");
}
