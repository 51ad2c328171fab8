#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "support/RecordingPrompt.h"
#include "ui/CAboutDlg.h"

namespace {

// Records the steps the spine hands on, so their order can be checked without an engine.
class SpineDlg : public CKestrelDlg {
public:
    using CKestrelDlg::CKestrelDlg;
    using CKestrelDlg::RequestClose;

    std::vector<std::string> calls;
    bool taskValid = false;
    bool taskComplete = false;
    bool endInStart = false;

protected:
    void CreateSkinControls() override { calls.push_back("CreateSkinControls"); }
    void StartDownload() override {
        calls.push_back(isVisible() ? "StartDownload(shown)" : "StartDownload(hidden)");
        if (endInStart) {
            CloseProgram();
        }
    }
    bool IsTaskValid() const override { return taskValid; }
    bool IsTaskComplete() const override { return taskComplete; }
    void ShowValueControls() override { calls.push_back("ShowValueControls"); }
    void RefreshStatus() override { calls.push_back("RefreshStatus"); }
    void PumpEngineEvents() override { calls.push_back("PumpEngineEvents"); }
    void CheckIncomingConnections() override { calls.push_back("CheckIncomingConnections"); }
    void RestoreWebSeed() override { calls.push_back("RestoreWebSeed"); }
    void CapWebSeedRate() override { calls.push_back("CapWebSeedRate"); }
    void DropWebSeed() override { calls.push_back("DropWebSeed"); }
    void BalanceServerPeer() override { calls.push_back("BalanceServerPeer"); }
    void OnProgressReportTimer() override { calls.push_back("OnProgressReportTimer"); }
    void TogglePause() override { calls.push_back("TogglePause"); }
    void OpenSaveFolder() override { calls.push_back("OpenSaveFolder"); }
    void OpenAboutBox() override {
        calls.push_back("OpenAboutBox");
        CKestrelDlg::OpenAboutBox();
    }
    void CloseProgram() override {
        calls.push_back("CloseProgram");
        CKestrelDlg::CloseProgram();
    }
};

using Calls = std::vector<std::string>;

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

TEST(CKestrelDlg, StartsInOrderAndRunsTheStatusTimerOnlyWithAValidTask) {
    RecordingPrompt prompt;
    SpineDlg dlg(prompt, "http://127.0.0.1:1");
    dlg.taskValid = true;
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.windowTitle(), "Emberway Kestrel");
    EXPECT_EQ(dlg.calls, (Calls{"CreateSkinControls", "StartDownload(shown)", "ShowValueControls",
                                "RefreshStatus"}));
    EXPECT_EQ(dlg.Timers().running(), (std::vector<std::pair<int, int>>{{109, 300}}));
    EXPECT_FALSE(dlg.Ended());

    SpineDlg invalid(prompt, "http://127.0.0.1:1");
    invalid.OnInitDialog();
    EXPECT_EQ(invalid.calls, (Calls{"CreateSkinControls", "StartDownload(shown)"}));
    EXPECT_TRUE(invalid.Timers().running().empty());
    EXPECT_TRUE(prompt.entries.empty());
}

TEST(CKestrelDlg, AStartThatClosesEndsTheDialogBeforeItsLoop) {
    RecordingPrompt prompt;
    SpineDlg dlg(prompt, "http://127.0.0.1:1");
    dlg.endInStart = true;
    EXPECT_EQ(dlg.DoModal(), QDialog::Rejected); // would block forever if the loop ran
    EXPECT_TRUE(dlg.Ended());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.calls, (Calls{"CreateSkinControls", "StartDownload(shown)", "CloseProgram"}));
}

TEST(CKestrelDlg, TimerTicksDispatchByIdAndUnknownIdsDoNothing) {
    RecordingPrompt prompt;
    SpineDlg dlg(prompt, "http://127.0.0.1:1");
    const std::vector<std::pair<int, Calls>> table = {
        {109, {"RefreshStatus", "PumpEngineEvents"}},
        {111, {"CapWebSeedRate"}},
        {112, {"RestoreWebSeed"}},
        {113, {"DropWebSeed"}},
        {114, {"BalanceServerPeer"}},
        {115, {"CheckIncomingConnections"}},
        {116, {"OnProgressReportTimer"}},
        {110, {}},
        {108, {}},
        {117, {}},
    };
    for (const auto& [id, expected] : table) {
        dlg.calls.clear();
        dlg.OnTimer(id);
        EXPECT_EQ(dlg.calls, expected) << "timer " << id;
    }
}

