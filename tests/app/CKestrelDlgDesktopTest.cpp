#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QTest>

#include "DesktopWatch.h"
#include "PrivateSessionBus.h"
#include "platform/DBusDesktop.h"
#include "platform/LauncherEntry.h"
#include "support/WindowSwarm.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The window's taskbar progress and completion notice on a private session bus, watched there
// as a desktop would, with the real engine downloading from the sample publisher.
namespace {

const QString kMarkerId = QStringLiteral("marker.desktop");

class DlgDesktop : public WindowSwarm {
protected:
    void arrange() override {
        if (!bus.available()) {
            GTEST_SKIP() << bus.why().toStdString();
        }
        watch = std::make_unique<DesktopWatch>(bus.address(), true);
        ASSERT_TRUE(watch->ready());
        programBus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus.address(), QStringLiteral("program")));
        desktop = std::make_unique<DBusDesktop>(*programBus);
    }
    void TearDown() override {
        dlg.reset();
        desktop.reset();
        programBus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("program"));
    }

    // The publisher, its tracker and one seeder, the seeder and the web seed each limited to
    // rate bytes a second; then the window, saving into a fresh folder.
    void startDownload(std::uint64_t bytes, int rate) {
        startPublisher(bytes, [&](publisher::PublisherOptions& o) {
            o.pieceSize = 64 * 1024;
            o.webSeedBytesPerSecond = static_cast<std::uint64_t>(rate);
        });
        seeder = peer(swarm::Peer::Role::Seeder, "127.0.0.11", rate);
        fs::create_directories(answerFolder());
        dlg = makeDlg(prompt, clock, sender, *desktop);
        dlg->OnInitDialog();
        ASSERT_TRUE(dlg->Task().isValid());
    }

    // Everything the program sent before this call has reached the watch: the bus keeps the
    // order of one sender's messages, and the marker goes last on the program's connection.
    void settle() {
        LauncherEntry(*programBus, kMarkerId).SetProgress(0);
        ASSERT_TRUE(waitFor([&] {
            return !watch->updates.empty() && watch->updates.back().appUri.endsWith(kMarkerId);
        }));
        watch->updates.pop_back();
    }

    // The percentages shown, in order; -1 for a cleared entry.
    std::vector<int> shown() const {
        std::vector<int> out;
        for (const auto& u : watch->updates) {
            EXPECT_EQ(u.appUri, "application://kestrel.desktop");
            out.push_back(u.visible.value_or(false) ? qRound(u.progress.value_or(-1) * 100) : -1);
        }
        return out;
    }

    PrivateSessionBus bus;
    std::unique_ptr<DesktopWatch> watch;
    std::unique_ptr<QDBusConnection> programBus;
    std::unique_ptr<DBusDesktop> desktop;
    std::unique_ptr<swarm::Peer> seeder;
    std::unique_ptr<CKestrelDlg> dlg;
};

// Each percentage goes out once, rising; completion takes it off the entry.
void ExpectRisingThenCleared(const std::vector<int>& shown) {
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown.back(), -1);
    for (std::size_t i = 1; i + 1 < shown.size(); ++i) {
        EXPECT_GT(shown[i], shown[i - 1]) << i;
    }
    EXPECT_GE(shown.front(), 0);
    EXPECT_LE(shown[shown.size() - 2], 100);
}

} // namespace

TEST_F(DlgDesktop, MinimisedWindowShowsRisingProgressThenOneNoticeAtCompletion) {
    startDownload(4 * 1024 * 1024, 512 * 1024);
    dlg->OnCommand(CKestrelDlg::kMinimizeCommand);
    ASSERT_TRUE(dlg->isMinimized());

    ASSERT_TRUE(waitFor([&] { return dlg->Task().isComplete(); }, 180s));
    ASSERT_TRUE(waitFor([&] { return watch->notifications().size() == 1; }));
    settle();
    ExpectRisingThenCleared(shown());
    const auto notice = watch->notifications().front();
    EXPECT_EQ(notice.summary, "Download complete");
    EXPECT_EQ(notice.body, "The game installer has been downloaded.");
    EXPECT_EQ(notice.appName, "Emberway Kestrel");

    // Further refreshes and the close show nothing more.
    const std::size_t updates = watch->updates.size();
    dlg->OnTimer(CKestrelDlg::kStatusTimer);
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    ASSERT_TRUE(dlg->Ended());
    settle();
    EXPECT_EQ(watch->updates.size(), updates);
    EXPECT_EQ(watch->notifications().size(), 1u);
}

TEST_F(DlgDesktop, ActiveWindowCompletesWithoutANotice) {
    startDownload(2 * 1024 * 1024, 256 * 1024);
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));

    ASSERT_TRUE(waitFor([&] { return dlg->Task().isComplete(); }, 180s));
    ASSERT_TRUE(waitFor(
        [&] { return !watch->updates.empty() && !watch->updates.back().visible.value_or(true); }));
    ASSERT_TRUE(dlg->isActiveWindow());
    settle();
    ExpectRisingThenCleared(shown());
    EXPECT_TRUE(watch->notifications().empty());
}

TEST_F(DlgDesktop, CloseDuringTheDownloadTakesTheProgressOff) {
    startDownload(2 * 1024 * 1024, 64 * 1024);
    ASSERT_TRUE(waitFor([&] { return !watch->updates.empty(); }));
    prompt.answers = {Prompt::Answer::Yes};
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    ASSERT_TRUE(dlg->Ended());
    settle();
    const std::vector<int> seen = shown();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_GE(seen[seen.size() - 2], 0);
    EXPECT_EQ(seen.back(), -1);
    EXPECT_TRUE(watch->notifications().empty());
}
