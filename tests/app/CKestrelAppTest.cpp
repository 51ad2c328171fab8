#include "app/CKestrelApp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include "Publisher.h"
#include "app/CKestrelDlg.h"
#include "platform/SingleInstanceLock.h"
#include "support/ManualClock.h"
#include "support/RecordingPrompt.h"
#include "support/RecordingSender.h"
#include "support/SwarmHarness.h"
#include "support/TempFolder.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;

namespace {
// Nothing listens on port 1: a download check there fails at once.
const QString kNoServer = "http://127.0.0.1:1";

struct App {
    TempFolder temp;
    std::string lockPath = (temp.path() / "Emberway Kestrel.lock").string();
    RecordingPrompt prompt;
    ManualClock clock;
    RecordingSender sender;
};
} // namespace

TEST(CKestrelApp, SecondCopyIsRefusedAndTheFirstKeepsItsLock) {
    App a;
    SingleInstanceLock running;
    ASSERT_EQ(running.acquire(a.lockPath), SingleInstanceLock::Outcome::Acquired);

    CKestrelApp second(a.prompt, a.clock, a.sender, kNoServer, a.lockPath);
    EXPECT_FALSE(second.InitInstance());
    ASSERT_EQ(a.prompt.entries.size(), 1u);
    EXPECT_EQ(a.prompt.entries[0].text, "Another program is running!");
    EXPECT_EQ(a.prompt.entries[0].buttons, Prompt::Buttons::Ok);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr); // no window was made
    EXPECT_TRUE(running.held());
    SingleInstanceLock probe;
    EXPECT_EQ(probe.acquire(a.lockPath), SingleInstanceLock::Outcome::AlreadyHeld);
}

TEST(CKestrelApp, ALockThatCannotBeTakenSaysWhyBeforeTheEnd) {
    App a;
    // The fallback folder, made first by someone else and open to all.
    const fs::path planted = a.temp.path() / "planted";
    fs::create_directory(planted);
    fs::permissions(planted, fs::perms::all);
    const std::string path = (planted / "Emberway Kestrel.lock").string();
    CKestrelApp app(a.prompt, a.clock, a.sender, kNoServer, path);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(a.prompt.texts(RecordingPrompt::Kind::Message),
              std::vector<QString>{"The program cannot start: the folder of " +
                                   QString::fromStdString(path) + " is open to other users."});
    EXPECT_FALSE(fs::exists(path)); // nothing was made in it
}

TEST(CKestrelApp, RunsTheMainWindowModallyThenReleasesTheLock) {
    if (!OnlyLoopback()) {
        GTEST_SKIP() << "needs a network namespace of its own (run through ctest)";
    }
    App a;
    publisher::PublisherOptions o;
    o.generatedBytes = 1024 * 1024;
    o.workFolder = a.temp.path() / "publisher";
    publisher::Publisher pub(o);
    pub.start();
    a.prompt.folders = {QString::fromStdString((a.temp.path() / "save").string())};
    a.prompt.answers = {Prompt::Answer::Yes}; // should Close ask

    const auto lockHeld = [&] {
        SingleInstanceLock probe;
        return probe.acquire(a.lockPath) == SingleInstanceLock::Outcome::AlreadyHeld;
    };
    QString seenTitle;
    std::atomic<quint16> port{0};
    bool heldWhileRunning = false;
    bool heldDuringTheCloseWait = false;
    a.clock.onWait = [&] { heldDuringTheCloseWait = lockHeld(); };
    // Closes the main window with its Close button once its own loop runs.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<CKestrelDlg*>(QApplication::activeModalWidget());
        if (dlg && dlg->isVisible() && seenTitle.isEmpty()) {
            seenTitle = dlg->windowTitle();
            heldWhileRunning = lockHeld();
            port = dlg->Status().ListenPort();
            dlg->OnCommand(CKestrelDlg::kCloseCommand);
        }
    });
    closer.start(10);
    // A second copy starting the moment the lock goes must find the first one's session gone:
    // its listen socket closed.
    std::atomic<bool> stop{false}, sessionAliveAtRelease{false}, released{false};
    std::thread secondCopy([&] {
        while (!stop) {
            SingleInstanceLock lock;
            if (port != 0 && lock.acquire(a.lockPath) == SingleInstanceLock::Outcome::Acquired) {
                sessionAliveAtRelease = Accepts("127.0.0.1", port.load());
                released = true;
                return;
            }
            std::this_thread::yield();
        }
    });
    CKestrelApp app(a.prompt, a.clock, a.sender, QString::fromStdString(pub.origin()), a.lockPath);
    EXPECT_FALSE(app.InitInstance());
    closer.stop();
    waitFor([&] { return released.load(); }, std::chrono::seconds(10));
    stop = true;
    secondCopy.join();
    EXPECT_TRUE(released);
    EXPECT_NE(port.load(), 0);
    EXPECT_FALSE(sessionAliveAtRelease);
    EXPECT_EQ(seenTitle, "Emberway Kestrel");
    EXPECT_TRUE(heldWhileRunning);
    EXPECT_TRUE(heldDuringTheCloseWait);
    EXPECT_EQ(a.clock.waits.size(), 1u);
    EXPECT_TRUE(a.sender.stopped); // no report thread outlives the run
    EXPECT_EQ(QCoreApplication::organizationName(), "Emberway Kestrel");
    EXPECT_FALSE(lockHeld());
}
