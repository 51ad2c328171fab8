#include "app/CKestrelDlg.h"

#include <ctime>

#include <QScopedValueRollback>
#include <QTimerEvent>

#include "app/SaveFolderText.h"
#include "engine/AnnounceDelay.h"
#include "engine/DownloadEngine.h"
#include "engine/EngineEvent.h"
#include "engine/SaveFolderProbe.h"
#include "engine/SessionSetup.h"
#include "engine/TorrentFiles.h"
#include "net/DownloadCheck.h"
#include "net/ExplorerLauncher.h"
#include "platform/AppName.h"
#include "platform/BuildInfo.h"
#include "platform/Clock.h"
#include "platform/Prompt.h"

namespace {
const char* const kSaveFolderTitle = "Select the directory you would like to save the file to";
const char* const kAddFailedText = "Cannot connect to server. Please check your network. (5)";
const char* const kCloseQuestion =
    "Download has not been completed. Would you still like to close the program?";
} // namespace

CKestrelDlg::CKestrelDlg(Prompt& prompt, Clock& clock, ReportSender& sender, QString fileServer,
                         Desktop& desktop, QWidget* parent)
    : CSkinWindow(parent), prompt_(prompt), clock_(clock), sender_(sender),
      fileServer_(std::move(fileServer)), timers_(this), desktop_(desktop) {}

CKestrelDlg::~CKestrelDlg() = default;

int CKestrelDlg::DoModal() {
    OnInitDialog();
    return ended_ ? result() : exec();
}

bool CKestrelDlg::OnInitDialog() {
    // The system menu is built when it is asked for (CreateSystemMenu), from string 101.
    setWindowTitle(AppName());
    show();
    skin_.CreateSkinControls([this](int id) { OnCommand(id); });
    StartDownload();
    if (task_.isValid()) {
        skin_.ShowValueControls();
        status_.RefreshStatus(task_);
        timers_.start(kStatusTimer, kStatusPeriodMs);
        update();
    }
    return true;
}

void CKestrelDlg::OnTimer(int id) {
    switch (id) {
    case kStatusTimer:
        // Texts first, events second: the texts show the state from before this tick's events.
        status_.RefreshStatus(task_);
        desktop_.Refresh(task_);
        PumpEngineEvents();
        break;
    case kListenCheckTimer:
        timers_.stop(kListenCheckTimer); // runs once per torrent-checked event
        CheckIncomingConnections();
        break;
    case kProgressReportTimer:
        OnProgressReportTimer();
        break;
    default:
        sources_.OnTimer(id); // the publisher's sources' own
        break;
    }
}

void CKestrelDlg::OnCommand(int id) {
    switch (id) {
    case kPauseResumeCommand:
        TogglePause();
        break;
    case kShowFolderCommand:
        OpenSaveFolder();
        break;
    case kMinimizeCommand:
        showMinimized();
        break;
    case kCloseCommand:
        RequestClose();
        break;
    case kAboutCommand:
        OpenAboutBox();
        break;
    default:
        break;
    }
}

void CKestrelDlg::StartDownload() {
    // Freed at the end, whatever the outcome.
    std::vector<char> torrentBuffer(kTorrentBufferSize);
    if (!RunDownloadCheck(this, prompt_, fileServer_, checkResult_, statistics_,
                          torrentBuffer.data())) {
        CloseProgram();
        return;
    }
    const DiskBackEnd backEnd = ChooseSaveFolder();
    if (saveFolder_.size() < 2) {
        CloseProgram();
        return;
    }

    engine_ = std::make_unique<DownloadEngine>(build::kVersionMinor,
                                               QString::fromLatin1(build::kClientName), backEnd);
    // The port draw is seeded with the time in seconds.
    std::tm now = clock_.localTime();
    status_.SetListenPort(SetUpSession(*engine_, static_cast<std::uint32_t>(std::mktime(&now))));

    sources_.SetUp(*engine_, checkResult_);

    const bool added = engine_->AddTorrentFromBuffer(
        checkResult_.torrentData, checkResult_.torrentLength, saveFolder_, task_);
    // The check result points into the buffer, which goes at the end of this call.
    checkResult_.torrentData = nullptr;
    if (!added) {
        prompt_.messageBox(this, QString::fromLatin1(kAddFailedText), Prompt::Buttons::Ok);
        CloseProgram();
        return;
    }
    ApplyTorrentLimits(task_);
    status_.ShowFilePath(task_.savePath(), task_.torrentName());
    skin_.EnablePauseButton(false);
}

DiskBackEnd CKestrelDlg::ChooseSaveFolder() {
    // Bytes that are no torrent are left to the add, which refuses them with its message.
    const auto files = TorrentFilesOf(checkResult_.torrentData, checkResult_.torrentLength);
    for (;;) {
        saveFolder_ = prompt_.chooseFolder(this, QString::fromLatin1(kSaveFolderTitle));
        if (saveFolder_.size() < 2 || !files) {
            return DiskBackEnd::Mapped;
        }
        const SaveFolderVerdict verdict = CheckSaveFolder(saveFolder_, *files);
        if (verdict.refusal == SaveFolderVerdict::Refusal::None) {
            return verdict.backEnd;
        }
        prompt_.messageBox(this, FolderRefusalText(verdict), Prompt::Buttons::Ok);
    }
}

