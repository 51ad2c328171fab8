#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include "engine/EngineEvent.h"
#include "support/RecordingPrompt.h"

namespace {

// Feeds events to the window's reactions and records what they hand on; no engine needed.
class ReactionDlg : public CKestrelDlg {
public:
    using CKestrelDlg::CKestrelDlg;

    std::vector<std::string> calls;

    void feed(int code, const QString& message = {}) {
        EngineEvent e;
        e.code = static_cast<EngineEvent::Code>(code);
        e.message = message;
        HandleEngineEvent(e);
    }
    void setWebSeedUrl(const QString& url) { checkResult_.webSeedUrl = url; }
    std::vector<std::uint16_t>& chosen() { return chosenServerPeer_; }

protected:
    void RescheduleAnnounce() override { calls.push_back("RescheduleAnnounce"); }
    void EnablePauseButton(bool on) override { calls.push_back(on ? "Enable" : "Disable"); }
    void SetPauseButtonLook(PauseLook l) override {
        calls.push_back(l == PauseLook::Pause ? "PauseLook" : "ResumeLook");
    }
    void CallInServerPeer() override {
        calls.push_back("CallInServerPeer");
        calls.push_back(Timers().running().empty() ? "(no timers yet)" : "(timers)");
    }
    void SetInternalIp() override { calls.push_back("SetInternalIp"); }
    void StampLocalTime(QString& f) override {
        calls.push_back(&f == &statistics_.startTime ? "StampStart" : "StampComplete");
    }
};

using Calls = std::vector<std::string>;
using Periods = std::vector<std::pair<int, int>>;

} // namespace

TEST(EngineReactions, EachCodeGetsItsReactionAndNoOther) {
    RecordingPrompt prompt;
    ReactionDlg dlg(prompt, "http://127.0.0.1:1");
    const std::vector<std::pair<int, Calls>> table = {
        {0, {}},
        {1, {}},
        {2, {}},
        {4, {}},
        {8, {}},
        {9, {}},
        {10, {}},
        {11, {}},
        {12, {}},
        {14, {}},
        {15, {}},
        {16, {}},
        {17, {}},
        {18, {}},
        {21, {}},
        {5, {"RescheduleAnnounce"}},
        {7, {"RescheduleAnnounce"}},
        {6, {"RescheduleAnnounce"}},
        {13, {"Disable", "StampComplete"}},
        {19, {"ResumeLook"}},
    };
    for (const auto& [code, expected] : table) {
        dlg.calls.clear();
        dlg.feed(code, "a message");
        EXPECT_EQ(dlg.calls, expected) << "code " << code;
    }
    EXPECT_TRUE(prompt.entries.empty());
    EXPECT_TRUE(dlg.Timers().running().empty());
}

TEST(EngineReactions, OnlyTheExactDhtTextKeepsATrackerReplyFromRescheduling) {
    RecordingPrompt prompt;
    ReactionDlg dlg(prompt, "http://127.0.0.1:1");
    dlg.feed(6, "Got peers from DHT");
    EXPECT_TRUE(dlg.calls.empty());
    for (const QString& text : {QString("Got peers from DHT "), QString("got peers from DHT"),
                                QString("received 3 peers"), QString()}) {
        dlg.calls.clear();
        dlg.feed(6, text);
        EXPECT_EQ(dlg.calls, Calls{"RescheduleAnnounce"}) << text.toStdString();
    }
}

TEST(EngineReactions, EveryFileErrorShowsTheDiskMessage) {
    RecordingPrompt prompt;
    ReactionDlg dlg(prompt, "http://127.0.0.1:1");
    dlg.feed(3, "file_open error: Not a directory");
    dlg.feed(3, "file_write error: No space left on device");
    const QString text = "Disk space is full. Please try again after gaining additional disk space";
    EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Message), (std::vector<QString>{text, text}));
    EXPECT_EQ(prompt.entries[0].buttons, Prompt::Buttons::Ok);
}

TEST(EngineReactions, PausedForgetsTheChosenServerPeer) {
    RecordingPrompt prompt;
    ReactionDlg dlg(prompt, "http://127.0.0.1:1");
    dlg.chosen() = {2};
    dlg.feed(19);
    EXPECT_TRUE(dlg.chosen().empty());
}

TEST(EngineReactions, CheckedEnablesCallsInAndStartsTheTimersInOrder) {
    RecordingPrompt prompt;
    ReactionDlg dlg(prompt, "http://127.0.0.1:1");
    dlg.setWebSeedUrl("http:"); // five characters: no web seed timers
    dlg.feed(20);
    EXPECT_EQ(dlg.calls, (Calls{"Enable", "CallInServerPeer", "(no timers yet)", "SetInternalIp",
                                "StampStart"}));
    EXPECT_EQ(dlg.Timers().running(), (Periods{{114, 120000}, {115, 900000}, {116, 300000}}));

    ReactionDlg seeded(prompt, "http://127.0.0.1:1");
    seeded.setWebSeedUrl("http:/");
    seeded.feed(20);
    EXPECT_EQ(
        seeded.Timers().running(),
        (Periods{
            {111, 700}, {112, 60000}, {113, 10000}, {114, 120000}, {115, 900000}, {116, 300000}}));

    // A second check restarts them; after the listen check ran once it comes back.
    seeded.OnTimer(115);
    EXPECT_FALSE(seeded.Timers().isRunning(115));
    seeded.feed(20);
    EXPECT_TRUE(seeded.Timers().isRunning(115));
    // The completion's disabled button comes back on with a later check.
    seeded.calls.clear();
    seeded.feed(13);
    seeded.feed(20);
    EXPECT_EQ(seeded.calls[0], "Disable");
    EXPECT_EQ(seeded.calls[2], "Enable");
}
