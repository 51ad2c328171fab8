#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <QString>

#include "app/DesktopStatus.h"
#include "app/PublisherSources.h"
#include "app/StatusDisplay.h"
#include "app/TimerTable.h"
#include "engine/DownloadTask.h"
#include "engine/SaveFolderRule.h"
#include "net/DownloadCheckResult.h"
#include "net/LocalAddress.h"
#include "net/StatisticsRecord.h"
#include "net/StatisticsReports.h"
#include "net/StatisticsRules.h"
#include "platform/Desktop.h"
#include "ui/CSkinWindow.h"

class Clock;
class DownloadEngine;
class Prompt;
class ReportSender;
struct EngineEvent;

// The main window. It owns everything else, starts the download while it initialises and is
// then driven by its timers and its five commands, all on the UI thread. The skin (through
// the skinned window) and the status lines are parts of their own; the window sequences them.
class CKestrelDlg : public CSkinWindow {
    Q_OBJECT
public:
    // Timer ids and periods.
    static constexpr int kStatusTimer = 109;
    static constexpr int kWebSeedCapTimer = PublisherSources::kWebSeedCapTimer;
    static constexpr int kWebSeedRestoreTimer = PublisherSources::kWebSeedRestoreTimer;
    static constexpr int kWebSeedDropTimer = PublisherSources::kWebSeedDropTimer;
    static constexpr int kServerPeerTimer = PublisherSources::kServerPeerTimer;
    static constexpr int kListenCheckTimer = 115;
    static constexpr int kProgressReportTimer = 116;
    static constexpr int kStatusPeriodMs = 300;
    static constexpr int kListenCheckPeriodMs = 900000;
    static constexpr int kWebSeedRestorePeriodMs = PublisherSources::kWebSeedRestorePeriodMs;
    static constexpr int kWebSeedCapPeriodMs = PublisherSources::kWebSeedCapPeriodMs;
    static constexpr int kWebSeedDropPeriodMs = PublisherSources::kWebSeedDropPeriodMs;
    static constexpr int kServerPeerPeriodMs = PublisherSources::kServerPeerPeriodMs;
    static constexpr int kProgressReportPeriodMs = 300000;
    static constexpr int kCloseDelayMs = 2000;

    // The buttons' command ids.
    using enum skin::Command;

    // The clock seeds the listen port draw, stamps the reports and spends the wait before
    // close; the sender carries the statistics reports; the desktop shows the progress on the
    // taskbar entry and the notice at completion.
    CKestrelDlg(Prompt& prompt, Clock& clock, ReportSender& sender, QString fileServer,
                Desktop& desktop = SilentDesktop::Instance(), QWidget* parent = nullptr);
    ~CKestrelDlg() override;

    // Initialises the window and runs it modally; returns at once when the start closed it.
    int DoModal();
    bool OnInitDialog();
    void OnTimer(int id);
    void OnCommand(int id);
    // The window's reaction to one engine event.
    void HandleEngineEvent(const EngineEvent& event);
    // Called with each event the window's pump takes, after the window's own reaction, so
    // that whoever follows the download reacts to its events rather than polling the window.
    void WatchEngineEvents(std::function<void(const EngineEvent&)> watch) {
        watch_ = std::move(watch);
    }

    const TimerTable& Timers() const { return timers_; }
    // True once the dialog has ended (through done()), also before its loop ever ran.
    bool Ended() const { return ended_; }
    StatusDisplay& Status() { return status_; }
    const DownloadTask& Task() const { return task_; }
    // Created by the start; none before, or when the start stopped early.
    const DownloadEngine* Engine() const { return engine_.get(); }
    const StatisticsRecord& Statistics() const { return statistics_; }
    const ServerPeerControl& ServerPeers() const { return sources_.serverPeers(); }
    const WebSeedControl& WebSeed() const { return sources_.webSeed(); }

protected:
    void done(int result) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void StartDownload();
    // Asks for the folder until one can hold the game or the player cancels (saveFolder_
    // then shorter than 2 characters); returns the disk back end the folder wants.
    DiskBackEnd ChooseSaveFolder();
    void PumpEngineEvents();
    void OnFileError(int systemError);
    void OnTorrentFinished();
    void OnTorrentPaused();
    void OnTorrentChecked();
    void RescheduleAnnounce();
    void CheckIncomingConnections();
    void TogglePause();
    void OpenSaveFolder();
    void RequestClose();
    void CloseProgram();

    // Where the server-peer control, the web-seed control and the statistics reports do
    // their work; each is called at its place in the window's life.
    void CallInServerPeer() { sources_.serverPeers().CallInServerPeer(); }
    void ForgetServerPeer() { sources_.serverPeers().ForgetChosenServerPeer(); }
    // Only where the restore rule runs to bring the web seed back.
    void OnWebSeedFailed(const QString& url) {
        if (sources_.HasWebSeed()) {
            sources_.webSeed().OnWebSeedFailed(url);
        }
    }
    // A machine with IPv6 addresses only has no IPv4 number: it reports 00000000.
    void SetInternalIp() { reports_.SetInternalIp(Ipv4HostOrder(GuessLocalAddress())); }
    void StampLocalTime(QString& field) { reports_.StampLocalTime(field); }
    void OnProgressReportTimer() { SendProgressReport(); }
    void SendProgressReport() { reports_.SendProgressReport(task_); }
    void SendCloseReports() { reports_.SendCloseReports(task_.totalUploaded()); }

    Prompt& prompt_;
    Clock& clock_;
    ReportSender& sender_;
    QString fileServer_;
    TimerTable timers_;
    StatusDisplay status_{skin_};
    DownloadTask task_;
    DownloadCheckResult checkResult_;
    StatisticsRecord statistics_;
    StatisticsReports reports_{statistics_, clock_, sender_};
    DesktopStatus desktop_;
    QString saveFolder_;
    bool ended_ = false;
    // True while the event pump runs; a message box it opens ticks timer 109 again.
    bool pumping_ = false;
    std::function<void(const EngineEvent&)> watch_;

    // Created by the start, kept until the window is gone.
    std::unique_ptr<DownloadEngine> engine_;
    // The publisher's own sources, acting on the task.
    PublisherSources sources_{task_};
};
