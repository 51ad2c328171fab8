#pragma once

// The last fixture of the chain: the main window with its real engine against the sample
// publisher, the folder prompt answered, the clock standing and the reports recorded. The
// window's own 300 ms timer refreshes the status and pumps the engine's events while a test
// waits; each event it pumps then goes to engineEvents, where a test can react to it.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QString>

#include "app/CKestrelDlg.h"
#include "support/EngineEvents.h"
#include "support/ManualClock.h"
#include "support/RecordingPrompt.h"
#include "support/RecordingSender.h"
#include "support/SwarmFixture.h"
#include "support/WaitFor.h"

class WindowSwarm : public PublisherSwarm {
protected:
    // The folder the prompt answers with: temp/<name>.
    std::filesystem::path answerFolder(const std::string& name = "save") {
        const auto folder = temp.path() / name;
        prompt.folders = {QString::fromStdString(folder.string())};
        return folder;
    }
    std::unique_ptr<CKestrelDlg> makeDlg(Prompt& answers, Clock& time, ReportSender& reports,
                                         Desktop& desktop = SilentDesktop::Instance()) {
        auto dlg = std::make_unique<CKestrelDlg>(answers, time, reports,
                                                 QString::fromStdString(pub->origin()), desktop);
        dlg->WatchEngineEvents([this](const EngineEvent& e) { engineEvents.take(e); });
        return dlg;
    }
    std::unique_ptr<CKestrelDlg> makeDlg(Prompt& answers, Clock& time) {
        return makeDlg(answers, time, sender);
    }
    std::unique_ptr<CKestrelDlg> makeDlg() { return makeDlg(prompt, clock); }
    // A window through its start, with the folders the prompt has.
    std::unique_ptr<CKestrelDlg> startDlg() {
        auto dlg = makeDlg();
        dlg->OnInitDialog();
        return dlg;
    }
    // A window started on temp/save into dlg; true once its torrent is checked.
    bool startChecked(std::unique_ptr<CKestrelDlg>& dlg) {
        answerFolder();
        dlg = startDlg();
        return until([&] { return Checked(*dlg); });
    }
    // Timer 114 starts only with the reaction to the torrent-checked event.
    static bool Checked(const CKestrelDlg& dlg) {
        return dlg.Timers().isRunning(CKestrelDlg::kServerPeerTimer);
    }
    // The deadline only bounds a failing test.
    static bool until(const std::function<bool()>& done,
                      std::chrono::milliseconds deadline = std::chrono::seconds(120)) {
        return waitFor(done, deadline);
    }
    bool untilEvent(EngineEvent::Code code) {
        return until([&] { return engineEvents.seen(code); });
    }

    RecordingPrompt prompt;
    ManualClock clock;
    RecordingSender sender;
    // Every event the windows of the test pumped, in order.
    EngineEvents engineEvents;
};
