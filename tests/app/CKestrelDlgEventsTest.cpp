#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include "engine/EngineEvent.h"
#include "support/ManualClock.h"
#include "support/RecordingPrompt.h"
#include "support/RecordingSender.h"

namespace {

const QString kDiskFull =
    "Disk space is full. Please try again after gaining additional disk space";

// The window's reactions without an engine: its task has no torrent, which counts as paused.
struct Reactions {
    RecordingPrompt prompt;
    ManualClock clock;
    RecordingSender sender;
    CKestrelDlg dlg{prompt, clock, sender, "http://127.0.0.1:1"};

    void feed(EngineEvent::Code code, const QString& message = {}) {
        EngineEvent e;
        e.code = code;
        e.message = message;
        dlg.HandleEngineEvent(e);
    }
    bool pauseEnabled() { return dlg.Skin().button(skin::PauseButton).isEnabled(); }
    bool resumeLook() { return dlg.Skin().pauseLook() == CSkinControls::PauseLook::Resume; }
};

EngineEvent Event(EngineEvent::Code code, const QString& message) {
    EngineEvent e;
    e.code = code;
    e.message = message;
    return e;
}

} // namespace

TEST(EngineReactions, EachCodeGetsItsReactionAndNoOther) {
    struct Row {
        int code;
        bool message, enabled, resumeLook, timers;
    };
    const std::vector<Row> table = {
        {0, false, false, false, false},  {1, false, false, false, false},
        {2, false, false, false, false},  {4, false, false, false, false},
        {5, false, false, false, false},  {6, false, false, false, false},
        {7, false, false, false, false},  {8, false, false, false, false},
        {12, false, false, false, false}, {13, false, false, false, false},
        {14, false, false, false, false}, {18, false, false, false, false},
        {21, false, false, false, false}, {3, true, true, false, false},
        {19, false, false, true, false},  {20, false, true, false, true},
    };
    for (const Row& row : table) {
        Reactions r;
        r.dlg.Skin().EnablePauseButton(false); // as after the start
        r.feed(static_cast<EngineEvent::Code>(row.code), "a message");
        EXPECT_EQ(r.prompt.texts(RecordingPrompt::Kind::Message).size(), row.message ? 1u : 0u)
            << row.code;
        EXPECT_EQ(r.pauseEnabled(), row.enabled) << row.code;
        EXPECT_EQ(r.resumeLook(), row.resumeLook) << row.code;
        EXPECT_EQ(!r.dlg.Timers().running().empty(), row.timers) << row.code;
    }
}

TEST(EngineReactions, TrackerEventsMoveTheAnnounceExceptTheExactDhtText) {
    EXPECT_TRUE(ReschedulesAnnounce(Event(EngineEvent::Code::TrackerError, "timed out")));
    EXPECT_TRUE(ReschedulesAnnounce(Event(EngineEvent::Code::TrackerWarning, "")));
    EXPECT_FALSE(ReschedulesAnnounce(Event(EngineEvent::Code::TrackerReply, "Got peers from DHT")));
    for (const QString& text : {QString("Got peers from DHT "), QString("got peers from DHT"),
                                QString("received 3 peers"), QString()}) {
        EXPECT_TRUE(ReschedulesAnnounce(Event(EngineEvent::Code::TrackerReply, text)))
            << text.toStdString();
    }
    for (int code : {0, 3, 13, 19, 20}) {
        EXPECT_FALSE(ReschedulesAnnounce(Event(static_cast<EngineEvent::Code>(code), "Got peers")))
            << code;
    }
}

TEST(EngineReactions, AFileErrorShowsTheDiskMessageAndLetsTheUserResume) {
    Reactions r;
    r.dlg.Skin().EnablePauseButton(false); // no check yet: the button has never come on
    r.feed(EngineEvent::Code::FileError, "file_open error: Not a directory");
    r.feed(EngineEvent::Code::FileError, "file_write error: No space left on device");
    EXPECT_EQ(r.prompt.texts(RecordingPrompt::Kind::Message),
              (std::vector<QString>{kDiskFull, kDiskFull}));
    EXPECT_EQ(r.prompt.entries[0].buttons, Prompt::Buttons::Ok);
    EXPECT_TRUE(r.pauseEnabled());
}

TEST(EngineReactions, CheckedEnablesPauseAndStartsTheTimersInOrder) {
    Reactions r;
    r.dlg.Skin().EnablePauseButton(false);
    r.feed(EngineEvent::Code::TorrentChecked);
    EXPECT_TRUE(r.pauseEnabled());
    EXPECT_EQ(r.dlg.Timers().startOrder(), (std::vector<int>{115, 114, 116}));
    EXPECT_EQ(r.dlg.Timers().running(),
              (std::vector<std::pair<int, int>>{{114, 120000}, {115, 900000}, {116, 300000}}));

    // A second check restarts them; after the listen check ran once it comes back.
    r.dlg.OnTimer(CKestrelDlg::kListenCheckTimer);
    EXPECT_FALSE(r.dlg.Timers().isRunning(115));
    r.feed(EngineEvent::Code::TorrentChecked);
    EXPECT_EQ(r.dlg.Timers().startOrder(), (std::vector<int>{115, 114, 116}));
    // The completion turns the button off; a later check of an unfinished torrent turns it on.
    r.feed(EngineEvent::Code::TorrentFinished);
    EXPECT_FALSE(r.pauseEnabled());
    r.feed(EngineEvent::Code::TorrentChecked);
    EXPECT_TRUE(r.pauseEnabled());
}