TEST(CKestrelDlg, ListenCheckTimerStopsItselfOnItsFirstTick) {
    RecordingPrompt prompt;
    SpineDlg dlg(prompt, "http://127.0.0.1:1");
    dlg.taskValid = true;
    dlg.OnInitDialog();
    // What a torrent-checked event starts, restarted by a second one.
    auto& timers = const_cast<TimerTable&>(dlg.Timers());
    timers.start(115, 900000);
    timers.start(114, 120000);
    timers.start(115, 900000);
    dlg.OnTimer(115);
    EXPECT_FALSE(dlg.Timers().isRunning(115));
    EXPECT_TRUE(dlg.Timers().isRunning(114));
    EXPECT_TRUE(dlg.Timers().isRunning(109));
}

TEST(CKestrelDlg, CommandsDispatchById) {
    RecordingPrompt prompt;
    SpineDlg dlg(prompt, "http://127.0.0.1:1");
    dlg.show();
    dlg.OnCommand(100);
    dlg.OnCommand(101);
    dlg.OnCommand(104);
    EXPECT_EQ(dlg.calls, (Calls{"TogglePause", "OpenSaveFolder"}));
    dlg.OnCommand(102);
    EXPECT_TRUE(dlg.windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(dlg.Ended());
}

TEST(CKestrelDlg, EnterAndEscapeDoNotEndTheDialog) {
    RecordingPrompt prompt;
    SpineDlg dlg(prompt, "http://127.0.0.1:1");
    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QTest::keyClick(&dlg, Qt::Key_Return);
    QTest::keyClick(&dlg, Qt::Key_Enter);
    EXPECT_FALSE(dlg.Ended());
    EXPECT_TRUE(dlg.isVisible());
}

TEST(CKestrelDlg, AboutItemOfTheSystemMenuOpensTheAboutBox) {
    RecordingPrompt prompt;
    SpineDlg dlg(prompt, "http://127.0.0.1:1");
    dlg.show();
    auto menu = dlg.CreateSystemMenu();
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
    dlg.OnSysCommand(0x001F);
    EXPECT_EQ(seen, "CAboutDlg");
    dlg.calls.clear();
    dlg.OnSysCommand(0xF060);
    EXPECT_TRUE(dlg.calls.empty());

    seen.clear();
    closeNextModal(&seen);
    dlg.OnCommand(106);
    EXPECT_EQ(seen, "CAboutDlg");
    EXPECT_FALSE(dlg.Ended());
}

TEST(CKestrelDlg, WindowManagerCloseEndsAtOnceWithoutAQuestion) {
    RecordingPrompt prompt;
    SpineDlg dlg(prompt, "http://127.0.0.1:1");
    dlg.taskValid = true; // an incomplete download would make the Close button ask
    dlg.show();
    dlg.close();
    EXPECT_TRUE(dlg.Ended());
    EXPECT_TRUE(prompt.entries.empty());
    EXPECT_EQ(std::count(dlg.calls.begin(), dlg.calls.end(), "CloseProgram"), 0);
}

TEST(CKestrelDlg, CloseCommandAsksOnlyWhileTheDownloadIsIncomplete) {
    const QString question =
        "Download has not been completed. Would you still like to close the program?";
    {
        RecordingPrompt prompt; // no task yet: closes without a question
        SpineDlg dlg(prompt, "http://127.0.0.1:1");
        dlg.show();
        dlg.OnCommand(103);
        EXPECT_TRUE(dlg.Ended());
        EXPECT_TRUE(prompt.entries.empty());
    }
    {
        RecordingPrompt prompt;
        SpineDlg dlg(prompt, "http://127.0.0.1:1");
        dlg.taskValid = dlg.taskComplete = true;
        dlg.show();
        dlg.OnCommand(103);
        EXPECT_TRUE(dlg.Ended());
        EXPECT_TRUE(prompt.entries.empty());
    }
    {
        RecordingPrompt prompt;
        prompt.answers = {Prompt::Answer::No};
        SpineDlg dlg(prompt, "http://127.0.0.1:1");
        dlg.taskValid = true;
        dlg.OnInitDialog();
        dlg.OnCommand(103);
        ASSERT_EQ(prompt.entries.size(), 1u);
        EXPECT_EQ(prompt.entries[0].text, question);
        EXPECT_EQ(prompt.entries[0].buttons, Prompt::Buttons::YesNo);
        EXPECT_FALSE(dlg.Ended());
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_TRUE(dlg.Timers().isRunning(109));

        prompt.answers = {Prompt::Answer::Yes};
        dlg.OnCommand(103);
        EXPECT_TRUE(dlg.Ended());
        EXPECT_EQ(dlg.calls.back(), "CloseProgram");
    }
}
