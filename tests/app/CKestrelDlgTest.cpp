#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "engine/EngineEvent.h"
#include "support/ManualClock.h"
#include "support/RecordingPrompt.h"
#include "support/RecordingSender.h"

namespace {

// The window without a server: nothing listens on port 1, so its start stops at the check.
struct Window {
    RecordingPrompt prompt;
    ManualClock clock;
    RecordingSender sender;
    CKestrelDlg dlg{prompt, clock, sender, "http://127.0.0.1:1"};

    void feed(EngineEvent::Code code) {
        EngineEvent e;
        e.code = code;
        dlg.HandleEngineEvent(e);
    }
};

// Closes the next modal dialog that opens and reports its class name.
void closeNextModal(QString* seen) {
    QTimer::singleShot(0, [seen] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal) {
            *seen = modal->metaObject()->className();
            modal->close();
        }
    });
}

} // namespace

TEST(CKestrelDlg, AStartWhoseCheckFailsEndsTheDialogBeforeItsLoop) {
    Window w;
    EXPECT_EQ(w.dlg.DoModal(), QDialog::Rejected); // would block forever if the loop ran
    EXPECT_EQ(w.dlg.windowTitle(), "Emberway Kestrel");
    EXPECT_TRUE(w.dlg.Ended());
    EXPECT_FALSE(w.dlg.isVisible());
    EXPECT_EQ(w.dlg.Engine(), nullptr);
    // The skin was built before the start; the value controls never came.
    EXPECT_EQ(w.dlg.Skin().button(skin::PauseButton).geometry(), QRect(109, 292, 92, 31));
    EXPECT_FALSE(w.dlg.Skin().progressBar().isVisibleTo(&w.dlg));
    EXPECT_EQ(w.prompt.texts(RecordingPrompt::Kind::Message),
              std::vector<QString>{"Cannot connect to server. Please check your network. (1)"});
    EXPECT_TRUE(w.dlg.Timers().running().empty());
    EXPECT_TRUE(w.clock.waits.empty()) << "no engine: nothing to wait for";
    EXPECT_TRUE(w.sender.background.empty());
}

TEST(CKestrelDlg, ListenCheckTimerStopsItselfAndUnknownIdsDoNothing) {
    Window w;
    w.feed(EngineEvent::Code::TorrentChecked); // starts the listen check with the others
    ASSERT_TRUE(w.dlg.Timers().isRunning(CKestrelDlg::kListenCheckTimer));
    for (int id : {108, 110, 117, 111, 112, 113, 114, 116}) {
        w.dlg.OnTimer(id);
    }
    w.dlg.OnTimer(CKestrelDlg::kListenCheckTimer);
    EXPECT_EQ(w.dlg.Timers().startOrder(), (std::vector<int>{114, 116}));
    EXPECT_TRUE(w.prompt.entries.empty());
}

TEST(CKestrelDlg, CommandsDispatchById) {
    Window w;
    w.dlg.show();
    w.dlg.OnCommand(CKestrelDlg::kPauseResumeCommand); // no torrent: nothing to pause
    w.dlg.OnCommand(CKestrelDlg::kShowFolderCommand);  // no folder chosen: nothing opens
    w.dlg.OnCommand(104);
    EXPECT_EQ(w.dlg.Skin().pauseLook(), CSkinControls::PauseLook::Pause);
    EXPECT_TRUE(w.prompt.entries.empty());
    w.dlg.OnCommand(CKestrelDlg::kMinimizeCommand);
    EXPECT_TRUE(w.dlg.windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(w.dlg.Ended());
    // No torrent: Close asks nothing and ends at once.
    w.dlg.OnCommand(CKestrelDlg::kCloseCommand);
    EXPECT_TRUE(w.dlg.Ended());
    EXPECT_TRUE(w.prompt.entries.empty());
    EXPECT_TRUE(w.clock.waits.empty());
}

TEST(CKestrelDlg, EnterAndEscapeDoNotEndTheDialog) {
    Window w;
    w.dlg.show();
    QTest::keyClick(&w.dlg, Qt::Key_Escape);
    QTest::keyClick(&w.dlg, Qt::Key_Return);
    QTest::keyClick(&w.dlg, Qt::Key_Enter);
    EXPECT_FALSE(w.dlg.Ended());
    EXPECT_TRUE(w.dlg.isVisible());
}

TEST(CKestrelDlg, AboutItemOfTheSystemMenuOpensTheAboutBox) {
    Window w;
    w.dlg.show();
    auto menu = w.dlg.CreateSystemMenu();
    const auto actions = menu->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_TRUE(actions[0]->isSeparator());
    EXPECT_EQ(actions[1]->text(), QString::fromUtf8("Kestrel 정보(&A)..."));

    QString seen;
    closeNextModal(&seen);
    actions[1]->trigger();
    EXPECT_EQ(seen, "CAboutDlg");

    // The about id with its low four bits set is still the about item; other ids are not.
    seen.clear();
    closeNextModal(&seen);
    w.dlg.OnSysCommand(0x001F);
    EXPECT_EQ(seen, "CAboutDlg");
    w.dlg.OnSysCommand(0xF060); // an about box here would wait for a close that never comes

    seen.clear();
    closeNextModal(&seen);
    w.dlg.OnCommand(CKestrelDlg::kAboutCommand);
    EXPECT_EQ(seen, "CAboutDlg");
    EXPECT_FALSE(w.dlg.Ended());
}

TEST(CKestrelDlg, WindowManagerCloseEndsAtOnceWithoutAQuestion) {
    Window w;
    w.dlg.show();
    w.dlg.close();
    EXPECT_TRUE(w.dlg.Ended());
    EXPECT_TRUE(w.prompt.entries.empty());
    EXPECT_TRUE(w.clock.waits.empty());
}
