#include "app/CKestrelApp.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include "app/CKestrelDlg.h"
#include "platform/SingleInstanceLock.h"
#include "support/RecordingPrompt.h"
#include "support/TempFolder.h"

namespace fs = std::filesystem;

namespace {
struct LockFile {
    TempFolder dir;
    std::string path = dir.path() / "Emberway Kestrel.lock";
};
// Nothing listens on port 1: a download check there fails at once.
const QString kNoServer = "http://127.0.0.1:1";
} // namespace

TEST(CKestrelApp, SecondCopyIsRefusedAndTheFirstKeepsItsLock) {
    LockFile file;
    SingleInstanceLock running;
    ASSERT_EQ(running.acquire(file.path), SingleInstanceLock::Outcome::Acquired);

    RecordingPrompt prompt;
    CKestrelApp second(prompt, kNoServer, file.path);
    EXPECT_FALSE(second.InitInstance());
    ASSERT_EQ(prompt.entries.size(), 1u);
    EXPECT_EQ(prompt.entries[0].text, "Another program is running!");
    EXPECT_EQ(prompt.entries[0].buttons, Prompt::Buttons::Ok);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr); // no window was made
    EXPECT_TRUE(running.held());
    SingleInstanceLock probe;
    EXPECT_EQ(probe.acquire(file.path), SingleInstanceLock::Outcome::AlreadyHeld);
}

TEST(CKestrelApp, NoLockEndsSilently) {
    RecordingPrompt prompt;
    CKestrelApp app(prompt, kNoServer, "/nonexistent-folder/Emberway Kestrel.lock");
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(prompt.entries.empty());
}

TEST(CKestrelApp, RunsTheMainWindowModallyThenReleasesTheLock) {
    LockFile file;
    RecordingPrompt prompt;
    QString seenTitle;
    bool lockHeldWhileRunning = false;
    // Ends the main window as the window manager would, once its loop runs.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* dlg = qobject_cast<CKestrelDlg*>(QApplication::activeModalWidget())) {
            seenTitle = dlg->windowTitle();
            SingleInstanceLock probe;
            lockHeldWhileRunning =
                probe.acquire(file.path) == SingleInstanceLock::Outcome::AlreadyHeld;
            dlg->close();
        }
    });
    closer.start(10);
    CKestrelApp app(prompt, kNoServer, file.path);
    EXPECT_FALSE(app.InitInstance());
    closer.stop();
    EXPECT_EQ(QCoreApplication::organizationName(), "Emberway Kestrel");
    SingleInstanceLock after;
    EXPECT_EQ(after.acquire(file.path), SingleInstanceLock::Outcome::Acquired);
    // Once the download start exists it closes the window itself when the check fails; until
    // then the window ran its loop and the close above ended it.
    if (!seenTitle.isEmpty()) {
        EXPECT_EQ(seenTitle, "Emberway Kestrel");
        EXPECT_TRUE(lockHeldWhileRunning);
    }
}