void CKestrelDlg::PumpEngineEvents() {
    // A message box opened by a reaction runs a nested loop in which timer 109 ticks again;
    // the events still queued wait for the outer pump, so reactions keep their order.
    if (!engine_ || pumping_) {
        return;
    }
    const QScopedValueRollback<bool> pumping(pumping_, true);
    EngineEvent event;
    while (engine_->NextEngineEvent(event)) {
        HandleEngineEvent(event);
        if (watch_) {
            watch_(event);
        }
    }
}

void CKestrelDlg::HandleEngineEvent(const EngineEvent& event) {
    switch (event.code) {
    case EngineEvent::Code::FileError:
        OnFileError(event.systemError);
        break;
    case EngineEvent::Code::TrackerError:
    case EngineEvent::Code::TrackerWarning:
    case EngineEvent::Code::TrackerReply:
        if (ReschedulesAnnounce(event)) {
            RescheduleAnnounce();
        }
        break;
    case EngineEvent::Code::TorrentFinished:
        OnTorrentFinished();
        break;
    case EngineEvent::Code::TorrentPaused:
        OnTorrentPaused();
        break;
    case EngineEvent::Code::TorrentChecked:
        OnTorrentChecked();
        break;
    case EngineEvent::Code::UrlSeed:
        OnWebSeedFailed(event.seedUrl);
        break;
    default:
        break;
    }
}

void CKestrelDlg::OnFileError(int systemError) {
    task_.PauseAfterFileError();
    prompt_.messageBox(this, FileErrorText(systemError), Prompt::Buttons::Ok);
    // The torrent stands paused now, maybe before it was ever checked and the button came on.
    skin_.EnablePauseButton(!task_.isComplete());
}

void CKestrelDlg::OnTorrentFinished() {
    skin_.EnablePauseButton(false);
    StampLocalTime(statistics_.completeTime);
    desktop_.Finished(isActiveWindow() && !isMinimized());
}

void CKestrelDlg::OnTorrentPaused() {
    // A pause and a resume within one tick deliver this after the resume: nothing to show.
    if (!task_.isPaused()) {
        return;
    }
    skin_.SetPauseButtonLook(CSkinControls::PauseLook::Resume);
    // Forgotten only: still connected, and the IP filter stays as it is.
    ForgetServerPeer();
}

void CKestrelDlg::OnTorrentChecked() {
    // A folder that held the whole set reports finished first: nothing to pause, no later start.
    const bool complete = task_.isComplete();
    skin_.EnablePauseButton(!complete);
    task_.Resume();
    CallInServerPeer();
    timers_.start(kListenCheckTimer, kListenCheckPeriodMs);
    for (const PublisherSources::Timer& t : sources_.TimersToStart()) {
        timers_.start(t.id, t.periodMs);
    }
    timers_.start(kProgressReportTimer, kProgressReportPeriodMs);
    SetInternalIp();
    StampLocalTime(statistics_.startTime);
}

void CKestrelDlg::RescheduleAnnounce() {
    task_.ForceReannounce(AnnounceDelaySeconds(task_.isComplete(), task_.peerCount()));
}

void CKestrelDlg::CheckIncomingConnections() {
    if (engine_ && !engine_->HasIncomingConnections()) {
        engine_->StopListening();
        status_.SetListenPort(0);
    }
}

void CKestrelDlg::TogglePause() {
    if (!task_.isValid()) {
        return;
    }
    if (task_.isPaused()) {
        skin_.SetPauseButtonLook(CSkinControls::PauseLook::Pause);
        task_.Resume();
        CallInServerPeer();
    } else {
        skin_.SetPauseButtonLook(CSkinControls::PauseLook::Resume);
        task_.Pause();
    }
}

void CKestrelDlg::OpenSaveFolder() {
    LaunchInExplorer(prompt_, saveFolder_);
}

void CKestrelDlg::RequestClose() {
    if (task_.isValid() && !task_.isComplete() &&
        prompt_.messageBox(this, QString::fromLatin1(kCloseQuestion), Prompt::Buttons::YesNo) !=
            Prompt::Answer::Yes) {
        return;
    }
    CloseProgram();
}

void CKestrelDlg::CloseProgram() {
    desktop_.Closing();
    // Without an engine there is nothing to stop or report: close at once.
    if (engine_) {
        hide();
        setEnabled(false);
        engine_->PauseSession();
        engine_->StopDht();
        engine_->StopLsd();
        engine_->StopUpnp();
        engine_->StopNatpmp();
        if (!statistics_.baseUrl.isEmpty()) {
            SendCloseReports();
        }
        // Time for the reports and the stop announces to leave.
        clock_.wait(std::chrono::milliseconds(kCloseDelayMs));
    }
    done(QDialog::Rejected);
}

void CKestrelDlg::done(int result) {
    ended_ = true;
    timers_.stopAll();
    CSkinWindow::done(result);
}

void CKestrelDlg::timerEvent(QTimerEvent* event) {
    if (auto id = timers_.idOf(event->timerId())) {
        OnTimer(*id);
        return;
    }
    CSkinWindow::timerEvent(event);
}
